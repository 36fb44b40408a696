// Subtitles decoded and encoded again: an SRT file written by the test becomes ASS and
// mov_text, each read back on its own with its times and texts.
#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "LogCapture.h"
#include "ReadSubtitles.h"
#include "RunConvert.h"
#include "media/common/UnicodeProtocol.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

const char* const Srt =
    "1\n00:00:00,500 --> 00:00:01,500\nHello there\n\n"
    "2\n00:00:02,000 --> 00:00:03,250\nSecond line\n\n"
    "3\n00:00:04,100 --> 00:00:04,900\nThe end\n\n";

struct TCue {
  int64_t Start = 0, Duration = 0;  // ms
  std::string Text;
};

// Every subtitle packet of the file, decoded by the file's own decoder.
std::vector<TCue> ReadCues(const std::string& name, AVCodecID& codec) {
  std::vector<TCue> cues;
  ForEachSubtitle(name, codec, [&](const AVPacket& packet, const AVStream& st, const AVSubtitle& sub) {
    TCue cue;
    cue.Start = ff::av_rescale_q(packet.pts, st.time_base, AVRational{1, 1000});
    cue.Duration = ff::av_rescale_q(packet.duration, st.time_base, AVRational{1, 1000});
    for (unsigned i = 0; i < sub.num_rects; ++i)
      if (sub.rects[i]->ass) cue.Text += sub.rects[i]->ass;
    cues.push_back(cue);
  });
  return cues;
}

class Subtitles : public WithLibraries {
 protected:
  std::string Convert(const std::string& output, const std::vector<std::string>& lines) {
    return RunConvert(Dir.Write("in.srt", Srt), nullptr, output, {}, lines);
  }
  TTempDir Dir;
};

void ExpectCues(const std::vector<TCue>& cues) {
  ASSERT_EQ(cues.size(), 3u);
  const int64_t starts[] = {500, 2000, 4100}, durations[] = {1000, 1250, 800};
  const char* texts[] = {"Hello there", "Second line", "The end"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(cues[i].Start, starts[i], 10);
    EXPECT_NEAR(cues[i].Duration, durations[i], 10);
    EXPECT_NE(cues[i].Text.find(texts[i]), std::string::npos) << cues[i].Text;
  }
}

}  // namespace

TEST_F(Subtitles, SrtBecomesAssWithItsTimesAndTexts) {
  ASSERT_EQ(Convert(Dir.File("out.ass"), {}), "");
  AVCodecID codec = AV_CODEC_ID_NONE;
  const std::vector<TCue> cues = ReadCues(Dir.File("out.ass"), codec);
  EXPECT_EQ(codec, AV_CODEC_ID_ASS);
  ExpectCues(cues);
  EXPECT_NE(FileContent(Dir.File("out.ass")).find("[Script Info]"), std::string::npos);
}

TEST_F(Subtitles, SrtBecomesMovTextInMp4) {
  ASSERT_EQ(Convert(Dir.File("out.mp4"), {"scodec=mov_text"}), "");
  AVCodecID codec = AV_CODEC_ID_NONE;
  const std::vector<TCue> cues = ReadCues(Dir.File("out.mp4"), codec);
  EXPECT_EQ(codec, AV_CODEC_ID_MOV_TEXT);
  ExpectCues(cues);
}

TEST_F(Subtitles, AStartTimeShiftsTheCues) {
  ASSERT_EQ(Convert(Dir.File("late.ass"), {"ss=1.9"}), "");
  AVCodecID codec = AV_CODEC_ID_NONE;
  const std::vector<TCue> cues = ReadCues(Dir.File("late.ass"), codec);
  ASSERT_EQ(cues.size(), 2u);
  EXPECT_NEAR(cues[0].Start, 100, 10);
  EXPECT_NEAR(cues[1].Start, 2200, 10);
}
