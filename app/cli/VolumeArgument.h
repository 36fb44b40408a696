#pragma once
// The --volume of cut and play: the window's slider, 0 to 100.
#include <string>

namespace sw::cli {

// What a wrong value is told it is not.
extern const char* const VolumeExpected;

// A whole number from 0 to 100; false for anything else.
bool ParseVolumeArgument(const std::string& text, int& value);

}  // namespace sw::cli
