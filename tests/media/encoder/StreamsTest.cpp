#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

class Streams : public WithLibraries {
 protected:
  void SetUp() override {
    WithLibraries::SetUp();
    Task.ClearTask();
  }
  const TOutputStreamSetup& Setup(int stream, int file = 0) { return Task.OutputFile(file)->Streams.at(stream); }
  AVCodecContext* Codec(int stream, int file = 0) { return Setup(stream, file).Codec.get(); }
  unsigned StreamCount(int file = 0) { return Task.OutputFile(file)->Context->nb_streams; }

  TTempDir Dir;
  TFFmpeg Task;
};

}  // namespace

TEST_F(Streams, AudioOnlyInputGivesNoVideoStreamWhateverTheFormatDefault) {
  for (const char* name : {"out.avi", "out.mkv", "out.mp4"}) {
    TFFmpeg task;
    ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3"))) << task.ErrorText();
    ASSERT_EQ(task.OpenOutputFile(Dir.File(name), false), 1) << task.ErrorText();
    ASSERT_EQ(task.OutputFile(0)->Context->nb_streams, 1u) << name;
    EXPECT_EQ(task.OutputFile(0)->Streams[0].Codec->codec_type, AVMEDIA_TYPE_AUDIO) << name;
  }
}

TEST_F(Streams, VideoStreamTakesThePendingPictureSettings) {
  Task.ApplyOptionLines(
      "vcodec=mpeg4\ns=320x240\nr=12\naspect=16:9\npix_fmt=yuv444p\nqscale=4\npass=1\npsnr=1\nintra=1\ndc=9\n"
      "rc_override=0,10,5/11,20,-50\nvtag=XVID\nvlang=eng\nstreamid=0:77\nvbsf=dump_extra",
      true);
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("video.mp4"), false), 1) << Task.ErrorText();
  ASSERT_EQ(StreamCount(), 2u);  // no inputs: the format's audio codec adds audio
  AVCodecContext* c = Codec(0);
  const AVStream* stream = Task.OutputFile(0)->Context->streams[0];
  EXPECT_EQ(c->codec_id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(Setup(0).Encoder, ff::avcodec_find_encoder_by_name("mpeg4"));
  EXPECT_EQ(c->width, 320);
  EXPECT_EQ(c->height, 240);
  EXPECT_EQ(c->time_base.num, 1);
  EXPECT_EQ(c->time_base.den, 12);
  EXPECT_EQ(c->sample_aspect_ratio.num * 3, c->sample_aspect_ratio.den * 4);  // 16:9 on 4:3 pixels
  EXPECT_EQ(c->pix_fmt, AV_PIX_FMT_YUV420P);  // mpeg4 has no 4:4:4, its first format is taken
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_QSCALE);
  EXPECT_EQ(c->global_quality, 4 * FF_QP2LAMBDA);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_PASS1);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_PSNR);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_GLOBAL_HEADER);  // mp4 asks for global headers
  EXPECT_EQ(c->gop_size, 0);
  EXPECT_EQ(c->intra_dc_precision, 1);
  ASSERT_EQ(c->rc_override_count, 2);
  EXPECT_EQ(c->rc_override[0].qscale, 5);
  EXPECT_EQ(c->rc_override[1].end_frame, 20);
  EXPECT_FLOAT_EQ(c->rc_override[1].quality_factor, 0.5f);
  EXPECT_EQ(c->codec_tag, MKTAG('X', 'V', 'I', 'D'));
  EXPECT_EQ(stream->id, 77);
  EXPECT_EQ(Setup(0).BitstreamFilters, std::vector<std::string>{"dump_extra"});
  ASSERT_NE(ff::av_dict_get(stream->metadata, "language", nullptr, 0), nullptr);
  EXPECT_STREQ(ff::av_dict_get(stream->metadata, "language", nullptr, 0)->value, "eng");
  // Taken over by the stream: cleared for the next one.
  EXPECT_FALSE(Task.Options().VideoCodecName);
  EXPECT_EQ(Task.Options().PixelFormat, -1);
  EXPECT_TRUE(Task.Options().VideoLanguage.empty());
  EXPECT_TRUE(Task.Options().VideoBitstreamFilters.empty());
  EXPECT_EQ(Task.Options().StreamIds[0], 0);
}

TEST_F(Streams, GlobalHeaderModesAndMalformedOverrides) {
  Task.ApplyOptionLines("vcodec=mpeg4\ns=64x64\nvglobal=2", true);
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("local.mp4"), false), 1) << Task.ErrorText();
  EXPECT_FALSE(Codec(0)->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
  EXPECT_TRUE(Codec(0)->flags2 & AV_CODEC_FLAG2_LOCAL_HEADER);

  Task.ApplyOptionLines("vcodec=mpeg4\ns=64x64\nvglobal=0\nrc_override=0,10", true);
  EXPECT_EQ(Task.OpenOutputFile(Dir.File("bad.avi"), false), -1);
  EXPECT_EQ(Task.ErrorText(), "new_video_stream fail: error parsing rc_override");
  EXPECT_EQ(Task.OutputFileCount(), 1);
}

TEST_F(Streams, StreamCopyAndSubtitleStreams) {
  Task.ApplyOptionLines("vcodec=copy\ns=640x480\naspect=16:9\nscodec=mov_text\nslang=fra", true);
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("copy.mp4"), false), 1) << Task.ErrorText();
  ASSERT_EQ(StreamCount(), 3u);  // video, audio, subtitle in that order
  EXPECT_TRUE(Setup(0).StreamCopy);
  EXPECT_EQ(Setup(0).Encoder, nullptr);
  EXPECT_EQ(Codec(0)->sample_aspect_ratio.num * 3, Codec(0)->sample_aspect_ratio.den * 4);
  EXPECT_EQ(Codec(2)->codec_type, AVMEDIA_TYPE_SUBTITLE);
  EXPECT_EQ(Codec(2)->codec_id, AV_CODEC_ID_MOV_TEXT);
  EXPECT_STREQ(ff::av_dict_get(Task.OutputFile(0)->Context->streams[2]->metadata, "language", nullptr, 0)->value, "fra");
  EXPECT_FALSE(Task.Options().VideoStreamCopy);
  EXPECT_FALSE(Task.Options().SubtitleCodecName);
}

TEST_F(Streams, PresetPrivateOptionsReachTheEncoder) {
  Task.ApplyOptionLines("vcodec=libx264\ns=64x64", true);
  Task.ApplyOption("vpre", "ultrafast");
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("x264.mkv"), false), 1) << Task.ErrorText();
  uint8_t* value = nullptr;
  ASSERT_GE(ff::av_opt_get(Codec(0)->priv_data, "partitions", 0, &value), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(value), "none");
  ff::av_free(value);
  EXPECT_TRUE(Task.Options().VideoPrivateOptions.empty());
}

TEST_F(Streams, NewStreamLinesTakeSuccessiveCodecEntries) {
  const std::string lines = "acodec=mp2\nacodec=aac\nnewaudio=1\nnewaudio=1\nab=64000";
  TDefaultsList defaults;
  BuildDefaults({}, lines, defaults);
  ASSERT_TRUE(Task.OpenInputFile(TestData("tagged.mp3"))) << Task.ErrorText();
  Task.ApplyStreamDefaults(defaults);
  Task.ApplyOptionLines(lines, false);
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("three.mkv"), false), 1) << Task.ErrorText();
  Task.ApplyNewStreamLines(lines, defaults);
  ASSERT_EQ(StreamCount(), 3u);
  EXPECT_EQ(Codec(0)->codec_id, AV_CODEC_ID_MP2);  // the default: the first line
  EXPECT_EQ(Codec(1)->codec_id, AV_CODEC_ID_MP2);  // takes the first entry
  EXPECT_EQ(Codec(2)->codec_id, AV_CODEC_ID_AAC);  // takes the next one
  EXPECT_EQ(Codec(2)->bit_rate, 64000);
  EXPECT_FALSE(defaults.Has("acodec"));
}

TEST_F(Streams, JoinOfThreeInputsRepeatsTheOutputAndSumsTheDurations) {
  int64_t sum = 0;
  for (const char* name : {"tagged.mp3", "mono-vbr.mp3", "notags-48k.mp3"}) {
    ASSERT_TRUE(Task.OpenInputFile(TestData(name))) << Task.ErrorText();
    sum += Task.InputFile(Task.InputFileCount() - 1)->duration;
  }
  Task.ApplyOption("t", "1");  // the join replaces it with the sum
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("joined.mp3"), true), 3) << Task.ErrorText();
  EXPECT_EQ(Task.Settings().TotalDuration, sum);
  EXPECT_EQ(Task.OutputFile(2), Task.OutputFile(0));
  EXPECT_EQ(Task.OpenOutputFile(Dir.File("second.mp3"), true), -1);
  EXPECT_EQ(Task.ErrorText(), "Cannot join more than one output file.");
}

TEST_F(Streams, ProgramIdAndSeekFailuresOfTheInput) {
  Task.ApplyOption("programid", "5");
  EXPECT_FALSE(Task.OpenInputFile(TestData("tagged.mp3")));
  EXPECT_EQ(Task.ErrorText(), "Specified program id not found");
  EXPECT_EQ(Task.Settings().ProgramId, 0);
  EXPECT_EQ(Task.InputFileCount(), 0);
  ASSERT_TRUE(Task.OpenInputFile(TestData("tagged.mp3"))) << Task.ErrorText();
}

TEST_F(Streams, MetadataIsSetLastPairFirstAndMuxerOptionsReachTheMuxer) {
  Task.ApplyOption("metadata", "title=first");
  Task.ApplyOption("metadata", "title=second");
  Task.ApplyOption("metadata", "album=x");
  ASSERT_TRUE(Task.OpenInputFile(TestData("tagged.mp3")));
  ASSERT_EQ(Task.OpenOutputFile(Dir.File("meta.mp3"), false), 1) << Task.ErrorText();
  AVDictionary* m = Task.OutputFile(0)->Context->metadata;
  EXPECT_STREQ(ff::av_dict_get(m, "title", nullptr, 0)->value, "first");  // set last, so it wins
  EXPECT_STREQ(ff::av_dict_get(m, "album", nullptr, 0)->value, "x");
  EXPECT_TRUE(Task.Options().PendingMetadata.empty());

  TFFmpeg vcd;
  vcd.ApplyOption("target", "pal-vcd");
  ASSERT_EQ(vcd.OpenOutputFile(Dir.File("disc.mpg"), false), 1) << vcd.ErrorText();
  uint8_t* muxrate = nullptr;
  ASSERT_GE(ff::av_opt_get(vcd.OutputFile(0)->Context->priv_data, "muxrate", 0, &muxrate), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(muxrate), "1411200");
  ff::av_free(muxrate);
  EXPECT_EQ(vcd.OutputFile(0)->Context->audio_preload, 440000);
}
