// The event ring and the packet queue on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "../../LoadedLibraries.h"
#include "media/player/PacketQueue.h"
#include "media/player/PictureSkip.h"
#include "media/player/PlayerEvents.h"

using namespace sw;

namespace {

TPlayerEvent Position(int64_t p) { return {ekPosition, psPlay, p}; }
TPlayerEvent State(TPlayState s) { return {ekState, s, 0}; }

std::vector<TPlayerEvent> Drain(TPlayerEvents& ring) {
  std::vector<TPlayerEvent> out;
  for (TPlayerEvent e = ring.Take(); e.Kind != ekNone; e = ring.Take()) out.push_back(e);
  return out;
}

}  // namespace

TEST(PlayerEvents, RepeatsCollapseIntoTheLatestAndOtherKindsKeepTheirOrder) {
  TPlayerEvents ring;
  EXPECT_FALSE(ring.WaitReady(std::chrono::milliseconds(0)));
  for (int i = 1; i <= 50; ++i) ring.Post(Position(i * 1000));  // a slow host: one entry
  ring.Post(State(psPause));
  ring.Post(State(psResume));  // replaces the pause not yet taken
  ring.Post(Position(99));
  EXPECT_TRUE(ring.WaitReady(std::chrono::milliseconds(0)));
  const std::vector<TPlayerEvent> got = Drain(ring);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].Kind, ekPosition);
  EXPECT_EQ(got[0].Position, 50000);
  EXPECT_EQ(got[1].Kind, ekState);
  EXPECT_EQ(got[1].State, psResume);
  EXPECT_EQ(got[2].Position, 99);
  EXPECT_FALSE(ring.WaitReady(std::chrono::milliseconds(0)));  // empty again

  // Taken entries are not replaced: a repeat after a take is a new entry.
  ring.Post(State(psEnd));
  EXPECT_EQ(ring.Take().State, psEnd);
  ring.Post(State(psEnd));
  EXPECT_EQ(ring.Pending(), 1);
}

TEST(PlayerEvents, AFullRingDropsItsOldestEntry) {
  TPlayerEvents ring;
  for (int i = 0; i < 12; ++i) ring.Post(i % 2 ? State(psPlay) : Position(i));
  EXPECT_EQ(ring.Pending(), TPlayerEvents::RingSize - 1);
  const std::vector<TPlayerEvent> got = Drain(ring);
  ASSERT_EQ(got.size(), 9u);
  // The first three (positions 0 and 2, a state between) are gone; 3 .. 11 are kept.
  EXPECT_EQ(got[0].Kind, ekState);
  EXPECT_EQ(got[1].Position, 4);
  EXPECT_EQ(got[7].Position, 10);
  EXPECT_EQ(got[8].Kind, ekState);
}

TEST_F(WithLibraries, PacketQueueCountsBytesWithNodesPassesTheFlushMarkerAndAborts) {
  PacketQueue q;
  q.Init();
  AVPacket* p = ff::av_packet_alloc();
  ASSERT_EQ(ff::av_new_packet(p, 1000), 0);
  ASSERT_EQ(q.Put(p), 0);
  ASSERT_EQ(q.Put(FlushPacket()), 0);
  EXPECT_EQ(q.Count(), 2);
  EXPECT_EQ(q.Size(), 1000 + 2 * PacketQueue::NodeCharge);
  EXPECT_EQ(reinterpret_cast<const char*>(FlushPacket()->data), std::string("FLUSH"));

  AVPacket* got = nullptr;
  ASSERT_EQ(q.Get(got, false), 1);
  EXPECT_EQ(got, p);
  ff::av_packet_free(&got);
  ASSERT_EQ(q.Get(got, false), 1);
  EXPECT_TRUE(IsFlushPacket(got));
  EXPECT_EQ(q.Get(got, false), 0);
  EXPECT_EQ(q.Size(), 0);

  // A flush frees what is queued (the leak checker watches), the marker is never freed.
  for (int i = 0; i < 3; ++i) {
    AVPacket* more = ff::av_packet_alloc();
    ASSERT_EQ(ff::av_new_packet(more, 10), 0);
    q.Put(more);
  }
  q.Put(FlushPacket());
  q.Flush();
  EXPECT_EQ(q.Count(), 0);

  // A blocked taker is released by Abort.
  int result = 1;
  std::thread taker([&] { result = q.Get(got, true); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  q.Abort();
  taker.join();
  EXPECT_EQ(result, -1);
  q.Init();
  EXPECT_FALSE(q.Aborted());
}

TEST(PictureSkip, DropsRaiseTheFactorByFivePercentAndPicturesInTimeBringItBack) {
  TPictureSkip skip;
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(skip.Keep());
  for (int i = 0; i < 5; ++i) skip.Dropped();
  EXPECT_NEAR(skip.Factor(), std::pow(1.05, 5), 1e-5);  // 1.276
  // One picture in 1.276 is kept: 78 of 100, each gap at most one picture.
  int kept = 0, run = 0;
  for (int i = 0; i < 100; ++i) {
    if (skip.Keep()) ++kept, run = 0;
    else EXPECT_LT(++run, 2);
  }
  EXPECT_NEAR(kept, 78, 1);
  for (int i = 0; i < 3; ++i) skip.InTime();
  EXPECT_NEAR(skip.Factor(), std::pow(1.05, 2), 1e-5);
  for (int i = 0; i < 10; ++i) skip.InTime();
  EXPECT_EQ(skip.Factor(), 1.0f);
  skip.Dropped();
  skip.Reset();
  EXPECT_EQ(skip.Factor(), 1.0f);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(skip.Keep());
}
