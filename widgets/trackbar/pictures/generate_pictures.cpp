// Draws the track bar's pictures at 1x and 2x and writes them as PNG files.
// Usage: sw_trackbar_picture_generator <pictures folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

struct Palette {
  QColor Top, Bottom, Border, Mark;
};

const Palette kTickUp{QColor(0xFFFFFF), QColor(0xD5DBE3), QColor(0x566272), QColor(0x7D8897)};
const Palette kTickHot{QColor(0xF4F9FF), QColor(0xBCD6F4), QColor(0x2C69B0), QColor(0x2C69B0)};
const Palette kTickDown{QColor(0xB3D0F1), QColor(0x7AA5D9), QColor(0x1D4B85), QColor(0x1D4B85)};
const Palette kTickDisable{QColor(0xF4F4F4), QColor(0xE0E0E0), QColor(0xB2B2B2), QColor(0xC2C2C2)};
const Palette kStart{QColor(0x6ACB93), QColor(0x2C8553), QColor(0x1E5A3A), QColor(0xF4FFF8)};
const Palette kEnd{QColor(0xD77FA8), QColor(0x983F6B), QColor(0x642848), QColor(0xFFF4FA)};

using Artwork = std::function<void(QPainter&, int w, int h)>;

QLinearGradient Vertical(const Palette& p, qreal h) {
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, p.Top);
  g.setColorAt(1, p.Bottom);
  return g;
}

// A handle crossing the groove: rounded body and three grip lines.
Artwork Thumb(const Palette& p) {
  return [p](QPainter& g, int w, int h) {
    const QRectF body(0.5, 0.5, w - 1, h - 1);
    g.setPen(QPen(p.Border, 1));
    g.setBrush(Vertical(p, h));
    g.drawRoundedRect(body, 2.5, 2.5);
    g.setPen(QPen(p.Mark, 1, Qt::SolidLine, Qt::FlatCap));
    const qreal mid = h / 2.0;
    for (int i = -1; i <= 1; ++i) g.drawLine(QPointF(2.5, mid + 2.5 * i), QPointF(w - 2.5, mid + 2.5 * i));
  };
}

// Marker tab: square edge on the segment side, rounded outside, arrow pointing into the segment.
Artwork Marker(const Palette& p, bool mirrored) {
  return [p, mirrored](QPainter& g, int w, int h) {
    if (mirrored) {
      g.translate(w, 0);
      g.scale(-1, 1);
    }
    QPainterPath body;
    body.addRoundedRect(QRectF(0.5, 0.5, w - 0.5, h - 1), 3.5, 3.5);
    QPainterPath square;
    square.addRect(QRectF(w / 2.0, 0.5, w / 2.0, h - 1));
    g.setPen(QPen(p.Border, 1));
    g.setBrush(Vertical(p, h));
    g.drawPath(body.united(square).simplified());
    const qreal mid = h / 2.0;
    const qreal half = h * 0.22;
    const qreal left = w * 0.30;
    const qreal tip = w * 0.72;
    g.setPen(Qt::NoPen);
    g.setBrush(p.Mark);
    g.drawPolygon(QPolygonF({QPointF(left, mid - half), QPointF(tip, mid), QPointF(left, mid + half)}));
  };
}

// A pennant on a pole; the pole stands on the line drawn down to the track.
Artwork CutFlag(const Palette& p, bool mirrored) {
  return [p, mirrored](QPainter& g, int w, int h) {
    if (mirrored) {
      g.translate(w, 0);
      g.scale(-1, 1);
    }
    g.fillRect(QRectF(w - 1, 0, 1, h), p.Border);
    g.setPen(QPen(p.Border, 0.8));
    g.setBrush(Vertical(p, h * 0.7));
    g.drawPolygon(QPolygonF({QPointF(w - 1, 0.5), QPointF(1, h * 0.36), QPointF(w - 1, h * 0.72)}));
  };
}

// The time line: a rounded groove across the middle, a light edge below it.
void Track(QPainter& g, int w, int h) {
  const qreal top = (h - 6) / 2.0;
  const QRectF groove(1.5, top, w - 3, 6);
  g.setPen(Qt::NoPen);
  g.setBrush(QColor(255, 255, 255, 170));
  g.drawRoundedRect(groove.translated(0, 1), 3, 3);
  QLinearGradient fill(0, top, 0, top + 6);
  fill.setColorAt(0, QColor(0x7E8896));
  fill.setColorAt(1, QColor(0xB9C0C9));
  g.setPen(QPen(QColor(0x657080), 1));
  g.setBrush(fill);
  g.drawRoundedRect(groove, 3, 3);
}

bool Write(const QString& folder, const char* name, int w, int h, const Artwork& draw) {
  for (int scale : {1, 2}) {
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter g(&image);
      g.setRenderHint(QPainter::Antialiasing);
      g.scale(scale, scale);
      draw(g, w, h);
    }
    const QString file = folder + "/" + name + (scale == 2 ? "@2x.png" : ".png");
    if (!image.convertToFormat(QImage::Format_ARGB32).save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return false;
    }
  }
  return true;
}

bool WriteSet(const QString& folder, QSize tick, QSize marker, QSize track, bool withCuts) {
  QDir().mkpath(folder);
  const struct {
    const char* Name;
    QSize Size;
    Artwork Draw;
  } pictures[] = {
      {"TickUp", tick, Thumb(kTickUp)},
      {"TickDown", tick, Thumb(kTickDown)},
      {"TickHot", tick, Thumb(kTickHot)},
      {"TickDisable", tick, Thumb(kTickDisable)},
      {"SegmentStart", marker, Marker(kStart, false)},
      {"SegmentEnd", marker, Marker(kEnd, true)},
      {"Track", track, Track},
      {"StartCut", {11, 9}, CutFlag(kStart, false)},
      {"EndCut", {11, 9}, CutFlag(kEnd, true)},
  };
  const int count = withCuts ? 9 : 7;  // the main window shows no cut pictures
  for (int i = 0; i < count; ++i) {
    if (!Write(folder, pictures[i].Name, pictures[i].Size.width(), pictures[i].Size.height(), pictures[i].Draw)) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <pictures folder>\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  // Built-in defaults, then the main window's set: 16 x 16 markers on a 25 pixel high control.
  const bool ok = WriteSet(out, {9, 17}, {9, 17}, {366, 17}, true) &&
                  WriteSet(out + "/window", {9, 16}, {16, 16}, {212, 16}, false);
  return ok ? 0 : 1;
}
