#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "../../TempDir.h"
#include "EngineTask.h"
#include "media/base/MainThread.h"

using namespace sw;
using namespace std::chrono_literals;
using EngineThreads = WithLibraries;

namespace {

struct TEnd {
  std::atomic<int> Calls{0};
  std::thread::id Thread;
  void Attach(TCustomFFmpeg& engine) {
    engine.OnTerminate = [this](TCustomFFmpeg*) {
      Thread = std::this_thread::get_id();
      ++Calls;
    };
  }
};

void MakeTask(TCustomFFmpeg& engine, const TTempDir& dir) {
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 2, 128000);
}

}  // namespace

TEST_F(EngineThreads, StartWithoutFilesDeliversTheReasonAtOnce) {
  TCustomFFmpeg engine;
  TEnd end;
  end.Attach(engine);
  EXPECT_EQ(engine.Start(true, tpNormal), nullptr);
  EXPECT_EQ(end.Calls, 1);
  EXPECT_EQ(end.Thread, std::this_thread::get_id());
  EXPECT_TRUE(engine.ErrorRaised());
  EXPECT_EQ(engine.ErrorMessage(), "At least one output file must be specified");
  EXPECT_TRUE(engine.TerminateDelivered());
  // An ended task does not start again.
  EXPECT_EQ(engine.Start(false, tpNormal), nullptr);
  EXPECT_EQ(end.Calls, 1);

  TTempDir dir;
  TCustomFFmpeg noInput;
  AddOutput(noInput, dir.File("x.mp3"), "libmp3lame", 44100, 2, 128000);
  noInput.Start(false, tpNormal);
  EXPECT_EQ(noInput.ErrorMessage(), "At least one input file must be specified");
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.mp3")));
}

TEST_F(EngineThreads, WorkerWaitsForResumeThenRunsToItsEnd) {
  TTempDir dir;
  TCustomFFmpeg engine;
  MakeTask(engine, dir);
  TEnd end;
  end.Attach(engine);
  TConvertThread* worker = engine.Start(true, tpLower);
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(worker->Priority(), tpLower);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(end.Calls, 0);  // suspended
  EXPECT_TRUE(engine.Running());
  worker->Resume();
  for (int i = 0; i < 500 && end.Calls == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(end.Calls, 1);
  EXPECT_NE(end.Thread, std::this_thread::get_id());
  EXPECT_TRUE(engine.FinishedNormally());
  EXPECT_FALSE(engine.ErrorRaised());
  EXPECT_FALSE(engine.Running());
  EXPECT_TRUE(std::filesystem::file_size(dir.File("out.mp3")) > 100000);
}

TEST_F(EngineThreads, StopOfANeverStartedTaskReturnsAfterItsEndWasDelivered) {
  TTempDir dir;
  TCustomFFmpeg engine;
  MakeTask(engine, dir);
  std::atomic<bool> delivered{false};
  std::thread::id on;
  engine.OnTerminate = [&](TCustomFFmpeg*) {
    std::this_thread::sleep_for(50ms);  // a slow handler: Stop must wait for it
    on = std::this_thread::get_id();
    delivered = true;
  };
  engine.Stop(true);
  EXPECT_TRUE(delivered);
  EXPECT_NE(on, std::this_thread::get_id());
  EXPECT_FALSE(engine.FinishedNormally());
  EXPECT_FALSE(engine.ErrorRaised());
  engine.Stop(true);  // already ended: nothing more
}

TEST_F(EngineThreads, StopWithWaitKeepsMainThreadDeliveriesFlowing) {
  SetMainThread();
  TTempDir dir;
  TCustomFFmpeg engine;
  MakeTask(engine, dir);
  std::atomic<int> mainCalls{0};
  // Every report waits for the main thread, as the window's progress bar does.
  engine.Settings().ReportInterval = 0;
  engine.OnProgress = [&](TCustomFFmpeg*, int, int, int, float, float, int64_t, int64_t, int64_t) {
    CallInMainThread([&] { ++mainCalls; });
  };
  TEnd end;
  end.Attach(engine);
  engine.Start(true, tpNormal)->Resume();
  while (mainCalls < 3) WaitForPendingMessages(100ms);
  engine.Stop(true);  // must not dead-lock on the worker's pending delivery
  EXPECT_EQ(end.Calls, 1);
  EXPECT_FALSE(engine.FinishedNormally());
  EXPECT_FALSE(engine.Running());
}

TEST_F(EngineThreads, DestroyingARunningEngineWaitsForTheWorker) {
  TTempDir dir;
  TEnd end;
  std::atomic<bool> inRun{false};
  {
    TCustomFFmpeg engine;
    MakeTask(engine, dir);
    end.Attach(engine);
    engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int, int, int, int) {
      inRun = true;
      std::this_thread::sleep_for(1ms);
    };
    engine.Start(true, tpNormal)->Resume();
    while (!inRun) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(end.Calls, 1);
  // A stopped run keeps nothing, not even a temporary file.
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(EngineThreads, AnErrorInTheRunIsKeptAndTheEndStillDelivered) {
  TTempDir dir;
  TCustomFFmpeg engine;
  MakeTask(engine, dir);
  engine.OutputFile(0)->Streams[0].Encoder = nullptr;
  engine.OutputFile(0)->Streams[0].Codec->codec_id = AV_CODEC_ID_NONE;
  TEnd end;
  end.Attach(engine);
  EXPECT_EQ(engine.Start(false, tpNormal), nullptr);
  EXPECT_EQ(end.Calls, 1);
  EXPECT_TRUE(engine.ErrorRaised());
  EXPECT_EQ(engine.ErrorMessage(), "Encoder (codec id 0) not found for output stream #0.0 (Audio)");
  EXPECT_FALSE(engine.FinishedNormally());
  EXPECT_EQ(engine.OutputFileCount(), 0);  // cleaned up
}

TEST(EngineWithoutLibraries, OptionBlockWaitsForTheLibraries) {
  TCustomFFmpeg engine;  // made before anything is loaded (each test runs in its own process)
  EXPECT_THROW(engine.OptionSet(), ELibraryNotLoaded);
  RequireLibraries();
  EXPECT_TRUE(engine.OptionSet().SetLibraryOption("b", "64000"));
}
