// The video output path: each decoded picture goes through the stream's
// filter graph (video_graph.cpp); what comes out is synchronised to the
// output's frame rate by duplicating and dropping, encoded and written.
#include <cmath>

#include "engine/transcode_paths.h"
#include "engine/video_graph.h"

namespace strella::engine {
namespace {

using media::Format;

// How many times this picture is encoded: 0 drops it, more than 1 duplicates it.
int FramesForPicture(TCustomFFmpeg& engine, TOutputStreamRec& ost, int64_t pictureTime) {
  TEngineState& s = engine.State();
  const TOptionValues& o = s.opt;
  const AVCodecContext* enc = ost.setup->enc;
  const double tb = av_q2d(enc->time_base);
  const double inputTime = static_cast<double>(pictureTime - o.start_time) / 1000000.0;
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

// When the picture is shown, in microseconds: its own time out of the graph,
// or the time of the stream the output is synchronised to.
int64_t PictureTime(const TEngineState& s, const TOutputStreamRec& ost, const AVFrame* picture) {
  if (ost.sync_ist != ost.source_index || picture->pts == AV_NOPTS_VALUE) return s.ist_table[ost.sync_ist].pts;
  return picture->pts;
}

// One filtered picture, encoded as many times as the frame rate asks.
void EncodePicture(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVFrame* picture) {
  TEngineState& s = engine.State();
  const TOptionValues& o = s.opt;
  int frames = FramesForPicture(engine, ost, PictureTime(s, ost, picture));
  frames = std::min(frames, o.max_frames[AVMEDIA_TYPE_VIDEO] - ost.frame_number);
  const bool interlaced = ff::FrameIsInterlaced(picture);
  const bool topFirst = o.top_field_first < 0 ? ff::FrameIsTopFieldFirst(picture) : o.top_field_first != 0;
  for (int i = 0; i < frames && !engine.StopRequested(); ++i) {
    CheckOutputTime(s, OutputTime(ost));
    AVFrame* send = ost.video->send.get();
    ff::av_frame_ref(send, picture);
    send->pts = ost.sync_opts;
    send->pict_type = AV_PICTURE_TYPE_NONE;
    send->sample_aspect_ratio = ost.setup->enc->sample_aspect_ratio;
    ff::SetFrameInterlacing(send, interlaced, topFirst);
    if (o.same_quality) send->quality = static_cast<int>(ist.quality * FF_QP2LAMBDA);
    int64_t written;
    try {
      written = EncodeAndWrite(engine, ost, send);
    } catch (...) {
      ff::av_frame_unref(send);
      throw;
    }
    ff::av_frame_unref(send);
    if (written != AV_NOPTS_VALUE) PreviewPicture(engine, picture, written, ost.setup->enc->time_base);
    ost.sync_opts++;
    ost.frame_number++;
    if (written != AV_NOPTS_VALUE && !s.opt.vstats_filename.empty()) WriteVideoStats(engine, ost);
  }
}

}  // namespace

void EncodeVideoFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVFrame* frame) {
  if (ost.frame_number >= engine.State().opt.max_frames[AVMEDIA_TYPE_VIDEO]) return;
  FilterVideoFrame(engine, ost, ist, frame, [&](AVFrame* picture) { EncodePicture(engine, ost, ist, picture); });
}

void CountInSourceTime(TOutputStreamRec& ost, const TInputStreamRec& ist) {
  AVCodecContext* enc = ost.setup->enc;
  const AVCodec* codec = ost.setup->codec ? ost.setup->codec : ff::avcodec_find_encoder(enc->codec_id);
  const AVRational source = ist.st->time_base;
  // Codecs with a list of rates count whole frames; MPEG-4 part 2 and H.263 hold 16-bit clocks.
  if (ff::SupportedFrameRates(enc, codec) || source.num <= 0 || source.den <= 0 || source.den > 65535) return;
  if (av_cmp_q(source, enc->time_base) < 0) enc->time_base = source;
}

void FlushVideoPath(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  if (!ost.video || !ost.video->graph.graph) return;
  TInputStreamRec& ist = engine.State().ist_table[ost.source_index];
  FilterVideoFrame(engine, ost, ist, nullptr, [&](AVFrame* picture) { EncodePicture(engine, ost, ist, picture); });
}

void FreeVideoPath(TOutputStreamRec& ost) {
  delete ost.video;
  ost.video = nullptr;
}

}  // namespace strella::engine
