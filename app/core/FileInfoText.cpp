#include "FileInfoText.h"

#include <cstdio>

#include "media/common/FFUtils.h"
#include "media/info/FFDecode.h"

namespace sw {

namespace {

std::string Clock(int64_t s) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld", static_cast<long long>(s / 60 / 60),
                static_cast<long long>((s / 60) % 60), static_cast<long long>(s % 60));
  return text;
}

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    char escape[8];
    if (c == '\n' || c == '\t' || c == '\r') {
      shown += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      shown += escape;
    } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {  // the C1 controls in UTF-8
      std::snprintf(escape, sizeof escape, "\\u%04x", next);
      shown += escape;
      ++i;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::string FormatSeconds(int64_t seconds) { return Clock(seconds); }

// The window's duration text has always ended in a period right after the seconds.
std::string FormatDuration(int64_t microseconds) { return Clock(microseconds / 1000000) + "."; }

std::string FormatSegmentTime(int64_t microseconds) {
  const int part = static_cast<int>(microseconds % 1000000);
  char fraction[16] = "";
  if (part % 1000) std::snprintf(fraction, sizeof fraction, ".%.6d", part);
  else if (part) std::snprintf(fraction, sizeof fraction, ".%.3d", part / 1000);
  return Clock(microseconds / 1000000) + fraction;
}

TFileFacts ReadFileFacts(TCustomDecoder& reader, const std::string& path) {
  TFileFacts facts;
  facts.Path = path;
  const AVInputFormat* format = reader.FormatContext() ? reader.FormatContext()->iformat : nullptr;
  facts.TypeName = format && format->long_name ? format->long_name : "";
  facts.FileSize = reader.FileSize();
  reader.FillStreamInfo(facts.Info);
  return facts;
}

std::vector<std::string> FileInfoLines(const TFileFacts& facts) {
  const TFileStreamInfo& info = facts.Info;
  return {
      "File Name: " + PrintableText(facts.Path),
      "Type: " + PrintableText(facts.TypeName),
      "Title: " + PrintableText(info.Title),
      "Artist: " + PrintableText(info.Author),
      "Album: " + PrintableText(info.Album),
      "Year: " + std::to_string(info.Year),
      "File Size: " + FormatFileSize(facts.FileSize),
      "Duration: " + FormatDuration(info.Duration),
      "Bit Rate: " + std::to_string(info.BitRate / 1000) + " kbps",
  };
}

}  // namespace sw
