#pragma once
// A player under test: sound goes to SDL's disk driver (a file in a temporary folder,
// written faster than real time), its own window to SDL's dummy video driver (the
// off-screen one spends a second on graphics set-up), and every
// event is recorded with the thread it arrived on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/base/MainThread.h"
#include "media/player/FFPlay.h"

// Ends the process with a message when the test still runs after the limit: a call that
// hangs would otherwise hold the whole run.
struct TWatchdog {
  std::promise<void> Over;
  std::thread Thread;
  TWatchdog(std::chrono::seconds limit, const char* what)
      : Thread([done = Over.get_future(), limit, what] {
          if (done.wait_for(limit) == std::future_status::ready) return;
          std::fprintf(stderr, "FAILED: %s did not return\n", what);
          std::_Exit(1);
        }) {}
  ~TWatchdog() {
    Over.set_value();
    Thread.join();
  }
};

struct TRecordedEvent {
  enum { Position, State } Kind;
  int64_t Value;
  bool OnMainThread;
};

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sw::SetMainThread();
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", Temp.File("sound.raw").c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", "1", 1);  // a 1024-sample buffer per millisecond
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    RequireLibraries();
  }

  // Records events; the player lives in a member so that tests may destroy it early.
  sw::TFFPlayer& NewPlayer() {
    Player = std::make_unique<sw::TFFPlayer>();
    Player->OnPosition = [this](sw::TCustomPlayer*, int64_t pts) { Record(TRecordedEvent::Position, pts); };
    Player->OnState = [this](sw::TCustomPlayer*, sw::TPlayState s) { Record(TRecordedEvent::State, s); };
    return *Player;
  }

  void Record(decltype(TRecordedEvent::Kind) kind, int64_t value) {
    // What the device had received when the end was announced.
    size_t sound = 0;
    if (kind == TRecordedEvent::State && value == sw::psEnd) {
      std::error_code error;
      const auto bytes = std::filesystem::file_size(SoundFile(), error);
      sound = error ? 0 : static_cast<size_t>(bytes / 2);
    }
    std::lock_guard<std::mutex> g(EventsLock);
    if (sound && !SoundAtEnd) SoundAtEnd = sound;
    Events.push_back({kind, value, sw::IsMainThread()});
  }
  void ClearEvents() {
    std::lock_guard<std::mutex> g(EventsLock);
    Events.clear();
    SoundAtEnd = 0;
  }
  std::vector<TRecordedEvent> TakeEvents() {
    std::lock_guard<std::mutex> g(EventsLock);
    return Events;
  }
  std::vector<int64_t> Positions() {
    std::vector<int64_t> out;
    for (const auto& e : TakeEvents())
      if (e.Kind == TRecordedEvent::Position) out.push_back(e.Value);
    return out;
  }
  std::vector<int64_t> States() {
    std::vector<int64_t> out;
    for (const auto& e : TakeEvents())
      if (e.Kind == TRecordedEvent::State) out.push_back(e.Value);
    return out;
  }
  // The states delivered; a psPlay that a state posted right after it replaced (the ring
  // keeps only the latest of consecutive state changes) is not expected.
  std::vector<int64_t> StatesAfterPlay() {
    std::vector<int64_t> s = States();
    if (!s.empty() && s.front() == sw::psPlay) s.erase(s.begin());
    return s;
  }
  bool SawState(sw::TPlayState s) {
    for (int64_t v : States())
      if (v == s) return true;
    return false;
  }

  // Runs the main thread's queue until the condition holds; false on time-out.
  static bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      sw::WaitForPendingMessages(std::chrono::milliseconds(5));
    }
    return true;
  }
  static void PumpFor(std::chrono::milliseconds d) {
    PumpUntil([] { return false; }, d);
  }

  // The file the disk driver writes to.
  static std::string SoundFile() { return std::getenv("SDL_DISKAUDIOFILE"); }
  // What the disk driver received (in the file named, else the current one): interleaved
  // 16-bit samples.
  std::vector<int16_t> Sound(const std::string& file = "") const {
    std::ifstream in(file.empty() ? SoundFile() : file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  // With SNIPWAVE_PLAYER_GRABS set to a folder, the picture goes there as a PPM file to
  // look at; otherwise nothing happens.
  static void Grab(const std::string& name, const uint8_t* bgr, int width, int height, int bytesPerRow) {
    const char* folder = std::getenv("SNIPWAVE_PLAYER_GRABS");
    if (!folder || !*folder) return;
    std::ofstream out(std::string(folder) + "/" + name + ".ppm", std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = bgr + static_cast<size_t>(y) * bytesPerRow + 3 * static_cast<size_t>(x);
        const char rgb[3] = {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
        out.write(rgb, 3);
      }
  }

  TTempDir Temp;
  std::unique_ptr<sw::TFFPlayer> Player;
  std::mutex EventsLock;
  std::vector<TRecordedEvent> Events;
  size_t SoundAtEnd = 0;  // samples; the first end announced
};
