// sPanelPlay: the video area of the preview. Shows the placeholder picture
// (Image1) while nothing plays, the player's pictures while a file plays and
// the encoder's frames, stretched over the whole panel, during a batch.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "media/main_thread.h"
#include "player/video_display.h"

namespace strella::window {

class TPreviewPanel : public QWidget, public player::TVideoDisplay {
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
  int PresentCount() const { return present_count_; }
  // Pictures shown with ShowFrame (the conversion's frames).
  int ShownFrameCount() const { return shown_frames_; }

  // The player's display, called on its playback thread.
  void GetClientSize(int& width, int& height) override;
  bool SetVideoMode(int width, int height) override;
  void Present(const player::TPlayerBitmap& surface) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void TakePresented();

  QLabel* image1_;
  QImage frame_;
  std::atomic<int> client_width_{0}, client_height_{0};
  std::mutex presented_lock_;  // the playback thread hands pictures over here
  QImage presented_;
  bool take_posted_ = false;
  std::atomic<int> present_count_{0};
  int shown_frames_ = 0;
  media::TMainThreadMailbox mailbox_;  // closed first when the panel goes
};

// The placeholder picture, drawn at start-up.
QPixmap PlaceholderPicture(const QSize& size);

}  // namespace strella::window
