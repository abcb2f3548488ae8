// The floating window of a conversion's built-in preview: a stay-on-top tool
// window showing the latest picture with its time as caption, dragged by its
// picture. Installed as the media layer's preview-window factory.
#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

#include "media/previewer.h"

namespace strella::media {
class TBitmap;
}

namespace strella::window {

// The bitmap's pixels as a QImage laid over its rows (no copy): valid while
// the bitmap keeps its size and lives.
QImage BitmapImage(const media::TBitmap& bitmap);

class TPreviewForm : public QWidget, public media::TPreviewWindow {
  Q_OBJECT
 public:
  explicit TPreviewForm(std::function<void()> userClosed);
  void ShowPicture(const media::TBitmap& ABitmap, const std::string& ACaption) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> user_closed_;
  QImage picture_;
  QPoint drag_offset_;
  bool shown_ = false;
};

// Makes the engine's preview flag open a TPreviewForm.
void InstallPreviewWindowFactory();

}  // namespace strella::window
