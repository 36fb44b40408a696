#include "TimeArgument.h"

#include <cctype>
#include <limits>
#include <vector>

namespace sw::cli {

const char* const TimeFormats =
    "TIME is SS, MM:SS or HH:MM:SS, each with an optional fraction of a second:\n"
    "  90, 1:30, 0:01:30, 1:02.250 (the cut honours the fraction to the sample)\n";

namespace {

bool Digits(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!std::isdigit(c)) return false;
  return true;
}

}  // namespace

bool ParseTimeArgument(const std::string& text, int64_t& microseconds) {
  std::string whole = text, fraction;
  const std::size_t point = text.find('.');
  if (point != std::string::npos) {
    whole = text.substr(0, point);
    fraction = text.substr(point + 1);
    if (!Digits(fraction)) return false;
  }
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t colon = whole.find(':', from);
    parts.push_back(whole.substr(from, colon - from));
    if (colon == std::string::npos) break;
    from = colon + 1;
  }
  if (parts.size() > 3) return false;
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 1000000 / 3600;
  int64_t seconds = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    // The first part takes any count; those after a colon stay below 60.
    if (!Digits(parts[i]) || parts[i].size() > 12) return false;
    const int64_t v = std::stoll(parts[i]);
    if (i > 0 && (v >= 60 || parts[i].size() != 2)) return false;
    if (v > kLimit) return false;
    seconds = seconds * 60 + v;
  }
  int64_t micro = 0;
  for (std::size_t i = 0; i < 6; ++i) micro = micro * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  if (fraction.size() > 6 && fraction[6] >= '5') ++micro;
  microseconds = seconds * 1000000 + micro;
  return true;
}

}  // namespace sw::cli
