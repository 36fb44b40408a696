#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "../engine/DecodeFile.h"
#include "media/base/MainThread.h"
#include "media/encoder/FFEncode.h"

using namespace sw;
using namespace std::chrono_literals;
using Encoder = WithLibraries;

namespace {

// Every notice in the order it came, with the thread it came on.
struct TNotices {
  std::mutex Lock;
  std::vector<TTerminateInfo> Infos;
  std::vector<std::thread::id> Threads;
  void Attach(TCustomEncoder& encoder) {
    encoder.OnTerminate = [this](TCustomEncoder*, TTerminateInfo info) {
      std::lock_guard<std::mutex> g(Lock);
      Infos.push_back(info);
      Threads.push_back(std::this_thread::get_id());
    };
  }
  size_t Count() {
    std::lock_guard<std::mutex> g(Lock);
    return Infos.size();
  }
  // Waits (running the main thread's queue) until n notices came.
  bool WaitFor(size_t n) {
    for (int i = 0; i < 1000 && Count() < n; ++i) WaitForPendingMessages(10ms);
    return Count() >= n;
  }
};

int AddMp3Task(TCustomEncoder& encoder, const TTempDir& dir, const std::string& name,
               const std::string& input = "tagged.mp3", bool hook = false) {
  const int index = encoder.AddTask(TestData(input), nullptr);
  EXPECT_GE(index, 0) << encoder.ErrorText();
  TOutputOptions o;
  o.FileFormat = "mp3";
  o.AudioCodec = "libmp3lame";
  o.AudioHook = hook;
  EXPECT_TRUE(encoder.SetOutputFile(index, dir.File(name), &o)) << encoder.ErrorText();
  return index;
}

}  // namespace

TEST_F(Encoder, PropertiesAndRefusals) {
  TFFEncoder encoder;
  EXPECT_EQ(encoder.Version(), "3.6a");
  encoder.SetProgressInterval(50);
  EXPECT_EQ(encoder.ProgressInterval(), 100);
  encoder.SetProgressInterval(101);
  EXPECT_EQ(encoder.ProgressInterval(), 101);
  EXPECT_TRUE(encoder.TriggerEventInMainThread());

  TTempDir dir;
  EXPECT_EQ(encoder.AddTask(dir.File("missing.mp3"), nullptr), -1);
  EXPECT_EQ(encoder.ErrorText(), dir.File("missing.mp3") + ": No such file or directory");
  EXPECT_EQ(encoder.TaskCount(), 0);

  const int index = encoder.AddTask(TestData("tagged.mp3"), nullptr);
  ASSERT_EQ(index, 0);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(encoder.SetOutputFile(index, dir.File(std::to_string(i) + ".mp3"), nullptr));
  EXPECT_FALSE(encoder.SetOutputFile(index, dir.File("21.mp3"), nullptr));
  EXPECT_EQ(encoder.ErrorText(), "max output files 20 reached");
  encoder.ClearTasks();
  EXPECT_EQ(encoder.TaskCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("0.mp3")));  // never run: nothing left behind
}

TEST_F(Encoder, OutputOptionsGiveAnMp3WithTheInputsRateAndChannels) {
  TTempDir dir;
  TFFEncoder encoder;
  AddMp3Task(encoder, dir, "mono.mp3", "mono-vbr.mp3");
  TNotices notices;
  notices.Attach(encoder);
  encoder.StartTask(0);
  ASSERT_EQ(notices.Count(), 2u);
  EXPECT_TRUE(notices.Infos[0].Finished) << notices.Infos[0].ExceptionMsg;
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(dir.File("mono.mp3"), out));
  EXPECT_EQ(out.SampleRate, 22050);
  EXPECT_EQ(out.Channels, 1);
}

TEST_F(Encoder, TasksInTheCallingThreadGiveThreeNoticesInOrder) {
  SetMainThread();
  TTempDir dir;
  TFFEncoder encoder;
  AddMp3Task(encoder, dir, "a.mp3");
  AddMp3Task(encoder, dir, "b.mp3");
  TNotices notices;
  notices.Attach(encoder);
  encoder.StartTask(0);
  ASSERT_EQ(notices.Count(), 3u);  // all delivered before StartTask returned
  EXPECT_EQ(notices.Infos[0].TaskIndex, 0);
  EXPECT_EQ(notices.Infos[1].TaskIndex, 1);
  EXPECT_EQ(notices.Infos[2].TaskIndex, -1);
  EXPECT_TRUE(notices.Infos[2].Finished);
  for (auto id : notices.Threads) EXPECT_EQ(id, std::this_thread::get_id());
  try {
    encoder.AddTask(TestData("tagged.mp3"), nullptr);
    ADD_FAILURE() << "no refusal";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
  }
  encoder.ClearTasks();  // allowed once all is done
  EXPECT_GE(encoder.AddTask(TestData("tagged.mp3"), nullptr), 0);
}

TEST_F(Encoder, OneWorkerAtATimeRunsTheTasksOneAfterAnother) {
  SetMainThread();
  TTempDir dir;
  TFFEncoder encoder;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) AddMp3Task(encoder, dir, name, "tagged.mp3", true);
  std::mutex lock;
  std::vector<int> firstHook;  // task indexes as their audio came: overlapping runs would interleave
  encoder.OnAudioHook = [&](TCustomEncoder*, int task, int64_t, uint8_t*, int, int, int, int) {
    std::lock_guard<std::mutex> g(lock);
    if (firstHook.empty() || firstHook.back() != task) firstHook.push_back(task);
  };
  TNotices notices;
  notices.Attach(encoder);
  encoder.StartTask(1);
  ASSERT_TRUE(notices.WaitFor(4));
  EXPECT_EQ(notices.Infos[0].TaskIndex, 0);
  EXPECT_EQ(notices.Infos[1].TaskIndex, 1);
  EXPECT_EQ(notices.Infos[2].TaskIndex, 2);
  EXPECT_EQ(notices.Infos[3].TaskIndex, -1);
  for (auto id : notices.Threads) EXPECT_NE(id, std::this_thread::get_id());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(notices.Infos[i].Finished);
  EXPECT_EQ(firstHook, (std::vector<int>{0, 1, 2}));
}

TEST_F(Encoder, StopDuringAOneAtATimeRunEndsTheRunningTaskAndTellsTheOthers) {
  SetMainThread();
  TTempDir dir;
  TFFEncoder encoder;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) AddMp3Task(encoder, dir, name, "tagged.mp3", true);
  std::atomic<bool> decoding{false};
  TNotices notices;
  notices.Attach(encoder);
  encoder.OnAudioHook = [&](TCustomEncoder*, int, int64_t, uint8_t*, int, int, int, int) {
    decoding = true;
    std::this_thread::sleep_for(2ms);  // a slow task: it is surely still running at the stop
  };
  encoder.StartTask(1);
  while (!decoding) std::this_thread::sleep_for(1ms);
  encoder.Stop(true);
  ASSERT_TRUE(notices.WaitFor(4));
  // The three tasks' notices come on threads of their own, in any order; the final one last.
  std::vector<int> tasks;
  for (int i = 0; i < 3; ++i) {
    tasks.push_back(notices.Infos[i].TaskIndex);
    EXPECT_FALSE(notices.Infos[i].Finished);
    EXPECT_FALSE(notices.Infos[i].Exception);
  }
  std::sort(tasks.begin(), tasks.end());
  EXPECT_EQ(tasks, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(notices.Infos[3].TaskIndex, -1);
  EXPECT_TRUE(notices.Infos[3].Finished);
}

TEST_F(Encoder, StartWithoutOutputNotifiesTheReason) {
  TFFEncoder encoder;
  ASSERT_EQ(encoder.AddTask(TestData("tagged.mp3"), nullptr), 0);
  TNotices notices;
  notices.Attach(encoder);
  encoder.StartTask(1);
  ASSERT_TRUE(notices.WaitFor(2));
  EXPECT_TRUE(notices.Infos[0].Exception);
  EXPECT_EQ(notices.Infos[0].ExceptionMsg, "At least one output file must be specified");
  EXPECT_EQ(notices.Infos[1].TaskIndex, -1);
}

TEST_F(Encoder, StopWaitsWhileTheWorkerWaitsForAMainThreadDelivery) {
  SetMainThread();
  TTempDir dir;
  TFFEncoder encoder;
  AddMp3Task(encoder, dir, "a.mp3");
  std::atomic<int> reports{0};
  encoder.OnProgress = [&](TCustomEncoder*, PProgressInfo) { ++reports; };  // runs on the main thread
  TNotices notices;
  notices.Attach(encoder);
  encoder.SetProgressInterval(101);
  encoder.StartTask(1);
  while (reports == 0 && notices.Count() == 0) WaitForPendingMessages(1ms);
  // The worker now blocks in its next delivery until the main thread runs it.
  std::this_thread::sleep_for(150ms);
  encoder.Stop(true);
  ASSERT_TRUE(notices.WaitFor(2));
}

TEST_F(Encoder, DestroyingTheEncoderWaitsForTheRun) {
  SetMainThread();
  TTempDir dir;
  TNotices notices;
  std::atomic<bool> hooked{false};
  {
    TFFEncoder encoder;
    const int index = encoder.AddTask(TestData("tagged.mp3"), nullptr);
    TOutputOptions o;
    o.FileFormat = "mp3";
    o.AudioCodec = "libmp3lame";
    o.AudioHook = true;
    ASSERT_TRUE(encoder.SetOutputFile(index, dir.File("a.mp3"), &o));
    encoder.OnAudioHook = [&](TCustomEncoder*, int, int64_t, uint8_t*, int, int, int, int) {
      hooked = true;
      std::this_thread::sleep_for(1ms);
    };
    notices.Attach(encoder);
    encoder.StartTask(1);
    while (!hooked) std::this_thread::sleep_for(1ms);
  }
  // The task's notice came before the destructor returned; the run was stopped.
  ASSERT_GE(notices.Count(), 1u);
  EXPECT_EQ(notices.Infos[0].TaskIndex, 0);
  EXPECT_FALSE(notices.Infos[0].Finished);
}

// The final notice's handler may clear the list at once, on its delivery thread, while the
// last task's thread is still finishing the run's bookkeeping: it is never refused as
// working, and the cleared encoder takes a new run (under TSan a read of the bookkeeping
// without its lock is reported).
TEST_F(Encoder, TheFinalHandlerClearsTheTasksAndTheEncoderTakesTheNextRun) {
  SetMainThread();
  TTempDir dir;
  TFFEncoder encoder;
  std::mutex lock;
  std::vector<std::string> refusals;
  std::atomic<int> cleared{0};
  encoder.OnTerminate = [&](TCustomEncoder* sender, TTerminateInfo info) {
    if (info.TaskIndex >= 0) return;
    try {
      sender->ClearTasks();
    } catch (const std::exception& e) {
      std::lock_guard<std::mutex> g(lock);
      refusals.push_back(e.what());
    }
    ++cleared;
  };
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    AddMp3Task(encoder, dir, "a" + std::to_string(run) + ".mp3");
    AddMp3Task(encoder, dir, "b" + std::to_string(run) + ".mp3");
    encoder.StartTask(2);
    for (int i = 0; i < 1000 && cleared <= run; ++i) WaitForPendingMessages(10ms);
    ASSERT_EQ(cleared, run + 1);
    EXPECT_EQ(encoder.TaskCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("b" + std::to_string(run) + ".mp3")));
  }
  std::lock_guard<std::mutex> g(lock);
  EXPECT_TRUE(refusals.empty()) << refusals.front();
}
