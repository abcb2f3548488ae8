// The video output path: frame-rate sync by duplicating and dropping
// pictures, crop, scaling and padding, encoding and writing.
#include <cmath>

#include "engine/transcode_paths.h"

namespace strella::engine {

struct TVideoPath {
  SwsContext* sws = nullptr;
  int first_width = 0, first_height = 0;                     // of the first picture: the bands are set for it
  int input_width = 0, input_height = 0, input_format = -1;  // of the latest picture
  int top = 0, bottom = 0, left = 0, right = 0;              // crop bands for the latest size
  AVFrame* cropped = nullptr;  // a view of the decoded picture
  AVFrame* picture = nullptr;  // output size and format: scaled and/or padded
  AVFrame* send = nullptr;     // reference handed to the encoder
};

namespace {

using media::Format;

TVideoPath& PathOf(TOutputStreamRec& ost) {
  if (!ost.video) {
    ost.video = new TVideoPath;
    ost.video->cropped = ff::av_frame_alloc();
    ost.video->send = ff::av_frame_alloc();
    if (!ost.video->cropped || !ost.video->send) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
  }
  return *ost.video;
}

// How many times this picture is encoded: 0 drops it, more than 1 duplicates it.
int FramesForPicture(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  TEngineState& s = engine.State();
  const TOptionValues& o = s.opt;
  const AVCodecContext* enc = ost.setup->enc;
  const double tb = av_q2d(enc->time_base);
  const double inputTime = static_cast<double>(s.ist_table[ost.sync_ist].pts - o.start_time) / 1000000.0;
  const bool sync = o.video_sync_method > 0 || (o.video_sync_method < 0 && tb > 0.001);
  int frames = 1;
  const double delta = inputTime / tb - static_cast<double>(ost.sync_opts);
  const bool variable = o.video_sync_method == 2 ||
                        (o.video_sync_method < 0 && ff::MuxerKeepsVariableFrameRate(s.output_slots[ost.file_index]->ctx->oformat));
  if (!sync) {
    // Each picture keeps its own time. One that falls on the tick of the
    // picture written before it cannot be told apart from it (the encoder
    // would refuse it and end the run): it is dropped instead.
    const int64_t tick = std::llround(inputTime / tb);
    if (ost.frame_number > 0 && tick < ost.sync_opts) frames = 0;
    else ost.sync_opts = tick;
  } else if (delta < -1.1) {
    frames = 0;
  } else if (variable) {
    if (delta <= -0.6) frames = 0;
    else if (delta > 0.6) ost.sync_opts = std::llround(inputTime / tb);
  } else if (delta > 1.1) {
    frames = static_cast<int>(std::lround(delta));
  }
  if (frames == 0) {
    s.nb_frames_drop++;
    if (o.verbose > 2) EngineLog(engine, media::llVerbose, "*** drop!");
  } else if (frames > 1) {
    s.nb_frames_dup += frames - 1;
    if (o.verbose > 2) EngineLog(engine, media::llVerbose, Format("*** %d dup!", frames - 1));
  }
  return frames;
}

// A crop band set for the first picture size, for a picture of another size: rounded down to even.
int ScaledBand(int size, int band, int firstSize) { return size == firstSize ? band : size * band / firstSize & ~1; }

// Follows the input's picture size. A change is logged, and the crop bands
// are scaled from the first size to the new one.
void FollowInputSize(TCustomFFmpeg& engine, TOutputStreamRec& ost, TVideoPath& path, const AVFrame* frame) {
  const TOptionValues& o = engine.State().opt;
  if (frame->width == path.input_width && frame->height == path.input_height && frame->format == path.input_format)
    return;
  if (path.first_width == 0) {
    path.first_width = frame->width;
    path.first_height = frame->height;
  } else {
    const TInputStreamRec& ist = engine.State().ist_table[ost.source_index];
    EngineLog(engine, media::llQuiet,
              Format("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file_index, ist.index, frame->width,
                     frame->height, ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format))));
  }
  path.input_width = frame->width;
  path.input_height = frame->height;
  path.input_format = frame->format;
  path.top = ScaledBand(frame->height, o.frame_topBand, path.first_height);
  path.bottom = ScaledBand(frame->height, o.frame_bottomBand, path.first_height);
  path.left = ScaledBand(frame->width, o.frame_leftBand, path.first_width);
  path.right = ScaledBand(frame->width, o.frame_rightBand, path.first_width);
}

const AVFrame* Cropped(TOutputStreamRec& ost, TVideoPath& path, const AVFrame* frame) {
  if (!ost.video_crop) return frame;
  ff::av_frame_unref(path.cropped);
  ff::av_frame_ref(path.cropped, frame);
  path.cropped->crop_top = path.top;
  path.cropped->crop_bottom = path.bottom;
  path.cropped->crop_left = path.left;
  path.cropped->crop_right = path.right;
  if (ff::av_frame_apply_cropping(path.cropped, AV_FRAME_CROP_UNALIGNED) < 0) return nullptr;
  return path.cropped;
}

// A writable picture of the encoder's size and format.
AVFrame* OutputPicture(TOutputStreamRec& ost, TVideoPath& path) {
  const AVCodecContext* enc = ost.setup->enc;
  if (!path.picture) {
    path.picture = ff::av_frame_alloc();
    if (!path.picture) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    path.picture->width = enc->width;
    path.picture->height = enc->height;
    path.picture->format = enc->pix_fmt;
    if (ff::av_frame_get_buffer(path.picture, 0) < 0) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
  }
  if (ff::av_frame_make_writable(path.picture) < 0) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
  return path.picture;
}

// Plane pointers of `picture` moved to (x, y), chroma by its subsampling.
void OffsetPlanes(const AVFrame* picture, int x, int y, uint8_t* planes[4]) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
  for (int p = 0; p < 4; ++p) {
    planes[p] = picture->data[p];
    if (!planes[p] || !desc) continue;
    const bool chroma = (p == 1 || p == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
    const int px = chroma ? x >> desc->log2_chroma_w : x;
    const int py = chroma ? y >> desc->log2_chroma_h : y;
    const int step = desc->comp[0].step > 0 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) ? desc->comp[0].step : 1;
    planes[p] += static_cast<ptrdiff_t>(py) * picture->linesize[p] + static_cast<ptrdiff_t>(px) * step;
  }
}

// Set up to scale, or the (cropped) picture no longer fits the encoder as it is,
// because the input changed its size or format since.
bool NeedsScaling(const TOptionValues& o, const TOutputStreamRec& ost, const AVFrame* source) {
  const AVCodecContext* enc = ost.setup->enc;
  return ost.video_resample || source->width + o.frame_padleft + o.frame_padright != enc->width ||
         source->height + o.frame_padtop + o.frame_padbottom != enc->height || source->format != enc->pix_fmt;
}

// The cached scaler is rebuilt whenever the source's size or format differs from the last one.
void Scale(TCustomFFmpeg& engine, TOutputStreamRec& ost, TVideoPath& path, const AVFrame* source, AVFrame* target) {
  const TOptionValues& o = engine.State().opt;
  const AVCodecContext* enc = ost.setup->enc;
  int64_t flags = o.sws_flags;
  if (engine.State().option_contexts.scaler) ff::av_opt_get_int(engine.State().option_contexts.scaler, "sws_flags", 0, &flags);
  const int width = enc->width - o.frame_padleft - o.frame_padright;
  const int height = enc->height - o.frame_padtop - o.frame_padbottom;
  path.sws = ff::sws_getCachedContext(path.sws, source->width, source->height,
                                      static_cast<AVPixelFormat>(source->format), width, height, enc->pix_fmt,
                                      static_cast<int>(flags), nullptr, nullptr, nullptr);
  if (!path.sws) throw FFmpegException("Cannot get resampling context");
  uint8_t* planes[4];
  OffsetPlanes(target, o.frame_padleft, o.frame_padtop, planes);
  ff::sws_scale(path.sws, source->data, source->linesize, 0, source->height, planes, target->linesize);
}

void CopyInto(const TOptionValues& o, const AVFrame* source, AVFrame* target) {
  uint8_t* planes[4];
  OffsetPlanes(target, o.frame_padleft, o.frame_padtop, planes);
  const uint8_t* from[4] = {source->data[0], source->data[1], source->data[2], source->data[3]};
  ff::av_image_copy(planes, target->linesize, from, source->linesize, static_cast<AVPixelFormat>(source->format),
                    source->width, source->height);
}

void FillRect(uint8_t* plane, int linesize, int x, int y, int width, int height, uint8_t value) {
  for (int row = y; row < y + height; ++row) std::memset(plane + static_cast<ptrdiff_t>(row) * linesize + x, value, width);
}

// Paints the borders around the picture in the pad colour (black outside planar YUV).
void Pad(const TOptionValues& o, AVFrame* picture) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
  const bool yuv = desc && (desc->flags & AV_PIX_FMT_FLAG_PLANAR) && !(desc->flags & AV_PIX_FMT_FLAG_RGB) &&
                   desc->nb_components >= 3 && desc->comp[0].depth == 8;
  const int planes = yuv ? 3 : 1;
  for (int p = 0; p < planes; ++p) {
    const int sx = p ? desc->log2_chroma_w : 0, sy = p ? desc->log2_chroma_h : 0;
    const int width = (picture->width + (1 << sx) - 1) >> sx, height = (picture->height + (1 << sy) - 1) >> sy;
    const int top = o.frame_padtop >> sy, bottom = o.frame_padbottom >> sy;
    const int left = o.frame_padleft >> sx, right = o.frame_padright >> sx;
    const uint8_t value = yuv ? o.padcolor[p] : 0;
    const int bytes = yuv ? 1 : std::max(1, ff::av_get_bits_per_pixel(desc) / 8);
    uint8_t* data = picture->data[p];
    FillRect(data, picture->linesize[p], 0, 0, width * bytes, top, value);
    FillRect(data, picture->linesize[p], 0, height - bottom, width * bytes, bottom, value);
    FillRect(data, picture->linesize[p], 0, top, left * bytes, height - top - bottom, value);
    FillRect(data, picture->linesize[p], (width - right) * bytes, top, right * bytes, height - top - bottom, value);
  }
}

// `vstats`: one line per written picture.
void WriteVideoStats(TCustomFFmpeg& engine, const TOutputStreamRec& ost) {
  TEngineState& s = engine.State();
  if (!s.vstats_file) {
    s.vstats_file = std::fopen(s.opt.vstats_filename.c_str(), "w");
    if (!s.vstats_file) throw FFmpegException("fopen fail: " + s.opt.vstats_filename);
  }
  const AVCodecContext* enc = ost.setup->enc;
  const double timeBase = av_q2d(enc->time_base);
  std::string line = Format("frame= %5d q= %2.1f ", ost.frame_number, ost.quality);
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    line += Format("PSNR= %6.2f ", -10.0 * std::log10(static_cast<double>(ost.last_error[0]) /
                                                      (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
  line += Format("f_size= %6d ", ost.last_packet_size);
  const double t = std::max(0.01, static_cast<double>(ost.sync_opts) * timeBase);
  line += Format("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ", s.video_size / 1024.0, t,
                 ost.last_packet_size * 8 / timeBase / 1000.0, s.video_size * 8 / t / 1000.0);
  line += Format("type= %c\n", ost.last_picture_type);
  std::fputs(line.c_str(), s.vstats_file);
}

}  // namespace

void EncodeVideoFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVFrame* frame) {
  TEngineState& s = engine.State();
  const TOptionValues& o = s.opt;
  int frames = FramesForPicture(engine, ost);
  frames = std::min(frames, o.max_frames[AVMEDIA_TYPE_VIDEO] - ost.frame_number);
  if (frames <= 0) return;
  TVideoPath& path = PathOf(ost);
  FollowInputSize(engine, ost, path, frame);
  const AVFrame* source = Cropped(ost, path, frame);
  if (!source) {
    if (o.exit_on_error) throw FFmpegException("error cropping picture");
    EngineLog(engine, media::llError, "error cropping picture");
    return;
  }
  const AVFrame* final = source;
  const bool scale = NeedsScaling(o, ost, source);
  if (scale || ost.video_pad) {
    AVFrame* picture = OutputPicture(ost, path);
    if (scale)
      Scale(engine, ost, path, source, picture);
    else
      CopyInto(o, source, picture);
    if (ost.video_pad) Pad(o, picture);
    final = picture;
  }
  for (int i = 0; i < frames && !engine.StopRequested(); ++i) {
    CheckOutputTime(s, OutputTime(ost));
    AVFrame* send = path.send;
    ff::av_frame_ref(send, final);
    send->pts = ost.sync_opts;
    send->pict_type = AV_PICTURE_TYPE_NONE;
    ff::SetFrameInterlacing(send, ff::FrameIsInterlaced(frame),
                            o.top_field_first < 0 ? ff::FrameIsTopFieldFirst(frame) : o.top_field_first != 0);
    if (o.same_quality) send->quality = static_cast<int>(ist.quality * FF_QP2LAMBDA);
    int64_t written;
    try {
      written = EncodeAndWrite(engine, ost, send);
    } catch (...) {
      ff::av_frame_unref(send);
      throw;
    }
    ff::av_frame_unref(send);
    if (written != AV_NOPTS_VALUE) PreviewPicture(engine, final, written, ost.setup->enc->time_base);
    ost.sync_opts++;
    ost.frame_number++;
    if (written != AV_NOPTS_VALUE && !s.opt.vstats_filename.empty()) WriteVideoStats(engine, ost);
  }
}

void FreeVideoPath(TOutputStreamRec& ost) {
  if (!ost.video) return;
  TVideoPath& path = *ost.video;
  if (path.sws) ff::sws_freeContext(path.sws);
  ff::av_frame_free(&path.cropped);
  ff::av_frame_free(&path.picture);
  ff::av_frame_free(&path.send);
  delete ost.video;
  ost.video = nullptr;
}

}  // namespace strella::engine
