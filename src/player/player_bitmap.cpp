#include "player/player_bitmap.h"

#include <algorithm>

namespace strella::player {

TPlayerBitmap& TPlayerBitmap::operator=(const TPlayerBitmap& other) {
  if (this == &other) return *this;
  width_ = other.width_;
  height_ = other.height_;
  stride_ = other.stride_;
  pixels_ = other.pixels_;
  return *this;
}

void TPlayerBitmap::SetSize(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  // Rows padded to 4 bytes, as a device-independent bitmap's are.
  stride_ = (width_ * 3 + 3) & ~3;
  pixels_.resize(static_cast<size_t>(stride_) * height_);
}

void TPlayerBitmap::Fill(uint8_t blue, uint8_t green, uint8_t red) {
  for (int y = 0; y < height_; ++y) {
    uint8_t* p = ScanLine(y);
    for (int x = 0; x < width_; ++x, p += 3) p[0] = blue, p[1] = green, p[2] = red;
  }
}

}  // namespace strella::player
