// The player's figures, for a 10-minute 128 kbit/s file (the size of the fixtures' kind)
// and a 60-minute VBR file, both made on first use: the time from OpenMedia (paused) +
// Seek + Resume to sound from the target, from a Seek while playing to sound from the new
// place, the CPU time per second of playback without a display and with the waveform, and
// the peak memory. Sound goes to SDL's silent "dummy" driver, which keeps real time.
// For a 30-second 320x240 25 fps file with sound (raw pictures, made with the libraries):
// the time from a Seek while playing to the first picture from the new place, the CPU
// time per second of playback with every picture offered to the hook, and the pictures
// shown per second. For a 30-second stereo tone behind a video stream no decoder knows:
// the CPU time per second with the spectrum display, against the waveform of the same
// sound.
//
//   player_bench [--keep DIR] [--runs N]
//
// Positions are looked at every 5 ms (no display) by the player, so the times carry up to
// 5 ms of that pacing, and the device takes a buffer of 1024 samples (23 ms) at a time.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchInputs.h"
#include "media/base/MainThread.h"
#include "media/binding/FFLoad.h"
#include "media/player/FFPlay.h"
#include "tests/media/player/VideoFile.h"

using namespace sw;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Waits (running the main thread's calls) until the player's position lies in
// [from, from + 2 s): sound from there has been decoded by the audio callback.
double WaitForSoundAt(TFFPlayer& player, int64_t from, Clock::time_point since) {
  while (Clock::now() - since < std::chrono::seconds(5)) {
    const int64_t p = player.CurrentPosition();
    if (p >= from && p < from + 2000000) return Ms(since);
    WaitForPendingMessages(std::chrono::milliseconds(1));
  }
  return -1;
}

// Lets the open file play for ten seconds (running the main thread's calls), stops it and
// gives the CPU time used per second; seconds := the time measured.
double CpuWhilePlaying(TFFPlayer& player, double& seconds) {
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  while (Clock::now() - t0 < std::chrono::seconds(10)) WaitForPendingMessages(std::chrono::milliseconds(50));
  seconds = Ms(t0) / 1000;
  const double used = (CpuSeconds() - cpu0) / seconds;
  player.Stop(true);
  return used;
}

// One file in this process: prints "firstSound seekSound cpuPlain cpuWave peakKb".
int Measure(const std::string& file, int runs) {
  SetMainThread();
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!FFLoader().LoadLibrarySet(PlayerLibraries)) return 1;
  TFFPlayer player;
  player.SetDisableDisplay(true);
  std::vector<double> first, seek;
  for (int r = 0; r < runs; ++r) {
    const int64_t target = (60 + 97 * r) * 1000000LL;  // different places, from one minute on
    const auto t0 = Clock::now();
    if (!player.OpenMedia(file, 0, true)) return 1;
    player.Seek(0, false, target);
    player.Resume();
    first.push_back(WaitForSoundAt(player, target, t0));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int64_t jump = target + 180000000LL;
    const auto t1 = Clock::now();
    player.Seek(0, false, jump);
    seek.push_back(WaitForSoundAt(player, jump, t1));
    player.Stop(true);
  }
  // CPU per second of playback: ten seconds each way.
  const auto cpuPerSecond = [&](bool display) {
    player.SetDisableDisplay(!display);
    std::atomic<int> frames{0};
    player.OnVideoHook = [&](TCustomPlayer*, TPixelBuffer&, int64_t, bool&) { ++frames; };
    if (!player.OpenMedia(file, display ? 1 : 0, false)) return -1.0;
    double seconds = 0;
    const double used = CpuWhilePlaying(player, seconds);
    player.OnVideoHook = nullptr;
    if (display && frames.load() < 100) return -1.0;  // the waveform was not drawn
    return used;
  };
  const double plain = cpuPerSecond(false), wave = cpuPerSecond(true);
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  std::printf("%.1f %.1f %.4f %.4f %ld\n", Median(first), Median(seek), plain, wave, r.ru_maxrss);
  return 0;
}

// The video file in this process: prints "seekPicture cpu picturesPerSecond".
int MeasureVideo(const std::string& file, int runs) {
  SetMainThread();
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!FFLoader().LoadLibrarySet(PlayerLibraries)) return 1;
  TFFPlayer player;
  std::atomic<int64_t> shownAt{-1};
  std::atomic<int> pictures{0};
  player.OnVideoHook = [&](TCustomPlayer*, TPixelBuffer&, int64_t pts, bool&) {
    shownAt = pts;
    ++pictures;
  };
  std::vector<double> seek;
  for (int r = 0; r < runs; ++r) {
    if (!player.OpenMedia(file, 1, false)) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int64_t target = (5 + 3 * (r % 7)) * 1000000LL;
    const auto t0 = Clock::now();
    player.Seek(0, false, target);
    double ms = -1;
    while (Clock::now() - t0 < std::chrono::seconds(5)) {
      const int64_t at = shownAt.load();
      if (at >= target && at < target + 1000000) {
        ms = Ms(t0);
        break;
      }
      WaitForPendingMessages(std::chrono::milliseconds(1));
    }
    seek.push_back(ms);
    player.Stop(true);
  }
  if (!player.OpenMedia(file, 1, false)) return 1;
  pictures = 0;
  double seconds = 0;
  const double used = CpuWhilePlaying(player, seconds);
  std::printf("%.1f %.4f %.1f\n", Median(seek), used, pictures.load() / seconds);
  return 0;
}

// The tone file whose video cannot be decoded, in this process: prints "cpuSpectrum
// cpuWave framesPerSecond" (the spectrum, then the waveform of the same sound with the
// video switched off), ten seconds each.
int MeasureSpectrum(const std::string& file) {
  SetMainThread();
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!FFLoader().LoadLibrarySet(PlayerLibraries)) return 1;
  TFFPlayer player;
  std::atomic<int> frames{0};
  player.OnVideoHook = [&](TCustomPlayer*, TPixelBuffer&, int64_t, bool&) { ++frames; };
  double fps = 0;
  const auto cpuPerSecond = [&](bool spectrum) {
    player.SetDisableVideo(!spectrum);
    frames = 0;
    if (!player.OpenMedia(file, 1, false)) return -1.0;
    double seconds = 0;
    const double used = CpuWhilePlaying(player, seconds);
    if (spectrum) fps = frames.load() / seconds;
    return frames.load() < 100 ? -1.0 : used;
  };
  const double spectrum = cpuPerSecond(true), wave = cpuPerSecond(false);
  std::printf("%.4f %.4f %.1f\n", spectrum, wave, fps);
  return 0;
}

// Writes the file with the libraries unless it is there from an earlier run.
bool MakeVideoInput(const std::string& file, const TVideoFileSpec& spec) {
  if (std::filesystem::exists(file)) return true;
  if (!FFLoader().LoadLibrarySet(PlayerLibraries) || !WriteVideoFile(file + ".part", spec)) return false;
  std::filesystem::rename(file + ".part", file);
  return true;
}

// Runs a measuring child and reads the three figures it prints.
bool RunThree(const std::string& cmd, double& a, double& b, double& c) {
  FILE* p = popen(cmd.c_str(), "r");
  const int got = p ? std::fscanf(p, "%lf %lf %lf", &a, &b, &c) : 0;
  if (p) pclose(p);
  return got == 3;
}

}  // namespace

int main(int argc, char** argv) {
  std::string keep;
  int runs = 7;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--one") && i + 2 < argc) return Measure(argv[i + 1], std::atoi(argv[i + 2]));
    if (!std::strcmp(argv[i], "--video") && i + 2 < argc) return MeasureVideo(argv[i + 1], std::atoi(argv[i + 2]));
    if (!std::strcmp(argv[i], "--spectrum") && i + 1 < argc) return MeasureSpectrum(argv[i + 1]);
    if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  const std::string dir = keep.empty() ? (std::filesystem::temp_directory_path() / "snipwave-player-bench").string() : keep;
  std::filesystem::create_directories(dir);
  const std::string cbr = dir + "/10min-128k.mp3", vbr = dir + "/60min-vbr.mp3";
  if (!bench::MakeSound(cbr, 600, "-b 128") || !bench::MakeSound(vbr, 3600, "-V 2")) return 1;

  const double load = bench::LoadAverage();
  std::printf("load average at start: %.1f on %ld cores; %d runs each; dummy sound driver\n", load,
              sysconf(_SC_NPROCESSORS_ONLN), runs);
  std::printf("%-26s %12s %12s %12s %12s %10s\n", "file", "open->sound", "seek->sound", "CPU plain", "CPU wave",
              "peak RSS");
  std::printf("%-26s %12s %12s %12s %12s %10s\n", "", "median ms", "median ms", "% of core", "% of core", "MiB");
  for (const auto& [file, label] : {std::pair{cbr, "10 min 128 kbit/s CBR"}, std::pair{vbr, "60 min VBR (lame -V 2)"}}) {
    const std::string cmd = std::string("'") + argv[0] + "' --one '" + file + "' " + std::to_string(runs);
    FILE* p = popen(cmd.c_str(), "r");
    double firstMs = -1, seekMs = -1, plain = -1, wave = -1;
    long peak = -1;
    const int got = p ? std::fscanf(p, "%lf %lf %lf %lf %ld", &firstMs, &seekMs, &plain, &wave, &peak) : 0;
    if (p) pclose(p);
    if (got != 5) {
      std::printf("%-26s failed\n", label);
      continue;
    }
    std::printf("%-26s %12.1f %12.1f %12.2f %12.2f %10.1f\n", label, firstMs, seekMs, plain * 100, wave * 100,
                peak / 1024.0);
  }
  std::printf("goals: open->sound < 150 ms, seek->sound < 100 ms, CPU < 3 %% plain and < 10 %% with the waveform\n");

  const std::string video = dir + "/30s-320x240.mkv";
  TVideoFileSpec videoSpec;
  videoSpec.Seconds = 30;
  videoSpec.Width = 320;
  videoSpec.Height = 240;
  double seekMs = -1, cpu = -1, fps = -1;
  if (!MakeVideoInput(video, videoSpec) ||
      !RunThree(std::string("'") + argv[0] + "' --video '" + video + "' " + std::to_string(runs), seekMs, cpu, fps)) {
    std::printf("video: failed\n");
    return 1;
  }
  std::printf("video 30 s 320x240 25 fps + sound, every picture to the hook: seek->picture median %.1f ms, "
              "CPU %.2f %% of a core, %.1f pictures/s\n",
              seekMs, cpu * 100, fps);

  // A stereo tone behind a video stream no decoder knows: the spectrum display.
  const std::string tones = dir + "/30s-undecodable-video.mkv";
  TVideoFileSpec tonesSpec;
  tonesSpec.Seconds = 30;
  tonesSpec.Width = 32;
  tonesSpec.Height = 16;
  tonesSpec.UndecodableVideo = true;
  tonesSpec.Tones = [](double t) { return std::make_pair(200.0 + 300 * t, 4000.0 - 100 * t); };
  double spectrumCpu = -1, waveCpu = -1, columns = -1;
  if (!MakeVideoInput(tones, tonesSpec) ||
      !RunThree(std::string("'") + argv[0] + "' --spectrum '" + tones + "'", spectrumCpu, waveCpu, columns) ||
      spectrumCpu < 0 || waveCpu < 0) {
    std::printf("spectrum: failed\n");
    return 1;
  }
  std::printf("spectrum display (640x480, 2 channels, %.1f columns/s to the hook): CPU %.2f %% of a core; "
              "the waveform of the same sound %.2f %% (goal < 10 %%)\n",
              columns, spectrumCpu * 100, waveCpu * 100);
  return 0;
}
