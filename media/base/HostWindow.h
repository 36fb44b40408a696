#pragma once
// The size of a window that a host hands to a media component. The media layer knows no
// toolkit: the program that owns the windows installs the query.
#include <cstdint>
#include <functional>

namespace sw {

// Answers the window's client size in pixels, or false when it does not know the window.
// It runs on the thread that asks (the host's, in OpenMedia).
using THostWindowSizeQuery = std::function<bool(uintptr_t window, int& width, int& height)>;
void SetHostWindowSizeQuery(THostWindowSizeQuery query);

// False when no query is installed or it does not know the window.
bool HostWindowSize(uintptr_t window, int& width, int& height);

}  // namespace sw
