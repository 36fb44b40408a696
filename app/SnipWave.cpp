// The program: the run log, the application object, the main window and the About box.
#include <QApplication>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <string>

#include "KorLog.h"
#include "Main.h"
#include "QuitOnSignals.h"
#include "media/base/MyUtils.h"

namespace {

// Without a display the toolkit would end the program with its own error; say what
// works instead. Platforms that need no display (offscreen, vnc...) are left alone.
bool DisplayMissing() {
  const std::string platform = sw::WideGetEnv("QT_QPA_PLATFORM");
  if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0) return false;
  if (!sw::WideGetEnv("WAYLAND_DISPLAY").empty()) return false;
  const std::string display = sw::WideGetEnv("DISPLAY");
  if (display.empty()) return true;
  // A local display ":N" has its socket; a remote one is taken on trust.
  if (display[0] != ':') return false;
  const std::string number = display.substr(1, display.find('.') - 1);
  struct stat st {};
  return ::stat(("/tmp/.X11-unix/X" + number).c_str(), &st) != 0;
}

constexpr const char* Usage =
    "Usage: snipwave [FILE]\n"
    "Opens the window of Korvane Snip Wave, with FILE (an audio file) opened in it.\n"
    "Without a window, snipwave-cli cuts, splits, converts and plays: snipwave-cli help.\n";

}  // namespace

int main(int argc, char** argv) {
  // Asking for help needs no display.
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (DisplayMissing()) {
    std::fprintf(stderr,
                 "snipwave: no display to open the window on; the command-line tool snipwave-cli "
                 "(info, cut, convert) works without one.\n");
    return 1;
  }
  QApplication::setApplicationName("snipwave");
  QApplication::setDesktopFileName("snipwave");

  QApplication app(argc, argv);  // takes the toolkit's own options out of argv
  // What is left that looks like an option is none of ours: a mistyped call starts no run
  // log (which would push the oldest one out).
  if (argc > 1 && argv[1][0] == '-' && argv[1][1] != '\0') {
    std::fprintf(stderr, "snipwave: unknown option %s\n%s", argv[1], Usage);
    return 2;
  }

  // The run log, before any window:
  const std::string fallback = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString();
  const bool logged = sw::OpenRunLog(sw::ExecutableFolder(), fallback);

  QApplication::setApplicationDisplayName("Korvane Snip Wave");
  const auto reportLogFailure = [](const std::string& reason) {
    std::fprintf(stderr, "snipwave: the run log cannot be written (%s); the program goes on without it.\n",
                 reason.c_str());
    // Shown once the current handler has finished, so that it does not interrupt it.
    QTimer::singleShot(0, [reason] {
      QMessageBox::warning(nullptr, "Korvane Snip Wave",
                           QString("The run log cannot be written:\n%1").arg(QString::fromStdString(reason)));
    });
  };
  if (sw::RunLog)
    sw::RunLog->OnWriteFailed = reportLogFailure;
  else if (!logged)
    reportLogFailure("no folder for the Log files");

  int result = 0;
  try {
    sw::TTuneSnipForm window(sw::ExecutableFolder());
    // A stop signal closes the window as File > Exit does; a question or message open at
    // that moment is answered first (with Cancel where it offers one).
    std::function<void()> closeWhenFree;
    closeWhenFree = [&window, &closeWhenFree] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        QTimer::singleShot(10, &window, closeWhenFree);
        return;
      }
      window.close();
      QApplication::quit();
    };
    sw::TQuitOnSignals stopSignals(closeWhenFree);
    window.show();
    // A file handed over by the desktop (the program's menu entry opens MP3 files).
    if (argc > 1) {
      const QString file = QString::fromLocal8Bit(argv[1]);
      QTimer::singleShot(0, &window, [&window, file] { window.OpenChosenFile(file); });
    }
    result = app.exec();
  } catch (const std::exception& e) {
    if (sw::RunLog) sw::RunLog->WriteInfo(std::string("Error:") + e.what());
    throw;
  }
  sw::RunLog.reset();
  return result;
}
