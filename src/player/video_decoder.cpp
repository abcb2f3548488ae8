// The video decoding thread: decodes the video queue's packets and puts each
// picture, converted to planar 4:2:0 (or drawn on by the hook), into the
// one-picture queue that the playback thread shows.
#include "media/ff.h"
#include "player/playback.h"

namespace strella::player {
namespace {
void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

void TPipeline::VideoThread(TPlayback& playback) {
  AVFrame* frame = ff::av_frame_alloc();
  AVPacket* packet = nullptr;
  bool draining = false;  // the end was signalled to the decoder; more empty packets add nothing
  while (frame) {
    // Paused, the decoder rests, except to bring the picture of a seek.
    while (playback.Paused && !playback.VideoQueue.Aborted() && !playback.DropUntilFlush &&
           !playback.ShowWhilePaused)
      Sleep(10);
    if (playback.VideoQueue.Get(packet, true) < 0) break;
    if (IsFlushMarker(packet)) {
      FlushVideo(playback);
      draining = false;
      continue;
    }
    const int result = DecodeVideoPacket(playback, packet, frame, draining);
    ReleasePacket(packet);
    if (result < 0) break;
  }
  ReleasePacket(packet);
  ff::av_frame_free(&frame);
  playback.VideoFinished = true;  // no picture comes any more
}

// After a seek: the decoder starts afresh, a picture still waiting in the
// queue belongs to the old position, and the first new picture is not timed
// against the last old one.
void TPipeline::FlushVideo(TPlayback& playback) {
  ff::avcodec_flush_buffers(playback.VideoDecoder);
  playback.VideoFinished = false;
  std::lock_guard guard(playback.PictureLock);
  playback.PictureStale = playback.PictureCount > 0;
  playback.RestartTiming = true;
  playback.ShowWhilePaused = true;
  playback.DropUntilFlush = false;
}

int TPipeline::DecodeVideoPacket(TPlayback& playback, AVPacket* packet, AVFrame* frame, bool& draining) {
  AVCodecContext* decoder = playback.VideoDecoder;
  const bool endOfFile = packet->size == 0 && !packet->data;
  if (endOfFile && draining) return 0;
  draining = draining || endOfFile;
  for (;;) {
    const int sent = ff::avcodec_send_packet(decoder, endOfFile ? nullptr : packet);
    int received;
    while ((received = ff::avcodec_receive_frame(decoder, frame)) >= 0) {
      const int64_t time = frame->best_effort_timestamp;
      const double pts = time == AV_NOPTS_VALUE ? 0 : time * av_q2d(playback.VideoStream->time_base);
      const int queued = QueuePicture(playback, frame, pts);
      ff::av_frame_unref(frame);
      if (queued < 0) return -1;
    }
    if (received == AVERROR_EOF) playback.VideoFinished = true;
    // A full decoder refuses the packet until its pictures are taken; then try again.
    if (sent != AVERROR(EAGAIN)) return 0;
  }
}

int TPipeline::QueuePicture(TPlayback& playback, AVFrame* frame, double pts) {
  // A picture without a time of its own follows the one before it.
  if (pts != 0)
    playback.NextPictureTime = pts;
  else
    pts = playback.NextPictureTime;
  playback.NextPictureTime += playback.FrameDuration + frame->repeat_pict * playback.FrameDuration * 0.5;

  TPictureEntry& entry = playback.Picture;
  {
    std::unique_lock guard(playback.PictureLock);
    playback.PictureChanged.wait(guard, [&] { return playback.PictureCount < 1 || playback.VideoQueue.Aborted(); });
    if (playback.VideoQueue.Aborted()) return -1;
    if (!entry.Overlay || entry.Width != frame->width || entry.Height != frame->height) {
      // Overlays are made on the playback thread, together with the surface.
      entry.Allocated = false;
      entry.RequestedWidth = frame->width;
      entry.RequestedHeight = frame->height;
      playback.Events.Post({peAllocate});
      playback.PictureChanged.wait(guard, [&] { return entry.Allocated || playback.VideoQueue.Aborted(); });
      if (playback.VideoQueue.Aborted()) return -1;
    }
  }
  {
    std::lock_guard overlayGuard(entry.OverlayLock);
    if (!entry.Overlay) return 0;  // no overlay: the picture is dropped
    if (!playback.Owner.RunHook(playback, frame, pts, entry.Overlay)) {
      playback.QueueScaler = ff::sws_getCachedContext(
          playback.QueueScaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), entry.Width,
          entry.Height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
      if (!playback.QueueScaler) {
        playback.Owner.ReportError("Cannot initialize the conversion context.", false);
        return -1;
      }
      ff::sws_scale(playback.QueueScaler, frame->data, frame->linesize, 0, frame->height, entry.Overlay->data,
                    entry.Overlay->linesize);
    }
    entry.Pts = pts;
  }
  std::lock_guard guard(playback.PictureLock);
  ++playback.PictureCount;
  return 0;
}

void TPipeline::AllocatePicture(TPlayback& playback) {
  TPictureEntry& entry = playback.Picture;
  int width, height;
  {
    std::lock_guard guard(playback.PictureLock);
    width = entry.RequestedWidth;
    height = entry.RequestedHeight;
  }
  {
    std::lock_guard overlayGuard(entry.OverlayLock);
    ff::av_frame_free(&entry.Overlay);
    AVFrame* overlay = ff::av_frame_alloc();
    if (overlay) {
      overlay->format = AV_PIX_FMT_YUV420P;
      overlay->width = width;
      overlay->height = height;
      if (width <= 0 || height <= 0 || ff::av_frame_get_buffer(overlay, 0) < 0) ff::av_frame_free(&overlay);
    }
    entry.Overlay = overlay;
    entry.Width = width;
    entry.Height = height;
  }
  std::lock_guard guard(playback.PictureLock);
  entry.Allocated = true;
  playback.PictureChanged.notify_all();
}

}  // namespace strella::player
