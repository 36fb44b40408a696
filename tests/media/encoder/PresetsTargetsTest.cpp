#include <gtest/gtest.h>

#include <fstream>

#include "../../LoadedLibraries.h"
#include "LogCapture.h"
#include "../../TempDir.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

class PresetsTargets : public WithLibraries {
 protected:
  void SetUp() override {
    WithLibraries::SetUp();
    Task.ClearTask();
  }
  static std::string Refusal(const std::function<void()>& f) {
    try {
      f();
    } catch (const FFmpegException& e) {
      return e.what();
    }
    return "";
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(Dir.File(name), std::ios::binary) << text;
    return Dir.File(name);
  }
  bool HasPrivate(const std::string& key, const std::string& value) {
    for (const auto& entry : Task.Options().VideoPrivateOptions)
      if (entry == TMetadataPair(key, value)) return true;
    return false;
  }
  int VideoGop() { return Task.OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->gop_size; }

  TTempDir Dir;
  TLogCapture Log;
  TFFmpeg Task;
};

}  // namespace

TEST_F(PresetsTargets, TheThirtySixBuiltInPresetsAreThereAndFFmpegTakesEveryLine) {
  const std::vector<std::string> expected{
      "baseline", "default", "fast", "fast_firstpass", "faster", "faster_firstpass", "fastfirstpass", "hq",
      "ipod320", "ipod640", "lossless_fast", "lossless_max", "lossless_medium", "lossless_slow", "lossless_slower",
      "lossless_ultrafast", "main", "max", "medium", "medium_firstpass", "normal", "placebo", "placebo_firstpass",
      "slow", "slow_firstpass", "slower", "slower_firstpass", "slowfirstpass", "superfast", "superfast_firstpass",
      "ultrafast", "ultrafast_firstpass", "veryfast", "veryfast_firstpass", "veryslow", "veryslow_firstpass"};
  std::vector<std::string> names = BuiltInPresetNames(), wanted;
  for (const std::string& e : expected) wanted.push_back("libx264-" + e);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, wanted);
  for (const std::string& name : names) {
    TFFmpeg task;
    EXPECT_EQ(Refusal([&] { task.ApplyPreset("vpre", name); }), "") << name;
  }
}

TEST_F(PresetsTargets, LookUpIgnoresCaseAndTriesTheCodecSuffix) {
  Task.ApplyOption("vpre", "libx264-MAIN");
  EXPECT_TRUE(HasPrivate("8x8dct", "0"));
  Task.Options().VideoPrivateOptions.clear();

  EXPECT_EQ(Refusal([&] { Task.ApplyOption("vpre", "ipod640"); }), "Preset \"ipod640\" not found");
  Task.ApplyOption("vcodec", "libx264");
  Task.ApplyOption("vpre", "ipod640");
  EXPECT_TRUE(HasPrivate("wpredp", "0"));
  EXPECT_EQ(Task.OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->refs, 1);
  EXPECT_EQ(Task.OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->rc_max_rate, 10000000);

  // "fpre" names a file only, even when a built-in preset has that name.
  EXPECT_EQ(Refusal([&] { Task.ApplyOption("fpre", "libx264-main"); }), "Preset \"libx264-main\" not found");
}

TEST_F(PresetsTargets, PresetFilesAreReadAndTheirLinesChecked) {
  const std::string good = WriteFile("good.ffpreset", "\r\n  VCODEC=mpeg4 \r\n\r\n g=12\nbf=2\n");
  Task.ApplyOption("fpre", good);
  EXPECT_EQ(Task.Options().VideoCodecName, "mpeg4");
  EXPECT_EQ(VideoGop(), 12);

  const std::string broken = WriteFile("broken.ffpreset", "g=30\nqmin\nbf=1");
  EXPECT_EQ(Refusal([&] { Task.ApplyOption("fpre", broken); }), broken + ": Invalid syntax: \"qmin\"");
  EXPECT_EQ(VideoGop(), 30);  // the line before stays applied

  const std::string unknown = WriteFile("unknown.ffpreset", "no_such_key=1");
  EXPECT_EQ(Refusal([&] { Task.ApplyOption("fpre", unknown); }),
            unknown + ": Invalid option or argument: \"no_such_key=1\", parsed as \"no_such_key\" = \"1\"");
}

TEST_F(PresetsTargets, NormPrefixesGiveTheTableValues) {
  Task.ApplyOption("target", " pal-vcd ");
  EXPECT_EQ(Task.Options().FrameWidth, 352);
  EXPECT_EQ(Task.Options().FrameHeight, 288);
  EXPECT_EQ(Task.Options().FrameRate.num, 25);
  EXPECT_EQ(Task.Options().FrameRate.den, 1);
  EXPECT_EQ(VideoGop(), 15);
  EXPECT_EQ(Task.Options().VideoCodecName, "mpeg1video");
  EXPECT_EQ(Task.Options().AudioCodecName, "mp2");
  EXPECT_EQ(Task.Options().ForcedFormat, "vcd");
  EXPECT_FLOAT_EQ(Task.Options().MuxPreload, 0.44f);
  EXPECT_EQ(Task.OptionSet().CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate, 224000);
  EXPECT_EQ(Task.OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->bit_rate, 1150000);
  EXPECT_FLOAT_EQ(Task.Options().FrameAspectRatio, 4.0f / 3);
  EXPECT_TRUE(Log.Logged(llInfo, "Assuming 4:3 for aspect ratio"));

  TFFmpeg dvd;
  dvd.Options().AudioChannels = 1;
  dvd.ApplyOption("target", "ntsc-dvd");
  EXPECT_EQ(dvd.Options().FrameWidth, 720);
  EXPECT_EQ(dvd.Options().FrameHeight, 480);
  EXPECT_EQ(dvd.Options().FrameRate.num, 30000);
  EXPECT_EQ(dvd.Options().FrameRate.den, 1001);
  EXPECT_EQ(dvd.OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->gop_size, 18);
  EXPECT_EQ(dvd.Options().AudioSampleRate, 48000);
  EXPECT_EQ(dvd.Options().AudioChannels, 2);  // mono becomes stereo
  EXPECT_FLOAT_EQ(dvd.Options().FrameAspectRatio, 16.0f / 9);

  TFFmpeg dv;
  dv.ApplyOption("target", "film-dv50");
  EXPECT_EQ(dv.Options().PixelFormat, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(dv.Options().FrameRate.num, 24000);
  EXPECT_EQ(dv.Options().FrameHeight, 480);
}

TEST_F(PresetsTargets, UnknownTargetsAndUndecidableNormsAreRefused) {
  EXPECT_EQ(Refusal([&] { Task.ApplyOption("target", "pal-xyz"); }), "Unknown target type");
  EXPECT_TRUE(Task.Options().ForcedFormat.empty());
  EXPECT_EQ(Refusal([&] { Task.ApplyOption("target", "vcd"); }), "frame_rate is invalid.");
}

TEST_F(PresetsTargets, AutomaticNormFollowsTheFrameRateThenTheFallback) {
  Task.ApplyOption("r", "25");
  Task.ApplyTarget("vcd", "auto", "ntsc");
  EXPECT_EQ(Task.Options().FrameHeight, 288);
  EXPECT_TRUE(Log.Logged(llVerbose, "Assuming PAL for target."));

  TFFmpeg odd;
  odd.ApplyOption("r", "15");
  odd.ApplyTarget("svcd", "auto", "film");
  EXPECT_EQ(odd.Options().FrameHeight, 480);
  EXPECT_EQ(odd.Options().FrameRate.num, 24000);
  EXPECT_TRUE(Log.Logged(llVerbose, "Assuming NTSC for target."));
  TFFmpeg other;
  other.ApplyOption("r", "15");
  other.ApplyTarget("dv", "auto", "pal");
  EXPECT_EQ(other.Options().FrameHeight, 576);
  EXPECT_EQ(other.Options().PixelFormat, AV_PIX_FMT_YUV420P);
}

TEST_F(PresetsTargets, DefaultsComeFromTheFieldsFirstThenTheFirstLine) {
  TDefaultsList list;
  BuildDefaults({"", "mpeg4", "", "", "", "", "", ""}, "acodec=mp2\nACODEC=aac\nvcodec=h263\nvfilters=null\ns=\nab=1",
                list);
  EXPECT_EQ(list.Value("def_acodec"), "mp2");
  EXPECT_EQ(list.Value("def_vcodec"), "mpeg4");
  EXPECT_EQ(list.Value("def_vf"), "null");
  EXPECT_FALSE(list.Has("def_s"));
  EXPECT_FALSE(list.Has("ab"));
  std::string value;
  EXPECT_TRUE(list.TakeFirst("acodec", value));
  EXPECT_EQ(value, "mp2");
  EXPECT_TRUE(list.TakeFirst("acodec", value));
  EXPECT_EQ(value, "aac");
  EXPECT_FALSE(list.TakeFirst("acodec", value));
  EXPECT_TRUE(list.Has("vf"));
}
