// Option text: lines, names and values, and the conversions the handlers share.
#include "OptionText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "FFmpegTask.h"

namespace sw {

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Lines handed on elsewhere: the stream-forming ones and the video filters, which the
// defaults list carries.
bool SkippedHere(const std::string& name) {
  static const char* const Names[] = {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"};
  return std::find(std::begin(Names), std::end(Names), name) != std::end(Names);
}

bool CodecName(const std::string& name) {
  return name == "acodec" || name == "vcodec" || name == "scodec" || name == "s";
}

}  // namespace

std::string TrimText(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n\f\v") - first + 1);
}

std::string LowerText(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::vector<std::string> TextLines(const std::string& text, bool foldTag) {
  std::string all = TrimText(text);
  ReplaceAll(all, "\r\n", "\n");
  std::replace(all.begin(), all.end(), '\r', '\n');
  if (foldTag) ReplaceAll(all, "<CRLF>", "\n");
  std::vector<std::string> lines;
  if (all.empty()) return lines;
  for (size_t start = 0;;) {
    const size_t end = all.find('\n', start);
    lines.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::vector<TOptionLine> SplitOptionLines(const std::string& text) {
  std::vector<TOptionLine> lines;
  for (const std::string& line : TextLines(text, true)) {
    const size_t eq = line.find('=');
    lines.push_back({LowerText(line.substr(0, eq)), eq == std::string::npos ? std::string() : line.substr(eq + 1)});
  }
  return lines;
}

int64_t ToInt64(const std::string& value) {
  const std::string text = TrimText(value);
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || errno == ERANGE) RaiseFFmpeg("'%s' is not a valid integer value", value.c_str());
  return n;
}

int ToInt(const std::string& value) {
  const int64_t n = ToInt64(value);
  if (n < INT32_MIN || n > INT32_MAX) RaiseFFmpeg("'%s' is not a valid integer value", value.c_str());
  return static_cast<int>(n);
}

double ToDecimal(const std::string& value) {
  const std::string text = TrimText(value);
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (text.empty() || *end) RaiseFFmpeg("'%s' is not a valid floating point value", value.c_str());
  return d;
}

int LeadingInt(const char*& text) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  text = end;
  return static_cast<int>(std::clamp<long>(n, INT32_MIN, INT32_MAX));
}

int64_t ParseTimeValue(const std::string& name, const std::string& value, bool duration) {
  int64_t time = 0;
  if (ff::av_parse_time(&time, value.c_str(), duration ? 1 : 0) < 0 || time == AV_NOPTS_VALUE)
    RaiseFFmpeg("Invalid %s specification for %s: %s", duration ? "duration" : "date", name.c_str(), value.c_str());
  return time;
}

void TFFmpeg::ApplyOptionLines(const std::string& text, bool allowCodecNames) {
  for (const TOptionLine& line : SplitOptionLines(text)) {
    if (SkippedHere(line.Name) || (CodecName(line.Name) && !allowCodecNames)) continue;
    ApplyOption(line.Name, line.Value);
  }
}

void TFFmpeg::AddMetadata(const std::string& key, const std::string& value) {
  Options().PendingMetadata.emplace_back(key, value);
}

}  // namespace sw
