#include "TrackbarPictures.h"

#include <QFileInfo>

namespace sw {

namespace {

QImage Converted(const QImage& image, qreal ratio) {
  if (image.isNull()) return {};
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  out.setDevicePixelRatio(ratio);
  return out;
}

}  // namespace

TKorPicture::TKorPicture(const QImage& image) : Image_(Converted(image, image.devicePixelRatio())) {}

TKorPicture::TKorPicture(const QImage& image, const QImage& image2x)
    : Image_(Converted(image, 1)), Image2x_(Converted(image2x, 2)) {}

TKorPicture TKorPicture::FromFile(const QString& path) {
  const QString dense = path + QStringLiteral("@2x.png");
  return TKorPicture(QImage(path + QStringLiteral(".png")),
                     QFileInfo::exists(dense) ? QImage(dense) : QImage());
}

TSize TKorPicture::Size() const {
  const QSizeF s = Image_.deviceIndependentSize();
  return {qRound(s.width()), qRound(s.height())};
}

const QImage& TKorPicture::ForRatio(qreal ratio) const {
  return ratio > 1.0 && !Image2x_.isNull() ? Image2x_ : Image_;
}

const QImage& TKorPicture::Keyed(qreal ratio, TArgb key) const {
  const QImage& from = ForRatio(ratio);
  const bool dense = &from == &Image2x_;
  if (KeyedDense_ != dense || Key_ != key || Keyed_.isNull()) {
    Keyed_ = ApplyColorKey(from, key);
    KeyedDense_ = dense;
    Key_ = key;
  }
  return Keyed_;
}

QImage ApplyColorKey(const QImage& image, TArgb key) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb rgb = key & 0x00FFFFFFu;
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if ((line[x] & 0x00FFFFFFu) == rgb) line[x] = 0;
    }
  }
  return out;
}

}  // namespace sw
