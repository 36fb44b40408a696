#include "AboutForm.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "LinkText.h"
#include "Links.h"
#include "ui_AboutForm.h"

namespace sw {

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui(std::make_unique<Ui::TAboutForm>()) {
  ui->setupUi(this);
  setFixedSize(size());

  // Addresses:
  ui->lbSupportMail->setText(LinkText(config::SupportMail));
  ui->RzURLLabel2->setText(LinkText(config::WebAddress));
  // Text that needs more room than the box planned for (a wider font than the one it was
  // drawn for, a longer configured address) moves what follows instead of covering it.
  const int wrapped = ui->RzLabel1->heightForWidth(ui->RzLabel1->width()) - ui->RzLabel1->height();
  if (wrapped > 0) {
    ui->RzLabel1->resize(ui->RzLabel1->width(), ui->RzLabel1->height() + wrapped);
    for (QWidget* below : {static_cast<QWidget*>(ui->lbSupportMail), static_cast<QWidget*>(ui->RzLabel2),
                           static_cast<QWidget*>(ui->RzURLLabel2)})
      below->move(below->x(), below->y() + wrapped);
  }
  ui->lbSupportMail->adjustSize();
  const int after = ui->lbSupportMail->geometry().right() + 6;
  if (ui->RzLabel2->x() < after) ui->RzLabel2->move(after, ui->RzLabel2->y());

  // Clicks:
  connect(ui->lbSupportMail, &QLabel::linkActivated, this,
          [] { QDesktopServices::openUrl(QUrl(QString("mailto:") + config::SupportMail)); });
  connect(ui->RzURLLabel2, &QLabel::linkActivated, this,
          [] { QDesktopServices::openUrl(QUrl(config::WebAddress)); });
  ui->RzGroupBox1->installEventFilter(this);
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::RzGroupBox1Click() { done(QDialog::Accepted); }

void TAboutForm::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) RzGroupBox1Click();
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* e) {
  if (watched == ui->RzGroupBox1 && e->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
    RzGroupBox1Click();
  return QDialog::eventFilter(watched, e);
}

}  // namespace sw
