// A run never destroys a file and never reports a failed output as finished.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "../../FaultyDisk.h"
#include "../../TempDir.h"
#include "DecodeFile.h"
#include "EngineTask.h"
#include "media/common/FFUtils.h"

using namespace sw;
using OutputSafety = WithLibraries;

namespace {

std::size_t FileCount(const TTempDir& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

// Runs a conversion of tagged.mp3 to output; the text of the failure, or empty.
std::string Convert(const std::string& input, const std::string& output, bool& finished) {
  TCustomFFmpeg engine;
  AddInput(engine, input);
  AddOutput(engine, output, "libmp3lame", 44100, 2, 128000);
  std::string failure;
  try {
    engine.Transcode();
  } catch (const FFmpegException& e) {
    failure = e.what();
  }
  finished = engine.FinishedNormally();
  engine.CleanUp();
  return failure;
}

}  // namespace

TEST_F(OutputSafety, AnOutputThatIsAnInputIsRefusedWhateverItsName) {
  TTempDir dir;
  const std::string source = dir.File("s.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), source);
  const std::string original = FileContent(source);
  std::filesystem::create_hard_link(source, dir.File("hard.mp3"));
  std::filesystem::create_symlink(source, dir.File("soft.mp3"));
  for (const std::string& output : {source, dir.File("hard.mp3"), dir.File("soft.mp3"), dir.Path() + "/./s.mp3"}) {
    bool finished = true;
    const std::string failure = Convert(source, output, finished);
    EXPECT_FALSE(finished) << output;
    EXPECT_EQ(failure, "Output file #0 (" + output +
                           ") is the same file as input file #0: an output may not overwrite its input");
    EXPECT_EQ(FileContent(source), original);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("soft.mp3")));
  EXPECT_EQ(FileCount(dir), 3u);
}

TEST_F(OutputSafety, DiskErrorsAtAnyPointFailTheRunWithTheReasonAndKeepTheOldFile) {
  TTempDir dir;
  bool finished = false;
  ASSERT_EQ(Convert(TestData("tagged.mp3"), dir.File("whole.mp3"), finished), "");
  ASSERT_TRUE(finished);
  const std::size_t size = std::filesystem::file_size(dir.File("whole.mp3"));
  std::filesystem::remove(dir.File("whole.mp3"));

  const std::string target = dir.Write("out.mp3", "the earlier file");
  // Into the packets, at the last buffer (the trailer's flush), and at the header the
  // trailer goes back to rewrite.
  for (const auto& [failure, reason] : {std::pair{ENOSPC, ": No space left on device"}, {EIO, ": I/O error"}}) {
    for (const std::size_t budget : {std::size_t{30000}, size - 100, size - 1}) {
      const TFaultyDisk disk(budget, 0, failure);
      const std::string text = Convert(TestData("tagged.mp3"), target, finished);
      EXPECT_FALSE(finished) << budget;
      EXPECT_NE(text.find(reason), std::string::npos) << budget << ": " << text;
      EXPECT_EQ(FileContent(target), "the earlier file");
      EXPECT_EQ(FileCount(dir), 1u);
    }
  }
  // A disk that takes everything in small pieces gives the whole file.
  {
    const TFaultyDisk disk(SIZE_MAX, 1000, EIO);
    EXPECT_EQ(Convert(TestData("tagged.mp3"), target, finished), "");
  }
  EXPECT_TRUE(finished);
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(target, out));
  EXPECT_NEAR(out.Seconds(), 12.0, 0.03);
}

TEST_F(OutputSafety, AReadErrorInTheMiddleOfTheInputFailsTheRunInsteadOfCommittingAShortFile) {
  TTempDir dir;
  // A name outside every character set goes through our own file route, and its reads.
  const std::string source = dir.File("s\xff\xfe.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), source);
  const std::string target = dir.Write("out.mp3", "the earlier file");
  bool finished = true;
  {
    const TFaultyReads disk(std::filesystem::file_size(source) / 2);
    const std::string text = Convert(source, target, finished);
    EXPECT_EQ(text, "Error reading input file #0: I/O error");
  }
  EXPECT_FALSE(finished);
  EXPECT_EQ(FileContent(target), "the earlier file");
  EXPECT_EQ(FileCount(dir), 2u);
  // The same source read to its end converts whole.
  EXPECT_EQ(Convert(source, target, finished), "");
  EXPECT_TRUE(finished);
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(target, out));
  EXPECT_NEAR(out.Seconds(), 12.0, 0.03);
}

TEST_F(OutputSafety, PipesAndDevicesAreRefusedWithTheirReasonBeforeAnyOpen) {
  TTempDir dir;
  // Nobody writes to the pipe or reads from it: an open of it would wait for ever.
  const std::string fifo = dir.File("pipe.mp3");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  AVFormatContext* in = ff::avformat_alloc_context();
  EXPECT_EQ(OpenInputFormat(&in, MediaUrl(fifo), nullptr, nullptr), NotAFileError(nfNamedPipe));
  EXPECT_EQ(in, nullptr);
  AVIOContext* out = nullptr;
  EXPECT_EQ(OpenOutputIO(&out, MediaUrl(fifo), AVIO_FLAG_WRITE, true), NotAFileError(nfNamedPipe));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(LibraryErrorText(fifo, NotAFileError(nfNamedPipe)), fifo + ": Is a named pipe, not a regular file");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(FileCount(dir), 1u);
  // A device streams without end; writing to one is taken only where it loses nothing.
  EXPECT_EQ(OpenInputFormat(&in, "/dev/zero", nullptr, nullptr), NotAFileError(nfDevice));
  EXPECT_EQ(LibraryErrorText("/dev/zero", NotAFileError(nfDevice)), "/dev/zero: Is a device, not a regular file");
  // A device's own input format opens its own kind of name.
  const AVInputFormat* lavfi = ff::av_find_input_format("lavfi");
  if (lavfi) {
    EXPECT_EQ(OpenInputFormat(&in, "anullsrc", lavfi, nullptr), 0);
    CloseInputFormat(&in);
  }
}
