// The preview of a running conversion: a small floating window that shows the
// latest encoded picture with its time as caption. The window itself belongs
// to the user interface, which installs a factory for it; without one the
// previewer reports itself closed, so the engine clears its preview flag.
#pragma once

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
// Called on the main thread only; ShowPicture must copy what it keeps. When
// the user closes the window, it calls the close notice it was made with.
class TPreviewWindow {
 public:
  virtual ~TPreviewWindow() = default;
  virtual void ShowPicture(const TBitmap& ABitmap, const std::string& ACaption) = 0;
};

using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>(std::function<void()> AUserClosed)>;

// Installed once by the window; an empty function removes it.
void SetPreviewWindowFactory(TPreviewWindowFactory AFactory);

// Used on the conversion thread; the window is made, shown and freed on the
// main thread, which the conversion never waits for: each picture is copied
// and the latest one not yet shown replaces an older one.
class TPreviewer {
 public:
  TPreviewer();
  // The window is freed on the main thread, later.
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // Hands the picture to the main thread; false once the window has been
  // closed or none can be made.
  bool Preview(const TBitmap* ABitmap, int AFrameNumber, int64_t APTS);
  // The window reports the user's close; nothing is shown from then on.
  void UserClosed();
  bool Closed() const;

  // The last picture handed over.
  int FrameNumber() const { return frame_number_; }
  int64_t PTS() const { return pts_; }

  struct TShared;

 private:
  std::shared_ptr<TShared> shared_;
  int frame_number_ = 0;
  int64_t pts_ = 0;
};

}  // namespace strella::media
