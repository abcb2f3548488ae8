#include "player/video_display.h"

#include <cstring>

namespace strella::player {
namespace {

void CopyBitmap(const media::TBitmap& from, media::TBitmap& to) {
  to.SetSize(from.Width(), from.Height());
  std::memcpy(to.Bits(), from.Bits(), static_cast<size_t>(from.Stride()) * from.Height());
}

}  // namespace

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

void THeadlessDisplay::Present(const media::TBitmap& surface) {
  std::lock_guard guard(lock_);
  ++present_count_;
  if (keep_latest_) CopyBitmap(surface, latest_);
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

std::unique_ptr<media::TBitmap> THeadlessDisplay::LatestSurface() const {
  auto copy = std::make_unique<media::TBitmap>();
  std::lock_guard guard(lock_);
  CopyBitmap(latest_, *copy);
  return copy;
}

std::vector<THeadlessDisplay::Mode> THeadlessDisplay::Modes() const {
  std::lock_guard guard(lock_);
  return modes_;
}

}  // namespace strella::player
