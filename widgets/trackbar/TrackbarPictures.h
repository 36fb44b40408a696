#pragma once

#include <QImage>
#include <QString>

#include "TrackbarTypes.h"

namespace sw {

// One picture of the track bar: the image at its own size, optionally with a twice-as-dense
// copy for 2x screens, and the colour-keyed variant the painter last asked for.
class TKorPicture {
 public:
  TKorPicture() = default;
  TKorPicture(const QImage& image);  // NOLINT: implicit, so a plain image can be assigned
  TKorPicture(const QImage& image, const QImage& image2x);

  // Loads "<path>.png" and, when present, "<path>@2x.png".
  static TKorPicture FromFile(const QString& path);

  bool IsEmpty() const { return Image_.isNull(); }
  TSize Size() const;
  const QImage& Image() const { return Image_; }
  const QImage& Image2x() const { return Image2x_; }

  // The image that suits a surface of this pixel ratio.
  const QImage& ForRatio(qreal ratio) const;
  // As ForRatio, with every pixel of the key colour made transparent.
  const QImage& Keyed(qreal ratio, TArgb key) const;

 private:
  QImage Image_;
  QImage Image2x_;
  mutable QImage Keyed_;
  mutable bool KeyedDense_ = false;
  mutable TArgb Key_ = 0;
};

QImage ApplyColorKey(const QImage& image, TArgb key);

}  // namespace sw
