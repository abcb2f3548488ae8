// The progress report: what the run has done so far, through the progress
// callback or, without one, as a status line in the log.
#include "engine/stages.h"

namespace strella::engine {
namespace {

using media::Format;

const TOutputStreamRec* FirstVideoOutput(const TEngineState& s) {
  for (const TOutputStreamRec& ost : s.ost_table)
    if (ost.setup->enc && ost.setup->enc->codec_type == AVMEDIA_TYPE_VIDEO) return &ost;
  return nullptr;
}

int64_t TotalOutputSize(const TEngineState& s) {
  AVIOContext* pb = s.output_slots.empty() ? nullptr : s.output_slots[0]->ctx->pb;
  const int64_t position = pb ? ff::avio_seek(pb, 0, SEEK_CUR) : 0;
  return position > 0 ? position : s.video_size + s.audio_size;
}

double LongestOutputTime(const TEngineState& s) {
  double seconds = 0;
  for (const TOutputStreamRec& ost : s.ost_table) seconds = std::max(seconds, OutputTime(ost));
  return seconds;
}

}  // namespace

void ReportProgress(TCustomFFmpeg& engine, bool isLast) {
  const TEngineState& s = engine.State();
  if (s.ost_table.empty()) return;
  const TOutputStreamRec* video = FirstVideoOutput(s);
  const double elapsed = static_cast<double>(ff::av_gettime() - s.timer_start) / 1000000.0;
  const int frames = video ? video->frame_number : -1;
  const int fps = video ? (elapsed > 1 ? static_cast<int>(frames / elapsed + 0.5) : 0) : -1;
  const float quality = video ? static_cast<float>(s.ist_table[video->source_index].quality) : -1.0f;
  const double seconds = LongestOutputTime(s);
  const int64_t size = TotalOutputSize(s);
  const float bitRate = seconds > 0 ? static_cast<float>(size * 8 / seconds / 1000.0) : 0.0f;
  const int milliseconds = static_cast<int>(seconds * 1000);
  if (engine.ProgressCallback) {
    if (video && frames == 0) return;  // nothing to show before the first picture
    engine.ProgressCallback(&engine, frames, fps, milliseconds, quality, bitRate, size,
                            static_cast<int>(engine.TotalDuration()));
    return;
  }
  const std::string line = Format("frame=%5d fps=%3d q=%3.1f %s size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                                  frames, fps, quality, isLast ? "Lsize" : "", size / 1024.0, seconds, bitRate);
  EngineLog(engine, media::llInfo, line);
  if (isLast)
    EngineLog(engine, media::llInfo,
              Format("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB", s.video_size / 1024.0,
                     s.audio_size / 1024.0, s.extra_size / 1024.0));
}

}  // namespace strella::engine
