// The video path end to end: inputs made by the lavfi device, outputs decoded again on
// their own and compared with what was asked for.
#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "../engine/DecodeFile.h"
#include "DecodeVideo.h"
#include "LogCapture.h"
#include "RunConvert.h"
#include "media/base/MainThread.h"
#include "media/encoder/FFEncode.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

// 50 pictures of 320x240 at 25 per second, in a pixel format every encoder here takes.
const char* const Source = "testsrc=size=320x240:rate=25:duration=2,format=yuv420p";

class Video : public WithLibraries {
 protected:
  // A task with the lavfi input and one output made from option lines; "" or the error.
  std::string Convert(const std::string& input, const std::string& output, const std::vector<std::string>& lines,
                      const std::function<void(TFFmpeg&)>& prepare = nullptr) {
    return RunConvert(input, "lavfi", output, {}, lines, prepare);
  }

  TTempDir Dir;
};

}  // namespace

TEST_F(Video, Mpeg4InMp4AndMkvAtAChangedSizeAndRate) {
  for (const char* name : {"out.mp4", "out.mkv"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Convert(Source, Dir.File(name), {"vcodec=mpeg4", "s=160x128", "r=10"}), "");
    TDecodedVideo out;
    ASSERT_TRUE(DecodeVideo(Dir.File(name), out));
    EXPECT_EQ(out.Codec, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(out.Width, 160);
    EXPECT_EQ(out.Height, 128);
    EXPECT_NEAR(out.Frames, 20, 1);  // 2 s at 10 pictures per second
    ASSERT_GE(out.Times.size(), 2u);
    EXPECT_NEAR(out.Times[1] - out.Times[0], 100000, 1000);
  }
}

TEST_F(Video, CroppedAndPaddedPicturesHoldTheSourcePixels) {
  TDecodedVideo in;
  ASSERT_TRUE(DecodeVideo(Source, in, "lavfi"));
  ASSERT_EQ(in.Width, 320);

  // Crop bands: the output is the inner part, pixel for pixel (lossless codec).
  ASSERT_EQ(Convert(Source, Dir.File("crop.mkv"),
                    {"vcodec=ffv1", "croptop=40", "cropbottom=20", "cropleft=80", "cropright=16"}),
            "");
  TDecodedVideo crop;
  ASSERT_TRUE(DecodeVideo(Dir.File("crop.mkv"), crop));
  ASSERT_EQ(crop.Width, 320 - 96);
  ASSERT_EQ(crop.Height, 240 - 60);
  EXPECT_EQ(crop.Frames, 50);
  int same = 0, total = 0;
  for (int y = 0; y < crop.Height; y += 7)
    for (int x = 0; x < crop.Width; x += 5, ++total) same += crop.Y(1, x, y) == in.Y(1, x + 80, y + 40);
  EXPECT_EQ(same, total);

  // A pad filter makes the picture larger: a black border around the source.
  ASSERT_EQ(Convert(Source, Dir.File("pad.mkv"), {"vcodec=ffv1", "vf=pad=400:300:40:30"}), "");
  TDecodedVideo pad;
  ASSERT_TRUE(DecodeVideo(Dir.File("pad.mkv"), pad));
  ASSERT_EQ(pad.Width, 400);
  ASSERT_EQ(pad.Height, 300);
  EXPECT_EQ(pad.Frames, 50);
  EXPECT_EQ(pad.Y(1, 5, 5), 16);
  EXPECT_EQ(pad.Y(1, 399, 299), 16);
  same = total = 0;
  for (int y = 0; y < 240; y += 7)
    for (int x = 0; x < 320; x += 5, ++total) same += pad.Y(1, x + 40, y + 30) == in.Y(1, x, y);
  EXPECT_EQ(same, total);
}

TEST_F(Video, FrameLimitAndFrameRateMethodsGiveTheirCounts) {
  ASSERT_EQ(Convert(Source, Dir.File("seven.mp4"), {"vcodec=mpeg4", "vframes=7"}), "");
  TDecodedVideo seven;
  ASSERT_TRUE(DecodeVideo(Dir.File("seven.mp4"), seven));
  EXPECT_EQ(seven.Frames, 7);

  // Twice the rate: duplicated pictures with a constant rate, none without a method.
  TLogCapture log;
  ASSERT_EQ(Convert(Source, Dir.File("cfr.mp4"), {"vcodec=mpeg4", "r=50", "vsync=1"}), "");
  TDecodedVideo cfr;
  ASSERT_TRUE(DecodeVideo(Dir.File("cfr.mp4"), cfr));
  // Each picture fills the gap to its own time: the first two make one each, the other
  // 48 two each (the last picture's own duration is not filled).
  EXPECT_EQ(cfr.Frames, 98);
  EXPECT_GE(log.Find(" dup="), 0);
  ASSERT_EQ(Convert(Source, Dir.File("passthrough.mp4"), {"vcodec=mpeg4", "r=50", "vsync=0"}), "");
  TDecodedVideo passthrough;
  ASSERT_TRUE(DecodeVideo(Dir.File("passthrough.mp4"), passthrough));
  EXPECT_EQ(passthrough.Frames, 50);
  ASSERT_GE(passthrough.Times.size(), 2u);
  EXPECT_NEAR(passthrough.Times[1] - passthrough.Times[0], 40000, 1000);

  // Half the rate: every other picture dropped.
  ASSERT_EQ(Convert(Source, Dir.File("half.mp4"), {"vcodec=mpeg4", "r=12.5", "vsync=1"}), "");
  TDecodedVideo half;
  ASSERT_TRUE(DecodeVideo(Dir.File("half.mp4"), half));
  EXPECT_NEAR(half.Frames, 25, 1);
}

TEST_F(Video, VideoInputToMp3StaysAudioOnly) {
  ASSERT_EQ(Convert("testsrc=duration=1:size=160x120 [out0]; sine=duration=1 [out1]", Dir.File("out.mp3"), {}), "");
  TDecodedVideo out;
  ASSERT_TRUE(DecodeVideo(Dir.File("out.mp3"), out));
  ASSERT_EQ(out.StreamCount, 1);
  EXPECT_EQ(out.StreamTypes[0], AVMEDIA_TYPE_AUDIO);
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(Dir.File("out.mp3"), audio));
  EXPECT_NEAR(audio.Seconds(), 1.0, 0.05);
}

TEST_F(Video, TwoPassWritesItsLogAndReadsItBack) {
  const std::string prefix = Dir.File("stats");
  ASSERT_EQ(Convert(Source, Dir.File("pass1.mp4"), {"vcodec=mpeg4", "b=200000", "pass=1", "passlogfile=" + prefix}),
            "");
  const std::string log = FileContent(prefix + "-0.log");
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.find("in:49 "), std::string::npos);  // one line per picture, the last one 49
  ASSERT_EQ(Convert(Source, Dir.File("pass2.mp4"), {"vcodec=mpeg4", "b=200000", "pass=2", "passlogfile=" + prefix}),
            "");
  TDecodedVideo out;
  ASSERT_TRUE(DecodeVideo(Dir.File("pass2.mp4"), out));
  EXPECT_EQ(out.Frames, 50);
  // Without the log the second pass is refused, and nothing is written.
  EXPECT_EQ(
      Convert(Source, Dir.File("nolog.mp4"), {"vcodec=mpeg4", "pass=2", "passlogfile=" + Dir.File("missing")}),
      "Cannot read file: Error reading log file \"" + Dir.File("missing") + "-0.log\" for pass-2 encoding");
  EXPECT_FALSE(std::filesystem::exists(Dir.File("nolog.mp4")));
}

TEST_F(Video, StatisticsFileHasALinePerPicture) {
  const std::string stats = Dir.File("vstats.log");
  ASSERT_EQ(Convert(Source, Dir.File("out.mkv"), {"vcodec=mpeg4", "vframes=10", "vstats_file=" + stats}), "");
  const std::string text = FileContent(stats);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
  EXPECT_EQ(text.rfind("frame=     1 q= ", 0), 0u) << text;
  for (const char* field : {" f_size= ", " s_size= ", "kB time= 0.360 br= ", " avg_br= ", "type= I\n", "type= P\n"})
    EXPECT_NE(text.find(field), std::string::npos) << field;
}

namespace {

// A square of 32x32 white pixels at (x, y) of a 24-bit bitmap.
void PaintWhite(TPixelBuffer* b, int x0, int y0) {
  ASSERT_EQ(b->Bits, 24);
  for (int y = y0; y < y0 + 32; ++y)
    for (int x = x0; x < x0 + 32; ++x)
      for (int c = 0; c < 3; ++c) b->Pixels[static_cast<size_t>(y) * b->BytesPerRow + x * 3 + c] = 255;
}

}  // namespace

TEST_F(Video, HooksChangeThePicturesThatAreEncoded) {
  TDecodedVideo in;
  ASSERT_TRUE(DecodeVideo(Source, in, "lavfi", 5));
  for (int frame = 0; frame < 5; ++frame) {  // neither place is white in the source
    ASSERT_LT(in.Y(frame, 16, 16), 200);
    ASSERT_LT(in.Y(frame, 224, 160), 200);
  }
  TFFEncoder encoder;
  std::vector<int> inputFrames, outputFrames;
  encoder.OnVideoInputHook = [&](TCustomEncoder*, PHookInfo info) {
    inputFrames.push_back(info->FrameNumber);
    EXPECT_EQ(info->Bitmap->Width, 320);
    PaintWhite(info->Bitmap, 0, 0);  // before scaling: lands scaled at the output's corner
    info->StopHook = info->FrameNumber == 3;
  };
  encoder.OnVideoOutputHook = [&](TCustomEncoder*, PHookInfo info) {
    outputFrames.push_back(info->FrameNumber);
    EXPECT_EQ(info->Bitmap->Width, 160);
    if (info->FrameNumber == 2) throw std::runtime_error("handler failed");
    PaintWhite(info->Bitmap, 96, 64);
    info->Update = info->FrameNumber != 4;
  };
  TInputOptions input;
  input.FileFormat = "lavfi";
  const int task = encoder.AddTask(Source, &input);
  ASSERT_GE(task, 0) << encoder.ErrorText();
  TOutputOptions o;
  o.VideoCodec = "ffv1";
  o.FrameSize = "160x120";
  o.VideoInputHook = o.VideoOutputHook = true;
  ASSERT_TRUE(encoder.SetOutputFile(task, Dir.File("hooked.mkv"), &o)) << encoder.ErrorText();
  TLogCapture log;
  encoder.StartTask(0);
  ASSERT_TRUE(std::filesystem::exists(Dir.File("hooked.mkv")));
  EXPECT_EQ(inputFrames, (std::vector<int>{1, 2, 3}));  // stopped by its handler
  ASSERT_EQ(outputFrames.size(), 50u);
  EXPECT_EQ(outputFrames.front(), 1);
  EXPECT_EQ(outputFrames.back(), 50);
  EXPECT_TRUE(log.Logged(llError, "Error occurs VideoHook event: handler failed"));

  TDecodedVideo out;
  ASSERT_TRUE(DecodeVideo(Dir.File("hooked.mkv"), out, nullptr, 5));
  ASSERT_EQ(out.Frames, 50);
  const auto whiteAt = [&](int frame, int x, int y) { return out.Y(frame, x, y) >= 230; };
  // The input hook's square, halved by the scaler, in the first three pictures only.
  EXPECT_TRUE(whiteAt(0, 8, 8));
  EXPECT_TRUE(whiteAt(2, 8, 8));
  EXPECT_FALSE(whiteAt(3, 8, 8));
  // The output hook's square, except where the handler failed (2) or asked for no update (4).
  EXPECT_TRUE(whiteAt(0, 112, 80));
  EXPECT_FALSE(whiteAt(1, 112, 80));
  EXPECT_TRUE(whiteAt(2, 112, 80));
  EXPECT_FALSE(whiteAt(3, 112, 80));
  EXPECT_TRUE(whiteAt(4, 112, 80));
}

TEST_F(Video, PreviewPicturesReachTheComponentsEvent) {
  TFFEncoder encoder;
  encoder.SetTriggerEventInMainThread(false);
  std::vector<TPreviewInfo> previews;
  std::vector<std::pair<int, int>> sizes;
  encoder.OnPreviewBitmap = [&](TCustomEncoder*, TPreviewInfo info) {
    previews.push_back(info);
    sizes.emplace_back(info.Bitmap->Width, info.Bitmap->Height);
  };
  TInputOptions input;
  input.FileFormat = "lavfi";
  const int task = encoder.AddTask(Source, &input);
  ASSERT_GE(task, 0) << encoder.ErrorText();
  encoder.SetPreviewBitmap(true);  // reaches the task made before
  TOutputOptions o;
  o.VideoCodec = "mpeg4";
  o.FrameSize = "96x64";
  ASSERT_TRUE(encoder.SetOutputFile(task, Dir.File("preview.mp4"), &o)) << encoder.ErrorText();
  encoder.StartTask(0);
  ASSERT_FALSE(previews.empty());
  EXPECT_EQ(previews[0].FrameNumber, 1);
  EXPECT_EQ(previews[0].PTS, 0);
  EXPECT_EQ(previews[0].TaskIndex, 0);
  EXPECT_EQ(sizes[0], std::make_pair(96, 64));
  for (size_t i = 1; i < previews.size(); ++i) EXPECT_GT(previews[i].FrameNumber, previews[i - 1].FrameNumber);
}

TEST_F(Video, CopiedVideoRefusesHooksAndPreview) {
  ASSERT_EQ(Convert(Source, Dir.File("src.mkv"), {"vcodec=mpeg4"}), "");
  const auto copy = [&](const std::function<void(TFFmpeg&)>& prepare) {
    TFFmpeg task;
    EXPECT_TRUE(task.OpenInputFile(Dir.File("src.mkv"))) << task.ErrorText();
    task.ApplyOption("vcodec", "copy");
    task.Options().ReplaceOutput = true;  // each case writes the same name
    EXPECT_EQ(task.OpenOutputFile(Dir.File("copy.mkv"), false), 1) << task.ErrorText();
    prepare(task);
    try {
      task.Transcode();
    } catch (const FFmpegException& e) {
      task.CleanUp();
      return std::string(e.what());
    }
    task.CleanUp();
    return std::string();
  };
  EXPECT_EQ(copy([](TFFmpeg&) {}), "");
  EXPECT_EQ(copy([](TFFmpeg& t) { t.OnVideoOutputHook = [](auto...) {}; }),
            "-vcodec copy and VideoHook are incompatible (frames are not decoded)");
  EXPECT_EQ(copy([](TFFmpeg& t) { t.SetPreviewFlag(PreviewBitmapFlag, true); }),
            "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
}
