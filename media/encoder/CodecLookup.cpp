// Codec look-up by name and the media kinds the input files offer.
#include <algorithm>

#include "FFmpegTask.h"

namespace sw {

namespace {

const AVCodec* FindByName(const std::string& name, bool encoder) {
  return encoder ? ff::avcodec_find_encoder_by_name(name.c_str()) : ff::avcodec_find_decoder_by_name(name.c_str());
}

bool Experimental(const AVCodec* codec) { return codec && (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL); }

}  // namespace

bool TFFmpeg::FindCodecByName(const std::string& name, AVMediaType type, int strictness, bool encoder,
                              AVCodecID& id) {
  id = AV_CODEC_ID_NONE;
  if (name.empty()) return true;
  const char* kind = encoder ? "encoder" : "decoder";
  const AVCodec* codec = FindByName(name, encoder);
  if (!codec) {
    SetErrorText(FormatText("Unknown %s '%s'", kind, name.c_str()));
    return false;
  }
  if (codec->type != type) {
    SetErrorText(FormatText("Invalid %s type '%s'", kind, name.c_str()));
    return false;
  }
  if (Experimental(codec) && strictness > FF_COMPLIANCE_EXPERIMENTAL) {
    std::string text = FormatText(
        "%s '%s' is experimental and might produce bad results.\r\nAdd '-strict experimental' if you want to use it.",
        kind, codec->name);
    const AVCodec* other = encoder ? ff::avcodec_find_encoder(codec->id) : ff::avcodec_find_decoder(codec->id);
    if (other && !Experimental(other))
      text += "\r\n" + FormatText("Or use the non experimental %s '%s'.", kind, other->name);
    SetErrorText(text);
    return false;
  }
  id = codec->id;
  return true;
}

void TFFmpeg::CheckInputs(bool firstOnly, bool& video, bool& audio, bool& subtitle) const {
  video = audio = subtitle = false;
  const int files = firstOnly ? std::min(1, InputFileCount()) : InputFileCount();
  for (int f = 0; f < files; ++f) {
    const AVFormatContext* context = InputFile(f);
    for (unsigned s = 0; s < context->nb_streams; ++s) {
      const AVStream* stream = context->streams[s];
      switch (stream->codecpar->codec_type) {
        // A cover picture is a video stream of one still frame, not a video source.
        case AVMEDIA_TYPE_VIDEO: video = video || !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC); break;
        case AVMEDIA_TYPE_AUDIO: audio = true; break;
        case AVMEDIA_TYPE_SUBTITLE: subtitle = true; break;
        case AVMEDIA_TYPE_UNKNOWN:
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT: break;
        default: RaiseFFmpeg("invalid codec_type of input file");
      }
    }
  }
}

}  // namespace sw
