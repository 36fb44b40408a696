// The sound overview's cost: the envelope of a 60-minute VBR MP3 and of a 12-minute
// 320 kbit/s MP3 (both made once with sox and lame), each against a plain decode loop of
// the same file, with peak memory and the time until the first columns are handed out.
//
//   waveform_bench [--keep DIR] [--runs N]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchInputs.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"
#include "media/waveform/EnvelopeDecode.h"

using namespace sw;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

bool LoadLibraries() {
  GetLogger().SetLogLevel(llQuiet);
  if (FFLoader().LoadLibrarySet(DecoderLibraries)) return true;
  std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
  return false;
}

// Child: the envelope as the window's job makes it. Prints "wall first-columns columns".
int Envelope(const char* file) {
  if (!LoadLibraries()) return 1;
  std::atomic<bool> stop{false};
  TEnvelopeDecodeOptions options;
  double first = -1;
  const Clock::time_point start = Clock::now();
  TEnvelope e;
  const TEnvelopeResult r = DecodeEnvelope(file, options, stop, [&](const TEnvelope&) {
    if (first < 0) first = Since(start);
  }, e);
  const double wall = Since(start);
  if (r != erDone) return 1;
  std::printf("%.3f %.3f %d %.3f\n", wall, first, static_cast<int>(e.Columns.size()), e.DecodedDuration / 1e6);
  return 0;
}

// Child: read, decode and drop every audio frame; the floor for any overview.
int PlainDecode(const char* file) {
  if (!LoadLibraries()) return 1;
  const Clock::time_point start = Clock::now();
  AVFormatContext* ctx = nullptr;
  if (OpenInputFormat(&ctx, MediaUrl(file), nullptr, nullptr) < 0) return 1;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&ctx, CloseInputFormat);
  if (ff::avformat_find_stream_info(ctx, nullptr) < 0) return 1;
  const int index = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) return 1;
  const AVCodec* codec = ff::avcodec_find_decoder(ctx->streams[index]->codecpar->codec_id);
  TCodecContextPtr dec(ff::avcodec_alloc_context3(codec));
  ff::avcodec_parameters_to_context(dec.get(), ctx->streams[index]->codecpar);
  if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return 1;
  TPacketPtr packet(ff::av_packet_alloc());
  TFramePtr frame(ff::av_frame_alloc());
  int64_t samples = 0;
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    if (packet->stream_index == index && ff::avcodec_send_packet(dec.get(), packet.get()) >= 0)
      while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) samples += frame->nb_samples;
    ff::av_packet_unref(packet.get());
  }
  std::printf("%.3f 0 0 %.3f\n", Since(start), static_cast<double>(samples) / dec->sample_rate);
  return 0;
}

struct TChildRun {
  double Wall = 0, First = 0, Seconds = 0;
  int Columns = 0;
  long PeakKb = 0;
  double Cpu = 0;  // user + system seconds of the child
};

// Runs this program again in the given mode and reads its one line of figures.
bool RunChild(const char* mode, const std::string& file, TChildRun& run) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    execl("/proc/self/exe", "waveform_bench", mode, file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char line[256] = {};
  const ssize_t n = read(fds[0], line, sizeof line - 1);
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.PeakKb = usage.ru_maxrss;
  run.Cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  return n > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
         std::sscanf(line, "%lf %lf %d %lf", &run.Wall, &run.First, &run.Columns, &run.Seconds) == 4;
}

TChildRun MedianWall(std::vector<TChildRun> all) {
  std::sort(all.begin(), all.end(), [](const TChildRun& a, const TChildRun& b) { return a.Wall < b.Wall; });
  return all[all.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::string keep;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--envelope") && i + 1 < argc) return Envelope(argv[i + 1]);
    if (!std::strcmp(argv[i], "--decode") && i + 1 < argc) return PlainDecode(argv[i + 1]);
    if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  const std::string dir = keep.empty() ? (std::filesystem::temp_directory_path() / "snipwave-waveform-bench").string() : keep;
  std::filesystem::create_directories(dir);
  const std::string vbr = dir + "/60min-vbr.mp3", cbr = dir + "/12min-320k.mp3";
  if (!bench::MakeSound(vbr, 3600, "-V 2") || !bench::MakeSound(cbr, 720, "-b 320")) return 1;

  // Wall times mean little on a busy machine; the load tells how busy it was.
  const double load = bench::LoadAverage();
  std::printf("load average at start: %.1f on %ld cores\n", load, sysconf(_SC_NPROCESSORS_ONLN));
  for (const auto& [file, label] : {std::pair{vbr, "60 min VBR (lame -V 2)"}, std::pair{cbr, "12 min 320 kbit/s"}}) {
    std::vector<TChildRun> envelopes, decodes;
    for (int r = 0; r < runs; ++r) {
      TChildRun e, d;
      if (!RunChild("--envelope", file, e) || !RunChild("--decode", file, d)) {
        std::fprintf(stderr, "a run failed on %s\n", file.c_str());
        return 1;
      }
      envelopes.push_back(e);
      decodes.push_back(d);
    }
    const TChildRun e = MedianWall(envelopes), d = MedianWall(decodes);
    long peak = 0;
    for (const TChildRun& r : envelopes) peak = std::max(peak, r.PeakKb);
    double first = 0;
    for (const TChildRun& r : envelopes) first = std::max(first, r.First);
    std::printf("%s: %.1f MB, %.1f s of audio\n", label, std::filesystem::file_size(file) / 1048576.0, e.Seconds);
    std::printf("  envelope (%d columns, median of %d): wall %.2f s (cpu %.2f s); plain decode loop %.2f s "
                "(cpu %.2f s); ratio %.2f\n",
                e.Columns, runs, e.Wall, e.Cpu, d.Wall, d.Cpu, e.Wall / d.Wall);
    std::printf("  first columns after %.0f ms (slowest run); peak RSS %.1f MB (plain decode %.1f MB)\n",
                first * 1000, peak / 1024.0, d.PeakKb / 1024.0);
  }
  if (keep.empty()) std::printf("(inputs kept in %s for the next run)\n", dir.c_str());
  return 0;
}
