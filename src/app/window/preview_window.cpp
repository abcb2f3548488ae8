#include "app/window/preview_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "media/bitmap.h"

namespace strella::window {

QImage BitmapImage(const media::TBitmap& bitmap) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return QImage();
  return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                QImage::Format_BGR888);
}

TPreviewForm::TPreviewForm(std::function<void()> userClosed)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      user_closed_(std::move(userClosed)) {
  setObjectName("PreviewForm");
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewForm::ShowPicture(const media::TBitmap& ABitmap, const std::string& ACaption) {
  picture_ = BitmapImage(ABitmap).copy();  // the bitmap changes once we return
  setWindowTitle(QString::fromStdString(ACaption));
  if (!shown_ && !picture_.isNull()) {
    shown_ = true;
    setFixedSize(picture_.size());
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    show();
  }
  update();
}

void TPreviewForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull())
    painter.fillRect(rect(), Qt::black);
  else
    painter.drawImage(0, 0, picture_);
}

// The window is dragged by its picture.
void TPreviewForm::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (QWindow* handle = windowHandle(); handle && handle->startSystemMove()) return;
  drag_offset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TPreviewForm::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - drag_offset_);
}

void TPreviewForm::closeEvent(QCloseEvent* event) {
  if (user_closed_) user_closed_();
  event->accept();
}

void InstallPreviewWindowFactory() {
  media::SetPreviewWindowFactory([](std::function<void()> userClosed) {
    return std::unique_ptr<media::TPreviewWindow>(new TPreviewForm(std::move(userClosed)));
  });
}

}  // namespace strella::window
