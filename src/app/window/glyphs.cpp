#include "app/window/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace strella::window {
namespace {

constexpr int kGlyphSize = 32;

QPixmap Blank() {
  QPixmap pixmap(kGlyphSize, kGlyphSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The accent of a glyph: blue on light backgrounds, a light blue on dark ones.
QColor Accent(const QColor& ink) { return ink.lightness() > 128 ? QColor("#8cc4ff") : QColor("#1f5fa8"); }

void DrawPlay(QPainter& p, const QColor& ink) {
  QPainterPath path;
  path.moveTo(9, 6);
  path.lineTo(26, 16);
  path.lineTo(9, 26);
  path.closeSubpath();
  p.fillPath(path, ink);
}

}  // namespace

QIcon SpeakerGlyph(TSpeakerLevel level, const QColor& ink) {
  QPixmap pixmap = Blank();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath speaker;
  speaker.moveTo(4, 12);
  speaker.lineTo(10, 12);
  speaker.lineTo(17, 5);
  speaker.lineTo(17, 27);
  speaker.lineTo(10, 20);
  speaker.lineTo(4, 20);
  speaker.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink);
  painter.drawPath(speaker);
  QPen wave(Accent(ink), 2.2);
  wave.setCapStyle(Qt::RoundCap);
  painter.setBrush(Qt::NoBrush);
  if (level == TSpeakerLevel::Mute) {
    painter.setPen(QPen(QColor("#e0483a"), 2.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(21, 11, 29, 21);
    painter.drawLine(29, 11, 21, 21);
    return QIcon(pixmap);
  }
  painter.setPen(wave);
  painter.drawArc(QRectF(14, 10, 10, 12), -50 * 16, 100 * 16);
  if (level == TSpeakerLevel::Full) painter.drawArc(QRectF(13, 5, 16, 22), -55 * 16, 110 * 16);
  return QIcon(pixmap);
}

QIcon CameraGlyph(const QColor& ink) {
  QPixmap pixmap = Blank();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink);
  painter.drawRoundedRect(QRectF(3, 9, 26, 18), 3, 3);
  painter.drawRect(QRectF(11, 6, 10, 4));
  painter.setBrush(ink.lightness() > 128 ? QColor("#202020") : QColor("#ffffff"));
  painter.drawEllipse(QPointF(16, 18), 6, 6);
  painter.setBrush(Accent(ink));
  painter.drawEllipse(QPointF(16, 18), 4, 4);
  return QIcon(pixmap);
}

QIcon ButtonGlyph(TGlyph glyph, const QColor& ink) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor accent = Accent(ink);
  QPen pen(ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (glyph) {
    case TGlyph::Add:  // a film strip with a plus
      p.setPen(QPen(ink, 2));
      p.drawRoundedRect(QRectF(3, 7, 20, 18), 2, 2);
      p.setPen(QPen(accent, 3.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(25, 13), QPointF(25, 29));
      p.drawLine(QPointF(17, 21), QPointF(31, 21));
      break;
    case TGlyph::Remove:  // a film strip with a minus
      p.setPen(QPen(ink, 2));
      p.drawRoundedRect(QRectF(3, 7, 20, 18), 2, 2);
      p.setPen(QPen(QColor("#d9402f"), 3.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(17, 23), QPointF(31, 23));
      break;
    case TGlyph::Clear:  // three lines crossed out
      p.setPen(pen);
      for (int y : {9, 16, 23}) p.drawLine(5, y, 22, y);
      p.setPen(QPen(QColor("#d9402f"), 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(20, 18, 29, 27);
      p.drawLine(29, 18, 20, 27);
      break;
    case TGlyph::Stop:
      p.fillRect(QRectF(8, 8, 16, 16), ink);
      break;
    case TGlyph::Convert: {  // a play arrow over a circle of the accent
      p.setPen(Qt::NoPen);
      p.setBrush(accent);
      p.drawEllipse(QRectF(2, 2, 28, 28));
      QPainterPath path;
      path.moveTo(12, 9);
      path.lineTo(23, 16);
      path.lineTo(12, 23);
      path.closeSubpath();
      p.fillPath(path, ink.lightness() > 128 ? QColor("#10161f") : QColor("#ffffff"));
      break;
    }
    case TGlyph::Play:
      DrawPlay(p, ink);
      break;
    case TGlyph::Pause:
      p.fillRect(QRectF(8, 7, 6, 18), ink);
      p.fillRect(QRectF(18, 7, 6, 18), ink);
      break;
    case TGlyph::Log:  // a page of lines
      p.setPen(QPen(ink, 2));
      p.drawRoundedRect(QRectF(6, 3, 20, 26), 2, 2);
      p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
      for (int y : {10, 15, 20, 25}) p.drawLine(10, y, 22, y);
      break;
  }
  return QIcon(pixmap);
}

}  // namespace strella::window
