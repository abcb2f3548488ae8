// The frame converter: a picture of any pixel format into a 24-bit BGR
// TBitmap (for previews, snapshots and the custom hook), and the painted
// bitmap back into the picture through a second, reverse scaling context.
#pragma once

#include <cstdint>
#include <memory>

#include "media/bitmap.h"
#include "media/picture.h"

struct AVFrame;
struct SwsContext;

namespace strella::media {

// One per use (the engine keeps one for its preview and one for its custom
// hook). Owns its bitmap, buffer and scaling contexts; used by one thread at a time.
struct TFrameConverter {
  TFrameConverter();
  ~TFrameConverter();
  TFrameConverter(const TFrameConverter&) = delete;
  TFrameConverter& operator=(const TFrameConverter&) = delete;

  int DestinationFormat;  // the library's packed 24-bit BGR
  std::unique_ptr<TBitmap> Bitmap;  // created on first use
  uint8_t* Buffer = nullptr;        // library-allocated; grown, never shrunk
  int BufferSize = 0;
  TPicture Destination{};  // laid over Buffer
  // The picture whose rows were copied last: Destination, or the source
  // itself when it was already 24-bit BGR; no planes before the first conversion.
  TPicture Current{};
  SwsContext* Scaler = nullptr;
  SwsContext* ReverseScaler = nullptr;
};

// The plane pointers and line sizes of a frame.
TPicture PictureOf(const AVFrame* AFrame);

// Converts APicture (ASourceFormat, AWidth x AHeight) into AConverter.Bitmap.
// A picture already in 24-bit BGR is copied without scaling unless
// AAlwaysScale is set. False when no scaling context can be made or the size is invalid.
bool ConvertToBitmap(TFrameConverter& AConverter, const TPicture& APicture, int ASourceFormat, int AHeight,
                     int AWidth, bool AAlwaysScale = false);

// Writes the bitmap (painted on since the last ConvertToBitmap of APicture)
// back into APicture: its rows go into the converter's current picture, which
// is then scaled into APicture when that is not 24-bit BGR. False when no
// reverse scaling context can be made or nothing was converted at this size.
bool ConvertFromBitmap(TFrameConverter& AConverter, const TPicture& APicture, int APixelFormat, int AHeight,
                       int AWidth);

// Back to the first-use state: no bitmap, no buffer, both scaling contexts freed.
void ResetConverter(TFrameConverter& AConverter);

}  // namespace strella::media
