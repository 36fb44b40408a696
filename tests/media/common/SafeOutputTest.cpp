// Outputs through our own I/O context: nothing appears under the target's name before
// the commit, a failed or abandoned output leaves the folder as it was, and errors of
// the disk reach the caller.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../../FaultyDisk.h"
#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/base/SafeOutput.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"

using namespace sw;
using SafeOutput = WithLibraries;

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Writes the text through an output I/O context and commits (or, without commit, closes).
int WriteOutput(const std::string& name, const std::string& text, bool commit = true, bool replace = true) {
  AVIOContext* io = nullptr;
  const int opened = OpenOutputIO(&io, name, AVIO_FLAG_WRITE, replace);
  if (opened < 0) return opened;
  ff::avio_write(io, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (commit) return CommitOutputIO(&io);
  CloseOutputIO(&io);
  return 0;
}

}  // namespace

TEST_F(SafeOutput, TargetChangesOnlyAtTheCommitAndWhole) {
  TTempDir dir;
  const std::string target = dir.Write("song.mp3", "the old file");
  ::chmod(target.c_str(), 0640);
  AVIOContext* io = nullptr;
  ASSERT_EQ(OpenOutputIO(&io, target, AVIO_FLAG_WRITE, true), 0);
  const std::string text(300000, 'n');
  ff::avio_write(io, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  ff::avio_flush(io);
  EXPECT_EQ(FileContent(target), "the old file");  // written beside it, not into it
  EXPECT_EQ(Names(dir.Path()).size(), 2u);
  ASSERT_EQ(CommitOutputIO(&io), 0);
  EXPECT_EQ(io, nullptr);
  EXPECT_EQ(FileContent(target), text);
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"song.mp3"});
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // a replaced file keeps its permissions

  // Closed without a commit (a failure, a stop): the folder is as it was.
  EXPECT_EQ(WriteOutput(target, "abandoned", false), 0);
  EXPECT_EQ(WriteOutput(dir.File("new.mp3"), "abandoned", false), 0);
  EXPECT_EQ(FileContent(target), text);
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"song.mp3"});
}

TEST_F(SafeOutput, WithoutPermissionNoFileIsReplacedNotEvenOneThatAppearsMeanwhile) {
  TTempDir dir;
  const std::string target = dir.Write("mine.mp3", "my precious data");
  EXPECT_EQ(WriteOutput(target, "a cut", true, false), ErrorTargetExists);
  EXPECT_EQ(LibraryErrorText(target, ErrorTargetExists), target + ": The file exists and may not be replaced");

  // The name is free at the open and taken before the commit.
  const std::string later = dir.File("later.mp3");
  AVIOContext* io = nullptr;
  ASSERT_EQ(OpenOutputIO(&io, later, AVIO_FLAG_WRITE, false), 0);
  ff::avio_write(io, reinterpret_cast<const unsigned char*>("a cut"), 5);
  dir.Write("later.mp3", "written meanwhile");
  EXPECT_EQ(CommitOutputIO(&io), ErrorTargetAppeared);
  EXPECT_NE(LibraryErrorText(later, ErrorTargetAppeared).find("appeared while the output was being written"),
            std::string::npos);
  EXPECT_EQ(FileContent(target), "my precious data");
  EXPECT_EQ(FileContent(later), "written meanwhile");
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"later.mp3", "mine.mp3"}));

  // Four writers to one free name: one of them gets it, whole; the others keep off.
  std::atomic<int> committed{0};
  std::vector<std::thread> writers;
  for (char c : std::string("abcd"))
    writers.emplace_back([&, c] {
      const int r = WriteOutput(dir.File("race.mp3"), std::string(500000, c), true, false);
      EXPECT_TRUE(r == 0 || r == ErrorTargetAppeared || r == ErrorTargetExists) << r;
      committed += r == 0;
    });
  for (auto& w : writers) w.join();
  EXPECT_EQ(committed, 1);
  const std::string won = FileContent(dir.File("race.mp3"));
  ASSERT_EQ(won.size(), 500000u);
  EXPECT_EQ(won.find_first_not_of(won[0]), std::string::npos);
  EXPECT_EQ(Names(dir.Path()).size(), 3u);

  // Where the file system has no rename that refuses to replace, a hard link does it.
  const std::string part = dir.Write("part", "new");
  EXPECT_EQ(LinkWithoutReplacing(part, target), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(FileContent(target), "my precious data");
  EXPECT_EQ(LinkWithoutReplacing(part, dir.File("free.mp3")), 0);
  EXPECT_EQ(FileContent(dir.File("free.mp3")), "new");
  EXPECT_FALSE(std::filesystem::exists(part));
}

TEST_F(SafeOutput, FullDiskAndWriteErrorsFailTheCommitAndLeaveTheTargetAlone) {
  TTempDir dir;
  const std::string target = dir.Write("out.mp3", "keep me");
  const std::string text(200000, 'x');
  for (const int failure : {ENOSPC, EIO}) {
    for (const std::size_t budget : {std::size_t{0}, std::size_t{70000}, text.size() - 1}) {
      const TFaultyDisk disk(budget, 0, failure);
      EXPECT_EQ(WriteOutput(target, text), AVERROR(failure)) << budget;
      EXPECT_EQ(FileContent(target), "keep me");
      EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"out.mp3"});
    }
  }
  // Short writes are carried on until every byte is there.
  {
    const TFaultyDisk disk(SIZE_MAX, 7, EIO);
    ASSERT_EQ(WriteOutput(target, text), 0);
  }
  EXPECT_EQ(FileContent(target), text);
}

TEST_F(SafeOutput, DevicesAreWrittenInPlaceAndPipesNeverWaitedFor) {
  TTempDir dir;
  struct stat before {};
  ASSERT_EQ(::stat("/dev/null", &before), 0);
  EXPECT_EQ(WriteOutput("/dev/null", "nothing", true), 0);
  EXPECT_EQ(WriteOutput("/dev/null", "nothing", false), 0);
  struct stat after {};
  ASSERT_EQ(::stat("/dev/null", &after), 0);
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(after.st_rdev, before.st_rdev);

  // A pipe is refused above this layer; here, one without a reader fails at once.
  const std::string fifo = dir.File("pipe.mp3");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TOutputTarget where;
  EXPECT_EQ(CreateOutputTarget(fifo, false, true, where), -1);
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(WriteOutput(fifo, "x"), NotAFileError(nfNamedPipe));
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"pipe.mp3"});
}

TEST_F(SafeOutput, ALinkAtTheTargetIsReplacedNotWrittenThrough) {
  TTempDir dir;
  const std::string other = dir.Write("other.mp3", "somebody else's file");
  const std::string link = dir.File("link.mp3");
  std::filesystem::create_symlink(other, link);
  ASSERT_EQ(WriteOutput(link, "the new cut"), 0);
  EXPECT_EQ(FileContent(other), "somebody else's file");
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(FileContent(link), "the new cut");
}

TEST_F(SafeOutput, UnusableTargetsFailWithTheSystemsReason) {
  TTempDir dir;
  const std::string file = dir.Write("plain", "x");
  EXPECT_EQ(WriteOutput(dir.File("a/b/x.mp3"), "x"), AVERROR(ENOENT));
  EXPECT_EQ(WriteOutput(file + "/x.mp3", "x"), AVERROR(ENOTDIR));
  EXPECT_EQ(WriteOutput(dir.Path(), "x"), AVERROR(EISDIR));
  EXPECT_EQ(WriteOutput(dir.File(std::string(NAME_MAX + 1, 'n')), "x"), AVERROR(ENAMETOOLONG));
  // The longest name still fits beside its temporary file.
  EXPECT_EQ(WriteOutput(dir.File(std::string(NAME_MAX, 'n')), "x"), 0);
  if (::geteuid() != 0) {  // root writes anywhere
    const std::string locked = dir.File("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0500);
    EXPECT_EQ(WriteOutput(locked + "/x.mp3", "x"), AVERROR(EACCES));
  }
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{std::string(NAME_MAX, 'n'), "plain"}));
}

TEST_F(SafeOutput, ConcurrentWritersToOneNameLeaveOneWholeFile) {
  TTempDir dir;
  const std::string target = dir.File("same.mp3");
  std::vector<std::thread> writers;
  for (char c : std::string("abcd"))
    writers.emplace_back([&, c] { EXPECT_EQ(WriteOutput(target, std::string(500000, c)), 0); });
  for (auto& w : writers) w.join();
  const std::string result = FileContent(target);
  ASSERT_EQ(result.size(), 500000u);
  EXPECT_EQ(result.find_first_not_of(result[0]), std::string::npos);
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"same.mp3"});
}

TEST_F(SafeOutput, NamesThatLookLikeProtocolsAreLocalFiles) {
  TTempDir dir;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  for (const std::string name : {"pipe:2.mp3", "concat:a|b", "Live:2020.mp3", "file:x.mp3"}) {
    EXPECT_TRUE(NeedsUnicodeRoute(name)) << name;
    EXPECT_FALSE(IsProtocolUrl(name)) << name;
    EXPECT_EQ(WriteOutput(name, "local " + name), 0) << name;
    EXPECT_EQ(FileContent(name), "local " + name);
  }
  std::filesystem::copy_file(TestData("tagged.mp3"), "pipe:0.mp3");
  AVFormatContext* ctx = nullptr;
  ASSERT_EQ(OpenInputFormat(&ctx, MediaUrl("pipe:0.mp3"), nullptr, nullptr), 0);
  EXPECT_EQ(MediaUrlToFileName(ctx->url), "pipe:0.mp3");
  CloseInputFormat(&ctx);
  std::filesystem::current_path(cwd);
  for (const std::string url : {"http://example.invalid/a.mp3", "udp://127.0.0.1:1234", "rtp://host:5004"})
    EXPECT_TRUE(IsProtocolUrl(url)) << url;
  EXPECT_FALSE(IsProtocolUrl("pipe://x"));  // not on the allowed list
  EXPECT_FALSE(NeedsUnicodeRoute("/music/a:b.mp3"));
}
