// Where the player's pictures go. The player renders each shown picture (or
// the waveform of an audio-only file) into a 24-bit surface of the display
// area's size and hands the finished surface over; the window's preview
// panel paints the latest one, the headless display records them.
#pragma once

#include <mutex>
#include <vector>

#include "player/player_bitmap.h"

namespace strella::player {

class TVideoDisplay {
 public:
  virtual ~TVideoDisplay() = default;
  // The size of the area the host offers, for a ScreenWidth or ScreenHeight of 0.
  virtual void GetClientSize(int& width, int& height) = 0;
  // Called on the playback thread before surfaces of a new size arrive;
  // false when the host cannot show a surface of that size.
  virtual bool SetVideoMode(int width, int height) = 0;
  // A finished surface, on the playback thread. The host copies what it keeps.
  virtual void Present(const TPlayerBitmap& surface) = 0;
};

// A display without a screen: it records what reaches it, for tests,
// benchmarks and playing without a window.
class THeadlessDisplay : public TVideoDisplay {
 public:
  explicit THeadlessDisplay(int clientWidth = 640, int clientHeight = 480)
      : client_width_(clientWidth), client_height_(clientHeight) {}

  void GetClientSize(int& width, int& height) override;
  bool SetVideoMode(int width, int height) override;
  void Present(const TPlayerBitmap& surface) override;

  // Whether SetVideoMode succeeds (a host that refuses every size, for tests).
  void SetAcceptModes(bool accept);
  // Keep a copy of every presented surface? Off: only the latest is kept.
  void SetKeepLatest(bool keep);

  int PresentCount() const;
  TPlayerBitmap LatestSurface() const;
  struct Mode { int width, height; };
  std::vector<Mode> Modes() const;

 private:
  mutable std::mutex lock_;
  int client_width_, client_height_;
  bool accept_modes_ = true;
  bool keep_latest_ = true;
  int present_count_ = 0;
  TPlayerBitmap latest_;
  std::vector<Mode> modes_;
};

}  // namespace strella::player
