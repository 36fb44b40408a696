// The time from a click on the window's "Play" to the first sound from the thumb's place,
// on a 60-minute VBR file, through the window's own path (the button, the play routine,
// the player opening paused, seeking and resuming). Sound goes to SDL's silent "dummy"
// driver, which keeps real time; the window runs on Qt's offscreen platform.
//
//   preview_latency [--keep DIR] [--runs N]
//
// Sound is taken as started when the player's position (looked at every 5 ms by the
// player) lies in the two seconds after the thumb, so a figure carries up to 5 ms of that
// pacing. The file's sound overview is complete before the first click, and the playback
// before is closed completely (the audio device too) before each click.
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "BenchInputs.h"
#include "app/Main.h"
#include "widgets/trackbar/KorTrackbar.h"
#include "media/base/MainThread.h"

using namespace sw;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// Runs the window's events until done() or the time is up; false on time-out.
template <class F>
bool RunUntil(F done, std::chrono::milliseconds limit) {
  const auto t0 = Clock::now();
  while (!done()) {
    if (Clock::now() - t0 > limit) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    WaitForPendingMessages(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string keep;
  int runs = 9;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  // The same file as the player's bench, made once.
  const std::string dir = keep.empty() ? (std::filesystem::temp_directory_path() / "snipwave-player-bench").string() : keep;
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/60min-vbr.mp3";
  if (!bench::MakeSound(file, 3600, "-V 2")) return 1;

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QTemporaryDir cache;  // the overview's cache stays out of the user's
  qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
  QApplication app(argc, argv);
  const std::string programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
  TTuneSnipForm window(programFolder);
  window.show();
  window.OpenChosenFile(QString::fromStdString(file));
  auto* bar = window.findChild<TKorTrackbar*>("SnipWave");
  auto* play = window.findChild<QPushButton*>("BtnPlay");
  auto* stop = window.findChild<QPushButton*>("BtnStop");
  if (!bar || !play || !stop || bar->Max() < 3500) {
    std::fprintf(stderr, "the window did not open %s\n", file.c_str());
    return 1;
  }
  RunUntil([&] { return !bar->Envelope().Columns.empty() && bar->Envelope().Filled == int(bar->Envelope().Columns.size()); },
           std::chrono::seconds(60));

  TFFPlayer& player = window.Player();
  // One series of thumbs in the first minutes (as the player's bench seeks), one all over
  // the hour: an exact seek reads the file from its start up to the place.
  const auto series = [&](bool spread) {
    std::vector<double> times, clicks;
    for (int r = 0; r < runs; ++r) {
      const int64_t thumb = spread ? 60 + 331 * r % 3400 : 60 + 97 * r;
      bar->SetPosition(thumb);
      const auto t0 = Clock::now();
      play->click();
      clicks.push_back(Ms(t0));  // opened, seeking, resumed
      const bool sound = RunUntil([&] {
        const int64_t p = player.CurrentPosition();
        return p >= thumb * 1000000 && p < (thumb + 2) * 1000000;
      }, std::chrono::seconds(5));
      times.push_back(sound ? Ms(t0) : -1);
      RunUntil([&] { return bar->Position() > thumb; }, std::chrono::seconds(3));  // a while of playing
      stop->click();
      player.Stop(true);  // closed to the end, as it is long before a user's next click
    }
    std::printf("%s, ms:", spread ? "thumbs all over the hour (60 s + 331 s steps)" : "thumbs in the first minutes (60 s + 97 s steps)");
    for (double t : times) std::printf(" %.1f", t);
    std::sort(times.begin(), times.end());
    std::sort(clicks.begin(), clicks.end());
    std::printf("\n  median %.1f ms (goal < 150 ms)%s; of which the click itself (open, seek, resume): median %.1f ms\n",
                times[times.size() / 2], times.front() < 0 ? "; some runs gave no sound within 5 s (-1)" : "",
                clicks[clicks.size() / 2]);
  };
  std::printf("load average at start: %.1f on %ld cores; %d runs each; dummy sound driver; 60 min VBR (lame -V 2)\n",
              bench::LoadAverage(), sysconf(_SC_NPROCESSORS_ONLN), runs);
  series(false);
  series(true);
  window.close();
  return 0;
}
