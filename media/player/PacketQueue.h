#pragma once
// A queue of demuxed packets between the read thread (the only producer) and one
// consumer: SDL's audio thread takes without blocking, a video thread may block.
// Fully thread-safe.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "media/binding/AVCodecStubs.h"

namespace sw {

// The marker put into a queue after a seek: whoever takes it resets its decoder. Its data
// is the text "FLUSH"; it is never freed and never copied.
AVPacket* FlushPacket();
inline bool IsFlushPacket(const AVPacket* p) { return p == FlushPacket(); }

class PacketQueue {
 public:
  PacketQueue() = default;
  ~PacketQueue() { End(); }
  PacketQueue(const PacketQueue&) = delete;
  PacketQueue& operator=(const PacketQueue&) = delete;

  void Init();   // empty and not aborted
  void Flush();  // frees every queued packet
  void End() { Flush(); }
  // Takes ownership of packet (or queues the flush marker). -1 when memory runs out.
  int Put(AVPacket* packet);
  void Abort();
  bool Aborted() const;
  // 1 with a packet (the caller owns it unless it is the flush marker), 0 when empty and
  // not blocking, -1 when aborted.
  int Get(AVPacket*& packet, bool block);

  int Count() const;
  // Payload bytes plus a fixed charge per node, so that many tiny packets still fill it.
  int64_t Size() const;

  static constexpr int NodeCharge = 72;

 private:
  mutable std::mutex FLock;
  std::condition_variable FArrived;
  // --- protected by FLock
  std::deque<AVPacket*> FPackets;
  int64_t FSize = 0;
  bool FAbort = false;
};

}  // namespace sw
