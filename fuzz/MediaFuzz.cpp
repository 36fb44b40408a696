// Fuzzing target: arbitrary bytes through the information reader and through a short
// conversion. The bytes reach the format library through our own memory I/O context,
// and once more as a file for the reader's own open (which also measures lengths).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "MemoryInput.h"
#include "media/binding/AVCodecStubs.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/common/UnicodeProtocol.h"
#include "media/engine/FFmpeg.h"
#include "media/info/DurationProbe.h"
#include "media/info/FFDecode.h"

using namespace sw;
using sw::fuzz::TMemoryInput;

namespace {

struct TFuzzEnvironment {
  int MemoryFile = -1;        // holds the bytes for the reader's open by name
  std::string MemoryFileName;
  std::string OutputFolder;   // the conversion's output, removed after each run
};

TFuzzEnvironment& Environment() {
  static TFuzzEnvironment env;
  return env;
}

void ReadInformation(const uint8_t* data, size_t size) {
  TFuzzEnvironment& env = Environment();
  if (::ftruncate(env.MemoryFile, 0) != 0 || ::pwrite(env.MemoryFile, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  TFileStreamInfo info;
  TFFDecoder decoder;
  if (decoder.OpenMediaFile(env.MemoryFileName, "")) decoder.FillStreamInfo(info);

  TMemoryInput input(data, size);
  AVFormatContext* context = input.Open();
  if (!context) return;
  if (ff::avformat_find_stream_info(context, nullptr) >= 0) {
    decoder.AdoptFormatContext(context);
    decoder.FillStreamInfo(info);
    if (decoder.FirstAudioStream() >= 0) DurationNeedsMeasuring(context, decoder.FirstAudioStream(), size);
    decoder.CloseMediaFile();
  }
  ff::avformat_close_input(&context);
}

// One second of the first audio stream into 8 kHz mono: WAV for inputs of even size,
// MP3 through LAME for odd ones, so that both output paths see the inputs.
void ConvertShortly(const uint8_t* data, size_t size) {
  TMemoryInput input(data, size);
  AVFormatContext* context = input.Open();
  if (!context) return;
  if (ff::avformat_find_stream_info(context, nullptr) < 0) {
    ff::avformat_close_input(&context);
    return;
  }
  const bool wav = size % 2 == 0;
  const std::string name = Environment().OutputFolder + (wav ? "/out.wav" : "/out.mp3");
  {
    TCustomFFmpeg engine;
    engine.AddInputFile(context, 0);  // the engine closes it; our I/O context stays ours
    auto file = std::make_shared<TOutputFile>();
    if (ff::avformat_alloc_output_context2(&file->Context, nullptr, wav ? "wav" : "mp3", nullptr) < 0) std::abort();
    file->Context->url = ff::av_strdup(name.c_str());
    engine.AddOutputFile(file);
    AVStream* stream = ff::avformat_new_stream(file->Context, nullptr);
    const AVCodec* encoder = ff::avcodec_find_encoder_by_name(wav ? "pcm_s16le" : "libmp3lame");
    if (!stream || !encoder) std::abort();
    TOutputStreamSetup& setup = file->Streams.emplace_back();
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = encoder->id;
    setup.Encoder = encoder;
    setup.Codec.reset(ff::avcodec_alloc_context3(encoder));
    setup.Codec->codec_type = AVMEDIA_TYPE_AUDIO;
    setup.Codec->codec_id = encoder->id;
    setup.Codec->sample_rate = 8000;
    ff::av_channel_layout_default(&setup.Codec->ch_layout, 1);
    setup.Codec->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    setup.Codec->bit_rate = 32000;
    setup.Codec->time_base = AVRational{1, 8000};
    if (OpenOutputIO(&file->Context->pb, name, AVIO_FLAG_WRITE, true) < 0) std::abort();
    file->IOOpened = true;
    engine.Settings().RecordingTime = 1000000;
    try {
      engine.Transcode();
    } catch (const FFmpegException&) {
      // A refused input is a normal outcome here; only crashes and sanitizer reports count.
    }
    engine.CloseOpenedCodecs();
    engine.CleanUp();
  }
  std::remove(name.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  GetLogger()->SetLogLevel(llQuiet);
  if (!FFLoader().LoadLibrarySet(EncoderLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
    std::exit(1);
  }
  TFuzzEnvironment& env = Environment();
  env.MemoryFile = ::memfd_create("snipwave-fuzz", 0);
  if (env.MemoryFile < 0) std::abort();
  env.MemoryFileName = "/proc/self/fd/" + std::to_string(env.MemoryFile);
  env.OutputFolder = (std::filesystem::temp_directory_path() / ("snipwave-fuzz-" + std::to_string(::getpid()))).string();
  std::filesystem::create_directories(env.OutputFolder);
  std::atexit([] { std::filesystem::remove_all(Environment().OutputFolder); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadInformation(data, size);
  ConvertShortly(data, size);
  return 0;
}
