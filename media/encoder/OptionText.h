#pragma once
// Splitting option text into lines and turning option values into numbers and times.
#include <cstdint>
#include <string>
#include <vector>

namespace sw {

struct TOptionLine {
  std::string Name;   // lower case, not trimmed
  std::string Value;  // everything after the first "="; empty without one
};

// The trimmed text split at CR, LF and CR LF, and with foldTag also at "<CRLF>".
std::vector<std::string> TextLines(const std::string& text, bool foldTag);
// Option lines: TextLines with "<CRLF>", each split at its first "=".
std::vector<TOptionLine> SplitOptionLines(const std::string& text);
std::string TrimText(const std::string& text);
std::string LowerText(std::string text);

// Whole-value conversions; anything else raises FFmpegException.
int ToInt(const std::string& value);
int64_t ToInt64(const std::string& value);
double ToDecimal(const std::string& value);
// The leading integer at text (0 when none); text moves past it.
int LeadingInt(const char*& text);

// The library's time parser; duration or date. A value it cannot read is refused with
// the option's name and value.
int64_t ParseTimeValue(const std::string& name, const std::string& value, bool duration);

}  // namespace sw
