#include "PacketQueue.h"

#include <new>

namespace sw {

namespace {

uint8_t FlushText[] = "FLUSH";

int64_t Charge(const AVPacket* p) { return (IsFlushPacket(p) ? 0 : p->size) + PacketQueue::NodeCharge; }

}  // namespace

AVPacket* FlushPacket() {
  static AVPacket marker = [] {
    AVPacket p{};
    p.data = FlushText;
    p.pts = p.dts = AV_NOPTS_VALUE;
    p.stream_index = -1;
    return p;
  }();
  return &marker;
}

void PacketQueue::Init() {
  Flush();
  std::lock_guard<std::mutex> g(FLock);
  FAbort = false;
}

void PacketQueue::Flush() {
  std::deque<AVPacket*> gone;
  {
    std::lock_guard<std::mutex> g(FLock);
    gone.swap(FPackets);
    FSize = 0;
  }
  for (AVPacket* p : gone)
    if (!IsFlushPacket(p)) ff::av_packet_free(&p);
}

int PacketQueue::Put(AVPacket* packet) {
  {
    std::lock_guard<std::mutex> g(FLock);
    try {
      FPackets.push_back(packet);
    } catch (const std::bad_alloc&) {
      if (!IsFlushPacket(packet)) ff::av_packet_free(&packet);
      return -1;
    }
    FSize += Charge(packet);
  }
  FArrived.notify_one();
  return 0;
}

void PacketQueue::Abort() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FAbort = true;
  }
  FArrived.notify_all();
}

bool PacketQueue::Aborted() const {
  std::lock_guard<std::mutex> g(FLock);
  return FAbort;
}

int PacketQueue::Get(AVPacket*& packet, bool block) {
  std::unique_lock<std::mutex> g(FLock);
  for (;;) {
    if (FAbort) return -1;
    if (!FPackets.empty()) {
      packet = FPackets.front();
      FPackets.pop_front();
      FSize -= Charge(packet);
      return 1;
    }
    if (!block) return 0;
    FArrived.wait(g);
  }
}

int PacketQueue::Count() const {
  std::lock_guard<std::mutex> g(FLock);
  return static_cast<int>(FPackets.size());
}

int64_t PacketQueue::Size() const {
  std::lock_guard<std::mutex> g(FLock);
  return FSize;
}

}  // namespace sw
