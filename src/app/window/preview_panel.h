// sPanelPlay: the video area of the preview. Shows the placeholder picture
// (Image1) while nothing plays, the player's pictures while a file plays and
// the encoder's frames, stretched over the whole panel, during a batch.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>

namespace strella::window {

class TPreviewPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TPreviewPanel(QWidget* parent);

  // A picture to draw stretched over the whole panel (no smoothing) until
  // the next picture or the placeholder. The image is copied.
  void ShowFrame(const QImage& image);
  // Forgets the picture and shows the placeholder again.
  void ShowPlaceholder();
  void HidePlaceholder();
  bool PlaceholderVisible() const { return !image1_->isHidden(); }
  bool HasFrame() const { return !frame_.isNull(); }
  QImage Frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* image1_;
  QImage frame_;
};

// The placeholder picture, drawn at start-up.
QPixmap PlaceholderPicture(const QSize& size);

}  // namespace strella::window
