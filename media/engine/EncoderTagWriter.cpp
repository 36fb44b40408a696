#include "EncoderTagWriter.h"

#include <cstring>

#include "FFmpeg.h"
#include "media/binding/FFLoad.h"
#include "media/binding/LameStubs.h"
#include "media/mp3/Crc16.h"

namespace sw {

namespace {

constexpr int DecoderDelay = 529;  // what decoders add to the encoder's delay

// The LAME encoder behind a codec context of the codec library's LAME wrapper, when its
// private data is laid out as expected: its class, its codec context, then its LAME.
const lame_global_flags* LameOf(const AVCodecContext* enc) {
  if (!enc->codec || std::strcmp(enc->codec->name, "libmp3lame") != 0 || !enc->priv_data || !enc->codec->priv_class)
    return nullptr;
  std::string why;
  if (!BindLoadedLame(why)) return nullptr;
  auto* const* fields = static_cast<void* const*>(enc->priv_data);
  if (fields[0] != enc->codec->priv_class || fields[1] != enc || !fields[2]) return nullptr;
  const auto* gfp = static_cast<const lame_global_flags*>(fields[2]);
  if (ff::lame_get_in_samplerate(gfp) != enc->sample_rate || ff::lame_get_num_channels(gfp) != enc->ch_layout.nb_channels)
    return nullptr;
  return gfp;
}

mp3::TEncoderSettings SettingsOf(const lame_global_flags* gfp) {
  mp3::TEncoderSettings e;
  e.Version = ff::get_lame_short_version();
  const vbr_mode vbr = ff::lame_get_VBR(gfp);
  // The tag's numbers for CBR, the obsolete VBR, the old VBR, ABR and the new VBR.
  static constexpr int Methods[] = {1, 5, 3, 2, 4};
  e.VbrMethod = vbr >= 0 && vbr < 5 ? Methods[vbr] : 0;
  e.Lowpass = ff::lame_get_lowpassfreq(gfp);
  e.AthType = ff::lame_get_ATHtype(gfp);
  e.NsPsyTune = (ff::lame_get_exp_nspsytune(gfp) & 1) != 0;
  e.Bitrate = vbr == vbr_off   ? ff::lame_get_brate(gfp)
              : vbr == vbr_abr ? ff::lame_get_VBR_mean_bitrate_kbps(gfp)
                               : ff::lame_get_VBR_min_bitrate_kbps(gfp);
  switch (ff::lame_get_mode(gfp)) {
    case MONO: e.StereoMode = 0; break;
    case STEREO: e.StereoMode = 1; break;
    case DUAL_CHANNEL: e.StereoMode = 2; break;
    case JOINT_STEREO: e.StereoMode = ff::lame_get_force_ms(gfp) ? 4 : 3; break;
    default: e.StereoMode = 7;
  }
  e.SourceRate = ff::lame_get_in_samplerate(gfp);
  e.Quality = ff::lame_get_quality(gfp);
  e.VbrQuality = ff::lame_get_VBR_q(gfp);
  return e;
}

}  // namespace

bool TEncoderTagWriter::Applies(const AVFormatContext* out, const AVCodecContext* enc) {
  return out && out->oformat && std::strcmp(out->oformat->name, "mp3") == 0 && out->nb_streams == 1 && out->pb &&
         out->pb->seekable && enc && enc->codec && std::strcmp(enc->codec->name, "libmp3lame") == 0;
}

void TEncoderTagWriter::Packet(AVIOContext* pb, const AVPacket& p) {
  mp3::TMp3Header h;
  const bool audio = p.size >= 4 && mp3::ParseHeader(p.data, h) && h.Layer == 3;
  if (!FStarted) {
    FStarted = true;
    if (!audio) return;  // not MP3 frames after all: the file gets no tag
    FBitrateIndex = h.BitrateIndex;
    FHeader = mp3::InfoFrameHeader(h, h.BitrateIndex, FSize);
    const std::vector<uint8_t> frame = mp3::BuildInfoFrame(FHeader, FSize, mp3::TInfoFrameFields{});
    if (frame.empty()) return;
    FOffset = ff::avio_seek(pb, 0, SEEK_CUR);
    ff::avio_write(pb, frame.data(), static_cast<int>(frame.size()));
  }
  if (FOffset < 0) return;
  FVariable = FVariable || !audio || h.BitrateIndex != FBitrateIndex;
  FFrameSizes.push_back(p.size);
  FBytes += p.size;
  FMusicCrc = mp3::TagCrc(p.data, static_cast<std::size_t>(p.size), FMusicCrc);
}

void TEncoderTagWriter::Finish(AVIOContext* pb, const AVCodecContext* enc, int64_t samples, TCustomFFmpeg& engine) {
  if (FOffset < 0) return;
  mp3::TInfoFrameFields f;
  const lame_global_flags* gfp = LameOf(enc);
  if (gfp) {
    mp3::PutEncoderSettings(SettingsOf(gfp), f);
  } else {
    // Decoders take the delay and padding only from a tag with an encoder name they know.
    engine.Log(llWarning, "The encoder's settings cannot be read back; the encoder tag gives only its counts");
    std::memcpy(f.Lame.data(), "Lavf", 4);
  }
  f.Xing = FVariable;
  const int64_t frames = static_cast<int64_t>(FFrameSizes.size());
  f.Frames = static_cast<uint32_t>(frames);
  f.Bytes = static_cast<uint32_t>(FSize + FBytes);
  f.Toc = mp3::InfoSeekTable(frames, FSize, f.Bytes, [this](int64_t j) { return FFrameSizes[static_cast<size_t>(j)]; });
  f.Delay = gfp ? ff::lame_get_encoder_delay(gfp) : enc->initial_padding - DecoderDelay;
  // What a gapless decoder drops at the end, so that it gives back the samples encoded.
  const int64_t padding = frames * FHeader.SamplesPerFrame() - f.Delay - samples;
  if (f.Delay < 0 || f.Delay > mp3::MaxDelay || padding < 0 || padding > mp3::MaxDelay) {
    engine.Log(llWarning, "The encoder tag cannot hold a delay of %d and a padding of %lld samples", f.Delay,
               static_cast<long long>(padding));
    f.Delay = 0;
    f.Padding = 0;
  } else {
    f.Padding = static_cast<int>(padding);
  }
  f.MusicCrc = FMusicCrc;
  const std::vector<uint8_t> frame = mp3::BuildInfoFrame(FHeader, FSize, f);
  const int64_t end = ff::avio_seek(pb, 0, SEEK_CUR);
  if (ff::avio_seek(pb, FOffset, SEEK_SET) < 0) return;
  ff::avio_write(pb, frame.data(), static_cast<int>(frame.size()));
  ff::avio_seek(pb, end, SEEK_SET);
}

}  // namespace sw
