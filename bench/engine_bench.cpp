// Converts a generated 10-minute stereo 44.1 kHz 128 kbit/s MP3 to MP3 with the engine and
// prints wall time, CPU time and peak memory, and how much of the time is the engine's
// own (everything but the MP3 decode and the LAME encode, each timed on its own).
//
// Then the video figure: pictures per second of a 640x360 lavfi source to MPEG-4 through
// the engine and through a minimal decode-scale-encode loop (--video: that figure alone).
//
//   engine_bench [--minutes N] [--keep DIR] [--video]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "media/binding/FFLoad.h"
#include "media/common/UnicodeProtocol.h"
#include "media/encoder/FFmpegTask.h"
#include "media/engine/FFmpeg.h"

using namespace sw;

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds(const rusage& r) {
  return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

// A stereo signal with some life in it: two drifting tones, a beat and a little noise.
void WriteWav(const std::string& name, int seconds) {
  const int rate = 44100;
  const uint32_t frames = static_cast<uint32_t>(rate) * seconds;
  FILE* f = std::fopen(name.c_str(), "wb");
  const uint32_t dataBytes = frames * 4;
  const auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
  const auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
  std::fwrite("RIFF", 1, 4, f), u32(36 + dataBytes), std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16), u16(1), u16(2), u32(rate), u32(rate * 4), u16(4), u16(16);
  std::fwrite("data", 1, 4, f), u32(dataBytes);
  uint32_t seed = 1;
  std::vector<int16_t> block(2 * 4410);
  for (uint32_t i = 0; i < frames;) {
    size_t n = 0;
    for (; n < block.size() / 2 && i < frames; ++n, ++i) {
      const double t = static_cast<double>(i) / rate;
      seed = seed * 1664525u + 1013904223u;
      const double noise = (static_cast<int>(seed >> 16) - 32768) / 32768.0;
      const double beat = std::fmod(t, 0.5) < 0.05 ? 0.3 : 0.0;
      const double l = 0.3 * std::sin(2 * M_PI * (220 + 30 * std::sin(t / 7)) * t) + beat + 0.05 * noise;
      const double r = 0.3 * std::sin(2 * M_PI * (330 + 40 * std::sin(t / 5)) * t) + beat * 0.5 + 0.05 * noise;
      block[2 * n] = static_cast<int16_t>(l * 20000);
      block[2 * n + 1] = static_cast<int16_t>(r * 20000);
    }
    std::fwrite(block.data(), 4, n, f);
  }
  std::fclose(f);
}

void Convert(const std::string& in, const std::string& out, int64_t bitRate) {
  TCustomFFmpeg engine;
  AVFormatContext* input = nullptr;
  if (OpenInputFormat(&input, MediaUrl(in), nullptr, nullptr) < 0 || ff::avformat_find_stream_info(input, nullptr) < 0)
    throw std::runtime_error("cannot open " + in);
  engine.AddInputFile(input, 0);
  auto file = std::make_shared<TOutputFile>();
  ff::avformat_alloc_output_context2(&file->Context, nullptr, "mp3", nullptr);
  file->Context->url = ff::av_strdup(MediaUrl(out).c_str());
  engine.AddOutputFile(file);
  AVStream* st = ff::avformat_new_stream(file->Context, nullptr);
  const AVCodec* lame = ff::avcodec_find_encoder_by_name("libmp3lame");
  TOutputStreamSetup& setup = file->Streams.emplace_back();
  setup.Encoder = lame;
  setup.Codec.reset(ff::avcodec_alloc_context3(lame));
  AVCodecContext* c = setup.Codec.get();
  c->codec_type = AVMEDIA_TYPE_AUDIO;
  c->codec_id = lame->id;
  c->sample_rate = 44100;
  ff::av_channel_layout_default(&c->ch_layout, 2);
  c->sample_fmt = lame->sample_fmts[0];
  c->bit_rate = bitRate;
  c->time_base = AVRational{1, 44100};
  st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  st->codecpar->codec_id = lame->id;
  OpenOutputIO(&file->Context->pb, file->Context->url, AVIO_FLAG_WRITE, true);
  file->IOOpened = true;
  engine.Transcode();
}

// A LAME encoder for 44.1 kHz stereo at 128 kbit/s, taking the format it lists first.
TCodecContextPtr OpenLame() {
  const AVCodec* lame = ff::avcodec_find_encoder_by_name("libmp3lame");
  TCodecContextPtr enc(ff::avcodec_alloc_context3(lame));
  enc->sample_rate = 44100;
  ff::av_channel_layout_default(&enc->ch_layout, 2);
  enc->sample_fmt = lame->sample_fmts[0];
  enc->bit_rate = 128000;
  enc->time_base = AVRational{1, 44100};
  if (ff::avcodec_open2(enc.get(), lame, nullptr) < 0) enc.reset();
  return enc;
}

// The least any conversion has to do: decode the MP3 and encode it with LAME, streaming,
// with only the sample-format conversion LAME needs in between and nothing written.
void DecodeAndEncode(const std::string& mp3) {
  AVFormatContext* ctx = nullptr;
  OpenInputFormat(&ctx, MediaUrl(mp3), nullptr, nullptr);
  ff::avformat_find_stream_info(ctx, nullptr);
  const AVCodec* mp3dec = ff::avcodec_find_decoder(ctx->streams[0]->codecpar->codec_id);
  TCodecContextPtr dec(ff::avcodec_alloc_context3(mp3dec));
  ff::avcodec_parameters_to_context(dec.get(), ctx->streams[0]->codecpar);
  ff::avcodec_open2(dec.get(), mp3dec, nullptr);
  TCodecContextPtr enc = OpenLame();
  SwrContext* raw = nullptr;
  ff::swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, 44100, &dec->ch_layout, dec->sample_fmt, 44100, 0,
                          nullptr);
  TResamplerPtr swr(raw);
  ff::swr_init(raw);
  TPacketPtr packet(ff::av_packet_alloc()), out(ff::av_packet_alloc());
  TFramePtr frame(ff::av_frame_alloc()), converted(ff::av_frame_alloc());
  const auto encode = [&](AVFrame* f) {
    ff::avcodec_send_frame(enc.get(), f);
    while (ff::avcodec_receive_packet(enc.get(), out.get()) >= 0) ff::av_packet_unref(out.get());
  };
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    ff::avcodec_send_packet(dec.get(), packet.get());
    ff::av_packet_unref(packet.get());
    while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
      converted->nb_samples = frame->nb_samples;
      converted->format = enc->sample_fmt;
      converted->sample_rate = 44100;
      ff::av_channel_layout_copy(&converted->ch_layout, &enc->ch_layout);
      ff::av_frame_get_buffer(converted.get(), 0);
      ff::swr_convert(raw, converted->extended_data, frame->nb_samples,
                      const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      encode(converted.get());
      ff::av_frame_unref(converted.get());
      ff::av_frame_unref(frame.get());
    }
  }
  encode(nullptr);
  CloseInputFormat(&ctx);
}

// Runs this program again with the arguments and collects its resource use.
bool RunChild(std::vector<const char*> args, rusage& usage) {
  args.insert(args.begin(), "engine_bench");
  args.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    execv("/proc/self/exe", const_cast<char* const*>(args.data()));
    _exit(127);
  }
  int status = 0;
  wait4(child, &status, 0, &usage);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::fprintf(stderr, "%s failed\n", args[1]);
  return false;
}

// --- Video figure: a 640x360 lavfi picture source to MPEG-4 in MP4, through the engine
// and through a minimal decode-scale-encode loop of our own over the same libraries.

const char* const VideoSource = "testsrc=size=640x360:rate=25:duration=20";
constexpr int VideoFrames = 500;

// The engine with the option layer, as the encoder component drives it.
bool EngineVideo(const std::string& out) {
  TFFmpeg task;
  task.ApplyOption("f", "lavfi");
  if (!task.OpenInputFile(VideoSource)) return false;
  task.ApplyOption("vcodec", "mpeg4");
  if (task.OpenOutputFile(out, false) < 0) return false;
  try {
    task.Transcode();
  } catch (const FFmpegException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    task.CleanUp();
    return false;
  }
  task.CleanUp();
  return task.FinishedNormally();
}

// Read, decode, scale to YUV 4:2:0, encode, write: nothing else.
bool MinimalVideo(const std::string& out) {
  AVFormatContext* in = nullptr;
  if (ff::avformat_open_input(&in, VideoSource, ff::av_find_input_format("lavfi"), nullptr) < 0) return false;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> inOwner(&in, ff::avformat_close_input);
  ff::avformat_find_stream_info(in, nullptr);
  const AVStream* ist = in->streams[0];
  const AVCodec* decoder = ff::avcodec_find_decoder(ist->codecpar->codec_id);
  TCodecContextPtr dec(ff::avcodec_alloc_context3(decoder));
  ff::avcodec_parameters_to_context(dec.get(), ist->codecpar);
  if (ff::avcodec_open2(dec.get(), decoder, nullptr) < 0) return false;
  const AVCodec* encoder = ff::avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  TCodecContextPtr enc(ff::avcodec_alloc_context3(encoder));
  enc->width = 640;
  enc->height = 360;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = AVRational{1, 25};
  enc->framerate = AVRational{25, 1};
  enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (ff::avcodec_open2(enc.get(), encoder, nullptr) < 0) return false;
  AVFormatContext* mux = nullptr;
  ff::avformat_alloc_output_context2(&mux, nullptr, "mp4", out.c_str());
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> muxOwner(mux, [](AVFormatContext* c) {
    if (c->pb) ff::avio_closep(&c->pb);
    ff::avformat_free_context(c);
  });
  AVStream* ost = ff::avformat_new_stream(mux, nullptr);
  ff::avcodec_parameters_from_context(ost->codecpar, enc.get());
  ost->time_base = enc->time_base;
  if (ff::avio_open(&mux->pb, out.c_str(), AVIO_FLAG_WRITE) < 0 || ff::avformat_write_header(mux, nullptr) < 0)
    return false;
  TScalerPtr scaler;
  TFramePtr frame(ff::av_frame_alloc()), yuv(ff::av_frame_alloc());
  yuv->width = 640, yuv->height = 360, yuv->format = AV_PIX_FMT_YUV420P;
  ff::av_frame_get_buffer(yuv.get(), 0);
  TPacketPtr packet(ff::av_packet_alloc()), coded(ff::av_packet_alloc());
  int64_t pts = 0;
  const auto encode = [&](AVFrame* f) {
    ff::avcodec_send_frame(enc.get(), f);
    while (ff::avcodec_receive_packet(enc.get(), coded.get()) >= 0) {
      coded->stream_index = 0;
      ff::av_packet_rescale_ts(coded.get(), enc->time_base, ost->time_base);
      ff::av_interleaved_write_frame(mux, coded.get());
    }
  };
  const auto drain = [&] {
    while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
      if (!scaler)
        scaler.reset(ff::sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), 640,
                                        360, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
      ff::av_frame_make_writable(yuv.get());
      ff::sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, yuv->data, yuv->linesize);
      yuv->pts = pts++;
      encode(yuv.get());
      ff::av_frame_unref(frame.get());
    }
  };
  while (ff::av_read_frame(in, packet.get()) >= 0) {
    ff::avcodec_send_packet(dec.get(), packet.get());
    ff::av_packet_unref(packet.get());
    drain();
  }
  ff::avcodec_send_packet(dec.get(), nullptr);
  drain();
  encode(nullptr);
  ff::av_write_trailer(mux);
  return pts == VideoFrames;
}

// Pictures per second of each way, the best of three runs.
void VideoFigure(const std::string& dir) {
  double engine = 0, minimal = 0;
  for (int run = 0; run < 3; ++run) {
    double start = Now();
    if (!EngineVideo(dir + "/engine.mp4")) {
      std::fprintf(stderr, "video: the engine's conversion failed\n");
      return;
    }
    engine = std::max(engine, VideoFrames / (Now() - start));
    start = Now();
    if (!MinimalVideo(dir + "/minimal.mp4")) {
      std::fprintf(stderr, "video: the minimal loop failed\n");
      return;
    }
    minimal = std::max(minimal, VideoFrames / (Now() - start));
  }
  std::printf("video 640x360 lavfi testsrc to MPEG-4 (%d pictures): engine %.1f fps, minimal loop %.1f fps, "
              "engine overhead %.1f %%\n",
              VideoFrames, engine, minimal, 100.0 * (minimal / engine - 1));
}

}  // namespace

int main(int argc, char** argv) {
  int minutes = 10;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--minutes") && i + 1 < argc) minutes = std::atoi(argv[++i]);
    if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
    if (!std::strcmp(argv[i], "--video")) {  // the video figure alone
      GetLogger().SetLogLevel(llQuiet);
      if (!FFLoader().LoadLibrarySet(AllLibraries)) return 1;
      VideoFigure(std::filesystem::temp_directory_path().string());
      return 0;
    }
    if (!std::strcmp(argv[i], "--baseline")) {  // the libraries and an open encoder, no conversion
      FFLoader().LoadLibrarySet(EncoderLibraries);
      return OpenLame() ? 0 : 1;
    }
    if (!std::strcmp(argv[i], "--minimal") && i + 1 < argc) {
      FFLoader().LoadLibrarySet(EncoderLibraries);
      DecodeAndEncode(argv[i + 1]);
      return 0;
    }
    if (!std::strcmp(argv[i], "--convert") && i + 2 < argc) {  // the measured child
      GetLogger().SetLogLevel(llQuiet);
      FFLoader().LoadLibrarySet(EncoderLibraries);
      Convert(argv[i + 1], argv[i + 2], 128000);
      return 0;
    }
  }
  GetLogger().SetLogLevel(llQuiet);
  if (!FFLoader().LoadLibrarySet(EncoderLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
    return 1;
  }
  const std::string dir = keep.empty() ? (std::filesystem::temp_directory_path() / "snipwave-bench").string() : keep;
  std::filesystem::create_directories(dir);
  const std::string wav = dir + "/source.wav", mp3 = dir + "/source.mp3", out = dir + "/converted.mp3";
  if (!std::filesystem::exists(mp3)) {
    WriteWav(wav, minutes * 60);
    Convert(wav, mp3, 128000);
    std::filesystem::remove(wav);
  }

  rusage baseline{};
  if (!RunChild({"--baseline"}, baseline)) return 1;
  // Three runs each, the median counts.
  std::vector<double> walls, cpus, minimals;
  long peak = 0;
  for (int run = 0; run < 3; ++run) {
    rusage usage{}, minimal{};
    const double start = Now();
    if (!RunChild({"--convert", mp3.c_str(), out.c_str()}, usage)) return 1;
    walls.push_back(Now() - start);
    cpus.push_back(CpuSeconds(usage));
    peak = std::max(peak, usage.ru_maxrss);
    if (!RunChild({"--minimal", mp3.c_str()}, minimal)) return 1;
    minimals.push_back(CpuSeconds(minimal));
  }
  const auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double wall = median(walls), cpu = median(cpus), least = median(minimals);
  std::printf("input: %d min stereo 44.1 kHz 128 kbit/s MP3 (%.1f MB)\n", minutes,
              std::filesystem::file_size(mp3) / 1048576.0);
  std::printf("engine conversion (median of 3): wall %.2f s, cpu %.2f s, peak RSS %.1f MB\n", wall, cpu,
              peak / 1024.0);
  std::printf("  of which the loaded libraries with an open LAME encoder: %.1f MB; the conversion's own: %.1f MB\n",
              baseline.ru_maxrss / 1024.0, (peak - baseline.ru_maxrss) / 1024.0);
  std::printf("decode + LAME encode alone (median of 3): cpu %.2f s\n", least);
  std::printf("engine's own share: %.1f %% of the conversion's CPU time\n", 100.0 * (cpu - least) / cpu);
  // Pictures need the device library for their lavfi source.
  if (FFLoader().LoadLibrarySet(AllLibraries)) VideoFigure(dir);
  if (keep.empty()) std::filesystem::remove_all(dir);
  return 0;
}
