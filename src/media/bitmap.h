// A 24-bit bitmap: BGR pixels, rows top to bottom, each row padded to a
// multiple of four bytes. The canvas lock guards painting while a hook or a
// window reads or changes the pixels. The window shows it as a QImage
// (Format_BGR888) over Bits() and Stride() without copying.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace strella::media {

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  // Keeps nothing of the old pixels when the size changes; a new picture is black.
  void SetSize(int AWidth, int AHeight);
  // Takes the size and pixels of another bitmap (a picture handed to another thread).
  void Assign(const TBitmap& ASource);

  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }
  uint8_t* ScanLine(int ARow) { return pixels_.data() + static_cast<size_t>(ARow) * stride_; }
  const uint8_t* ScanLine(int ARow) const { return pixels_.data() + static_cast<size_t>(ARow) * stride_; }

  std::mutex& CanvasLock() { return canvas_lock_; }

  // Writes a Windows BMP (24-bit, uncompressed, rows bottom to top). False
  // with LastErrMsg when the bitmap is empty or the file cannot be written;
  // a failed write leaves whatever was at AFileName untouched.
  bool SaveToFile(const std::string& AFileName);
  const std::string& LastErrMsg() const { return last_err_msg_; }

 private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int WriteBmp(const std::string& fileName) const;

  std::vector<uint8_t> pixels_;
  std::mutex canvas_lock_;
  std::string last_err_msg_;
};

}  // namespace strella::media
