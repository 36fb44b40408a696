// The steps before the packet loop and after it.
#include <chrono>
#include <cmath>
#include <cstring>

#include "EncoderTagWriter.h"
#include "RunTables.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFUtils.h"

namespace sw {

int64_t WallClock() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TCustomFFmpeg::TRun::TRun(TCustomFFmpeg& engine)
    : E(engine),
      S(engine.FSettings),
      Decoded(ff::av_frame_alloc()),
      EncodeFrame(ff::av_frame_alloc()),
      Encoded(ff::av_packet_alloc()) {
  if (!Decoded || !EncodeFrame || !Encoded) RaiseFFmpeg("av_mallocz fail");
}

TCustomFFmpeg::TRun::~TRun() {
  // Decoders die with the tables: close them (and any encoder an error left open) first.
  E.CloseOpenedCodecs();
}

void TCustomFFmpeg::TRun::RaiseWithFormats(const std::string& message) {
  LogMapping();
  E.Log(llError, "%s", message.c_str());
  throw FFmpegException(message);
}

void TCustomFFmpeg::TRun::SetUp() {
  BuildInputTables();
  BuildOutputTables();
  MapStreams();
  SetCodecParameters();
  OpenEncoders();
  OpenDecoders();
  InitInputTimes();
}

void TCustomFFmpeg::TRun::BuildInputTables() {
  const int64_t now = WallClock();
  for (int f = 0; f < E.InputFileCount(); ++f) {
    AVFormatContext* ctx = E.InputFile(f);
    Files.push_back({false, static_cast<int>(Ist.size()), static_cast<int>(ctx->nb_streams)});
    for (unsigned k = 0; k < ctx->nb_streams; ++k) {
      TInputStream& ist = Ist.emplace_back();
      ist.FileIndex = f;
      ist.StreamIndex = static_cast<int>(k);
      ist.Stream = ctx->streams[k];
      if (S.RateEmulation) ist.Start = now;
    }
  }
  NoPacket.assign(Files.size(), false);
}

void TCustomFFmpeg::TRun::BuildOutputTables() {
  int total = 0;
  for (int j = 0; j < E.OutputFileCount(); ++j) {
    AVFormatContext* ctx = E.OutputFile(j)->Context;
    if (ctx->nb_streams == 0) {
      ff::av_dump_format(ctx, j, ctx->url, 1);
      RaiseFFmpeg("Output file #%d does not contain any stream", j);
    }
    total += static_cast<int>(ctx->nb_streams);
  }
  FirstGroupSize = E.OutputFileCount() > 0 ? static_cast<int>(E.OutputFile(0)->Context->nb_streams) : 0;
  if (!S.StreamMaps.empty()) {
    if (static_cast<int>(S.StreamMaps.size()) != total) RaiseFFmpeg("Number of stream maps must match number of output streams");
    for (const TStreamMap& m : S.StreamMaps) {
      const auto valid = [&](int file, int stream) {
        return file >= 0 && file < E.InputFileCount() && stream >= 0 &&
               stream < static_cast<int>(E.InputFile(file)->nb_streams);
      };
      if (!valid(m.FileIndex, m.StreamIndex))
        RaiseFFmpeg("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex);
      if (!valid(m.SyncFileIndex, m.SyncStreamIndex))
        RaiseFFmpeg("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex);
    }
  }
  Ost.resize(total);
}

void TCustomFFmpeg::TRun::MapStreams() {
  int n = 0;
  for (int j = 0; j < E.OutputFileCount(); ++j) {
    TOutputFile& file = *E.OutputFile(j);
    for (unsigned k = 0; k < file.Context->nb_streams; ++k, ++n) {
      TOutputStream& ost = Ost[n];
      ost.FileIndex = j;
      ost.StreamIndex = static_cast<int>(k);
      ost.Stream = file.Context->streams[k];
      ost.Setup = &file.Streams[k];
      const AVMediaType type = ost.Stream->codecpar->codec_type;
      int source = -1, sync = -1;
      if (!S.StreamMaps.empty()) {
        const TStreamMap& m = S.StreamMaps[n];
        source = Files[m.FileIndex].FirstStream + m.StreamIndex;
        sync = Files[m.SyncFileIndex].FirstStream + m.SyncStreamIndex;
        const AVMediaType inType = Ist[source].Stream->codecpar->codec_type;
        if (inType != type) {
          ff::av_dump_format(file.Context, j, file.Context->url, 1);
          RaiseFFmpeg("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.FileIndex, m.StreamIndex,
                      MediaTypeName(inType).c_str(), j, static_cast<int>(k), MediaTypeName(type).c_str());
        }
      } else {
        const auto usable = [&](const TInputStream& ist) {
          // A cover picture is no video source.
          return ist.Stream->codecpar->codec_type == type && ist.Stream->discard != AVDISCARD_ALL &&
                 !(ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        };
        int bestFrames = -1;
        for (int i = 0; i < static_cast<int>(Ist.size()); ++i) {
          const TInputStream& ist = Ist[i];
          if (!ist.Discard || !usable(ist)) continue;
          if (S.JoinMode && ist.FileIndex != j) continue;
          if (S.ProgramId != 0) {
            bool inProgram = false;
            const AVFormatContext* in = E.InputFile(ist.FileIndex);
            for (unsigned p = 0; p < in->nb_programs && !inProgram; ++p)
              if (in->programs[p]->id == S.ProgramId)
                for (unsigned s = 0; s < in->programs[p]->nb_stream_indexes; ++s)
                  inProgram = inProgram || static_cast<int>(in->programs[p]->stream_index[s]) == ist.StreamIndex;
            if (!inProgram) continue;
          }
          // The library no longer tells how many frames probing saw; its own choice of
          // the best stream of the file stands in for that.
          const int frames = ff::av_find_best_stream(E.InputFile(ist.FileIndex), type, -1, -1, nullptr,
                                                     0) == ist.StreamIndex;
          if (frames > bestFrames) bestFrames = frames, source = i;
        }
        if (source < 0 && S.ProgramId == 0 && !S.JoinMode)
          for (int i = 0; i < static_cast<int>(Ist.size()); ++i)
            if (usable(Ist[i])) source = i;
        if (source < 0) {
          ff::av_dump_format(file.Context, j, file.Context->url, 1);
          RaiseFFmpeg("Could not find input stream matching output stream #%d.%d (%s)", j, static_cast<int>(k),
                      MediaTypeName(type).c_str());
        }
        sync = source;
      }
      ost.SourceIndex = source;
      ost.SyncIndex = sync;
      Ist[source].Discard = false;
      ost.Active = true;
    }
  }
}

void TCustomFFmpeg::TRun::SetCodecParameters() {
  for (TOutputStream& ost : Ost) {
    TInputStream& ist = Ist[ost.SourceIndex];
    ff::av_dict_copy(&ost.Stream->metadata, ist.Stream->metadata, AV_DICT_DONT_OVERWRITE);
    ost.Stream->disposition = ist.Stream->disposition;
    if (ost.Setup->StreamCopy) {
      StreamCopySetup(ost, ist);
      continue;
    }
    AVCodecContext* enc = ost.Encoder();
    enc->bits_per_raw_sample = ist.Stream->codecpar->bits_per_raw_sample;
    enc->chroma_sample_location = ist.Stream->codecpar->chroma_location;
    switch (enc->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        AudioEncoderSetup(ost, ist);
        break;
      case AVMEDIA_TYPE_VIDEO:
        VideoEncoderSetup(ost, ist);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        SubtitleEncoderSetup(ost, ist);
        break;
      default:
        RaiseFFmpeg("invalid codec_type of output stream");
    }
  }
  AllocateBitBuffer();
  StartVideoHooks();
}

void TCustomFFmpeg::TRun::OpenEncoders() {
  for (TOutputStream& ost : Ost) {
    if (!ost.EncodingNeeded) continue;
    if (S.JoinMode && ost.FileIndex != 0) continue;
    AVCodecContext* enc = ost.Encoder();
    const AVCodec* codec = ost.Setup->Encoder ? ost.Setup->Encoder : ff::avcodec_find_encoder(enc->codec_id);
    if (!codec)
      RaiseWithFormats(FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                                  static_cast<int>(enc->codec_id), ost.FileIndex, ost.StreamIndex,
                                  MediaTypeName(enc->codec_type).c_str()));
    int opened;
    {
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      ost.SavedCodecId = enc->codec_id;
      opened = ff::avcodec_open2(enc, codec, nullptr);
      if (opened >= 0) E.FOpenedEncoders.push_back(enc);
    }
    if (opened < 0)
      RaiseWithFormats(FormatText(
          "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters such as "
          "bit_rate, rate, width or height. Please check error log message to find out more detail information.",
          ost.FileIndex, ost.StreamIndex, MediaTypeName(enc->codec_type).c_str()));
    GlobalHeaderBytes += enc->extradata_size;
    // The muxer writes what the opened encoder reports (delay, frame size, extra data).
    ff::avcodec_parameters_from_context(ost.Stream->codecpar, enc);
    ost.Stream->time_base = enc->time_base;
  }
  for (TOutputStream& ost : Ost) OpenBitstreamFilters(ost);
}

void TCustomFFmpeg::TRun::OpenDecoders() {
  for (int i = 0; i < static_cast<int>(Ist.size()); ++i) {
    TInputStream& ist = Ist[i];
    if (!ist.DecodingNeeded) continue;
    const AVCodecParameters* par = ist.Stream->codecpar;
    const AVCodec* forced = i < static_cast<int>(E.FForcedDecoders.size()) ? E.FForcedDecoders[i] : nullptr;
    const AVCodec* codec = forced ? forced : ff::avcodec_find_decoder(par->codec_id);
    if (!codec)
      RaiseWithFormats(FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                                  static_cast<int>(par->codec_id), ist.FileIndex, ist.StreamIndex,
                                  MediaTypeName(par->codec_type).c_str()));
    ist.Decoder.reset(ff::avcodec_alloc_context3(codec));
    if (!ist.Decoder || ff::avcodec_parameters_to_context(ist.Decoder.get(), par) < 0)
      RaiseFFmpeg("av_mallocz fail");
    ist.Decoder->pkt_timebase = ist.Stream->time_base;
    // The options of the input's time first; the encoders' channel request overrides them.
    if (i < static_cast<int>(E.FDecoderOptions.size()))
      for (const auto& [name, value] : E.FDecoderOptions[i])
        ff::av_opt_set(ist.Decoder.get(), name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
    if (ist.RequestedChannels > 0) {
      // Decoders that can mix down (AC-3, DTS, TrueHD) give the encoders' channel count.
      AVChannelLayout wanted{};
      ff::av_channel_layout_default(&wanted, ist.RequestedChannels);
      if (wanted.order == AV_CHANNEL_ORDER_NATIVE)
        ff::av_opt_set_int(ist.Decoder.get(), "request_channel_layout", static_cast<int64_t>(wanted.u.mask), 0);
      ff::av_channel_layout_uninit(&wanted);
    }
    int opened;
    {
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      opened = ff::avcodec_open2(ist.Decoder.get(), codec, nullptr);
      if (opened >= 0) E.FOpenedDecoders.push_back(ist.Decoder.get());
    }
    if (opened < 0)
      RaiseWithFormats(FormatText("Error while opening decoder for input stream #%d.%d (%s)", ist.FileIndex,
                                  ist.StreamIndex, MediaTypeName(par->codec_type).c_str()));
  }
}

void TCustomFFmpeg::TRun::InitInputTimes() {
  for (TInputStream& ist : Ist) {
    ist.Time = 0;
    const AVRational rate = ist.Stream->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0 && ist.Stream->codecpar->video_delay > 0)
      ist.Time = -std::llround(ist.Stream->codecpar->video_delay * 1000000.0 * rate.den / rate.num);
    ist.NextTime = NoTime;
    ist.IsStart = true;
  }
}

void TCustomFFmpeg::TRun::CopyMetadataMaps() {
  for (const TMetaDataMap& m : S.MetaDataMaps) {
    if (m.OutFile < 0 || m.OutFile >= E.OutputFileCount())
      RaiseWithFormats(FormatText("Invalid output file index %d map_meta_data(%d,%d)", m.OutFile, m.OutFile, m.InFile));
    if (m.InFile < 0 || m.InFile >= E.InputFileCount())
      RaiseWithFormats(FormatText("Invalid input file index %d map_meta_data(%d,%d)", m.InFile, m.OutFile, m.InFile));
    ff::av_dict_copy(&E.OutputFile(m.OutFile)->Context->metadata, E.InputFile(m.InFile)->metadata,
                     AV_DICT_DONT_OVERWRITE);
  }
}

void TCustomFFmpeg::TRun::CopyChapters() {
  for (int i = 0; i < E.InputFileCount(); ++i) {
    const AVFormatContext* in = E.InputFile(i);
    for (int j = 0; j < E.OutputFileCount() && in->nb_chapters > 0; ++j) {
      AVFormatContext* out = E.OutputFile(j)->Context;
      for (unsigned c = 0; c < in->nb_chapters; ++c) {
        const AVChapter* chapter = in->chapters[c];
        const int64_t shift = ff::av_rescale_q(S.StartTime - E.FInputOffset[i], AVRational{1, AV_TIME_BASE},
                                               chapter->time_base);
        const int64_t limit = S.RecordingTime == NoLimit ? NoLimit
                              : ff::av_rescale_q(S.RecordingTime, AVRational{1, AV_TIME_BASE}, chapter->time_base);
        if (chapter->end < shift) continue;
        if (limit != NoLimit && chapter->start > shift + limit) break;
        auto* copy = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        if (!copy) RaiseFFmpeg("av_mallocz fail");
        copy->id = chapter->id;
        copy->time_base = chapter->time_base;
        copy->start = std::max<int64_t>(0, chapter->start - shift);
        copy->end = limit == NoLimit ? chapter->end - shift : std::min(chapter->end - shift, limit);
        ff::av_dict_copy(&copy->metadata, chapter->metadata, 0);
        void* grown = ff::av_realloc(out->chapters, sizeof(AVChapter*) * (out->nb_chapters + 1));
        if (!grown) {
          ff::av_dict_free(&copy->metadata);
          ff::av_free(copy);
          RaiseFFmpeg("av_realloc fail");
        }
        out->chapters = static_cast<AVChapter**>(grown);
        out->chapters[out->nb_chapters++] = copy;
      }
    }
  }
}

void TCustomFFmpeg::TRun::WriteHeaders() {
  bool allRtp = E.OutputFileCount() > 0;
  for (int j = 0; j < E.OutputFileCount(); ++j) {
    AVFormatContext* ctx = E.OutputFile(j)->Context;
    allRtp = allRtp && std::strcmp(ctx->oformat->name, "rtp") == 0;
    if (S.JoinMode && j > 0) continue;
    // An MP3 file of a LAME stream gets its encoder tag from the run, not the muxer.
    AVDictionary* options = nullptr;
    for (TOutputStream& ost : Ost)
      if (ost.FileIndex == j && ost.EncodingNeeded && !E.OutputFile(j)->PacketSink &&
          TEncoderTagWriter::Applies(ctx, ost.Encoder())) {
        ost.TagWriter = std::make_shared<TEncoderTagWriter>();
        ff::av_dict_set(&options, "write_xing", "0", 0);
      }
    const int written = ff::avformat_write_header(ctx, &options);
    ff::av_dict_free(&options);
    if (written < 0)
      RaiseWithFormats(FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", j));
  }
  if (allRtp) {
    std::vector<AVFormatContext*> all;
    for (int j = 0; j < E.OutputFileCount(); ++j) all.push_back(E.OutputFile(j)->Context);
    char sdp[2048] = {};
    ff::av_sdp_create(all.data(), static_cast<int>(all.size()), sdp, sizeof sdp);
    E.Log(llInfo, "SDP:\r\n%s", sdp);
  }
}

void TCustomFFmpeg::TRun::LogMapping() {
  for (int j = 0; j < E.OutputFileCount(); ++j) {
    if (S.JoinMode && j > 0) break;
    AVFormatContext* ctx = E.OutputFile(j)->Context;
    ff::av_dump_format(ctx, j, ctx->url, 1);
  }
  if (S.Verbosity < 0) return;
  E.Log(llVerbose, "Stream mapping:");
  for (const TOutputStream& ost : Ost) {
    if (!ost.Stream) continue;
    const TInputStream& src = Ist[ost.SourceIndex];
    std::string line = FormatText("  Stream #%d.%d -> #%d.%d (%s)", src.FileIndex, src.StreamIndex,
                                  S.JoinMode ? 0 : ost.FileIndex, ost.StreamIndex,
                                  MediaTypeName(ost.Stream->codecpar->codec_type).c_str());
    if (ost.SyncIndex != ost.SourceIndex) {
      const TInputStream& sync = Ist[ost.SyncIndex];
      line += FormatText(" [sync #%d.%d (%s)]", sync.FileIndex, sync.StreamIndex,
                         MediaTypeName(sync.Stream->codecpar->codec_type).c_str());
    }
    E.Log(llVerbose, "%s", line.c_str());
  }
}

void TCustomFFmpeg::TRun::DrainDecoders() {
  for (int i = 0; i < static_cast<int>(Ist.size()); ++i)
    if (Ist[i].DecodingNeeded && !Ist[i].Flushed) OutputPacket(i, nullptr);
}

void TCustomFFmpeg::TRun::WriteTrailers() {
  for (int j = 0; j < E.OutputFileCount(); ++j) {
    if (S.JoinMode && j > 0) break;
    AVFormatContext* ctx = E.OutputFile(j)->Context;
    for (TOutputStream& ost : Ost)
      if (ost.FileIndex == j && ost.TagWriter) ost.TagWriter->Finish(ctx->pb, ost.Encoder(), ost.EncodedSamples, E);
    const int r = ff::av_write_trailer(ctx);
    if (r < 0) throw FFmpegException(SystemErrorText(FormatText("Could not write the end of output file #%d", j), r));
  }
}

void TCustomFFmpeg::TRun::CloseCodecs() { E.CloseOpenedCodecs(); }

}  // namespace sw
