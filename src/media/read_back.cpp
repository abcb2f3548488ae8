#include "media/read_back.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "media/ff.h"
#include "media/ff_compat.h"
#include "media/file_reader.h"
#include "media/filter_chain.h"
#include "media/loader.h"
#include "media/text_helpers.h"

namespace strella::media {
namespace {

// How often the reading asks whether to stop: a few milliseconds of work.
constexpr int kPacketsBetweenStopChecks = 64;

// One stream as it is read: its decoder and what its frames cover so far.
struct TStreamState {
  TStreamReadBack result;
  const AVStream* stream = nullptr;
  DecoderPtr decoder;
  bool decoderTried = false;
  int64_t firstUS = INT64_MAX, lastStartUS = INT64_MIN, endUS = INT64_MIN;  // video pictures
  int64_t samplesUS = 0;                           // audio: whole microseconds of samples counted
  int64_t lastPictureUS = AV_NOPTS_VALUE;          // video: to time a picture that carries no duration
  int64_t lastGapUS = 0;
};

bool Decoded(const TStreamState& state) {
  return state.result.Kind == TTrackKind::Audio || state.result.Kind == TTrackKind::Video;
}

// Every packet is decoded, with all the decoder's threads; a picture skips
// the loop filter, which changes how it looks, not whether it decodes.
DecoderPtr OpenDecoder(const AVStream* stream, std::string& error) {
  const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) {
    error = Format("no decoder for %s", ff::avcodec_get_name(stream->codecpar->codec_id));
    return nullptr;
  }
  DecoderPtr decoder(ff::avcodec_alloc_context3(codec));
  if (!decoder) {
    error = "out of memory";
    return nullptr;
  }
  int result = ff::avcodec_parameters_to_context(decoder.get(), stream->codecpar);
  decoder->pkt_timebase = stream->time_base;
  decoder->thread_count = 0;
  decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) decoder->skip_loop_filter = AVDISCARD_ALL;
  if (result >= 0) {
    std::lock_guard guard(CodecLock());
    result = ff::avcodec_open2(decoder.get(), codec, nullptr);
  }
  if (result < 0) {
    error = "the decoder cannot be opened: " + ff::ErrorText(result);
    return nullptr;
  }
  return decoder;
}

int64_t ToMicroseconds(int64_t value, AVRational base) {
  if (base.num <= 0 || base.den <= 0) return value;
  return ff::av_rescale_q(value, base, AV_TIME_BASE_Q);
}

// A picture's length: its own, else the stream's rate, else the gap to the picture before it.
int64_t PictureDurationUS(TStreamState& state, const AVFrame* frame, int64_t startUS) {
  if (const int64_t duration = ff::FrameDuration(frame); duration > 0)
    return ToMicroseconds(duration, state.stream->time_base);
  if (state.lastPictureUS != AV_NOPTS_VALUE && startUS > state.lastPictureUS)
    state.lastGapUS = startUS - state.lastPictureUS;
  state.lastPictureUS = startUS;
  if (state.lastGapUS > 0) return state.lastGapUS;
  const AVRational rate = state.stream->avg_frame_rate.num > 0 ? state.stream->avg_frame_rate : state.stream->r_frame_rate;
  return rate.num > 0 && rate.den > 0 ? ff::av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q) : 0;
}

void CountFrame(TStreamState& state, const AVFrame* frame) {
  ++state.result.Frames;
  if ((frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags)
    if (state.result.Error.empty()) state.result.Error = "a damaged frame was decoded";
  if (state.result.Kind == TTrackKind::Audio) {
    if (frame->sample_rate > 0) state.samplesUS += ff::av_rescale(frame->nb_samples, 1000000, frame->sample_rate);
    return;
  }
  const int64_t stamp = frame->best_effort_timestamp;
  if (stamp == AV_NOPTS_VALUE) return;
  const int64_t start = ToMicroseconds(stamp, state.stream->time_base);
  state.firstUS = std::min(state.firstUS, start);
  state.lastStartUS = std::max(state.lastStartUS, start);
  state.endUS = std::max(state.endUS, start + PictureDurationUS(state, frame, start));
}

void NoteError(TStreamState& state, const std::string& what, int code) {
  if (state.result.Error.empty()) state.result.Error = what + ": " + ff::ErrorText(code);
}

// Sends one packet (null: the end) and takes every frame the decoder gives.
void Decode(TStreamState& state, const AVPacket* packet, AVFrame* frame) {
  int result = ff::avcodec_send_packet(state.decoder.get(), packet);
  if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF) NoteError(state, "a packet does not decode", result);
  while ((result = ff::avcodec_receive_frame(state.decoder.get(), frame)) >= 0) {
    CountFrame(state, frame);
    ff::av_frame_unref(frame);
  }
  if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) NoteError(state, "a frame does not decode", result);
}

TStreamState& StateOf(std::vector<TStreamState>& states, const AVStream* stream) {
  const size_t index = static_cast<size_t>(stream->index);
  if (states.size() <= index) states.resize(index + 1);
  TStreamState& state = states[index];
  if (!state.stream) {
    state.stream = stream;
    state.result.Index = stream->index;
    state.result.Kind = TrackKindOf(stream->codecpar->codec_type);
    state.result.AttachedPicture = (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
  }
  return state;
}

void TakePacket(TStreamState& state, const AVPacket* packet, AVFrame* frame) {
  if (!Decoded(state)) {
    ++state.result.Frames;
    return;
  }
  if (!state.decoderTried) {
    state.decoderTried = true;
    std::string error;
    state.decoder = OpenDecoder(state.stream, error);
    if (!state.decoder) state.result.Error = error;
  }
  if (!state.decoder) return;
  if ((packet->flags & AV_PKT_FLAG_CORRUPT) && state.result.Error.empty()) state.result.Error = "a packet is damaged";
  Decode(state, packet, frame);
}

void Finish(TStreamState& state, AVFrame* frame) {
  if (state.decoder) Decode(state, nullptr, frame);
  if (state.result.Kind == TTrackKind::Audio) state.result.DurationUS = state.samplesUS;
  if (state.result.Kind != TTrackKind::Video || state.firstUS == INT64_MAX) return;
  state.result.DurationUS = state.endUS - state.firstUS;
  state.result.SpanUS = state.lastStartUS - state.firstUS;
}

}  // namespace

TReadBack ReadBackMedia(const std::string& AFileName, const std::function<bool()>& AStop) {
  TReadBack back;
  InputPtr input = OpenFileHeader(AFileName, back.Error);
  if (!input) return back;
  back.Opened = true;
  PacketPtr packet(ff::av_packet_alloc());
  FramePtr frame(ff::av_frame_alloc());
  if (!packet || !frame) {
    back.Error = "out of memory";
    return back;
  }
  std::vector<TStreamState> states;
  // Streams the header names are there even when no packet of theirs follows.
  for (unsigned i = 0; i < input->nb_streams; ++i) StateOf(states, input->streams[i]);
  for (int count = 1;; ++count) {
    if (AStop && count % kPacketsBetweenStopChecks == 0 && AStop()) {
      back.Stopped = true;
      return back;
    }
    const int result = ff::av_read_frame(input.get(), packet.get());
    if (result == AVERROR_EOF) break;
    if (result < 0) {
      back.Error = "it cannot be read to its end: " + ff::ErrorText(result);
      break;
    }
    TakePacket(StateOf(states, input->streams[packet->stream_index]), packet.get(), frame.get());
    ff::av_packet_unref(packet.get());
  }
  for (TStreamState& state : states) {
    if (!state.stream) continue;
    Finish(state, frame.get());
    back.Streams.push_back(std::move(state.result));
  }
  return back;
}

}  // namespace strella::media
