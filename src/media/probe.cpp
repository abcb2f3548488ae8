#include "media/probe.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "media/ff.h"
#include "media/loader.h"
#include "media/orientation.h"
#include "media/text_helpers.h"

namespace strella::media {

namespace {

int64_t MicrosecondsOrUnknown(int64_t value) { return value == AV_NOPTS_VALUE ? -1 : value; }

std::string Tag(const AVDictionary* tags, const char* key) {
  const AVDictionaryEntry* entry = ff::av_dict_get(tags, key, nullptr, 0);
  return entry ? entry->value : "";
}

// The leading number of "2009-05-01", "2009" or "3/12"; 0 when there is none.
int LeadingNumber(const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 10)); }

// Today's containers keep the year, track and creation time as tags.
int YearTag(const AVDictionary* tags) {
  std::string date = Tag(tags, "date");
  return LeadingNumber(date.empty() ? Tag(tags, "year") : date);
}

int64_t CreationTimeTag(const AVDictionary* tags) {
  const std::string text = Tag(tags, "creation_time");
  int64_t microseconds = 0;
  if (text.empty() || ff::av_parse_time(&microseconds, text.c_str(), 0) < 0) return 0;
  return microseconds;
}

// A time base with a zero denominator or numerator cannot rescale; make it usable.
AVRational UsableTimeBase(AVRational base) {
  if (base.den == 0) base.den = base.num;
  if (base.den == 0) base.den = 1;
  return base;
}

int64_t RescaledToMicroseconds(int64_t value, AVRational base) {
  return value == AV_NOPTS_VALUE ? -1 : ff::av_rescale_q(value, base, AV_TIME_BASE_Q);
}

// Width x sample aspect / height; 0 where the division is undefined.
float DisplayAspect(const AVCodecParameters* parameters) {
  const AVRational sar = parameters->sample_aspect_ratio;
  if (sar.den == 0 || parameters->height == 0) return 0.0f;
  return static_cast<float>(parameters->width * (static_cast<double>(sar.num) / sar.den) / parameters->height);
}

// The stored sizes become those of the picture as it is shown.
void TurnUpright(TVideoStreamInfo& info, const TOrientation& orientation) {
  info.Rotation = orientation.rotation;
  if (!orientation.SwapsSides()) return;
  std::swap(info.Width, info.Height);
  if (info.SampleAspectNum > 0) std::swap(info.SampleAspectNum, info.SampleAspectDen);  // unknown stays 0/1
  if (info.AspectRatio > 0) info.AspectRatio = 1.0f / info.AspectRatio;
}

}  // namespace

TCustomAVProbe::TCustomAVProbe() { CountStreams(); }

TCustomAVProbe::~TCustomAVProbe() { TCustomAVProbe::CloseFile(); }

void TCustomAVProbe::CheckLibraries() {
  static const struct {
    TLibraryType type;
    const char* message;
  } kRequired[] = {{ltAVCodec, "LibAVCodec not loaded."},
                   {ltAVFormat, "LibAVFormat not loaded."},
                   {ltAVUtil, "LibAVUtil not loaded."},
                   {ltSwScale, "LibSwScale not loaded."}};
  for (const auto& library : kRequired)
    if (!FFLoader().IsLoaded(library.type)) throw std::runtime_error(library.message);
}

bool TCustomAVProbe::LoadFile(const std::string& AFileName, const std::string& AFormatName) {
  CheckLibraries();
  CloseFile();
  if (!OpenInput(AFileName, AFormatName) || !FindStreamParameters(AFileName)) return false;
  CountStreams();
  format_name_ = AFormatName;
  return true;
}

bool TCustomAVProbe::OpenInput(const std::string& fileName, const std::string& formatName) {
  const AVInputFormat* format = nullptr;
  if (!formatName.empty()) {
    format = ff::av_find_input_format(formatName.c_str());
    if (!format) {
      last_err_msg_ = Format("Unknown input format: %s", formatName.c_str());
      return false;
    }
  }
  format_context_ = ff::avformat_alloc_context();
  if (!format_context_) {
    last_err_msg_ = OpenErrorText(fileName, AVERROR(ENOMEM));
    return false;
  }
  owns_context_ = true;
  // On failure the library frees the context and clears the pointer.
  AVDictionary* options = nullptr;
  AddLiteralNameOptions(fileName, &options);
  const int result = ff::avformat_open_input(&format_context_, FileNameToURL(fileName).c_str(), format, &options);
  ff::av_dict_free(&options);
  if (result < 0) {
    last_err_msg_ = OpenErrorText(fileName, result);
    CloseFile();
    return false;
  }
  return true;
}

bool TCustomAVProbe::FindStreamParameters(const std::string& fileName) {
  int result;
  {
    std::lock_guard guard(CodecLock());
    result = ff::avformat_find_stream_info(format_context_, nullptr);
  }
  if (result < 0) {
    last_err_msg_ = Format("%s: could not find codec parameters", fileName.c_str());
    CloseFile();
    return false;
  }
  return true;
}

void TCustomAVProbe::AttachFormatContext(AVFormatContext* AContext) {
  CheckLibraries();
  CloseFile();
  owns_context_ = false;
  format_context_ = AContext;
  CountStreams();
}

void TCustomAVProbe::CloseFile() {
  format_name_.clear();
  if (format_context_) {
    if (owns_context_) ff::avformat_close_input(&format_context_);
    format_context_ = nullptr;
  }
  CountStreams();
}

void TCustomAVProbe::CountStreams() {
  stream_count_ = program_count_ = -1;
  audio_stream_count_ = video_stream_count_ = subtitle_stream_count_ = -1;
  first_audio_stream_ = first_video_stream_ = first_subtitle_stream_ = -1;
  if (!format_context_) return;
  stream_count_ = static_cast<int>(format_context_->nb_streams);
  program_count_ = static_cast<int>(format_context_->nb_programs);
  audio_stream_count_ = video_stream_count_ = subtitle_stream_count_ = 0;
  for (int index = 0; index < stream_count_; ++index) {
    switch (format_context_->streams[index]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        ++video_stream_count_;
        if (first_video_stream_ < 0) first_video_stream_ = index;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++audio_stream_count_;
        if (first_audio_stream_ < 0) first_audio_stream_ = index;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++subtitle_stream_count_;
        if (first_subtitle_stream_ < 0) first_subtitle_stream_ = index;
        break;
      default:
        break;  // data and attachments count only in StreamCount
    }
  }
}

// Messages go to the library's log without a context, so the sink shows them
// without the "[name @ address]" prefix.
bool TCustomAVProbe::Fail(int libraryLogLevel, const std::string& message) {
  ff::av_log(nullptr, libraryLogLevel, "%s\n", message.c_str());
  last_err_msg_ = message;
  return false;
}

bool TCustomAVProbe::RequireFile() {
  return format_context_ ? true : Fail(AV_LOG_WARNING, "file not loaded.");
}

bool TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& AInfo) {
  AInfo = TFileStreamInfo{};
  if (!RequireFile()) return false;
  const AVDictionary* tags = format_context_->metadata;
  AInfo.StartTime = MicrosecondsOrUnknown(format_context_->start_time);
  AInfo.Duration = MicrosecondsOrUnknown(format_context_->duration);
  AInfo.BitRate = format_context_->bit_rate;
  AInfo.Timestamp = CreationTimeTag(tags);
  AInfo.Year = YearTag(tags);
  AInfo.Track = LeadingNumber(Tag(tags, "track"));
  AInfo.Title = Tag(tags, "title");
  // Today's demuxers name the author "artist".
  AInfo.Author = Tag(tags, "author");
  if (AInfo.Author.empty()) AInfo.Author = Tag(tags, "artist");
  AInfo.Copyright = Tag(tags, "copyright");
  AInfo.Comment = Tag(tags, "comment");
  AInfo.Album = Tag(tags, "album");
  AInfo.Genre = Tag(tags, "genre");
  return true;
}

bool TCustomAVProbe::GetVideoStreamInfo(TVideoStreamInfo& AInfo) { return GetVideoStreamInfo(-1, AInfo); }

bool TCustomAVProbe::GetVideoStreamInfo(int AStreamIndex, TVideoStreamInfo& AInfo) {
  AInfo = TVideoStreamInfo{};
  if (!RequireFile()) return false;
  if (AStreamIndex < 0) {
    AStreamIndex = first_video_stream_;
    if (AStreamIndex < 0) return Fail(AV_LOG_ERROR, "no video stream.");
  } else if (AStreamIndex >= stream_count_) {
    return Fail(AV_LOG_ERROR, Format("stream index #%d is invalid.", AStreamIndex));
  }
  const AVStream* stream = format_context_->streams[AStreamIndex];
  const AVCodecParameters* parameters = stream->codecpar;
  if (parameters->codec_type != AVMEDIA_TYPE_VIDEO)
    return Fail(AV_LOG_ERROR, Format("stream #%d is not video stream.", AStreamIndex));

  AInfo.Language = Tag(stream->metadata, "language");
  AInfo.CodecName = CodecDescription(parameters, false);
  const AVRational timeBase = UsableTimeBase(stream->time_base);
  AInfo.StartTime = stream->start_time;
  AInfo.StartTimeUS = RescaledToMicroseconds(stream->start_time, timeBase);
  AInfo.Duration = stream->duration;
  AInfo.DurationUS = RescaledToMicroseconds(stream->duration, timeBase);
  AInfo.BitRate = parameters->bit_rate;
  AInfo.Height = parameters->height;
  AInfo.Width = parameters->width;
  AInfo.AspectRatio = DisplayAspect(parameters);
  AInfo.PixelFormat = parameters->format;
  AInfo.FrameRateNum = stream->r_frame_rate.num;
  AInfo.FrameRateDen = stream->r_frame_rate.den;
  AInfo.AttachedPicture = (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
  AInfo.AverageFrameRateNum = stream->avg_frame_rate.den ? stream->avg_frame_rate.num : 0;
  AInfo.AverageFrameRateDen = stream->avg_frame_rate.den ? stream->avg_frame_rate.den : 1;
  const AVRational sar = stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio : parameters->sample_aspect_ratio;
  AInfo.SampleAspectNum = sar.num > 0 && sar.den > 0 ? sar.num : 0;
  AInfo.SampleAspectDen = sar.num > 0 && sar.den > 0 ? sar.den : 1;
  TurnUpright(AInfo, StreamOrientation(stream));
  return true;
}

TTrackKind TrackKindOf(int ACodecType) {
  switch (ACodecType) {
    case AVMEDIA_TYPE_VIDEO: return TTrackKind::Video;
    case AVMEDIA_TYPE_AUDIO: return TTrackKind::Audio;
    case AVMEDIA_TYPE_SUBTITLE: return TTrackKind::Subtitle;
    default: return TTrackKind::Other;
  }
}

namespace {

TTrackInfo TrackOf(const AVStream* stream) {
  const AVCodecParameters* parameters = stream->codecpar;
  TTrackInfo track;
  track.Index = stream->index;
  track.Kind = TrackKindOf(parameters->codec_type);
  track.CodecName = ff::avcodec_get_name(parameters->codec_id);
  track.Language = Tag(stream->metadata, "language");
  track.Title = Tag(stream->metadata, "title");
  track.Default = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
  track.AttachedPicture = (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
  const AVCodecDescriptor* descriptor = ff::avcodec_descriptor_get(parameters->codec_id);
  track.BitmapSubtitle = descriptor && (descriptor->props & AV_CODEC_PROP_BITMAP_SUB) != 0;
  track.Decodable = ff::avcodec_find_decoder(parameters->codec_id) != nullptr;
  if (track.Kind == TTrackKind::Audio) track.Channels = parameters->ch_layout.nb_channels;
  return track;
}

}  // namespace

std::vector<TTrackInfo> TCustomAVProbe::Tracks() const {
  std::vector<TTrackInfo> tracks;
  if (!format_context_) return tracks;
  for (unsigned index = 0; index < format_context_->nb_streams; ++index)
    tracks.push_back(TrackOf(format_context_->streams[index]));
  return tracks;
}

bool TCustomAVProbe::MeasureFrameRate(int AStreamIndex, int& ANum, int& ADen) {
  if (!RequireFile() || !owns_context_ || AStreamIndex < 0 || AStreamIndex >= stream_count_) return false;
  constexpr size_t kPictures = 120;
  constexpr int kPacketLimit = 2000;
  std::vector<int64_t> times;
  AVPacket* packet = ff::av_packet_alloc();
  for (int read = 0; read < kPacketLimit && times.size() < kPictures && ff::av_read_frame(format_context_, packet) >= 0;
       ++read) {
    if (packet->stream_index == AStreamIndex && packet->pts != AV_NOPTS_VALUE) times.push_back(packet->pts);
    ff::av_packet_unref(packet);
  }
  ff::av_packet_free(&packet);
  if (times.size() < 3) return false;
  std::sort(times.begin(), times.end());
  const double span = static_cast<double>(times.back() - times.front()) *
                      av_q2d(UsableTimeBase(format_context_->streams[AStreamIndex]->time_base));
  if (span <= 0) return false;
  ANum = static_cast<int>(std::llround(static_cast<double>(times.size() - 1) / span * 1000));
  ADen = 1000;
  return ANum > 0;
}

int64_t TCustomAVProbe::MeasureDurationUS() {
  if (!RequireFile() || !owns_context_) return -1;
  int64_t first = INT64_MAX, last = INT64_MIN;
  AVPacket* packet = ff::av_packet_alloc();
  while (packet && ff::av_read_frame(format_context_, packet) >= 0) {
    const AVStream* stream = format_context_->streams[packet->stream_index];
    const int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (start != AV_NOPTS_VALUE && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      const AVRational base = UsableTimeBase(stream->time_base);
      first = std::min(first, ff::av_rescale_q(start, base, AV_TIME_BASE_Q));
      last = std::max(last, ff::av_rescale_q(start + std::max<int64_t>(packet->duration, 0), base, AV_TIME_BASE_Q));
    }
    ff::av_packet_unref(packet);
  }
  ff::av_packet_free(&packet);
  return last > first ? last - first : -1;
}

TAVProbe::~TAVProbe() { TAVProbe::CloseFile(); }

void TAVProbe::CloseFile() { TCustomAVProbe::CloseFile(); }

}  // namespace strella::media
