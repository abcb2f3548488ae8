// Reading a finished output back (verify_output.h): what each output stream
// was given during the run, and the check of the written file against it.
#include "engine/verify_output.h"

#include <algorithm>
#include <map>

#include "engine/stages.h"
#include "media/read_back.h"

namespace strella::engine {
namespace {

using media::Format;
using media::TTrackKind;

constexpr int64_t kSoundToleranceUS = 50000;
constexpr int64_t kRoundingUS = 1000;

// One stream the run wrote, as the check sees it. Streams are matched by kind
// and order: a cover picture may come back before or after the sound.
struct TPlannedStream {
  int index = -1;
  TTrackKind kind = TTrackKind::Other;
  bool attachedPicture = false;
  bool timed = false;  // its length is checked
  TGivenMedia given;
  int64_t outputFrameUS = 0;  // one picture, or one sound frame, of the output; 0 when unknown
};

bool IsAttachedPicture(const AVStream* st) { return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; }

void Merge(TGivenMedia& into, const TGivenMedia& from) {
  into.frames += from.frames;
  into.first_us = std::min(into.first_us, from.first_us);
  into.last_start_us = std::max(into.last_start_us, from.last_start_us);
  into.end_us = std::max(into.end_us, from.end_us);
  into.sound_us += from.sound_us;
}

// One picture, or one sound frame of the encoder, of the output, in microseconds.
int64_t OutputFrameUS(const TOutputStreamRec& ost) {
  const AVCodecContext* enc = ost.setup->enc;
  if (enc && enc->codec_type == AVMEDIA_TYPE_AUDIO)
    return enc->frame_size > 0 && enc->sample_rate > 0 ? int64_t{enc->frame_size} * 1000000 / enc->sample_rate : 0;
  AVRational rate = enc && enc->framerate.num > 0 && enc->framerate.den > 0 ? enc->framerate : ost.st->avg_frame_rate;
  return rate.num > 0 && rate.den > 0 ? ff::av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q) : 0;
}

// The streams of one output file; the sets of join mode add up.
std::vector<TPlannedStream> PlanOf(const TEngineState& s, const TOutputFile& file) {
  std::map<int, TPlannedStream> byIndex;
  for (const TOutputStreamRec& ost : s.ost_table) {
    if (s.output_slots[ost.file_index] != &file || !ost.st) continue;
    TPlannedStream& planned = byIndex[ost.st->index];
    planned.index = ost.st->index;
    planned.kind = media::TrackKindOf(ost.st->codecpar->codec_type);
    planned.attachedPicture = IsAttachedPicture(ost.st);
    const int type = ost.st->codecpar->codec_type;
    // A frame limit (-frames) ends a stream early on purpose.
    const bool limited = type >= 0 && type < 5 && s.opt.max_frames[type] != kNoFrameLimit;
    planned.timed = (planned.kind == TTrackKind::Audio || planned.kind == TTrackKind::Video) &&
                    !planned.attachedPicture && !limited;
    planned.outputFrameUS = OutputFrameUS(ost);
    Merge(planned.given, ost.given);
  }
  std::vector<TPlannedStream> plan;
  for (auto& [index, planned] : byIndex) plan.push_back(planned);
  return plan;
}

bool SameGroup(const TPlannedStream& planned, const media::TStreamReadBack& back) {
  return planned.kind == back.Kind && planned.attachedPicture == back.AttachedPicture;
}

std::string KindName(TTrackKind kind, bool attachedPicture) {
  if (attachedPicture) return "cover picture";
  switch (kind) {
    case TTrackKind::Video: return "video";
    case TTrackKind::Audio: return "audio";
    case TTrackKind::Subtitle: return "subtitles";
    default: return "data";
  }
}

// "audio", or "audio stream #2" when the output has more than one of its kind.
std::string StreamName(const TPlannedStream& planned, const std::vector<TPlannedStream>& plan) {
  const auto sameKind = std::count_if(plan.begin(), plan.end(), [&](const TPlannedStream& other) {
    return other.kind == planned.kind && other.attachedPicture == planned.attachedPicture;
  });
  const std::string kind = KindName(planned.kind, planned.attachedPicture);
  return sameKind > 1 ? Format("%s stream #%d", kind.c_str(), planned.index) : kind;
}

double Seconds(int64_t us) { return static_cast<double>(us) / 1e6; }

int64_t ExpectedUS(const TPlannedStream& planned) {
  if (planned.kind == TTrackKind::Audio) return planned.given.sound_us;
  return planned.given.frames > 0 ? planned.given.end_us - planned.given.first_us : 0;
}

// Pictures are compared start to start (a last picture's own length is often
// unknown or cut to the output's rate), within one picture of each rate: a
// change of rate can round a picture away at either end.
std::string ShortVideo(const TPlannedStream& planned, const media::TStreamReadBack& back) {
  const TGivenMedia& given = planned.given;
  const int64_t givenSpan = given.last_start_us - given.first_us;
  const int64_t sourceFrame = given.frames > 1 ? givenSpan / (given.frames - 1) : 0;
  const int64_t tolerance = planned.outputFrameUS + sourceFrame + kRoundingUS;
  if (back.SpanUS + tolerance >= givenSpan) return {};
  return Format("lasts %.2f s of %.2f s", Seconds(back.DurationUS), Seconds(ExpectedUS(planned)));
}

// Sound within 50 ms, and one encoder frame more: a muxer may keep the last,
// partial frame back (MP3 in SWF).
std::string ShortSound(const TPlannedStream& planned, const media::TStreamReadBack& back) {
  if (back.DurationUS + kSoundToleranceUS + planned.outputFrameUS >= planned.given.sound_us) return {};
  return Format("lasts %.2f s of %.2f s", Seconds(back.DurationUS), Seconds(planned.given.sound_us));
}

// Why the stream read back is not what the run wrote; empty when it is.
std::string StreamFault(const TPlannedStream& planned, const media::TStreamReadBack& back) {
  if (!back.Error.empty()) return "does not decode (" + back.Error + ")";
  const bool media = planned.kind == TTrackKind::Audio || planned.kind == TTrackKind::Video;
  if (media && back.Frames == 0) return planned.kind == TTrackKind::Audio ? "holds no sound" : "holds no picture";
  if (!planned.timed || planned.given.frames == 0) return {};
  return planned.kind == TTrackKind::Audio ? ShortSound(planned, back) : ShortVideo(planned, back);
}

TVerifiedStream Verified(const TPlannedStream& planned, const media::TStreamReadBack& back) {
  TVerifiedStream stream;
  stream.Index = planned.index;
  stream.Kind = planned.kind;
  stream.AttachedPicture = planned.attachedPicture;
  stream.Timed = planned.timed && planned.given.frames > 0;
  if (stream.Timed) {
    stream.ExpectedUS = ExpectedUS(planned);
    stream.MeasuredUS = back.DurationUS;
  }
  return stream;
}

// Checks the file read back against the plan: the verified output, or the fault.
std::string CheckOutput(const std::vector<TPlannedStream>& plan, const media::TReadBack& back, TVerifiedOutput& AVerified) {
  if (!back.Opened) return "The output cannot be read back: " + back.Error;
  if (!back.Error.empty()) return "The output " + back.Error;
  std::vector<bool> taken(back.Streams.size(), false);
  for (const TPlannedStream& planned : plan) {
    size_t match = 0;
    while (match < back.Streams.size() && (taken[match] || !SameGroup(planned, back.Streams[match]))) ++match;
    const std::string name = StreamName(planned, plan);
    if (match == back.Streams.size()) return "The output lacks its " + name;
    taken[match] = true;
    if (const std::string fault = StreamFault(planned, back.Streams[match]); !fault.empty())
      return "The output's " + name + " " + fault;
    AVerified.Streams.push_back(Verified(planned, back.Streams[match]));
  }
  return {};
}

}  // namespace

void NoteGivenFrame(TOutputStreamRec& ost, const TInputStreamRec& ist) {
  TGivenMedia& given = ost.given;
  ++given.frames;
  given.first_us = std::min(given.first_us, ist.pts);
  given.last_start_us = std::max(given.last_start_us, ist.pts);
  given.end_us = std::max(given.end_us, ist.next_pts);
  if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && ist.next_pts > ist.pts) given.sound_us += ist.next_pts - ist.pts;
}

void VerifyOutputs(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  s.verified_outputs.clear();
  if (!s.opt.verify_output) return;
  std::vector<TVerifiedOutput> verified;
  for (const auto& file : s.output_owned) {
    // A muxer that writes no file (the null muxer) leaves nothing to read.
    if (!file->ctx || (file->ctx->oformat->flags & AVFMT_NOFILE)) continue;
    if (file->ctx->pb) ff::avio_flush(file->ctx->pb);
    const media::TReadBack back = media::ReadBackMedia(file->file_name, [&engine] { return engine.StopRequested(); });
    if (back.Stopped) return;
    TVerifiedOutput output;
    output.FileName = file->file_name;
    if (const std::string fault = CheckOutput(PlanOf(s, *file), back, output); !fault.empty()) {
      media::RemoveRegularFile(file->file_name);
      throw FFmpegException(fault);
    }
    EngineLog(engine, media::llInfo, "The output was read back in full: " + DescribeVerifiedOutput(output));
    verified.push_back(std::move(output));
  }
  s.verified_outputs = std::move(verified);
}

const std::vector<TVerifiedOutput>& VerifiedOutputs(const TCustomFFmpeg& AEngine) {
  return AEngine.State().verified_outputs;
}

std::string DescribeVerifiedOutput(const TVerifiedOutput& AOutput) {
  std::string text;
  for (const TVerifiedStream& stream : AOutput.Streams) {
    if (!text.empty()) text += ", ";
    text += KindName(stream.Kind, stream.AttachedPicture);
    if (stream.Timed) text += Format(" %.2f s of %.2f s", Seconds(stream.MeasuredUS), Seconds(stream.ExpectedUS));
  }
  return text;
}

}  // namespace strella::engine
