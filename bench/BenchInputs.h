#pragma once
// The long MP3 files the benchmarks play and decode, made once with sox and lame and kept.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

// Music-like sound of that many seconds (pink noise with a slow swell and a beat, and a
// gliding tone) encoded by lame with those options, e.g. "-V 2" or "-b 128". A file that
// exists is taken as it is; a new one appears only when complete.
inline bool MakeSound(const std::string& file, int seconds, const std::string& lameOptions) {
  if (std::filesystem::exists(file)) return true;
  std::fprintf(stderr, "making %s ...\n", file.c_str());
  const std::string part = file + ".part";
  const std::string s = std::to_string(seconds);
  const std::string command = "sox -n -r 44100 -c 2 -t wav - synth " + s + " pinknoise synth " + s +
                              " sine mix 110-880 tremolo 2 60 gain -6 | lame --quiet " + lameOptions + " - '" +
                              part + "'";
  if (std::system(command.c_str()) != 0) return false;
  std::filesystem::rename(part, file);
  return true;
}

// The system's load average over the last minute; -1 when unknown.
inline double LoadAverage() {
  double load = -1;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  return load;
}

}  // namespace bench
