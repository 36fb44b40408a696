// The video figures of the progress text, and a decoder at a lower resolution.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "DecodeVideo.h"
#include "LogCapture.h"
#include "RunConvert.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

class VideoExtras : public WithLibraries {
 protected:
  std::string Convert(const std::string& input, const char* format, const std::string& output,
                      const std::vector<std::string>& inputLines, const std::vector<std::string>& lines) {
    return RunConvert(input, format, output, inputLines, lines);
  }
  TTempDir Dir;
};

const char* const Source = "testsrc=size=320x240:rate=25:duration=1,format=yuv420p";

// The value after key in text; -1 when key is missing.
double ValueAfter(const std::string& text, const std::string& key) {
  const auto at = text.find(key);
  return at == std::string::npos ? -1 : std::atof(text.c_str() + at + key.size());
}

}  // namespace

TEST_F(VideoExtras, ProgressTextCarriesFramesQualityHistogramAndPsnr) {
  TLogCapture log;
  ASSERT_EQ(Convert(Source, "lavfi", Dir.File("out.mp4"), {}, {"vcodec=mpeg4", "qscale=4", "psnr=1", "qphist=1"}), "");
  const long at = log.Find("q=4.0 L");  // the final report
  ASSERT_GE(at, 0);
  const std::string line = log.Line(at);
  EXPECT_EQ(line.rfind("frame=   25 fps=", 0), 0u) << line;
  // The histogram: 32 digits, only quantiser 4 ever counted.
  const std::string histogram = line.substr(line.find(" L") + 2, 32);
  EXPECT_EQ(histogram.substr(0, 4), "0000") << line;
  EXPECT_NE(histogram[4], '0') << line;
  EXPECT_EQ(histogram.substr(5), std::string(27, '0')) << line;
  EXPECT_EQ(line.compare(line.find(" L") + 34, 7, "PSNR=Y:"), 0) << line;
  for (const char* plane : {"PSNR=Y:", " U:", " V:", " *:"}) {
    const double db = ValueAfter(line, plane);
    EXPECT_GT(db, 25.0) << plane << line;
    EXPECT_LT(db, 70.0) << plane << line;
  }
  EXPECT_NE(line.find("size="), std::string::npos);

  // Without the settings neither part is there.
  log.Clear();
  ASSERT_EQ(Convert(Source, "lavfi", Dir.File("plain.mp4"), {}, {"vcodec=mpeg4", "qscale=4"}), "");
  const long plain = log.Find("q=4.0 L");
  ASSERT_GE(plain, 0);
  EXPECT_EQ(log.Line(plain).find("PSNR"), std::string::npos);
  EXPECT_EQ(log.Line(plain).compare(log.Line(plain).find(" L"), 7, " Lsize="), 0) << log.Line(plain);
}

TEST_F(VideoExtras, LowResolutionDecodingHalvesTheFrameSize) {
  ASSERT_EQ(Convert(Source, "lavfi", Dir.File("src.mkv"), {}, {"vcodec=mpeg4"}), "");
  ASSERT_EQ(Convert(Dir.File("src.mkv"), nullptr, Dir.File("low.mkv"), {"lowres=1"}, {"vcodec=mpeg4"}), "");
  TDecodedVideo low;
  ASSERT_TRUE(DecodeVideo(Dir.File("low.mkv"), low));
  EXPECT_EQ(low.Width, 160);
  EXPECT_EQ(low.Height, 120);
  EXPECT_EQ(low.Frames, 25);
}

