#pragma once
// The previewer's tool window: stays on top, sized by the first picture, dragged by its
// picture, and closed for good once the user closes it.
#include <QImage>
#include <QPoint>
#include <QWidget>

#include "media/engine/Previewer.h"

namespace sw {

class TPreviewWidget : public QWidget, public TPreviewWindow {
 public:
  TPreviewWidget();
  void ShowPicture(const TPixelBuffer& picture, const std::string& caption) override;
  const QImage& Picture() const { return FPicture; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QImage FPicture;
  bool FSized = false;
  bool FDragging = false;
  QPoint FDragOffset;  // press point relative to the window's corner
};

// The picture as a Qt image (a copy).
QImage PixelBufferImage(const TPixelBuffer& picture);

}  // namespace sw
