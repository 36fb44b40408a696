#include "VolumeArgument.h"

#include <cstdlib>

namespace sw::cli {

const char* const VolumeExpected = "a whole number from 0 to 100";

bool ParseVolumeArgument(const std::string& text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < 0 || v > 100) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace sw::cli
