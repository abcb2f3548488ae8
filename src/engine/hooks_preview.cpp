// Frame hooks and preview: deinterlacing, the `vhook` modules steered by the
// before-hook callback or the hook-time ranges, the custom hook that paints
// on a bitmap, and the throttled preview of encoded pictures.
#include "engine/transcode_paths.h"

namespace strella::engine {
namespace {

using media::Format;

// Which modules run for this picture: before-hook callback or hook-time ranges.
void SteerModules(TCustomFFmpeg& engine, int64_t pts) {
  TEngineState& s = engine.State();
  if (engine.BeforeHookCallback) {
    try {
      engine.BeforeHookCallback(&engine, pts, s.hook_action);
    } catch (const std::exception& e) {
      EngineLog(engine, media::llError, std::string("Error occurs OnBeforeHook: ") + e.what());
      s.hook_action = haStop;
    }
  } else if (!s.hook_ranges.empty()) {
    s.hook_action = haIgnore;
    for (size_t i = s.hook_range_index; i < s.hook_ranges.size(); ++i) {
      if (s.hook_ranges[i].start <= pts && pts <= s.hook_ranges[i].end) {
        s.hook_range_index = i;
        s.hook_action = haContinue;
        break;
      }
    }
    if (s.hook_ranges.back().end < pts) s.hook_action = haStop;
  }
  if (s.hook_action == haStop) s.opt.using_vhook = false;
}

AVFrame* HookBuffer(TEngineState& s, const AVFrame* frame) {
  AVFrame*& buffer = s.hook_picture;
  if (buffer && (buffer->width != frame->width || buffer->height != frame->height || buffer->format != frame->format))
    ff::av_frame_free(&buffer);
  if (!buffer) {
    buffer = ff::av_frame_alloc();
    if (!buffer) return nullptr;
    buffer->width = frame->width;
    buffer->height = frame->height;
    buffer->format = frame->format;
    if (ff::av_frame_get_buffer(buffer, 0) < 0) {
      ff::av_frame_free(&buffer);
      return nullptr;
    }
  }
  if (ff::av_frame_make_writable(buffer) < 0) return nullptr;
  return buffer;
}

// Line interpolation: each odd line becomes the mean of its neighbours, on
// every plane of an 8-bit planar YUV or grey picture.
bool Deinterlace(const AVFrame* source, AVFrame* target) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source->format));
  if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) || desc->comp[0].depth != 8 ||
      (desc->nb_components > 1 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)))
    return false;
  for (int p = 0; p < 4 && source->data[p]; ++p) {
    const bool chroma = p == 1 || p == 2;
    const int width = chroma ? -((-source->width) >> desc->log2_chroma_w) : source->width;
    const int height = chroma ? -((-source->height) >> desc->log2_chroma_h) : source->height;
    for (int y = 0; y < height; ++y) {
      const uint8_t* line = source->data[p] + static_cast<ptrdiff_t>(y) * source->linesize[p];
      uint8_t* out = target->data[p] + static_cast<ptrdiff_t>(y) * target->linesize[p];
      if (y % 2 == 0 || y + 1 >= height) {
        std::memcpy(out, line, width);
        continue;
      }
      const uint8_t* above = line - source->linesize[p];
      const uint8_t* below = line + source->linesize[p];
      for (int x = 0; x < width; ++x) out[x] = static_cast<uint8_t>((above[x] + below[x] + 1) >> 1);
    }
  }
  return true;
}

void StopHooks(TCustomFFmpeg& engine) {
  engine.CustomHookCallback = nullptr;
  engine.State().hook_action = haStop;
  engine.State().opt.using_vhook = false;
}

void RunCustomHook(TCustomFFmpeg& engine, AVFrame* picture, int64_t pts) {
  TEngineState& s = engine.State();
  media::TFrameConverter& converter = *s.hook_converter;
  const TPicture planes = media::PictureOf(picture);
  if (!media::ConvertToBitmap(converter, planes, picture->format, picture->height, picture->width)) {
    EngineLog(engine, media::llError, "Cannot initialize the toRGB conversion context");
    StopHooks(engine);
    return;
  }
  bool update = true, stop = false;
  {
    std::lock_guard canvas(converter.Bitmap->CanvasLock());
    try {
      engine.CustomHookCallback(&engine, converter.Bitmap.get(), s.picture_counter, pts, update, stop);
    } catch (const std::exception& e) {
      EngineLog(engine, media::llError, std::string("Error occurs OnCustomHook: ") + e.what());
      update = false;
    }
  }
  if (update && !media::ConvertFromBitmap(converter, planes, picture->format, picture->height, picture->width)) {
    EngineLog(engine, media::llError, "Cannot initialize the fromRGB conversion context");
    stop = true;
  }
  if (stop) StopHooks(engine);
}

int64_t Microseconds(int64_t pts, AVRational timeBase) {
  return pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(pts, timeBase, AV_TIME_BASE_Q);
}

}  // namespace

AVFrame* PreprocessVideoFrame(TCustomFFmpeg& engine, TInputStreamRec& ist, AVFrame* frame) {
  TEngineState& s = engine.State();
  s.picture_counter++;
  const int64_t pts = ist.pts;
  const bool custom = static_cast<bool>(engine.CustomHookCallback);
  if (!custom && s.opt.using_vhook) SteerModules(engine, pts);
  const bool modules = s.opt.using_vhook && s.hook_action == haContinue;
  if (!s.opt.do_deinterlace && !custom && !modules) return frame;
  AVFrame* work = HookBuffer(s, frame);
  if (!work) {
    EngineLog(engine, media::llError, "hook buf malloc error.");
    return frame;
  }
  bool deinterlaced = false;
  if (s.opt.do_deinterlace) {
    deinterlaced = Deinterlace(frame, work);
    if (!deinterlaced) EngineLog(engine, media::llError, "Deinterlacing failed.");
  }
  if (!deinterlaced && ff::av_frame_copy(work, frame) < 0) return frame;
  ff::av_frame_copy_props(work, frame);
  if (custom) {
    RunCustomHook(engine, work, pts);
  } else if (modules) {
    TPicture planes = media::PictureOf(work);
    media::ProcessFrameHooks(s.hooks, &planes, work->format, work->width, work->height, pts);
  }
  return work;
}

void PreviewPicture(TCustomFFmpeg& engine, const AVFrame* picture, int64_t pts, AVRational timeBase) {
  int flags;
  {
    std::lock_guard guard(PreviewLock());
    flags = engine.PreviewFlags();
  }
  TEngineState& s = engine.State();
  if (!(flags & kPreviewWindow) && s.previewer) s.previewer.reset();  // its window was switched off
  if (!(flags & (kPreviewWindow | kPreviewBitmap))) return;
  const int64_t now = ff::av_gettime();
  if (now - s.last_preview_time <= engine.PreviewInterval()) return;
  s.last_preview_time = now;
  media::TFrameConverter& converter = *s.preview_converter;
  const bool converted = media::ConvertToBitmap(converter, media::PictureOf(picture), picture->format,
                                                picture->height, picture->width);
  int cleared = 0;
  if ((flags & kPreviewBitmap) && engine.PreviewBitmapCallback) {
    if (converted)
      engine.PreviewBitmapCallback(&engine, converter.Bitmap.get(), s.picture_counter, Microseconds(pts, timeBase));
    else {
      EngineLog(engine, media::llError, "Cannot initialize the toRGB conversion context");
      cleared = kPreviewBitmap;
    }
  } else if (flags & kPreviewWindow) {
    if (converted && !s.previewer) s.previewer = std::make_unique<media::TPreviewer>();
    if (!converted || !s.previewer->Preview(converter.Bitmap.get(), s.picture_counter, Microseconds(pts, timeBase)))
      cleared = kPreviewWindow;
  }
  if (cleared) {
    std::lock_guard guard(PreviewLock());
    engine.SetPreviewFlags(engine.PreviewFlags() & ~cleared);
  }
  if (cleared & kPreviewWindow) s.previewer.reset();
}

}  // namespace strella::engine
