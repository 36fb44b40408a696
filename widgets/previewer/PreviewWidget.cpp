#include "PreviewWidget.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace sw {

QImage PixelBufferImage(const TPixelBuffer& picture) {
  if (picture.Width <= 0 || picture.Height <= 0 || picture.Pixels.empty()) return {};
  const uchar* bits = picture.Pixels.data();
  switch (picture.Bits) {
    case 32:
      return QImage(bits, picture.Width, picture.Height, picture.BytesPerRow, QImage::Format_RGB32).copy();
    case 16:
      return QImage(bits, picture.Width, picture.Height, picture.BytesPerRow, QImage::Format_RGB16).copy();
    case 8: {  // B 2 bits, G 3 bits, R 3 bits, high to low
      QImage image(picture.Width, picture.Height, QImage::Format_RGB32);
      for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
          const uint8_t p = bits[static_cast<size_t>(y) * picture.BytesPerRow + x];
          image.setPixel(x, y, qRgb((p & 7) * 255 / 7, ((p >> 3) & 7) * 255 / 7, (p >> 6) * 255 / 3));
        }
      return image;
    }
    default:
      return QImage(bits, picture.Width, picture.Height, picture.BytesPerRow, QImage::Format_BGR888).copy();
  }
}

TPreviewWidget::TPreviewWidget()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWidget::ShowPicture(const TPixelBuffer& picture, const std::string& caption) {
  FPicture = PixelBufferImage(picture);
  setWindowTitle(QString::fromStdString(caption));
  if (!FSized && !FPicture.isNull()) {
    FSized = true;  // the first picture decides the size for good
    setFixedSize(FPicture.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(FPicture.width() / 2, FPicture.height() / 2));
    }
    show();
  }
  update();
}

void TPreviewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!FPicture.isNull()) painter.drawImage(QPoint(0, 0), FPicture);
}

void TPreviewWidget::closeEvent(QCloseEvent* event) {
  event->accept();
  if (OnClose) OnClose();
}

void TPreviewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // The window manager moves the window when it can; otherwise we follow the pointer.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  FDragging = true;
  FDragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TPreviewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (FDragging) move(event->globalPosition().toPoint() - FDragOffset);
}

void TPreviewWidget::mouseReleaseEvent(QMouseEvent*) { FDragging = false; }

}  // namespace sw
