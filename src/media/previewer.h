// The preview of a running conversion: a small floating window that shows the
// latest encoded picture with its time as caption. The window itself belongs
// to the user interface, which installs a factory for it; without one the
// previewer reports itself closed, so the engine clears its preview flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace strella::media {

class TBitmap;
class TPreviewer;

// "N/A" for the library's no-value time stamp, else "HH:MM:SS.mmm".
std::string FormatPreviewTime(int64_t APTS);

// What the window implements: a stay-on-top tool window, centred on the
// screen at first, its client area the picture's size, dragged by its picture.
// Called on the main thread only; ShowPicture must copy what it keeps, because
// the bitmap changes once it returns. When the user closes the window, it
// calls the owner's UserClosed().
class TPreviewWindow {
 public:
  virtual ~TPreviewWindow() = default;
  virtual void ShowPicture(const TBitmap& ABitmap, const std::string& ACaption) = 0;
};

using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>(TPreviewer& AOwner)>;

// Installed once by the window; an empty function removes it.
void SetPreviewWindowFactory(TPreviewWindowFactory AFactory);

class TPreviewer {
 public:
  TPreviewer() = default;
  // Frees the window on the main thread.
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // Shows the picture on the main thread (the caller waits); false once the
  // window has been closed or none could be made.
  bool Preview(const TBitmap* ABitmap, int AFrameNumber, int64_t APTS);
  // The window reports the user's close; nothing is shown from then on.
  void UserClosed() { closed_ = true; }
  bool Closed() const { return closed_; }

  int FrameNumber() const { return frame_number_; }
  int64_t PTS() const { return pts_; }

 private:
  void ShowStep();

  std::atomic<bool> closed_ = false;
  const TBitmap* bitmap_ = nullptr;
  int frame_number_ = 0;
  int64_t pts_ = 0;
  std::unique_ptr<TPreviewWindow> window_;
};

}  // namespace strella::media
