// The progress report: what the run has done so far, through the progress
// callback or, without one, as a status line in the log; the last report
// adds the byte statistics.
#include <array>
#include <cmath>
#include <mutex>

#include "engine/stages.h"

namespace strella::engine {
namespace {

using media::Format;

// The quantiser histogram of `qphist`, one per process.
std::array<int, 52>& QuantiserHistogram() {
  static std::array<int, 52> histogram{};
  return histogram;
}
std::mutex& HistogramLock() {
  static std::mutex lock;
  return lock;
}

int64_t TotalSize(const TEngineState& s) {
  AVIOContext* pb = s.output_slots.empty() ? nullptr : s.output_slots[0]->ctx->pb;
  if (!pb) return 0;
  ff::avio_flush(pb);
  const int64_t size = ff::avio_size(pb);
  return size >= 0 ? size : ff::avio_seek(pb, 0, SEEK_CUR);
}

bool IsVideo(const TOutputStreamRec& ost) { return ost.setup->enc && ost.setup->enc->codec_type == AVMEDIA_TYPE_VIDEO; }

float QualityOf(const TOutputStreamRec& ost) { return ost.encoding_needed ? ost.quality : -1.0f; }

double Psnr(double error, double scale) { return -10.0 * std::log10(error / scale); }

std::string PsnrText(const TOutputStreamRec& ost, bool isLast) {
  const AVCodecContext* enc = ost.setup->enc;
  std::string text = "PSNR=";
  double errorSum = 0, scaleSum = 0;
  for (int plane = 0; plane < 3; ++plane) {
    const double error = static_cast<double>(isLast ? ost.total_error[plane] : ost.last_error[plane]);
    double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
    if (isLast) scale *= ost.frame_number;
    if (plane) scale /= 4;
    errorSum += error;
    scaleSum += scale;
    text += Format("%c:%2.2f ", "YUV"[plane], Psnr(error, scale));
  }
  return text + Format("*:%2.2f ", Psnr(errorSum, scaleSum));
}

std::string QuantiserHistogramText(float quality) {
  std::lock_guard guard(HistogramLock());
  auto& histogram = QuantiserHistogram();
  const int q = static_cast<int>(std::lround(quality));
  if (q >= 0 && q < 52) histogram[q]++;
  std::string text;
  for (int i = 0; i < 32; ++i) text += Format("%X", static_cast<int>(std::lround(std::log2(histogram[i] + 1))));
  return text;
}

}  // namespace

void ReportProgress(TCustomFFmpeg& engine, bool isLast) {
  const TEngineState& s = engine.State();
  if (s.ost_table.empty()) return;
  const int64_t totalSize = TotalSize(s);
  std::string text;
  int frames = -1, fps = -1;
  float quality = -1.0f;
  double time = 1e10;
  bool firstVideoSeen = false;
  for (const TOutputStreamRec& ost : s.ost_table) {
    if (IsVideo(ost) && firstVideoSeen) {
      text += Format("q=%2.1f ", QualityOf(ost));
    } else if (IsVideo(ost)) {
      firstVideoSeen = true;
      const float elapsed = static_cast<float>(ff::av_gettime() - s.timer_start) / 1000000.0f;
      frames = ost.frame_number;
      if (frames < 1) return;  // nothing to show before the first picture
      fps = elapsed > 1 ? static_cast<int>(frames / elapsed + 0.5f) : 0;
      quality = QualityOf(ost);
      text += Format("frame=%5d fps=%3d q=%3.1f ", frames, fps, quality);
      if (isLast) text += "L";
      if (s.opt.qp_hist) text += QuantiserHistogramText(quality);
      if (ost.setup->enc->flags & AV_CODEC_FLAG_PSNR) text += PsnrText(ost, isLast);
    }
    const double streamTime = OutputTime(ost);
    if (streamTime > 0 && streamTime < time) time = streamTime;
  }
  // No stream has a time yet (nothing written): the floor, not 1e10 s.
  if (time < 0.01 || time >= 1e10) time = 0.01;
  const bool callback = static_cast<bool>(engine.ProgressCallback);
  if (callback || s.opt.verbose > 0 || isLast) {
    const float bitRate = static_cast<float>(totalSize * 8 / time / 1000.0);
    text += Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024.0, time, bitRate);
    if (s.opt.verbose > 1) text += Format(" dup=%d drop=%d", s.nb_frames_dup, s.nb_frames_drop);
    if (callback)
      engine.ProgressCallback(&engine, frames, fps, static_cast<int>(time * 1000), quality, bitRate, totalSize,
                              static_cast<int>(engine.TotalDuration()));
    else if (s.opt.verbose >= 0)
      EngineLog(engine, media::llVerbose, text);
  }
  if (isLast && s.opt.verbose >= 0) {
    const double payload = static_cast<double>(s.video_size + s.audio_size + s.extra_size);
    const double overhead = payload > 0 ? (static_cast<double>(totalSize) - payload) * 100.0 / payload : 0.0;
    EngineLog(engine, media::llVerbose,
              Format("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                     s.video_size / 1024.0, s.audio_size / 1024.0, s.extra_size / 1024.0, overhead));
  }
}

}  // namespace strella::engine
