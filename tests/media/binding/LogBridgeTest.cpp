#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/base/MainThread.h"
#include "media/binding/AVUtilStubs.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"

using namespace sw;
using namespace std::chrono_literals;
using TTexts = std::vector<std::string>;

namespace {

uint32_t Tid() { return static_cast<uint32_t>(::gettid()); }

// A library context as the libraries lay it out: its class first, then (here) its parent.
struct TFakeContext {
  const AVClass* Class;
  void* Parent;
};

const char* OuterName(void*) { return "outer"; }
const char* InnerName(void*) { return "inner"; }

AVClass FakeClass(const char* (*itemName)(void*)) {
  AVClass cls{};
  cls.class_name = "fake";
  cls.item_name = itemName;
  cls.version = LIBAVUTIL_VERSION_INT;
  cls.parent_log_context_offset = offsetof(TFakeContext, Parent);
  return cls;
}

std::string Prefix(const char* format, const char* name, const void* address) {
  char text[128];
  std::snprintf(text, sizeof text, format, name, address);
  return text;
}

struct TRecorded {
  void* Sender;
  uint32_t ThreadID;
  TLogLevel Level;
  std::string Text;
  std::thread::id RanOn;
};

// A logger on the window's terms: made before avutil is loaded, so the loader installs it.
class LogBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread();
    Logger.SetTriggerEventInMainThread(false);
    Logger.OnLog = [this](void* sender, uint32_t thread, TLogLevel level, const std::string& text) {
      std::lock_guard<std::mutex> g(Lock);
      Events.push_back({sender, thread, level, text, std::this_thread::get_id()});
    };
    ASSERT_TRUE(Loader.LoadOneLibrary(flAVUtil)) << Loader.GetLastErrorText();
    Logger.SetLogLevel(llInfo);  // a new logger takes the level in force, which a test may have changed
  }

  std::vector<TRecorded> Recorded() {
    std::lock_guard<std::mutex> g(Lock);
    return Events;
  }
  TTexts Texts() {
    TTexts texts;
    for (const TRecorded& e : Recorded()) texts.push_back(e.Text);
    return texts;
  }
  // Runs the main thread's queue until count events have arrived (or a few seconds pass).
  void PumpUntil(size_t count) {
    for (auto end = std::chrono::steady_clock::now() + 5s; Recorded().size() < count && std::chrono::steady_clock::now() < end;)
      WaitForPendingMessages(50ms);
  }

  std::mutex Lock;
  std::vector<TRecorded> Events;
  TFFLogger Logger;
  TFFLoader Loader;
};

}  // namespace

TEST_F(LogBridge, RepeatedLinesCollapseIntoOneNoticeBeforeTheNextLine) {
  for (int i = 0; i < 3; ++i) ff::av_log(nullptr, AV_LOG_ERROR, "x\n");
  EXPECT_EQ(Texts(), TTexts{"x"});
  ff::av_log(nullptr, AV_LOG_WARNING, "y\n");
  ASSERT_EQ(Texts(), (TTexts{"x", "    Last message repeated 2 times", "y"}));
  const TRecorded notice = Recorded()[1];
  EXPECT_EQ(notice.Level, llWarning);  // the level of the line that ended the run
  EXPECT_EQ(notice.Sender, &Logger);
  EXPECT_EQ(notice.ThreadID, Tid());
  // The run starts over: "y" again is a repeat of "y".
  ff::av_log(nullptr, AV_LOG_WARNING, "y\n");
  ff::av_log(nullptr, AV_LOG_WARNING, "z\n");
  EXPECT_EQ(Texts().at(3), "    Last message repeated 1 times");
}

TEST_F(LogBridge, LineInFragmentsIsOneEventPrefixedOnceWithItsContexts) {
  const AVClass outerClass = FakeClass(OuterName), innerClass = FakeClass(InnerName);
  TFakeContext outer{&outerClass, nullptr};
  TFakeContext inner{&innerClass, &outer};
  ff::av_log(&inner, AV_LOG_ERROR, "ab");
  ff::av_log(&inner, AV_LOG_ERROR, "c\n");
  ff::av_log(&outer, AV_LOG_ERROR, "d\n");  // its parent slot is empty: its own prefix only
  TFakeContext classless{nullptr, nullptr};
  ff::av_log(&classless, AV_LOG_ERROR, "e\n");  // nothing to name it by
  const TRecorded line = Recorded().at(0);
  EXPECT_EQ(Texts(), (TTexts{Prefix("[%s @ %p] ", "outer", &outer) + Prefix("[%s @ %p]", "inner", &inner) + "abc",
                             Prefix("[%s @ %p]", "outer", &outer) + "d", "e"}));
  EXPECT_EQ(line.Level, llError);
  EXPECT_EQ(line.Sender, &Logger);
}

TEST_F(LogBridge, ThreadsWritingFragmentsAtOnceKeepTheirLinesApart) {
  constexpr int Lines = 300;
  std::latch start(2);
  uint32_t ids[2] = {};
  auto writer = [&](int w) {
    ids[w] = Tid();
    start.arrive_and_wait();
    for (int i = 0; i < Lines; ++i) {
      ff::av_log(nullptr, AV_LOG_ERROR, "%c:", 'A' + w);
      ff::av_log(nullptr, AV_LOG_ERROR, "%d", i);
      ff::av_log(nullptr, AV_LOG_ERROR, "\n");  // the same text from both: still each one's line end
    }
  };
  std::thread a(writer, 0), b(writer, 1);
  a.join();
  b.join();
  const std::vector<TRecorded> events = Recorded();
  ASSERT_EQ(events.size(), 2u * Lines);
  int next[2] = {0, 0};
  for (const TRecorded& e : events) {
    const int w = e.ThreadID == ids[0] ? 0 : 1;
    ASSERT_EQ(e.ThreadID, ids[w]);
    ASSERT_EQ(e.Text, std::string(1, static_cast<char>('A' + w)) + ":" + std::to_string(next[w]++));
  }
}

TEST_F(LogBridge, LineEndEqualToAnotherThreadsLineIsNotTakenForARepeat) {
  ff::av_log(nullptr, AV_LOG_ERROR, "ab");
  uint32_t other = 0;
  std::thread([&] {
    other = Tid();
    ff::av_log(nullptr, AV_LOG_ERROR, "x\n");
  }).join();
  ff::av_log(nullptr, AV_LOG_ERROR, "x\n");
  ff::av_log(nullptr, AV_LOG_ERROR, "y\n");
  EXPECT_EQ(Texts(), (TTexts{"x", "abx", "y"}));
  EXPECT_EQ(Recorded().at(0).ThreadID, other);
  EXPECT_EQ(Recorded().at(1).ThreadID, Tid());
}

TEST_F(LogBridge, LibraryLevelFollowsLogLevel) {
  Logger.SetLogLevel(llWarning);
  EXPECT_EQ(ff::av_log_get_level(), AV_LOG_WARNING);
  ff::av_log(nullptr, AV_LOG_INFO, "dropped\n");
  ff::av_log(nullptr, AV_LOG_WARNING, "kept\n");
  ff::av_log(nullptr, AV_LOG_PANIC, "panic\n");
  EXPECT_EQ(Texts(), (TTexts{"kept", "panic"}));
  EXPECT_EQ(Recorded().at(1).Level, llPanic);
}

TEST_F(LogBridge, OwnMessagesPassLogLevelAndVerboseAlwaysDoes) {
  int sender = 0;
  Logger.SetLogLevel(llInfo);
  Logger.Log(&sender, llVerbose, "verbose");
  Logger.Log(&sender, llDebug, "debug");
  Logger.LogFmt(&sender, llError, "%s %d", "error", 7);
  Logger.Log(&sender, llWarning, "warning");
  Logger.SetLogLevel(llQuiet);
  Logger.Log(&sender, llVerbose, "silenced");
  Logger.Log(&sender, llQuiet, "quiet");
  EXPECT_EQ(Texts(), (TTexts{"verbose", "error 7", "warning", "quiet"}));
  const TRecorded e = Recorded().at(1);
  EXPECT_EQ(e.Sender, &sender);
  EXPECT_EQ(e.Level, llError);
  EXPECT_EQ(e.ThreadID, Tid());
}

TEST_F(LogBridge, LevelTextTakesNamesAndLibraryNumbers) {
  Logger.SetLogLevelText("Warning");
  EXPECT_EQ(Logger.LogLevel(), llWarning);
  EXPECT_EQ(ff::av_log_get_level(), AV_LOG_WARNING);
  const std::pair<const char*, TLogLevel> cases[] = {
      {"20", llError}, {"-8", llQuiet}, {"-1", llPanic}, {"47", llVerbose}, {"56", llDebug},
      {"QUIET", llQuiet}, {"debug", llDebug}, {"-100", llQuiet}, {"0", llPanic}};
  for (const auto& [text, level] : cases) {
    Logger.SetLogLevelText(text);
    EXPECT_EQ(Logger.LogLevel(), level) << text;
  }
  for (const char* bad : {"abc", "", "12abc", " 12", "99999999999"}) {
    EXPECT_THROW(Logger.SetLogLevelText(bad), std::exception) << bad;
    EXPECT_EQ(Logger.LogLevel(), llPanic) << bad;
  }
  EXPECT_THROW(Logger.SetLogLevelText("abc"), EConvertError);
}

TEST_F(LogBridge, LongLibraryMessageIsCutToTheBufferAndStillEndsItsLine) {
  const AVClass cls = FakeClass(InnerName);
  TFakeContext context{&cls, nullptr};
  const std::string big(5000, 'a');
  ff::av_log(&context, AV_LOG_ERROR, "%s\n", big.c_str());
  ff::av_log(nullptr, AV_LOG_ERROR, "next\n");
  const TTexts texts = Texts();
  ASSERT_EQ(texts.size(), 2u);
  const std::string prefix = Prefix("[%s @ %p]", "inner", &context);
  // 2048 bytes: the prefix and the text, the line feed and the terminating zero.
  EXPECT_EQ(texts[0], prefix + std::string(2046 - prefix.size(), 'a'));
  EXPECT_EQ(texts[1], "next");
  // The components' own text has no such limit.
  Logger.LogFmt(nullptr, llError, "%s", big.c_str());
  EXPECT_EQ(Texts().at(2), big);
}

TEST_F(LogBridge, EventsRunOnTheMainThreadWhileTheWorkerWaits) {
  Logger.SetTriggerEventInMainThread(true);
  std::atomic<bool> workerReturned{false};
  std::vector<bool> returnedAtDelivery;
  const TLogEvent record = Logger.OnLog;
  Logger.OnLog = [&](void* sender, uint32_t thread, TLogLevel level, const std::string& text) {
    returnedAtDelivery.push_back(workerReturned);
    record(sender, thread, level, text);
  };
  uint32_t worker = 0;
  std::thread t([&] {
    worker = Tid();
    ff::av_log(nullptr, AV_LOG_ERROR, "library\n");
    Logger.Log(nullptr, llError, "component");
    workerReturned = true;
  });
  PumpUntil(2);
  t.join();
  const std::vector<TRecorded> events = Recorded();
  ASSERT_EQ(events.size(), 2u);
  for (const TRecorded& e : events) {
    EXPECT_EQ(e.RanOn, std::this_thread::get_id()) << e.Text;
    EXPECT_EQ(e.ThreadID, worker) << e.Text;  // the thread that logged, not the one delivering
  }
  EXPECT_EQ(returnedAtDelivery, (std::vector<bool>{false, false}));
}

TEST_F(LogBridge, EventsRunOnTheLoggingThreadOtherwise) {
  std::thread::id worker;
  std::thread t([&] {
    worker = std::this_thread::get_id();
    ff::av_log(nullptr, AV_LOG_ERROR, "library, own thread\n");
    Logger.Log(nullptr, llError, "component");
  });
  t.join();  // nobody runs the main thread's queue meanwhile
  const std::vector<TRecorded> events = Recorded();
  ASSERT_EQ(events.size(), 2u);
  for (const TRecorded& e : events) EXPECT_EQ(e.RanOn, worker) << e.Text;
}

TEST_F(LogBridge, MainThreadLogsWhileAWorkerWaitsForIt) {
  Logger.SetTriggerEventInMainThread(true);
  std::promise<void> queued;
  std::atomic<bool> once{false};
  SetMainThreadWaker([&] {
    if (!once.exchange(true)) queued.set_value();
  });
  std::thread t([&] { ff::av_log(nullptr, AV_LOG_ERROR, "worker\n"); });
  ASSERT_EQ(queued.get_future().wait_for(5s), std::future_status::ready);
  // The worker now waits in CallInMainThread; the main thread logs before serving it.
  ff::av_log(nullptr, AV_LOG_ERROR, "main\n");
  Logger.Log(nullptr, llError, "main component");
  EXPECT_EQ(Texts(), (TTexts{"worker", "main", "main component"}));  // in the order they were made
  ProcessPendingMessages();
  t.join();
  SetMainThreadWaker(nullptr);
  EXPECT_EQ(Texts().size(), 3u);
}

TEST_F(LogBridge, HandlerMayLogItself) {
  for (bool mainThread : {true, false}) {
    SCOPED_TRACE(mainThread);
    Logger.SetTriggerEventInMainThread(mainThread);
    TTexts texts;
    Logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) {
      texts.push_back(text);
      if (text == "outer") {
        Logger.Log(nullptr, llError, "inner");
        ff::av_log(nullptr, AV_LOG_ERROR, "library inner\n");
      }
    };
    Logger.Log(nullptr, llError, "outer");
    ff::av_log(nullptr, AV_LOG_ERROR, mainThread ? "after\n" : "after again\n");
    EXPECT_EQ(texts, (TTexts{"outer", "inner", "library inner", mainThread ? "after" : "after again"}));
  }
}

TEST_F(LogBridge, DestroyedLoggerDropsTheEventsStillWaitingForTheMainThread) {
  auto logger = std::make_unique<TFFLogger>();
  int delivered = 0;
  logger->OnLog = [&](void*, uint32_t, TLogLevel, const std::string&) { ++delivered; };
  std::promise<void> queued;
  std::atomic<bool> once{false};
  SetMainThreadWaker([&] {
    if (!once.exchange(true)) queued.set_value();
  });
  std::thread t([&, l = logger.get()] { l->Log(nullptr, llError, "late"); });
  ASSERT_EQ(queued.get_future().wait_for(5s), std::future_status::ready);
  logger.reset();
  ProcessPendingMessages();
  t.join();
  SetMainThreadWaker(nullptr);
  EXPECT_EQ(delivered, 0);
}

TEST(LogBridgeLifetime, OnDemandLoggerMakesWayForTheWindowsOne) {
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));  // no logger yet: one is made on demand
  TLoggerRef demand = GetLogger();
  EXPECT_EQ(GetLogger(), demand);
  int demandLines = 0;
  demand->SetTriggerEventInMainThread(false);
  demand->OnLog = [&](void*, uint32_t, TLogLevel, const std::string&) { ++demandLines; };
  ff::av_log(nullptr, AV_LOG_ERROR, "a\n");
  EXPECT_EQ(demandLines, 1);
  demand.reset();

  std::vector<void*> senders;
  {
    TFFLogger mine;  // the on-demand one is destroyed (the sanitizers see it otherwise)
    EXPECT_EQ(GetLogger().get(), &mine);
    mine.SetTriggerEventInMainThread(false);
    mine.OnLog = [&](void* sender, uint32_t, TLogLevel, const std::string&) { senders.push_back(sender); };
    ff::av_log(nullptr, AV_LOG_ERROR, "b\n");
    EXPECT_EQ(senders, std::vector<void*>{&mine});
  }
  ff::av_log(nullptr, AV_LOG_ERROR, "c\n");  // no logger: dropped
  EXPECT_EQ(senders.size(), 1u);
  TLoggerRef fresh = GetLogger();
  fresh->SetTriggerEventInMainThread(false);
  TTexts texts;
  fresh->OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) { texts.push_back(text); };
  ff::av_log(nullptr, AV_LOG_ERROR, "d\n");
  EXPECT_EQ(texts, TTexts{"d"});
}

TEST(LogBridgeLifetime, DestructionWaitsForTheReferencesHandedOut) {
  SetMainThread();
  auto logger = std::make_unique<TFFLogger>();
  TTexts texts;
  logger->SetTriggerEventInMainThread(false);
  logger->OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) { texts.push_back(text); };
  TLoggerRef held = GetLogger();
  ASSERT_EQ(held.get(), logger.get());
  std::atomic<bool> destroyed{false};
  std::thread closer([&] {
    logger.reset();
    destroyed = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(destroyed);
  held->Log(nullptr, llError, "still here");  // the logger is intact while referenced
  EXPECT_EQ(texts, TTexts{"still here"});
  EXPECT_NE(GetLogger(), held);  // it is no longer handed out: a new one is made on demand
  held.reset();
  closer.join();
  EXPECT_TRUE(destroyed);
}

TEST(LogBridgeLifetime, MainThreadDestructionServesAHolderWaitingForIt) {
  SetMainThread();
  auto logger = std::make_unique<TFFLogger>();  // events for the main thread
  TTexts texts;
  logger->OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) { texts.push_back(text); };
  std::promise<void> referenced;
  std::thread worker([&] {
    TLoggerRef held = GetLogger();
    referenced.set_value();
    std::this_thread::sleep_for(30ms);  // the main thread is in the destructor by now
    held->Log(nullptr, llError, "from the worker");  // waits for the main thread
  });
  referenced.get_future().wait();
  logger.reset();
  worker.join();
  EXPECT_EQ(texts, TTexts{"from the worker"});
}

TEST(LogBridgeLifetime, HandlerAndLoggerChangeWhileLibraryThreadsLog) {
  SetMainThread();
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));
  std::atomic<bool> stop{false};
  std::atomic<int> delivered{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i)
    threads.emplace_back([&] {
      while (!stop) {
        ff::av_log(nullptr, AV_LOG_ERROR, "library line\n");
        GetLogger()->Log(nullptr, llError, "component line");
      }
    });
  for (int round = 0; round < 200; ++round) {
    TFFLogger logger;
    logger.SetTriggerEventInMainThread(false);
    for (int i = 0; i < 5; ++i) {
      logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string&) { ++delivered; };
      logger.OnLog = nullptr;
    }
    logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string&) { ++delivered; };
    std::this_thread::sleep_for(100us);
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_GT(delivered, 0);
}

TEST(LogBridgeLifetime, LevelChosenBeforeAVUtilLoadsIsAppliedOnEveryLoad) {
  TFFLogger logger;
  EXPECT_EQ(logger.LogLevel(), llInfo);  // the libraries' level at start
  logger.SetTriggerEventInMainThread(false);
  TTexts texts;
  logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) { texts.push_back(text); };
  logger.SetLogLevel(llError);  // avutil is not there yet
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));
  EXPECT_EQ(ff::av_log_get_level(), AV_LOG_ERROR);

  loader.UnloadOneLibrary(flAVUtil);
  logger.SetLogLevel(llDebug);
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));  // a fresh copy: callback and level come again
  EXPECT_EQ(ff::av_log_get_level(), AV_LOG_DEBUG);
  ff::av_log(nullptr, AV_LOG_DEBUG, "debug\n");
  EXPECT_EQ(texts, TTexts{"debug"});
  TFFLogger next;  // takes the level in force
  EXPECT_EQ(next.LogLevel(), llDebug);
}
