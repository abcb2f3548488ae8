#include "app/window/preview_panel.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>


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
  ++shown_frames_;
  image1_->hide();
  update();
}

void TPreviewPanel::ShowPlaceholder() {
  {
    std::lock_guard<std::mutex> lock(presented_lock_);
    presented_ = QImage();  // a picture still on its way is not shown
  }
  frame_ = QImage();
  client_width_ = width();
  client_height_ = height();
  image1_->setGeometry(rect());
  image1_->setPixmap(PlaceholderPicture(size()));
  image1_->show();
  update();
}

void TPreviewPanel::HidePlaceholder() {
  image1_->hide();
  update();
}

void TPreviewPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  client_width_ = width();
  client_height_ = height();
  // The placeholder is drawn for the panel's size: a larger window gets a larger one.
  image1_->setGeometry(rect());
  if (!image1_->isHidden()) image1_->setPixmap(PlaceholderPicture(size()));
}

void TPreviewPanel::GetClientSize(int& width, int& height) {
  width = client_width_;
  height = client_height_;
}

bool TPreviewPanel::SetVideoMode(int width, int height) { return width > 0 && height > 0; }

void TPreviewPanel::Present(const player::TPlayerBitmap& surface) {
  if (surface.Width() <= 0 || surface.Height() <= 0) return;
  QImage copy(surface.Bits(), surface.Width(), surface.Height(), surface.Stride(), QImage::Format_BGR888);
  std::lock_guard<std::mutex> lock(presented_lock_);
  presented_ = copy.copy();
  ++present_count_;
  // One posted hand-over at a time: a slow window thread skips pictures
  // instead of piling them up.
  if (take_posted_) return;
  take_posted_ = true;
  mailbox_.Post([this] { TakePresented(); });
}

void TPreviewPanel::TakePresented() {
  QImage picture;
  {
    std::lock_guard<std::mutex> lock(presented_lock_);
    take_posted_ = false;
    picture.swap(presented_);
  }
  if (picture.isNull()) return;
  frame_ = std::move(picture);
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
