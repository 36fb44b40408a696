#include <gtest/gtest.h>

#include <filesystem>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"
#include "media/encoder/FFmpegTask.h"

using namespace sw;

namespace {

class OpenFiles : public WithLibraries {
 protected:
  // The first packet's time in µs after the open, read from the engine's input.
  static int64_t FirstPacketTime(AVFormatContext* input) {
    TPacketPtr packet(ff::av_packet_alloc());
    if (ff::av_read_frame(input, packet.get()) < 0) return NoTime;
    const AVStream* stream = input->streams[packet->stream_index];
    return ff::av_rescale_q(packet->pts, stream->time_base, AVRational{1, AV_TIME_BASE});
  }
  // The duration the library gives the file on its own.
  static int64_t LibraryDuration(const std::string& name) {
    AVFormatContext* c = nullptr;
    if (OpenInputFormat(&c, name, nullptr, nullptr) < 0) return NoTime;
    ff::avformat_find_stream_info(c, nullptr);
    const int64_t d = c->duration;
    CloseInputFormat(&c);
    return d;
  }
  static const AVCodecContext* OutputCodec(TFFmpeg& task, int file, int stream) {
    return task.OutputFile(file)->Streams.at(stream).Codec.get();
  }

  TTempDir Dir;
};

}  // namespace

// ---- inputs ----

TEST_F(OpenFiles, MissingInputFailsWithNameAndReasonAndKeepsNothing) {
  TFFmpeg task;
  const std::string name = Dir.File("absent.mp3");
  EXPECT_FALSE(task.OpenInputFile(name));
  EXPECT_EQ(task.ErrorText(), name + ": No such file or directory");
  EXPECT_EQ(task.InputFileCount(), 0);

  // Not MP3 data at all, probed: refused with the library's reason, nothing kept either.
  EXPECT_FALSE(task.OpenInputFile(TestData("empty.mp3")));
  EXPECT_EQ(task.ErrorText().rfind(TestData("empty.mp3") + ": ", 0), 0u) << task.ErrorText();
  EXPECT_EQ(task.InputFileCount(), 0);
}

TEST_F(OpenFiles, ForcedInputFormatIsUsedOnceUnknownOneRaises) {
  TFFmpeg task;
  task.Options().ForcedFormat = "no_such_format";
  try {
    task.OpenInputFile(TestData("tagged.mp3"));
    FAIL() << "no error raised";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown input format: \"no_such_format\"");
  }
  EXPECT_EQ(task.InputFileCount(), 0);

  task.Options().ForcedFormat = "mp3";
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3"))) << task.ErrorText();
  EXPECT_STREQ(task.InputFile(0)->iformat->name, "mp3");
  EXPECT_TRUE(task.Options().ForcedFormat.empty());
}

TEST_F(OpenFiles, InputTakesOverAudioParametersAndClearsPendingNames) {
  TFFmpeg task;
  task.Options().AudioCodecName = "mp3float";
  task.Options().InputChannel = 3;
  ASSERT_TRUE(task.OpenInputFile(TestData("mono-vbr.mp3"))) << task.ErrorText();
  const AVCodecParameters* par = task.InputFile(0)->streams[0]->codecpar;
  EXPECT_EQ(task.Options().AudioSampleRate, par->sample_rate);
  EXPECT_EQ(task.Options().AudioChannels, par->ch_layout.nb_channels);
  EXPECT_EQ(task.Options().AudioSampleFormat, par->format);
  EXPECT_EQ(task.Options().AudioSampleRate, 22050);  // the fixture, not the 44100 default
  EXPECT_EQ(task.Options().AudioChannels, 1);
  EXPECT_EQ(task.InputFile(0)->audio_codec_id, AV_CODEC_ID_MP3);
  EXPECT_FALSE(task.Options().AudioCodecName.has_value());
  EXPECT_EQ(task.Options().InputChannel, 0);
}

TEST_F(OpenFiles, UnknownOrWrongKindOfDecoderNameFailsAndKeepsNothing) {
  TFFmpeg task;
  task.Options().AudioCodecName = "no_such_decoder";
  EXPECT_FALSE(task.OpenInputFile(TestData("tagged.mp3")));
  EXPECT_EQ(task.ErrorText(), "Unknown decoder 'no_such_decoder'");
  EXPECT_FALSE(task.Options().AudioCodecName.has_value());
  task.Options().VideoCodecName = "mp3float";
  EXPECT_FALSE(task.OpenInputFile(TestData("tagged.mp3")));
  EXPECT_EQ(task.ErrorText(), "Invalid decoder type 'mp3float'");
  EXPECT_EQ(task.InputFileCount(), 0);
}

TEST_F(OpenFiles, StartTimeBeforeTheInputSeeksAndIsThenReset) {
  TFFmpeg plain, seeking;
  ASSERT_TRUE(plain.OpenInputFile(TestData("tagged.mp3")));
  const int64_t fileStart = plain.InputFile(0)->start_time == AV_NOPTS_VALUE ? 0 : plain.InputFile(0)->start_time;
  EXPECT_LT(FirstPacketTime(plain.InputFile(0)), 500000);
  EXPECT_EQ(plain.InputTimestampOffset(0), -fileStart);

  seeking.Settings().StartTime = 5000000;  // as the input options' start time
  seeking.Options().InputTimestampOffset = 250000;
  ASSERT_TRUE(seeking.OpenInputFile(TestData("tagged.mp3")));
  EXPECT_EQ(seeking.Settings().StartTime, 0);
  EXPECT_NEAR(FirstPacketTime(seeking.InputFile(0)), 5000000, 100000);
  EXPECT_EQ(seeking.InputTimestampOffset(0), 250000 - 5000000 - fileStart);

  // With copied timestamps the offset is the option's alone.
  TFFmpeg copying;
  copying.Settings().StartTime = 5000000;
  copying.Settings().CopyTimestamps = true;
  copying.Options().InputTimestampOffset = 250000;
  ASSERT_TRUE(copying.OpenInputFile(TestData("tagged.mp3")));
  EXPECT_EQ(copying.InputTimestampOffset(0), 250000);
}

TEST_F(OpenFiles, StartTimeAfterTheInputIsNotUsedToSeek) {
  TFFmpeg task;
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3")));
  task.Settings().StartTime = 5000000;  // as the output options' start time
  ASSERT_EQ(task.OpenOutputFile(Dir.File("cut.mp3"), false), 1) << task.ErrorText();
  EXPECT_EQ(task.Settings().StartTime, 5000000);
  EXPECT_LT(FirstPacketTime(task.InputFile(0)), 500000);
}

TEST_F(OpenFiles, KnownDurationSetsTotalDurationRecordingTimeReplacesIt) {
  TFFmpeg task;
  ASSERT_EQ(task.Settings().TotalDuration, -1);
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3")));
  const int64_t duration = LibraryDuration(TestData("tagged.mp3"));
  ASSERT_GT(duration, 11000000);
  EXPECT_EQ(task.Settings().TotalDuration, duration);

  // A shorter input does not lower it.
  ASSERT_TRUE(task.OpenInputFile(TestData("notags-48k.mp3")));
  EXPECT_EQ(task.Settings().TotalDuration, duration);

  // What the "t" option does after the input: recording time and total duration.
  task.Settings().RecordingTime = task.Settings().TotalDuration = 5000000;
  ASSERT_EQ(task.OpenOutputFile(Dir.File("cut.mp3"), false), 1) << task.ErrorText();
  EXPECT_EQ(task.Settings().TotalDuration, 5000000);

  // A longer total duration set before stays when the input is shorter.
  TFFmpeg longer;
  longer.Settings().TotalDuration = 30000000;
  ASSERT_TRUE(longer.OpenInputFile(TestData("tagged.mp3")));
  EXPECT_EQ(longer.Settings().TotalDuration, 30000000);
}

// ---- outputs ----

TEST_F(OpenFiles, Mp3ToMp3WithLameGivesOneAudioStreamLikeTheInput) {
  for (const char* input : {"mono-vbr.mp3", "notags-48k.mp3"}) {
    SCOPED_TRACE(input);
    TFFmpeg task;
    ASSERT_TRUE(task.OpenInputFile(TestData(input))) << task.ErrorText();
    const AVCodecParameters* in = task.InputFile(0)->streams[0]->codecpar;
    task.Options().ForcedFormat = "mp3";
    task.Options().AudioCodecName = "libmp3lame";
    ASSERT_TRUE(task.OptionSet().SetLibraryOption("b", "96000"));
    ASSERT_EQ(task.OpenOutputFile(Dir.File("out.mp3"), false), 1) << task.ErrorText();

    AVFormatContext* out = task.OutputFile(0)->Context;
    ASSERT_EQ(out->nb_streams, 1u);
    ASSERT_EQ(task.OutputFile(0)->Streams.size(), 1u);
    EXPECT_STREQ(out->oformat->name, "mp3");
    const AVCodecContext* codec = OutputCodec(task, 0, 0);
    ASSERT_NE(task.OutputFile(0)->Streams[0].Encoder, nullptr);
    EXPECT_STREQ(task.OutputFile(0)->Streams[0].Encoder->name, "libmp3lame");
    EXPECT_EQ(codec->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(codec->codec_id, AV_CODEC_ID_MP3);
    EXPECT_EQ(codec->sample_rate, in->sample_rate);
    EXPECT_EQ(codec->ch_layout.nb_channels, in->ch_layout.nb_channels);
    EXPECT_EQ(codec->bit_rate, 96000);
    EXPECT_EQ(codec->time_base.num, 1);
    EXPECT_EQ(codec->time_base.den, in->sample_rate);
    EXPECT_FALSE(task.OutputFile(0)->Streams[0].StreamCopy);
    EXPECT_TRUE(task.OutputFile(0)->IOOpened);
    // Written beside its name until the run completes.
    EXPECT_FALSE(std::filesystem::exists(Dir.File("out.mp3")));
    // Taken by this stream, not by the next one.
    EXPECT_FALSE(task.Options().AudioCodecName.has_value());
    EXPECT_TRUE(task.Options().ForcedFormat.empty());
  }
}

TEST_F(OpenFiles, OpenedFilesRunAsAConversion) {
  for (const char* input : {"mono-vbr.mp3", "cover.mp3"}) {
    SCOPED_TRACE(input);
    const std::string out = Dir.File(std::string("run-") + input);
    {
      TFFmpeg task;
      ASSERT_TRUE(task.OpenInputFile(TestData(input))) << task.ErrorText();
      task.Options().AudioCodecName = "libmp3lame";
      ASSERT_TRUE(task.OptionSet().SetLibraryOption("b", "64000"));
      task.Settings().RecordingTime = 1000000;
      ASSERT_EQ(task.OpenOutputFile(out, false), 1) << task.ErrorText();
      ASSERT_NO_THROW(task.Transcode());
      task.CleanUp();
    }
    AVFormatContext* c = nullptr;
    ASSERT_EQ(OpenInputFormat(&c, out, nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(c, nullptr), 0);
    AVFormatContext* in = nullptr;
    ASSERT_EQ(OpenInputFormat(&in, TestData(input), nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(in, nullptr), 0);
    const int audio = ff::av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    EXPECT_EQ(c->nb_streams, 1u);
    EXPECT_EQ(c->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(c->streams[0]->codecpar->sample_rate, in->streams[audio]->codecpar->sample_rate);
    EXPECT_EQ(c->streams[0]->codecpar->ch_layout.nb_channels, in->streams[audio]->codecpar->ch_layout.nb_channels);
    EXPECT_NEAR(c->duration / 1e6, 1.0, 0.1);
    CloseInputFormat(&in);
    CloseInputFormat(&c);
  }
}

TEST_F(OpenFiles, AudioOnlyInputsMakeNoVideoStreamWhateverTheMuxerDefault) {
  // The mp3 muxer names a default video codec (PNG, for cover pictures).
  const AVOutputFormat* mp3 = ff::av_guess_format("mp3", nullptr, nullptr);
  ASSERT_NE(mp3, nullptr);
  ASSERT_NE(mp3->video_codec, AV_CODEC_ID_NONE);

  for (const char* input : {"tagged.mp3", "cover.mp3"}) {
    SCOPED_TRACE(input);
    TFFmpeg task;
    ASSERT_TRUE(task.OpenInputFile(TestData(input))) << task.ErrorText();
    bool video = true, audio = false, subtitle = true;
    task.CheckInputs(false, video, audio, subtitle);
    EXPECT_FALSE(video);
    EXPECT_TRUE(audio);
    EXPECT_FALSE(subtitle);
    task.Options().AudioCodecName = "libmp3lame";
    ASSERT_EQ(task.OpenOutputFile(Dir.File("out.mp3"), false), 1) << task.ErrorText();
    const AVFormatContext* out = task.OutputFile(0)->Context;
    ASSERT_EQ(out->nb_streams, 1u);
    EXPECT_EQ(OutputCodec(task, 0, 0)->codec_type, AVMEDIA_TYPE_AUDIO);
  }

  // The cover input really shows its picture as a video stream.
  TFFmpeg cover;
  ASSERT_TRUE(cover.OpenInputFile(TestData("cover.mp3")));
  bool picture = false;
  for (unsigned i = 0; i < cover.InputFile(0)->nb_streams; ++i)
    picture = picture || cover.InputFile(0)->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
  EXPECT_TRUE(picture);
}

TEST_F(OpenFiles, OnlyAnExplicitVideoCodecChoosesVideo) {
  {
    TFFmpeg task;  // no input: the muxer's defaults decide
    ASSERT_EQ(task.OpenOutputFile(Dir.File("plain.mp3"), false), 1) << task.ErrorText();
    ASSERT_EQ(task.OutputFile(0)->Context->nb_streams, 1u);
    EXPECT_EQ(OutputCodec(task, 0, 0)->codec_id, AV_CODEC_ID_MP3);  // the muxer's audio codec
  }
  {
    TFFmpeg task;
    task.Options().VideoCodecName = "png";
    ASSERT_EQ(task.OpenOutputFile(Dir.File("picture.mp3"), false), 1) << task.ErrorText();
    ASSERT_EQ(task.OutputFile(0)->Context->nb_streams, 2u);  // video first, then audio
    EXPECT_EQ(OutputCodec(task, 0, 0)->codec_id, AV_CODEC_ID_PNG);
    EXPECT_EQ(OutputCodec(task, 0, 1)->codec_id, AV_CODEC_ID_MP3);
  }
  {
    TFFmpeg task;  // a cover picture is no video source even when video is asked for
    ASSERT_TRUE(task.OpenInputFile(TestData("cover.mp3")));
    task.Options().VideoCodecName = "png";
    ASSERT_EQ(task.OpenOutputFile(Dir.File("cover-out.mp3"), false), 1) << task.ErrorText();
    EXPECT_EQ(task.OutputFile(0)->Context->nb_streams, 1u);
  }
}

TEST_F(OpenFiles, OutputFormatRefusalsLeaveNothingOpen) {
  TFFmpeg task;
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3")));
  const std::string bare = Dir.File("noextension");
  EXPECT_EQ(task.OpenOutputFile(bare, false), -1);
  EXPECT_EQ(task.ErrorText(), "Unable to find a suitable output format for '" + bare + "'");
  EXPECT_FALSE(std::filesystem::exists(bare));

  task.Options().ForcedFormat = "no_such_muxer";
  EXPECT_EQ(task.OpenOutputFile(Dir.File("x.mp3"), false), -1);
  EXPECT_EQ(task.ErrorText(), "Requested output format 'no_such_muxer' is not a suitable output format");
  EXPECT_TRUE(task.Options().ForcedFormat.empty());

  const std::string unreachable = Dir.File("no/such/folder/x.mp3");
  EXPECT_EQ(task.OpenOutputFile(unreachable, false), -1);
  EXPECT_EQ(task.ErrorText(), unreachable + ": No such file or directory");

  task.Options().AudioCodecName = "no_such_encoder";
  EXPECT_EQ(task.OpenOutputFile(Dir.File("y.mp3"), false), -1);
  EXPECT_EQ(task.ErrorText(), "new_audio_stream fail: Unknown encoder 'no_such_encoder'");
  EXPECT_FALSE(std::filesystem::exists(Dir.File("y.mp3")));

  EXPECT_EQ(task.OutputFileCount(), 0);
}

TEST_F(OpenFiles, NumberedNamesAreCheckedForFormatsThatNeedThem) {
  const AVOutputFormat* numbered = nullptr;
  void* it = nullptr;
  while (const AVOutputFormat* f = ff::av_muxer_iterate(&it))
    if (f->flags & AVFMT_NEEDNUMBER) numbered = f;
  if (!numbered) GTEST_SKIP() << "no muxer of this libavformat needs a number in the name";
  TFFmpeg task;
  task.Options().ForcedFormat = numbered->name;
  task.Options().AudioDisabled = task.Options().SubtitleDisabled = true;
  EXPECT_EQ(task.OpenOutputFile(Dir.File("frame.out"), false), -1);
  EXPECT_EQ(task.ErrorText(), Dir.File("frame.out") + ": Number syntax expected in filename");
  EXPECT_EQ(task.OutputFileCount(), 0);
}

TEST_F(OpenFiles, MetadataLanguageAndStreamIdGoToTheNextOutput) {
  TFFmpeg task;
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3")));
  task.Options().PendingMetadata = {{"title", "First"}, {"album", "Cuts"}, {"title", "Second"}};
  task.Options().AudioLanguage = "eng";
  task.Options().StreamIds[0] = 7;
  ASSERT_EQ(task.OpenOutputFile(Dir.File("a.mp3"), false), 1) << task.ErrorText();
  const AVFormatContext* out = task.OutputFile(0)->Context;
  // Set from the last pair to the first, so the first of equal keys stays.
  EXPECT_EQ(MetadataValue(out->metadata, "title", ""), "First");
  EXPECT_EQ(MetadataValue(out->metadata, "album", ""), "Cuts");
  EXPECT_EQ(MetadataValue(out->streams[0]->metadata, "language", ""), "eng");
  EXPECT_EQ(out->streams[0]->id, 7);
  EXPECT_TRUE(task.Options().PendingMetadata.empty());
  EXPECT_TRUE(task.Options().AudioLanguage.empty());
  EXPECT_EQ(task.Options().StreamIds[0], 0);

  ASSERT_EQ(task.OpenOutputFile(Dir.File("b.mp3"), false), 2) << task.ErrorText();
  const AVFormatContext* second = task.OutputFile(1)->Context;
  EXPECT_EQ(ff::av_dict_count(second->metadata), 0);
  EXPECT_EQ(second->streams[0]->id, 0);
}

TEST_F(OpenFiles, AudioStreamCopyAndDisabledAudio) {
  TFFmpeg task;
  ASSERT_TRUE(task.OpenInputFile(TestData("mono-vbr.mp3")));
  task.Options().AudioStreamCopy = true;
  ASSERT_EQ(task.OpenOutputFile(Dir.File("copy.mp3"), false), 1) << task.ErrorText();
  const TOutputStreamSetup& setup = task.OutputFile(0)->Streams.at(0);
  EXPECT_TRUE(setup.StreamCopy);
  EXPECT_EQ(setup.Encoder, nullptr);
  EXPECT_EQ(setup.Codec->sample_rate, 22050);
  EXPECT_EQ(setup.Codec->ch_layout.nb_channels, 1);
  EXPECT_FALSE(task.Options().AudioStreamCopy);

  task.Options().AudioDisabled = true;
  ASSERT_EQ(task.OpenOutputFile(Dir.File("silent.mp3"), false), 2) << task.ErrorText();
  EXPECT_EQ(task.OutputFile(1)->Context->nb_streams, 0u);
}

TEST_F(OpenFiles, JoinRepeatsTheOutputPerInputAndSumsTheDurations) {
  TFFmpeg task;
  int64_t sum = 0;
  for (const char* input : {"tagged.mp3", "notags-48k.mp3", "mono-vbr.mp3"}) {
    ASSERT_TRUE(task.OpenInputFile(TestData(input))) << task.ErrorText();
    sum += LibraryDuration(TestData(input));
  }
  ASSERT_EQ(task.OpenOutputFile(Dir.File("joined.mp3"), true), 3) << task.ErrorText();
  EXPECT_TRUE(task.Settings().JoinMode);
  EXPECT_EQ(task.Settings().TotalDuration, sum);
  EXPECT_EQ(task.OutputFile(1), task.OutputFile(0));
  EXPECT_EQ(task.OutputFile(2), task.OutputFile(0));

  EXPECT_EQ(task.OpenOutputFile(Dir.File("second.mp3"), true), -1);
  EXPECT_EQ(task.ErrorText(), "Cannot join more than one output file.");
  EXPECT_EQ(task.OpenOutputFile(Dir.File("third.mp3"), false), -1);
  EXPECT_EQ(task.OutputFileCount(), 3);
  EXPECT_FALSE(std::filesystem::exists(Dir.File("second.mp3")));
}

TEST_F(OpenFiles, JoinWithOneInputIsAPlainOutput) {
  TFFmpeg task;
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3")));
  ASSERT_EQ(task.OpenOutputFile(Dir.File("one.mp3"), true), 1) << task.ErrorText();
  EXPECT_FALSE(task.Settings().JoinMode);
  EXPECT_EQ(task.OpenOutputFile(Dir.File("two.mp3"), false), 2) << task.ErrorText();
}

// ---- codec look-up ----

TEST_F(OpenFiles, FindCodecByNameChecksNameKindAndType) {
  TFFmpeg task;
  AVCodecID id = AV_CODEC_ID_MP2;
  EXPECT_TRUE(task.FindCodecByName("", AVMEDIA_TYPE_AUDIO, 0, true, id));
  EXPECT_EQ(id, AV_CODEC_ID_NONE);

  EXPECT_FALSE(task.FindCodecByName("x", AVMEDIA_TYPE_AUDIO, 0, true, id));
  EXPECT_EQ(task.ErrorText(), "Unknown encoder 'x'");
  EXPECT_FALSE(task.FindCodecByName("x", AVMEDIA_TYPE_AUDIO, 0, false, id));
  EXPECT_EQ(task.ErrorText(), "Unknown decoder 'x'");

  EXPECT_FALSE(task.FindCodecByName("libmp3lame", AVMEDIA_TYPE_VIDEO, 0, true, id));
  EXPECT_EQ(task.ErrorText(), "Invalid encoder type 'libmp3lame'");

  EXPECT_TRUE(task.FindCodecByName("libmp3lame", AVMEDIA_TYPE_AUDIO, 0, true, id));
  EXPECT_EQ(id, AV_CODEC_ID_MP3);
  // libmp3lame encodes only.
  EXPECT_FALSE(task.FindCodecByName("libmp3lame", AVMEDIA_TYPE_AUDIO, 0, false, id));
  EXPECT_EQ(task.ErrorText(), "Unknown decoder 'libmp3lame'");
}

TEST_F(OpenFiles, ExperimentalEncodersNeedTheExperimentalStrictness) {
  const AVCodec* experimental = nullptr;
  void* it = nullptr;
  while (const AVCodec* c = ff::av_codec_iterate(&it)) {
    if (ff::av_codec_is_encoder(c) && (c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) &&
        ff::avcodec_find_encoder_by_name(c->name) == c) {
      experimental = c;
      break;
    }
  }
  if (!experimental) GTEST_SKIP() << "this libavcodec has no experimental encoder";
  TFFmpeg task;
  AVCodecID id;
  EXPECT_FALSE(task.FindCodecByName(experimental->name, experimental->type, FF_COMPLIANCE_NORMAL, true, id));
  std::string expected = std::string("encoder '") + experimental->name +
                         "' is experimental and might produce bad results.\r\n"
                         "Add '-strict experimental' if you want to use it.";
  const AVCodec* other = ff::avcodec_find_encoder(experimental->id);
  if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
    expected += std::string("\r\nOr use the non experimental encoder '") + other->name + "'.";
  EXPECT_EQ(task.ErrorText(), expected);

  EXPECT_TRUE(task.FindCodecByName(experimental->name, experimental->type, FF_COMPLIANCE_EXPERIMENTAL, true, id));
  EXPECT_EQ(id, experimental->id);
}

TEST_F(OpenFiles, CheckInputsOverTheFirstOrAllFiles) {
  TFFmpeg task;
  bool video = true, audio = true, subtitle = true;
  task.CheckInputs(false, video, audio, subtitle);
  EXPECT_FALSE(video || audio || subtitle);

  ASSERT_TRUE(task.OpenInputFile(TestData("cover.mp3")));
  ASSERT_TRUE(task.OpenInputFile(TestData("tagged.mp3")));
  task.CheckInputs(true, video, audio, subtitle);
  EXPECT_TRUE(audio);
  EXPECT_FALSE(video);
  // Turn the cover into a real picture stream: now it counts, for the first file as for all.
  AVStream* picture = nullptr;
  for (unsigned i = 0; i < task.InputFile(0)->nb_streams; ++i)
    if (task.InputFile(0)->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) picture = task.InputFile(0)->streams[i];
  ASSERT_NE(picture, nullptr);
  picture->disposition &= ~AV_DISPOSITION_ATTACHED_PIC;
  task.CheckInputs(true, video, audio, subtitle);
  EXPECT_TRUE(video);

  picture->codecpar->codec_type = static_cast<AVMediaType>(AVMEDIA_TYPE_NB);
  EXPECT_THROW(task.CheckInputs(false, video, audio, subtitle), FFmpegException);
  picture->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
}
