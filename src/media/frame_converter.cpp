#include "media/frame_converter.h"

#include <algorithm>
#include <cstring>

#include "media/ff.h"

namespace strella::media {

namespace {

constexpr AVPixelFormat kBitmapFormat = AV_PIX_FMT_BGR24;

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && ff::av_image_check_size(width, height, 0, nullptr) >= 0;
}

// Makes Destination a BGR picture of the given size over a buffer large enough.
bool PrepareDestination(TFrameConverter& converter, int width, int height) {
  const int size = ff::av_image_get_buffer_size(kBitmapFormat, width, height, 1);
  if (size < 0) return false;
  if (!converter.Buffer || converter.BufferSize < size) {
    ff::av_freep(&converter.Buffer);
    converter.BufferSize = 0;
    converter.Buffer = static_cast<uint8_t*>(ff::av_malloc(size));
    if (!converter.Buffer) return false;
    converter.BufferSize = size;
  }
  converter.Destination = TPicture{};
  return ff::av_image_fill_arrays(converter.Destination.data, converter.Destination.linesize, converter.Buffer,
                                  kBitmapFormat, width, height, 1) >= 0;
}

bool ScaleIntoDestination(TFrameConverter& converter, const TPicture& source, int sourceFormat, int width,
                          int height) {
  if (!PrepareDestination(converter, width, height)) return false;
  converter.Scaler = ff::sws_getCachedContext(converter.Scaler, width, height, static_cast<AVPixelFormat>(sourceFormat),
                                              width, height, kBitmapFormat, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!converter.Scaler) return false;
  ff::sws_scale(converter.Scaler, source.data, source.linesize, 0, height, converter.Destination.data,
                converter.Destination.linesize);
  return true;
}

// Copies the visible width of each row: a picture's line size may carry
// padding the bitmap's rows do not have.
void CopyRowsToBitmap(const TPicture& picture, TBitmap& bitmap) {
  const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 3;
  for (int row = 0; row < bitmap.Height(); ++row)
    std::memcpy(bitmap.ScanLine(row), picture.data[0] + static_cast<ptrdiff_t>(row) * picture.linesize[0], rowBytes);
}

void CopyRowsFromBitmap(const TBitmap& bitmap, const TPicture& picture) {
  const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 3;
  for (int row = 0; row < bitmap.Height(); ++row)
    std::memcpy(picture.data[0] + static_cast<ptrdiff_t>(row) * picture.linesize[0], bitmap.ScanLine(row), rowBytes);
}

}  // namespace

TFrameConverter::TFrameConverter() : DestinationFormat(kBitmapFormat) {}

TFrameConverter::~TFrameConverter() { ResetConverter(*this); }

TPicture PictureOf(const AVFrame* AFrame) {
  TPicture picture{};
  for (int plane = 0; plane < 4; ++plane) {
    picture.data[plane] = AFrame->data[plane];
    picture.linesize[plane] = AFrame->linesize[plane];
  }
  return picture;
}

bool ConvertToBitmap(TFrameConverter& AConverter, const TPicture& APicture, int ASourceFormat, int AHeight,
                     int AWidth, bool AAlwaysScale) {
  if (!ValidSize(AWidth, AHeight)) return false;
  if (!AConverter.Bitmap) AConverter.Bitmap = std::make_unique<TBitmap>();
  AConverter.Bitmap->SetSize(AWidth, AHeight);
  AConverter.Current = TPicture{};
  if (ASourceFormat == AConverter.DestinationFormat && !AAlwaysScale) {
    AConverter.Current = APicture;
  } else {
    if (!ScaleIntoDestination(AConverter, APicture, ASourceFormat, AWidth, AHeight)) return false;
    AConverter.Current = AConverter.Destination;
  }
  CopyRowsToBitmap(AConverter.Current, *AConverter.Bitmap);
  return true;
}

bool ConvertFromBitmap(TFrameConverter& AConverter, const TPicture& APicture, int APixelFormat, int AHeight,
                       int AWidth) {
  const TBitmap* bitmap = AConverter.Bitmap.get();
  if (!bitmap || !AConverter.Current.data[0] || bitmap->Width() != AWidth || bitmap->Height() != AHeight) return false;
  CopyRowsFromBitmap(*bitmap, AConverter.Current);
  if (AConverter.Current.data[0] == APicture.data[0]) return true;
  AConverter.ReverseScaler =
      ff::sws_getCachedContext(AConverter.ReverseScaler, AWidth, AHeight, kBitmapFormat, AWidth, AHeight,
                               static_cast<AVPixelFormat>(APixelFormat), SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!AConverter.ReverseScaler) return false;
  ff::sws_scale(AConverter.ReverseScaler, AConverter.Current.data, AConverter.Current.linesize, 0, AHeight,
                APicture.data, APicture.linesize);
  return true;
}

void ResetConverter(TFrameConverter& AConverter) {
  AConverter.Bitmap.reset();
  if (AConverter.Buffer) ff::av_freep(&AConverter.Buffer);
  AConverter.BufferSize = 0;
  AConverter.Destination = TPicture{};
  AConverter.Current = TPicture{};
  if (AConverter.Scaler) ff::sws_freeContext(AConverter.Scaler);
  if (AConverter.ReverseScaler) ff::sws_freeContext(AConverter.ReverseScaler);
  AConverter.Scaler = AConverter.ReverseScaler = nullptr;
  AConverter.DestinationFormat = kBitmapFormat;
}

}  // namespace strella::media
