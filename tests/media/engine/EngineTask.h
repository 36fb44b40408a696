#pragma once
// Builds a conversion task by hand, the way the job-control layer would: one input file
// and one MP3 output with a LAME encoder.
#include <string>

#include "../../LoadedLibraries.h"
#include "media/binding/FFLoad.h"
#include "media/common/UnicodeProtocol.h"
#include "media/engine/FFmpeg.h"

inline void AddInput(sw::TCustomFFmpeg& engine, const std::string& name) {
  AVFormatContext* ctx = nullptr;
  ASSERT_EQ(sw::OpenInputFormat(&ctx, sw::MediaUrl(name), nullptr, nullptr), 0) << name;
  ASSERT_GE(ff::avformat_find_stream_info(ctx, nullptr), 0);
  engine.AddInputFile(ctx, 0);
}

// An output with one stream; codec "copy" makes a copied stream.
inline void AddOutput(sw::TCustomFFmpeg& engine, const std::string& name, const std::string& codec, int sampleRate,
                      int channels, int64_t bitRate, const char* format = "mp3") {
  auto file = std::make_shared<sw::TOutputFile>();
  ASSERT_GE(ff::avformat_alloc_output_context2(&file->Context, nullptr, format, nullptr), 0);
  file->Context->url = ff::av_strdup(sw::MediaUrl(name).c_str());
  engine.AddOutputFile(file);
  AVStream* st = ff::avformat_new_stream(file->Context, nullptr);
  ASSERT_NE(st, nullptr);
  sw::TOutputStreamSetup& setup = file->Streams.emplace_back();
  st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  if (codec == "copy") {
    setup.StreamCopy = true;
  } else {
    const AVCodec* enc = ff::avcodec_find_encoder_by_name(codec.c_str());
    ASSERT_NE(enc, nullptr) << codec;
    setup.Encoder = enc;
    setup.Codec.reset(ff::avcodec_alloc_context3(enc));
    setup.Codec->codec_type = AVMEDIA_TYPE_AUDIO;
    setup.Codec->codec_id = enc->id;
    setup.Codec->sample_rate = sampleRate;
    ff::av_channel_layout_default(&setup.Codec->ch_layout, channels);
    setup.Codec->sample_fmt = enc->sample_fmts ? enc->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    setup.Codec->bit_rate = bitRate;
    setup.Codec->time_base = AVRational{1, sampleRate};
    st->codecpar->codec_id = enc->id;
  }
  ASSERT_EQ(sw::OpenOutputIO(&file->Context->pb, file->Context->url, AVIO_FLAG_WRITE, true), 0);
  file->IOOpened = true;
}
