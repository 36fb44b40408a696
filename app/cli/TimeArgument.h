#pragma once
// The times the commands take: SS, MM:SS or HH:MM:SS, each with an optional fraction.
#include <cstdint>
#include <string>

namespace sw::cli {

// How the usage texts describe a TIME.
extern const char* const TimeFormats;

// Microseconds; false for anything else (negative, empty parts, 60 or more minutes or
// seconds after a colon, letters). Digits past the sixth after the point are rounded.
bool ParseTimeArgument(const std::string& text, int64_t& microseconds);

}  // namespace sw::cli
