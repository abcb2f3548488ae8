#include "player/video_display.h"

namespace strella::player {

void THeadlessDisplay::GetClientSize(int& width, int& height) {
  std::lock_guard guard(lock_);
  width = client_width_;
  height = client_height_;
}

bool THeadlessDisplay::SetVideoMode(int width, int height) {
  std::lock_guard guard(lock_);
  if (!accept_modes_ || width <= 0 || height <= 0) return false;
  modes_.push_back({width, height});
  return true;
}

void THeadlessDisplay::Present(const TPlayerBitmap& surface) {
  std::lock_guard guard(lock_);
  ++present_count_;
  if (keep_latest_) latest_ = surface;
}

void THeadlessDisplay::SetAcceptModes(bool accept) {
  std::lock_guard guard(lock_);
  accept_modes_ = accept;
}

void THeadlessDisplay::SetKeepLatest(bool keep) {
  std::lock_guard guard(lock_);
  keep_latest_ = keep;
}

int THeadlessDisplay::PresentCount() const {
  std::lock_guard guard(lock_);
  return present_count_;
}

TPlayerBitmap THeadlessDisplay::LatestSurface() const {
  std::lock_guard guard(lock_);
  return latest_;
}

std::vector<THeadlessDisplay::Mode> THeadlessDisplay::Modes() const {
  std::lock_guard guard(lock_);
  return modes_;
}

}  // namespace strella::player
