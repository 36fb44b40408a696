#include "CueSheet.h"

#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libcue.h>
}

namespace sw {

namespace {

std::string Text(Cdtext* cdtext, Pti field) {
  const char* text = cdtext ? cdtext_get(field, cdtext) : nullptr;
  return text ? text : "";
}

}  // namespace

bool ParseCueSheet(const std::string& text, TCueSheet& sheet, std::string& error) {
  sheet = TCueSheet{};
  // libcue writes its complaints to standard error; the reason we give is ours.
  const std::unique_ptr<Cd, void (*)(Cd*)> cd(cue_parse_string(text.c_str()), cd_delete);
  if (!cd) {
    error = "it is not a cue sheet libcue can read";
    return false;
  }
  sheet.Title = Text(cd_get_cdtext(cd.get()), PTI_TITLE);
  sheet.Performer = Text(cd_get_cdtext(cd.get()), PTI_PERFORMER);
  const int count = cd_get_ntrack(cd.get());
  for (int i = 1; i <= count; ++i) {
    const Track* track = cd_get_track(cd.get(), i);
    if (!track) continue;
    TSplitTrack t;
    // INDEX 01 in frames of 1/75 s, to the nearest µs.
    const long frames = track_get_start(track);
    t.Start = (static_cast<int64_t>(frames) * 4000000 + 150) / 300;
    t.Title = Text(track_get_cdtext(track), PTI_TITLE);
    t.Performer = Text(track_get_cdtext(track), PTI_PERFORMER);
    if (!sheet.Tracks.empty()) sheet.Tracks.back().End = t.Start;
    sheet.Tracks.push_back(t);
  }
  if (sheet.Tracks.empty()) {
    error = "it has no track";
    return false;
  }
  return true;
}

bool ReadCueSheet(const std::string& path, TCueSheet& sheet, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  if (!ParseCueSheet(text, sheet, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace sw
