#include "app/window/preview_panel.h"

#include <QPainter>
#include <QPainterPath>

namespace strella::window {

QPixmap PlaceholderPicture(const QSize& size) {
  QPixmap pixmap(size);
  QPainter painter(&pixmap);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, QColor("#101a2b"));
  sky.setColorAt(1, QColor("#2d4a73"));
  painter.fillRect(pixmap.rect(), sky);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size.width() / 2.0, size.height() / 2.0 - 8);
  const qreal r = qMin(size.width(), size.height()) * 0.22;
  painter.setPen(QPen(QColor(255, 255, 255, 180), 2));
  painter.setBrush(QColor(255, 255, 255, 40));
  painter.drawEllipse(c, r, r);
  QPainterPath play;
  play.moveTo(c.x() - r * 0.35, c.y() - r * 0.5);
  play.lineTo(c.x() + r * 0.55, c.y());
  play.lineTo(c.x() - r * 0.35, c.y() + r * 0.5);
  play.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 200));
  painter.drawPath(play);
  painter.setPen(QColor(255, 255, 255, 170));
  painter.drawText(QRectF(0, size.height() - 26, size.width(), 20), Qt::AlignCenter,
                   "Strella Video Converter");
  return pixmap;
}

TPreviewPanel::TPreviewPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("sPanelPlay");
  setAttribute(Qt::WA_OpaquePaintEvent);
  image1_ = new QLabel(this);
  image1_->setObjectName("Image1");
  image1_->setScaledContents(true);
}

void TPreviewPanel::ShowFrame(const QImage& image) {
  frame_ = image.copy();
  image1_->hide();
  update();
}

void TPreviewPanel::ShowPlaceholder() {
  frame_ = QImage();
  image1_->setGeometry(rect());
  image1_->setPixmap(PlaceholderPicture(size()));
  image1_->show();
  update();
}

void TPreviewPanel::HidePlaceholder() {
  image1_->hide();
  update();
}

void TPreviewPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (frame_.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // Colour on colour, no smoothing: the frame is stretched over the panel.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(rect(), frame_);
}

}  // namespace strella::window
