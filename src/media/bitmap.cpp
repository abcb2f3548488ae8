#include "media/bitmap.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "media/text_helpers.h"

namespace strella::media {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kPixelsPerMetre = 2835;  // 72 dots per inch

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

// BITMAPFILEHEADER and BITMAPINFOHEADER, little-endian; a positive height
// means rows are stored bottom to top, which every reader accepts.
std::vector<uint8_t> BmpHeaders(int width, int height, uint32_t imageSize) {
  std::vector<uint8_t> out;
  out.reserve(kFileHeaderSize + kInfoHeaderSize);
  out.push_back('B');
  out.push_back('M');
  Put32(out, kFileHeaderSize + kInfoHeaderSize + imageSize);
  Put32(out, 0);
  Put32(out, kFileHeaderSize + kInfoHeaderSize);
  Put32(out, kInfoHeaderSize);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);   // planes
  Put16(out, 24);  // bits per pixel
  Put32(out, 0);   // uncompressed
  Put32(out, imageSize);
  Put32(out, kPixelsPerMetre);
  Put32(out, kPixelsPerMetre);
  Put32(out, 0);
  Put32(out, 0);
  return out;
}

}  // namespace

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth < 0 || AHeight < 0) throw std::invalid_argument("bitmap size must not be negative");
  if (AWidth == width_ && AHeight == height_) return;
  width_ = AWidth;
  height_ = AHeight;
  stride_ = (AWidth * 3 + 3) & ~3;
  pixels_.assign(static_cast<size_t>(stride_) * AHeight, 0);
}

void TBitmap::Assign(const TBitmap& ASource) {
  width_ = ASource.width_;
  height_ = ASource.height_;
  stride_ = ASource.stride_;
  pixels_ = ASource.pixels_;
}

bool TBitmap::SaveToFile(const std::string& AFileName) {
  if (width_ == 0 || height_ == 0) {
    last_err_msg_ = Format("%s: the bitmap is empty", AFileName.c_str());
    return false;
  }
  // Written beside the target and renamed into place, so that a failed write
  // never leaves half a picture or removes a file that was there before.
  const std::string temp = Format("%s.%d.tmp", AFileName.c_str(), static_cast<int>(getpid()));
  const int error = WriteBmp(temp);
  if (error == 0 && std::rename(temp.c_str(), AFileName.c_str()) == 0) return true;
  last_err_msg_ = Format("%s: %s", AFileName.c_str(), std::strerror(error ? error : errno));
  std::remove(temp.c_str());
  return false;
}

// 0, or the errno of the failure.
int TBitmap::WriteBmp(const std::string& fileName) const {
  const uint32_t imageSize = static_cast<uint32_t>(stride_) * static_cast<uint32_t>(height_);
  const std::vector<uint8_t> headers = BmpHeaders(width_, height_, imageSize);
  FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) return errno;
  errno = 0;
  bool written = std::fwrite(headers.data(), 1, headers.size(), file) == headers.size();
  for (int row = height_ - 1; written && row >= 0; --row)
    written = std::fwrite(ScanLine(row), 1, stride_, file) == static_cast<size_t>(stride_);
  int error = written ? 0 : (errno ? errno : EIO);
  if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
  return error;
}

}  // namespace strella::media
