// A 24-bit BGR picture with rows top to bottom, the form in which the player
// hands out snapshots, hook frames and display surfaces. The canvas lock is
// held while a hook handler draws on it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace strella::player {

class TPlayerBitmap {
 public:
  TPlayerBitmap() = default;
  TPlayerBitmap(const TPlayerBitmap& other) { *this = other; }
  TPlayerBitmap& operator=(const TPlayerBitmap& other);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }  // bytes from one row to the next
  // Resizes; the pixels are undefined afterwards unless filled.
  void SetSize(int width, int height);
  void Fill(uint8_t blue, uint8_t green, uint8_t red);
  uint8_t* ScanLine(int row) { return pixels_.data() + static_cast<size_t>(row) * stride_; }
  const uint8_t* ScanLine(int row) const { return pixels_.data() + static_cast<size_t>(row) * stride_; }
  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }
  std::mutex& Canvas() const { return canvas_; }

 private:
  int width_ = 0, height_ = 0, stride_ = 0;
  std::vector<uint8_t> pixels_;
  mutable std::mutex canvas_;
};

}  // namespace strella::player
