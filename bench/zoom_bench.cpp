// The zoom view's reading at 58 minutes of a 60-minute VBR MP3 (made once with sox and
// lame, shared with waveform_bench): the 10 s span the view shows there, with the half
// span it reads on each side, from a reader opened anew (the frame index scanned too) and
// from one already open; then the zoom window itself, from opening to the waveform
// drawn, with the longest pause of the window's thread meanwhile.
//
//   zoom_bench [--keep DIR] [--runs N]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchInputs.h"
#include "app/ZoomWindow.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/waveform/SpanRead.h"

using namespace sw;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

constexpr int64_t At = 58 * 60 * 1000000LL, Span = 10000000;
constexpr int64_t From = At - Span, To = At + Span;  // as the view asks: half a span more each side

}  // namespace

int main(int argc, char** argv) {
  std::string keep;
  int runs = 15;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  const std::string dir = keep.empty() ? (std::filesystem::temp_directory_path() / "snipwave-waveform-bench").string() : keep;
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/60min-vbr.mp3";
  if (!bench::MakeSound(file, 3600, "-V 2")) return 1;
  GetLogger().SetLogLevel(llQuiet);
  if (!FFLoader().LoadLibrarySet(DecoderLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
    return 1;
  }
  std::printf("load average at start: %.1f\n", bench::LoadAverage());

  std::vector<double> cold, warm, index;
  std::atomic<bool> stop{false};
  TSpanReader open;
  for (int r = 0; r < runs; ++r) {
    TSpan span;
    Clock::time_point t = Clock::now();
    TSpanReader reader;
    if (!reader.Open(file, stop) || !reader.Indexed()) return 1;
    index.push_back(Ms(t));
    if (reader.Read(From, To, stop, span) != erDone) return 1;
    cold.push_back(Ms(t));
    if (r == 0 && !open.Open(file, stop)) return 1;
    t = Clock::now();
    if (open.Read(From - r * 1000000, To - r * 1000000, stop, span) != erDone) return 1;
    warm.push_back(Ms(t));
  }
  std::printf("10 s span at 58:00 of 60 min VBR (%.1f MB), 20 s read, median of %d:\n",
              std::filesystem::file_size(file) / 1048576.0, runs);
  std::printf("  new reader: %.1f ms (of which opening and the frame index %.1f ms)\n", Median(cold), Median(index));
  std::printf("  open reader: %.1f ms\n", Median(warm));

  // The window: from ShowAt to the waveform drawn, on an offscreen screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<double> shown, pauses;
  for (int r = 0; r < std::min(runs, 7); ++r) {
    // The window hands the file over when it is opened; the user opens the view later.
    TZoomWindow window(nullptr);
    window.SetFile(file, 3600 * 1000000LL);
    window.View().SetSpan(Span);
    for (const Clock::time_point wait = Clock::now(); Ms(wait) < 1500;) app.processEvents(QEventLoop::AllEvents, 10);
    double longest = 0;
    QElapsedTimer tick;
    QTimer beat;
    beat.setInterval(2);
    QObject::connect(&beat, &QTimer::timeout, [&] {
      longest = std::max<double>(longest, static_cast<double>(tick.nsecsElapsed()) / 1e6);
      tick.restart();
    });
    const Clock::time_point t = Clock::now();
    tick.start();
    beat.start();
    window.ShowAt(At, zmStart);
    const auto drawn = [&] {
      const TZoomSound& s = window.View().Sound();
      return !s.Empty() && s.StartTime() <= At - Span / 2 && s.EndTime() >= At + Span / 2;
    };
    while (!drawn() && Ms(t) < 5000) app.processEvents(QEventLoop::AllEvents, 1);
    window.View().grab();
    shown.push_back(Ms(t));
    pauses.push_back(longest);
  }
  std::printf("  zoom window, opening to waveform drawn: %.1f ms median; the window's thread paused at most "
              "%.1f ms meanwhile (median of runs)\n",
              Median(shown), Median(pauses));
  std::printf("goal: 50 ms\n");
  if (keep.empty()) std::printf("(input kept in %s for the next run)\n", dir.c_str());
  return 0;
}
