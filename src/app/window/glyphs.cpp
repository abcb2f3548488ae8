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

}  // namespace

QIcon SpeakerGlyph(TSpeakerLevel level) {
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
  painter.setBrush(QColor("#303030"));
  painter.drawPath(speaker);
  QPen wave(QColor("#1f5fa8"), 2.2);
  wave.setCapStyle(Qt::RoundCap);
  painter.setBrush(Qt::NoBrush);
  if (level == TSpeakerLevel::Mute) {
    painter.setPen(QPen(QColor("#c0392b"), 2.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(21, 11, 29, 21);
    painter.drawLine(29, 11, 21, 21);
    return QIcon(pixmap);
  }
  painter.setPen(wave);
  painter.drawArc(QRectF(14, 10, 10, 12), -50 * 16, 100 * 16);
  if (level == TSpeakerLevel::Full) painter.drawArc(QRectF(13, 5, 16, 22), -55 * 16, 110 * 16);
  return QIcon(pixmap);
}

QIcon CameraGlyph() {
  QPixmap pixmap = Blank();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor("#303030"));
  painter.drawRoundedRect(QRectF(3, 9, 26, 18), 3, 3);
  painter.drawRect(QRectF(11, 6, 10, 4));
  painter.setBrush(QColor("#ffffff"));
  painter.drawEllipse(QPointF(16, 18), 6, 6);
  painter.setBrush(QColor("#1f5fa8"));
  painter.drawEllipse(QPointF(16, 18), 4, 4);
  return QIcon(pixmap);
}

}  // namespace strella::window
