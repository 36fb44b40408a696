#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "LogCapture.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

class Options : public WithLibraries {
 protected:
  void SetUp() override {
    WithLibraries::SetUp();
    Task.ClearTask();  // made before the libraries were loaded: renews its option block
  }
  // The message of the refusal, or "" when the option was taken.
  static std::string Refusal(TFFmpeg& task, const std::string& name, const std::string& value) {
    try {
      task.ApplyOption(name, value);
    } catch (const FFmpegException& e) {
      return e.what();
    }
    return "";
  }
  static int64_t AudioBitRate(TFFmpeg& task) { return task.OptionSet().CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate; }

  TLogCapture Log;
  TFFmpeg Task;
};

}  // namespace

TEST_F(Options, CrlfTagLineBreaksAndPlainLinesGiveTheSameOptions) {
  TFFmpeg tagged, plain, mixed;
  tagged.ApplyOptionLines("  f=mp3<CRLF>ab=224000  ", false);
  plain.ApplyOptionLines("f=mp3\nab=224000", false);
  mixed.ApplyOptionLines("f=mp3\r\nt=5\rab=224000", false);
  for (TFFmpeg* task : {&tagged, &plain, &mixed}) {
    EXPECT_EQ(task->Options().ForcedFormat, "mp3");
    EXPECT_EQ(AudioBitRate(*task), 224000);
  }
  EXPECT_EQ(mixed.Settings().RecordingTime, 5000000);
}

TEST_F(Options, NamesAreLoweredButBlanksAroundTheEqualsSignAreKept) {
  Task.ApplyOptionLines("AB=64000\nVOL=512", false);
  EXPECT_EQ(AudioBitRate(Task), 64000);
  EXPECT_EQ(Task.Settings().AudioVolume, 512);
  // "vol " is no handler's name and no library option: nothing changes.
  Task.ApplyOptionLines("vol = 300\nf =mp3", false);
  EXPECT_EQ(Task.Settings().AudioVolume, 512);
  EXPECT_TRUE(Task.Options().ForcedFormat.empty());
  // Nor do names that the option block would know without the blank.
  Task.ApplyOptionLines("ab = 32000\nb =32000\n ab=32000", false);
  EXPECT_EQ(AudioBitRate(Task), 64000);
  EXPECT_EQ(Task.OptionSet().Names(), std::vector<std::string>{"ab"});
}

TEST_F(Options, CodecAndSizeLinesOnlyWhereCodecNamesAreAllowedOthersSkipped) {
  Task.ApplyOptionLines("acodec=mp2\nvcodec=mpeg4\ns=320x240\nvf=scale=2:2\nnewaudio=1\napre=x", false);
  EXPECT_FALSE(Task.Options().AudioCodecName);
  EXPECT_FALSE(Task.Options().VideoCodecName);
  EXPECT_EQ(Task.Options().FrameWidth, 0);
  EXPECT_TRUE(Task.Settings().VideoFilters.empty());
  Task.ApplyOptionLines("acodec=mp2\nvcodec=copy\ns=320x240", true);
  EXPECT_EQ(Task.Options().AudioCodecName, "mp2");
  EXPECT_TRUE(Task.Options().VideoStreamCopy);
  EXPECT_EQ(Task.Options().FrameWidth, 320);
  EXPECT_EQ(Task.Options().FrameHeight, 240);
}

TEST_F(Options, LowAudioBitRateWarnsAndIsKept) {
  Task.ApplyOption("ab", "64");
  EXPECT_EQ(AudioBitRate(Task), 64);
  EXPECT_TRUE(Log.Logged(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"));
  Log.Clear();
  Task.ApplyOption("ab", "128000");
  EXPECT_EQ(Log.LoggedAt(llWarning), 0u);
}

TEST_F(Options, VideoBitRateStaysOffTheAudioContext) {
  Task.ApplyOption("ab", "96000");
  Task.ApplyOption("b", "1150000");
  EXPECT_EQ(AudioBitRate(Task), 96000);
  EXPECT_EQ(Task.OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->bit_rate, 1150000);
}

TEST_F(Options, ZeroChannelsAndNegativeRateKeepWhatWasThere) {
  Task.ApplyOption("ac", "0");
  Task.ApplyOption("ar", "-1");
  EXPECT_EQ(Task.Options().AudioChannels, 2);
  EXPECT_EQ(Task.Options().AudioSampleRate, 44100);
  Task.ApplyOption("ac", "1");
  Task.ApplyOption("ar", "22050");
  EXPECT_EQ(Task.Options().AudioChannels, 1);
  EXPECT_EQ(Task.Options().AudioSampleRate, 22050);
  EXPECT_EQ(Refusal(Task, "ar", "fast"), "'fast' is not a valid integer value");
}

TEST_F(Options, DurationSetsRecordingTimeAndTotalDurationBadOnesAreRefused) {
  Task.ApplyOption("t", "30");
  EXPECT_EQ(Task.Settings().RecordingTime, 30000000);
  EXPECT_EQ(Task.Settings().TotalDuration, 30000000);
  Task.ApplyOption("ss", "00:01:02.5");
  EXPECT_EQ(Task.Settings().StartTime, 62500000);
  EXPECT_EQ(Task.Settings().TotalDuration, 30000000);  // "ss" leaves it
  Task.ApplyOption("itsoffset", "-2");
  EXPECT_EQ(Task.Options().InputTimestampOffset, -2000000);

  EXPECT_EQ(Refusal(Task, "t", "abc"), "Invalid duration specification for t: abc");
  EXPECT_EQ(Task.Settings().RecordingTime, 30000000);
  EXPECT_EQ(Refusal(Task, "timestamp", "yesterday"), "Invalid date specification for timestamp: yesterday");
  Task.ApplyOption("timestamp", "2001-02-03 04:05:06.7Z");
  EXPECT_EQ(Task.Options().OutputTimestamp, 981173107);
}

TEST_F(Options, RefusalsKeepWhatWasAppliedBefore) {
  EXPECT_EQ(Refusal(Task, "threads", "4"), "TODO: option - threads");
  EXPECT_EQ(Refusal(Task, "padtop", "8"), "Removed, use the pad filter instead");
  EXPECT_EQ(Refusal(Task, "vhook", "a.so|x"), "Failed to add video hook function: a.so|x");
  EXPECT_EQ(Refusal(Task, "qscale", "0"), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(Refusal(Task, "qscale", "256"), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(Refusal(Task, "pass", "3"), "pass number can be only 1 or 2");
  EXPECT_EQ(Refusal(Task, "pix_fmt", "nonsense"), "Unknown pixel format requested: nonsense");
  EXPECT_EQ(Refusal(Task, "s", "big"), "Incorrect frame size");
  EXPECT_EQ(Refusal(Task, "r", "fast"), "Incorrect frame rate");
  EXPECT_EQ(Refusal(Task, "aspect", "4:0"), "Incorrect aspect ratio specification.");
  EXPECT_EQ(Refusal(Task, "aspect", "wide"), "Incorrect aspect ratio specification.");
  EXPECT_EQ(Refusal(Task, "absf", "no_such_filter=x"), "Unknown bitstream filter no_such_filter=x");
  EXPECT_EQ(Refusal(Task, "streamid", "3"),
            "Invalid value \"3\" for option \"streamid\", required syntax is \"index:value\"");
  EXPECT_EQ(Refusal(Task, "newaudio", ""), "At least one output file must be specified");

  // Lines up to a refusal stay applied; the lines after it are not reached.
  try {
    Task.ApplyOptionLines("vol=300\nthreads=2\nvn=1", false);
    FAIL() << "threads was taken";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "TODO: option - threads");
  }
  EXPECT_EQ(Task.Settings().AudioVolume, 300);
  EXPECT_FALSE(Task.Options().VideoDisabled);
}

TEST_F(Options, MetadataNeedsAnEqualsSignAndKeepsTheOrder) {
  EXPECT_EQ(Refusal(Task, "metadata", "title"), "Missing =");
  EXPECT_TRUE(Task.Options().PendingMetadata.empty());
  Task.ApplyOption("metadata", "title=a=b");
  Task.AddMetadata("artist", "");
  ASSERT_EQ(Task.Options().PendingMetadata.size(), 2u);
  EXPECT_EQ(Task.Options().PendingMetadata[0], TMetadataPair("title", "a=b"));
  EXPECT_EQ(Task.Options().PendingMetadata[1], TMetadataPair("artist", ""));
}

TEST_F(Options, TimestampScaleIsLimitedToTwentyStreams) {
  EXPECT_EQ(Refusal(Task, "itsscale", "25:2.0"), "stream index over MAX_STREAMS(20)");
  EXPECT_EQ(Refusal(Task, "itsscale", "20:2.0"), "stream index over MAX_STREAMS(20)");
  Task.ApplyOption("itsscale", "19:1.5");
  EXPECT_DOUBLE_EQ(Task.Options().InputTimestampScales[19], 1.5);
  ASSERT_TRUE(Task.OpenInputFile(TestData("tagged.mp3"))) << Task.ErrorText();
  EXPECT_DOUBLE_EQ(Task.InputTimestampScale(0, 19), 1.5);
  EXPECT_DOUBLE_EQ(Task.Options().InputTimestampScales[19], 0);  // used by that file only
}

TEST_F(Options, TableSettersFlagsIntegersDecimalsTextsAndTags) {
  Task.ApplyOptionLines("shortest=1\nre\ndump=0\nvframes=7\nasync=2\nadrift_threshold=0.25\nmuxdelay=0.7\n"
                        "alang=deu\natag=mp4a\nvtag=xv\nvdt=16\ncopyts\nan",
                        false);
  EXPECT_TRUE(Task.Settings().Shortest);
  EXPECT_TRUE(Task.Settings().RateEmulation);
  EXPECT_FALSE(Task.Settings().PacketDump);
  EXPECT_EQ(Task.Settings().MaxFrames[AVMEDIA_TYPE_VIDEO], 7);
  EXPECT_EQ(Task.Settings().AudioSyncMethod, 2);
  EXPECT_FLOAT_EQ(Task.Settings().AudioDriftThreshold, 0.25f);
  EXPECT_FLOAT_EQ(Task.Options().MuxDelay, 0.7f);
  EXPECT_EQ(Task.Options().AudioLanguage, "deu");
  EXPECT_EQ(Task.Options().AudioCodecTag, MKTAG('m', 'p', '4', 'a'));
  EXPECT_EQ(Task.Options().VideoCodecTag, MKTAG('x', 'v', 0, 0));
  EXPECT_EQ(Task.Options().VideoDiscard, 16);
  EXPECT_TRUE(Task.Settings().CopyTimestamps);
  EXPECT_TRUE(Task.Options().AudioDisabled);
  EXPECT_EQ(Refusal(Task, "muxpreload", "x1"), "'x1' is not a valid floating point value");
}

TEST_F(Options, MapsTakeLeadingNumbersAndOneSeparator) {
  Task.ApplyOption("map", "1.2");
  Task.ApplyOption("map", "0:3:1.4");
  Task.ApplyOption("map_meta_data", "2:1");
  ASSERT_EQ(Task.Settings().StreamMaps.size(), 2u);
  const TStreamMap& a = Task.Settings().StreamMaps[0];
  const TStreamMap& b = Task.Settings().StreamMaps[1];
  EXPECT_EQ((std::vector<int>{a.FileIndex, a.StreamIndex, a.SyncFileIndex, a.SyncStreamIndex}),
            (std::vector<int>{1, 2, 1, 2}));
  EXPECT_EQ((std::vector<int>{b.FileIndex, b.StreamIndex, b.SyncFileIndex, b.SyncStreamIndex}),
            (std::vector<int>{0, 3, 1, 4}));
  ASSERT_EQ(Task.Settings().MetaDataMaps.size(), 1u);
  EXPECT_EQ(Task.Settings().MetaDataMaps[0].OutFile, 2);
  EXPECT_EQ(Task.Settings().MetaDataMaps[0].InFile, 1);
}

TEST_F(Options, PictureGeometryCropsAspectAndMatrices) {
  Task.ApplyOption("s", "vga");
  EXPECT_EQ(Task.Options().FrameWidth, 640);
  Task.ApplyOption("croptop", "40");
  EXPECT_EQ(Task.Options().FrameHeight, 440);
  EXPECT_TRUE(Log.Logged(llWarning, "Croptop is deprecated in favor of the crop avfilter"));
  EXPECT_EQ(Refusal(Task, "cropleft", "640"),
            "Horizontal crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
  EXPECT_EQ(Task.Options().FrameWidth, 640);
  Task.ApplyOption("aspect", "16:9");
  EXPECT_FLOAT_EQ(Task.Options().FrameAspectRatio, 16.0f / 9);
  Task.ApplyOption("aspect", "2.35");
  EXPECT_FLOAT_EQ(Task.Options().FrameAspectRatio, 2.35f);
  Task.ApplyOption("r", "ntsc");
  EXPECT_EQ(Task.Options().FrameRate.num, 30000);
  EXPECT_EQ(Task.Options().FrameRate.den, 1001);

  std::string matrix;
  for (int i = 0; i < 64; ++i) matrix += (i ? "," : "") + std::to_string(i + 8);
  Task.ApplyOption("intra_matrix", matrix);
  ASSERT_TRUE(Task.Options().IntraMatrix);
  EXPECT_EQ((*Task.Options().IntraMatrix)[63], 71);
  EXPECT_EQ(Refusal(Task, "inter_matrix", "1,2;3"), "Syntax error in matrix \"1,2;3\" at coeff 1");
}

TEST_F(Options, ListsComeFromTheLibrary) {
  Task.ApplyOption("sample_fmt", "list");
  const size_t sampleLines = Log.LoggedAt(llInfo);
  EXPECT_EQ(sampleLines, static_cast<size_t>(AV_SAMPLE_FMT_NB) + 1);
  EXPECT_TRUE(Log.LoggedLike("s16 ", " 16"));  // name and bits, the blanks trimmed at the end
  Task.ApplyOption("pix_fmt", "list");
  EXPECT_GT(Log.LoggedAt(llInfo) - sampleLines, 100u);
  Task.ApplyOption("sample_fmt", "fltp");
  EXPECT_EQ(Task.Options().AudioSampleFormat, AV_SAMPLE_FMT_FLTP);
}

TEST_F(Options, StreamIdsFiltersAndInformationalOptions) {
  Task.ApplyOption("streamid", "1:301");
  EXPECT_EQ(Task.Options().StreamIds[1], 301);
  Task.ApplyOption("absf", "mp3decomp");
  Task.ApplyOption("vbsf", "=ignored");
  Task.ApplyOption("vbsf", "h264_mp4toannexb");
  EXPECT_EQ(Task.Options().AudioBitstreamFilters, std::vector<std::string>{"mp3decomp"});
  EXPECT_EQ(Task.Options().VideoBitstreamFilters, std::vector<std::string>{"h264_mp4toannexb"});
  Task.ApplyOption("formats", "");
  EXPECT_TRUE(Log.Logged(llInfo, "Do nothing: option - formats"));
  Task.ApplyOption("f", "pgmyuv");
  EXPECT_TRUE(Task.Options().ImageFormat);
  EXPECT_EQ(Task.Options().ForcedFormat, "image2");
  Task.ApplyOption("no_such_option", "1");  // changes nothing, refuses nothing
  EXPECT_TRUE(Task.OptionSet().Names().empty());
}
