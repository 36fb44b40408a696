// Tasks set up through the option layer and run end to end: joined inputs, and the
// decoding options that reach the decoders.
#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "RunConvert.h"
#include "../engine/DecodeFile.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

class Run : public WithLibraries {
 protected:
  TTempDir Dir;
};

}  // namespace

TEST_F(Run, JoinedInputsFollowEachOtherInWavAndMp3) {
  // 12 s at 44.1 kHz, then 3 s at 48 kHz: the output takes the last input's rate.
  constexpr int64_t Total = 12 * 48000 + 3 * 48000;
  for (const char* name : {"joined.wav", "joined.mp3"}) {
    SCOPED_TRACE(name);
    TFFmpeg task;
    ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3"))) << task.ErrorText();
    ASSERT_TRUE(task.OpenInputFile(TestData("notags-48k.mp3"))) << task.ErrorText();
    if (std::string(name).ends_with(".mp3")) task.Options().AudioCodecName = "libmp3lame";
    ASSERT_EQ(task.OpenOutputFile(Dir.File(name), true), 2) << task.ErrorText();
    ASSERT_TRUE(task.Settings().JoinMode);
    EXPECT_EQ(RunTranscode(task), "");
    TDecodedAudio out;
    ASSERT_TRUE(DecodeFile(Dir.File(name), out));
    EXPECT_EQ(out.SampleRate, 48000);
    EXPECT_EQ(out.Channels, 2);
    if (std::string(name).ends_with(".wav"))
      EXPECT_EQ(out.Frames(), Total);
    else  // the reopened encoder starts with its own delay
      EXPECT_NEAR(out.Frames(), Total, 3 * 1152);
  }
}

TEST_F(Run, DecodingOptionsReachTheDecoder) {
  // Told to leave the encoder delay and padding to the caller, the MP3 decoder returns
  // every sample of its 461 frames instead of the 12 s between them.
  const auto frames = [&](bool manualSkip) {
    TFFmpeg task;
    if (manualSkip) task.ApplyOption("flags2", "+skip_manual");
    EXPECT_TRUE(task.OpenInputFile(TestData("tagged.mp3"))) << task.ErrorText();
    task.Options().ReplaceOutput = true;  // the second run writes the first one's name
    EXPECT_EQ(task.OpenOutputFile(Dir.File("out.wav"), false), 1) << task.ErrorText();
    EXPECT_EQ(RunTranscode(task), "");
    TDecodedAudio out;
    EXPECT_TRUE(DecodeFile(Dir.File("out.wav"), out));
    return out.Frames();
  };
  EXPECT_EQ(frames(false), 529200);
  EXPECT_EQ(frames(true), 461 * 1152);
}
