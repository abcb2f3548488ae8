// Drawing into the display surface: setting it up, placing the picture by
// its aspect ratio, and the waveform of files without video.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "media/ff.h"
#include "player/playback.h"

namespace strella::player {
namespace {

int Wrap(int index) { return ((index % kSampleArraySize) + kSampleArraySize) % kSampleArraySize; }

void FillRect(TPlayerBitmap& surface, int x, int y, int width, int height, uint8_t value) {
  x = std::max(x, 0);
  y = std::max(y, 0);
  width = std::min(width, surface.Width() - x);
  height = std::min(height, surface.Height() - y);
  for (int row = y; row < y + height && width > 0; ++row)
    std::memset(surface.ScanLine(row) + x * 3, value, static_cast<size_t>(width) * 3);
}

}  // namespace

TPlacement PlacePicture(float aspectRatio, int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                        int streamSarNum, int streamSarDen, int decoderSarNum, int decoderSarDen) {
  double aspect;
  if (aspectRatio < 0 && areaWidth != 0 && areaHeight != 0) {
    aspect = static_cast<double>(areaWidth) / areaHeight;
  } else if (aspectRatio > 0) {
    aspect = aspectRatio;
  } else {
    double sar = 0;
    if (streamSarNum != 0 && streamSarDen != 0)
      sar = static_cast<double>(streamSarNum) / streamSarDen;
    else if (decoderSarNum != 0 && decoderSarDen != 0)
      sar = static_cast<double>(decoderSarNum) / decoderSarDen;
    if (sar <= 0) sar = 1;
    aspect = pictureHeight > 0 ? sar * pictureWidth / pictureHeight : 1;
  }
  TPlacement placement;
  placement.Height = areaHeight;
  placement.Width = static_cast<int>(std::lround(placement.Height * aspect)) & ~1;
  if (placement.Width > areaWidth) {
    placement.Width = areaWidth;
    placement.Height = static_cast<int>(std::lround(placement.Width / aspect)) & ~1;
  }
  placement.X = (areaWidth - placement.Width) / 2;
  placement.Y = (areaHeight - placement.Height) / 2;
  return placement;
}

int TPipeline::SetUpSurface(TPlayback& playback) {
  TCustomPlayer& player = playback.Owner;
  int width = 640, height = 480;
  if (player.screen_width_ > 0) {
    width = player.screen_width_;
    height = player.screen_height_;
  } else if (playback.VideoDecoder && playback.VideoDecoder->width > 0) {
    width = playback.VideoDecoder->width;
    height = playback.VideoDecoder->height;
  }
  const bool accepted = width > 0 && height > 0 && (!playback.Display || playback.Display->SetVideoMode(width, height));
  if (!accepted) {
    player.ReportError("SDL: could not set video mode.", false);
    playback.HaveSurface = false;
    return -1;
  }
  playback.Surface.SetSize(width, height);
  playback.Surface.Fill(0, 0, 0);
  playback.AreaWidth = width;
  playback.AreaHeight = height;
  playback.HaveSurface = true;
  return 0;
}

void TPipeline::Display(TPlayback& playback) {
  if (!playback.Display) return;  // nobody to show it to
  if (!playback.HaveSurface && SetUpSurface(playback) < 0) return;
  if (playback.AudioStream && playback.ShowWaveform)
    DrawWaveform(playback);
  else if (playback.VideoStream)
    ShowPicture(playback);
  else
    return;
  playback.Display->Present(playback.Surface);
}

void TPipeline::ShowPicture(TPlayback& playback) {
  TPictureEntry& entry = playback.Picture;
  std::lock_guard overlayGuard(entry.OverlayLock);
  if (!entry.Overlay) return;
  const AVRational streamSar = playback.VideoStream->sample_aspect_ratio;
  const AVRational decoderSar = playback.VideoDecoder->sample_aspect_ratio;
  const TPlacement place =
      PlacePicture(playback.Owner.aspect_ratio_, playback.AreaWidth, playback.AreaHeight, entry.Width, entry.Height,
                   streamSar.num, streamSar.den, decoderSar.num, decoderSar.den);
  if (place.Width <= 0 || place.Height <= 0) return;
  AVFrame*& placed = playback.PlacedPicture;
  if (!placed || placed->width != place.Width || placed->height != place.Height) {
    ff::av_frame_free(&placed);
    placed = ff::av_frame_alloc();
    if (!placed) return;
    placed->format = AV_PIX_FMT_BGR24;
    placed->width = place.Width;
    placed->height = place.Height;
    if (ff::av_frame_get_buffer(placed, 0) < 0) {
      ff::av_frame_free(&placed);
      return;
    }
  }
  playback.DisplayScaler =
      ff::sws_getCachedContext(playback.DisplayScaler, entry.Width, entry.Height, AV_PIX_FMT_YUV420P, place.Width,
                               place.Height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!playback.DisplayScaler) return;
  ff::sws_scale(playback.DisplayScaler, entry.Overlay->data, entry.Overlay->linesize, 0, entry.Height, placed->data,
                placed->linesize);
  // Only the picture's rectangle is painted; the rest of the surface stays as it was.
  TPlayerBitmap& surface = playback.Surface;
  const int left = playback.AreaLeft + place.X, top = playback.AreaTop + place.Y;
  for (int row = 0; row < place.Height && top + row < surface.Height(); ++row)
    std::memcpy(surface.ScanLine(top + row) + left * 3, placed->data[0] + static_cast<ptrdiff_t>(row) * placed->linesize[0],
                static_cast<size_t>(place.Width) * 3);
}

int TPipeline::WaveformStart(TPlayback& playback, int channels) {
  if (playback.Paused) return playback.LastTriggerIndex;
  int delay = (playback.AudioBlockSize - playback.AudioBlockIndex) / (2 * channels);
  const int64_t lastCallback = playback.LastCallbackTime;
  if (lastCallback != 0)
    delay += static_cast<int>((ff::av_gettime_relative() - lastCallback) * playback.AudioRate / 1000000);
  delay -= playback.AreaWidth / 2;
  if (delay < playback.AreaWidth) delay = playback.AreaWidth;
  const int x = Wrap(playback.SampleArrayIndex - delay * channels);
  // Start where the wave crosses zero with the steepest fall, so that a steady
  // tone stands still from one drawing to the next.
  const std::vector<int16_t>& s = playback.SampleArray;
  int best = INT_MIN, start = x;
  for (int i = 0; i < 1000; i += channels) {
    const int idx = Wrap(x - i);
    const int a = s[idx], b = s[Wrap(idx + 4 * channels)], e = s[Wrap(idx + 5 * channels)],
              d = s[Wrap(idx + 9 * channels)];
    const int score = a - d;
    if (best < score && (b ^ e) < 0) {
      best = score;
      start = idx;
    }
  }
  playback.LastTriggerIndex = start;
  return start;
}

void TPipeline::DrawWaveform(TPlayback& playback) {
  const int channels = std::max(playback.AudioChannels, 1);
  const int start = WaveformStart(playback, channels);
  TPlayerBitmap& surface = playback.Surface;
  const int left = playback.AreaLeft, top = playback.AreaTop;
  const int width = playback.AreaWidth;
  FillRect(surface, left, top, width, playback.AreaHeight, 0);
  const int h = playback.AreaHeight / channels;
  const int h2 = h * 9 / 20;
  for (int k = 0; k < channels; ++k) {
    int i = Wrap(start + k);
    const int y1 = top + k * h + h / 2;
    for (int x = 0; x < width; ++x) {
      const int y = (playback.SampleArray[i] * h2) >> 15;
      if (y < 0)
        FillRect(surface, left + x, y1 + y, 1, -y, 255);
      else
        FillRect(surface, left + x, y1, 1, y, 255);
      i = Wrap(i + channels);
    }
  }
  for (int k = 1; k < channels; ++k) FillRect(surface, left, top + k * h, width, 1, 255);
}

}  // namespace strella::player
