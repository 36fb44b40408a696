// The module's side: a Qt application on the opening thread and the previewer's windows.
#include "PreviewModule.h"

#include <QApplication>
#include <cstdlib>
#include <type_traits>

#include "PreviewWidget.h"

namespace sw {
namespace {

class TQtPreviewModule : public TPreviewModule {
 public:
  TQtPreviewModule() : FApp(FArgc, FArgv) {}
  std::unique_ptr<TPreviewWindow> MakeWindow() override { return std::make_unique<TPreviewWidget>(); }
  void ProcessEvents(int milliseconds) override { QCoreApplication::processEvents(QEventLoop::AllEvents, milliseconds); }

 private:
  // QApplication keeps references to both for its whole life.
  int FArgc = 1;
  char FName[13] = "snipwave-cli";
  char* FArgv[2] = {FName, nullptr};
  QApplication FApp;
};

}  // namespace
}  // namespace sw

extern "C" __attribute__((visibility("default"))) sw::TPreviewModule* snipwave_open_preview(int version,
                                                                                             std::string* why) {
  static_assert(std::is_same_v<decltype(&snipwave_open_preview), sw::TOpenPreviewModule>);
  if (version != sw::PreviewModuleVersion) {
    *why = "The preview window's module belongs to another build";
    return nullptr;
  }
  // Qt ends the process when its platform cannot start (a display that is set but does
  // not answer); unless the user chose a platform, it falls back to drawing off screen,
  // which here means there is no display to show the pictures on.
  const bool chosen = std::getenv("QT_QPA_PLATFORM") != nullptr;
  if (!chosen) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    ::setenv("QT_QPA_PLATFORM", wayland && *wayland ? "wayland;xcb;offscreen" : "xcb;offscreen", 1);
  }
  // The platforms tried on the way say why each failed; the one line of the caller is enough.
  const QtMessageHandler previous = chosen ? nullptr : qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  auto* module = new sw::TQtPreviewModule;
  if (!chosen) {
    qInstallMessageHandler(previous);
    ::unsetenv("QT_QPA_PLATFORM");
  }
  if (!chosen && QGuiApplication::platformName() == "offscreen") {
    delete module;
    *why = "No display could be opened";
    return nullptr;
  }
  return module;
}
