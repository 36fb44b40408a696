#pragma once
// The small About box: the program's name and version and the two addresses.
#include <QDialog>
#include <memory>

namespace Ui {
class TAboutForm;
}

namespace sw {

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* parent = nullptr);
  ~TAboutForm() override;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void RzGroupBox1Click();

  std::unique_ptr<Ui::TAboutForm> ui;
};

}  // namespace sw
