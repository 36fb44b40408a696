#pragma once
// Reading and keeping grabs of the track bar.
#include <QDir>
#include <QImage>
#include <QString>
#include <QTest>

#include "KorTrackbar.h"

namespace sw::test {

inline QRgb PixelAt(const QImage& image, int x, int y) {
  const qreal r = image.devicePixelRatio();
  return image.pixel(qRound(x * r), qRound(y * r));
}

// Writes the grab to $TRACKBAR_GRAB_DIR/name@<ratio>x.png when that is set, for a look.
inline void SaveForReview(const QImage& image, const QString& name) {
  const QString dir = qEnvironmentVariable("TRACKBAR_GRAB_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  image.save(dir + "/" + name + QString("@%1x.png").arg(image.devicePixelRatio()));
}

// The main window's instance: 244 x 25, its own pictures, no cut pictures.
inline void UseWindowLook(TKorTrackbar& t) {
  t.resize(244, 25);
  t.SetBGColor(0xDBEAEC);
  t.SetShowCut(false);
  t.SetTickOffsetY(5);
  t.SetTrackOffsetY(5);
  t.SetSegOffsetY(5);
  static const char* names[] = {"TickUp", "TickDown", "TickHot", "TickDisable", "Track", "SegmentStart", "SegmentEnd"};
  for (auto id : {TKorTrackbar::piTickUp, TKorTrackbar::piTickDown, TKorTrackbar::piTickHot,
                  TKorTrackbar::piTickDisable, TKorTrackbar::piTrack, TKorTrackbar::piSegmentStart,
                  TKorTrackbar::piSegmentEnd})
    t.SetPicture(id, TKorPicture::FromFile(QString(":/trackbar/window/") + names[id]));
}

// Shows it so, with its range 0..max, segment and thumb; false when it never shows.
inline bool ShowWindowLook(TKorTrackbar& t, qint64 max, qint64 segStart, qint64 segEnd, qint64 position) {
  UseWindowLook(t);
  t.show();
  if (!QTest::qWaitForWindowExposed(&t)) return false;
  t.SetMax(max);
  t.SetSegEndPos(segEnd);
  t.SetSegStartPos(segStart);
  t.SetPosition(position);
  return true;
}

}  // namespace sw::test
