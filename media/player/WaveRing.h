#pragma once
// The latest samples handed to the sound device, for the displays of the sound: the
// spectrum takes the newest ones; the waveform takes a window from the sample being
// heard, moved back to where the first channel falls through zero so that a steady
// tone stands still. Fully thread-safe.
#include <cstdint>
#include <mutex>
#include <vector>

namespace sw {

class TWaveRing {
 public:
  // How far the waveform's start may move back to find its trigger.
  static constexpr int TriggerReach = 1000;  // samples

  explicit TWaveRing(int size) : FRing(static_cast<size_t>(size), 0) {}

  // SDL's audio thread: interleaved samples that go to the device.
  void Add(const int16_t* samples, int count);
  // SDL's audio thread, after each callback: that many of the samples added still wait in
  // the callback's own buffer (the rest has been handed to the device).
  void SetWaiting(int samples);

  // The newest count samples, oldest first.
  void Latest(std::vector<int16_t>& out, int count);
  // frames sample frames (channels samples each) from the one heard now, which lies
  // inDevice samples (whole frames) behind the last one handed to the device (the window starts earlier
  // when not enough have been decoded past it); the start then moves back, by at most
  // TriggerReach samples, to the frame whose first channel falls most steeply through
  // zero (its sample less the one nine frames later is largest, among frames whose
  // samples four and five frames later differ in sign). A start >= 0 (a ring position
  // answered before) is taken as it is. Answers the start used.
  int Window(std::vector<int16_t>& out, int frames, int channels, int inDevice, int start = -1);

 private:
  int At(int64_t position) const;  // a ring position, wrapped

  std::mutex FLock;
  // --- protected by FLock
  std::vector<int16_t> FRing;
  int FWrite = 0;          // where the next sample goes
  int FWaiting = 0;        // samples before FWrite not yet handed to the device
  int64_t FWritten = 0;    // samples added in all
};

}  // namespace sw
