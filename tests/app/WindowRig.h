#pragma once
// The main window in a program folder of its own, with the helpers its tests share:
// answering message boxes, mouse presses and drags.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "../TempDir.h"
#include "app/KorLog.h"
#include "app/Main.h"

namespace window_rig {

using namespace sw;
namespace fs = std::filesystem;

inline QString TestData(const char* name) { return QString(SNIPWAVE_TEST_DATA) + "/" + name; }

inline std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Answers the next modal message box with a button, once, and keeps what it showed.
class TBoxAnswer : public QObject {
 public:
  explicit TBoxAnswer(QMessageBox::StandardButton button) : FButton(button) {
    connect(&FPoll, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      Title = box->windowTitle();
      Text = box->text();
      Icon = box->icon();
      Buttons = box->standardButtons();
      ++Count;
      FPoll.stop();
      box->button(FButton)->click();
    });
    FPoll.start(5);
  }
  QString Title, Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons Buttons;
  int Count = 0;

 private:
  QMessageBox::StandardButton FButton;
  QTimer FPoll;
};

inline void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

inline void DragBy(QWidget* w, QPoint from, int dx) {
  Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  for (int step = 1; step <= 4; ++step)
    Mouse(w, QEvent::MouseMove, from + QPoint(dx * step / 4, 0), Qt::NoButton, Qt::LeftButton);
  Mouse(w, QEvent::MouseButtonRelease, from + QPoint(dx, 0), Qt::LeftButton, Qt::NoButton);
}

// A window in a program folder of its own, with its run log there.
struct TRig {
  TTempDir Dir;
  std::unique_ptr<TTuneSnipForm> Window;
  QString NextChoice;
  QStringList Revealed;

  explicit TRig(bool pictures = false) {
    if (pictures) fs::copy(SNIPWAVE_PICTURES, Dir.File("res"));
    RunLog = std::make_unique<TKorLog>(Dir.File("log1.txt"));
    Window = std::make_unique<TTuneSnipForm>(Dir.Path() + "/");
    Window->ChooseSourceFile = [this] { return NextChoice; };
    Window->RevealOutput = [this](const QString& path) { Revealed << path; };
  }
  ~TRig() {
    Window.reset();
    RunLog.reset();
  }
  template <class T>
  T* Get(const char* name) const {
    T* w = Window->findChild<T*>(name);
    if (!w) qFatal("no control %s", name);
    return w;
  }
  void Show() {
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
  }
  void Open(const QString& file) {
    NextChoice = file;
    Get<QAction>("btnOpenFileButton")->trigger();
  }
  QStringList MemoLines() const {
    const QString text = Get<QPlainTextEdit>("mmInfo")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
  }
  // The run log's messages, each with "I " or "E " for its level.
  QStringList Log() const {
    QStringList out;
    for (const QString& line : QString::fromStdString(ReadAll(RunLog->FileName())).split("\r\n", Qt::SkipEmptyParts))
      out << (line.mid(19, 10) == QString(10, ' ') ? "I " + line.mid(29) : "E " + line.mid(21));
    return out;
  }
  int ClientWidth() const { return Get<QWidget>("RzPanel1")->width(); }
  bool PanelShown() const { return Get<QWidget>("pnlRight")->isVisible(); }
};

}  // namespace window_rig
