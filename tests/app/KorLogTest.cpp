#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../TempDir.h"
#include "app/KorLog.h"

using namespace sw;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string LogName(const TTempDir& dir, int n) { return dir.File("Log/log" + std::to_string(n) + ".txt"); }

}  // namespace

TEST(RunLog, LinesCarryTheTimeAndTheLevelIndent) {
  std::tm when{};
  when.tm_year = 2011 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 3;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 7;
  EXPECT_EQ(TKorLog::FormatLine(when, false, "Volume:178"), "2011-03-03 09:05:07          Volume:178");
  EXPECT_EQ(TKorLog::FormatLine(when, true, "Failed to convert audio."), "2011-03-03 09:05:07  Failed to convert audio.");
}

TEST(RunLog, WritesAppendCrLfLines) {
  TTempDir dir;
  TKorLog log(dir.File("log1.txt"));
  EXPECT_TRUE(fs::exists(dir.File("log1.txt")));
  EXPECT_EQ(ReadAll(dir.File("log1.txt")), "");
  log.WriteInfo("Begin Time:00:00:03");
  log.WriteError("Failed to load file, error message: x");
  const std::string text = ReadAll(dir.File("log1.txt"));
  // 19 characters of time stamp, then the indent.
  ASSERT_EQ(text.size(), (19 + 10 + 19 + 2) + (19 + 2 + 37 + 2));
  EXPECT_EQ(text.substr(19, 31), "          Begin Time:00:00:03\r\n");
  EXPECT_EQ(text.substr(50 + 19), "  Failed to load file, error message: x\r\n");
  EXPECT_EQ(text[4], '-');
  EXPECT_EQ(text[13], ':');
}

TEST(RunLog, RotationWithAllTenLogsDropsTheOldest) {
  TTempDir dir;
  fs::create_directory(dir.File("Log"));
  for (int n = 1; n <= 10; ++n) dir.Write("Log/log" + std::to_string(n) + ".txt", "run " + std::to_string(n));
  ASSERT_TRUE(OpenRunLog(dir.Path(), ""));
  EXPECT_EQ(RunLog->FileName(), LogName(dir, 1));
  EXPECT_EQ(ReadAll(LogName(dir, 1)), "");
  for (int n = 2; n <= 10; ++n) EXPECT_EQ(ReadAll(LogName(dir, n)), "run " + std::to_string(n - 1)) << n;
  EXPECT_FALSE(fs::exists(dir.File("Log/log11.txt")));
  RunLog.reset();
}

TEST(RunLog, RotationWithOnlyLog3) {
  TTempDir dir;
  fs::create_directory(dir.File("Log"));
  dir.Write("Log/log3.txt", "old");
  ASSERT_TRUE(OpenRunLog(dir.Path(), ""));
  EXPECT_EQ(ReadAll(LogName(dir, 4)), "old");
  EXPECT_TRUE(fs::exists(LogName(dir, 1)));
  EXPECT_FALSE(fs::exists(LogName(dir, 2)));
  EXPECT_FALSE(fs::exists(LogName(dir, 3)));
  RunLog.reset();
}

TEST(RunLog, FolderIsMadeBesideTheProgramWhenMissing) {
  TTempDir dir;
  EXPECT_EQ(ChooseLogFolder(dir.Path(), dir.File("user")), dir.File("Log"));
  EXPECT_TRUE(fs::is_directory(dir.File("Log")));
  EXPECT_FALSE(fs::exists(dir.File("user")));
}

TEST(RunLog, ReadOnlyProgramFolderFallsBackToTheUserFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TTempDir dir;
  fs::create_directory(dir.File("program"));
  ::chmod(dir.File("program").c_str(), 0555);
  EXPECT_EQ(ChooseLogFolder(dir.File("program"), dir.File("state/snipwave")), dir.File("state/snipwave/Log"));
  EXPECT_FALSE(fs::exists(dir.File("program/Log")));
  ::chmod(dir.File("program").c_str(), 0755);
}

TEST(RunLog, FallbackIsUsedWhenTheLogFolderCannotBeMade) {
  TTempDir dir;
  // A file where the folder should be: no user permissions are involved, so this holds for root too.
  dir.Write("Log", "not a folder");
  EXPECT_EQ(ChooseLogFolder(dir.Path(), dir.File("state")), dir.File("state/Log"));
  EXPECT_EQ(ChooseLogFolder(dir.Path(), ""), "");
  EXPECT_FALSE(OpenRunLog(dir.Path(), ""));
}

TEST(RunLog, AFailingWriteIsReportedOnceAndTheRunGoesOn) {
  TTempDir dir;
  fs::create_directory(dir.File("Log"));
  TKorLog log(dir.File("Log/log1.txt"));
  int reports = 0;
  std::string reason;
  log.OnWriteFailed = [&](const std::string& r) {
    ++reports;
    reason = r;
  };
  log.WriteInfo("first");
  fs::remove_all(dir.File("Log"));
  log.WriteInfo("lost");
  log.WriteError("lost too");
  EXPECT_EQ(reports, 1);
  EXPECT_NE(reason.find("log1.txt"), std::string::npos);
  // A full disk fails at the write, not at the opening.
  TKorLog full("/dev/full");
  full.OnWriteFailed = [&](const std::string&) { ++reports; };
  full.WriteInfo("no room");
  full.WriteInfo("still no room");
  EXPECT_EQ(reports, 2);
}
