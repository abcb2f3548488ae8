// Option handlers that check, parse or convert their value before storing it,
// and the typed setters the encoder's option records use.
#include "engine/option_handlers.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "engine/stages.h"
#include "media/loader.h"

namespace strella::engine {
namespace {

using media::Format;

[[noreturn]] void Fail(const std::string& message) { throw FFmpegException(message); }

bool ParseInteger(const std::string& value, int64_t& result) {
  size_t pos = 0;
  while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
  bool negative = false;
  if (pos < value.size() && (value[pos] == '+' || value[pos] == '-')) negative = value[pos++] == '-';
  int base = 10;
  if (value.compare(pos, 1, "$") == 0 || value.compare(pos, 1, "x") == 0 || value.compare(pos, 1, "X") == 0) {
    base = 16;
    pos += 1;
  } else if (value.compare(pos, 2, "0x") == 0 || value.compare(pos, 2, "0X") == 0) {
    base = 16;
    pos += 2;
  }
  if (pos >= value.size()) return false;
  uint64_t magnitude = 0;
  for (; pos < value.size(); ++pos) {
    const char c = value[pos];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    if (magnitude > (UINT64_MAX - digit) / base) return false;
    magnitude = magnitude * base + digit;
  }
  if (magnitude > static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0)) return false;
  result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

// strtol with base 0, as the map texts are read: returns where the digits end.
long LeadingInteger(const char*& text) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 0);
  text = end;
  return number;
}

void SkipOne(const char*& text) {
  if (*text) ++text;
}

}  // namespace

int32_t IntValue(const std::string& value) {
  int64_t result = 0;
  if (!ParseInteger(value, result) || result < INT32_MIN || result > INT32_MAX)
    Fail(Format("'%s' is not a valid integer value", value.c_str()));
  return static_cast<int32_t>(result);
}

int64_t Int64Value(const std::string& value) {
  int64_t result = 0;
  if (!ParseInteger(value, result)) Fail(Format("'%s' is not a valid integer value", value.c_str()));
  return result;
}

float FloatValue(const std::string& value) {
  size_t pos = 0;
  while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
  const char* start = value.c_str() + pos;
  char* end = nullptr;
  errno = 0;
  const double result = std::strtod(start, &end);
  if (end == start || *end != '\0' || errno == ERANGE || std::isnan(result))
    Fail(Format("'%s' is not a valid floating point value", value.c_str()));
  return static_cast<float>(result);
}

// ---- formats and times ----

void OptFormat(TCustomFFmpeg& engine, const std::string& value) {
  if (value.empty()) return;
  TOptionValues& opt = engine.State().opt;
  std::string name = value;
  if (name == "pgmyuv") {
    name = "image2";
    opt.pgmyuv = true;
    EngineLog(engine, media::llInfo, "pgmyuv format is deprecated, use image2");
  }
  opt.file_iformat = ff::av_find_input_format(name.c_str());
  opt.file_oformat = ff::av_guess_format(name.c_str(), nullptr, nullptr);
  if (!opt.file_iformat && !opt.file_oformat) Fail(Format("Unknown input or output format: %s", name.c_str()));
}

void TCustomFFmpeg::SetInputFormat(const std::string& name) {
  if (name.empty()) return;
  std::string format = name;
  if (format == "pgmyuv") {
    format = "image2";
    state_->opt.pgmyuv = true;
    EngineLog(*this, media::llInfo, "pgmyuv format is deprecated, use image2");
  }
  state_->opt.file_iformat = ff::av_find_input_format(format.c_str());
  if (!state_->opt.file_iformat) Fail(Format("Unknown input format: %s", format.c_str()));
}

void TCustomFFmpeg::SetOutputFormat(const std::string& name) {
  if (name.empty()) return;
  state_->opt.file_oformat = ff::av_guess_format(name.c_str(), nullptr, nullptr);
  if (!state_->opt.file_oformat) Fail(Format("Unknown output format: %s", name.c_str()));
}

void TCustomFFmpeg::SetStartTime(int64_t microseconds) {
  if (microseconds > 0) state_->opt.start_time = microseconds;
}

void TCustomFFmpeg::SetRecordingTime(int64_t microseconds) {
  if (microseconds <= 0) return;
  state_->opt.recording_time = microseconds;
  total_duration_ = microseconds / 1000;
}

void TCustomFFmpeg::SetRecordingTimeMS(int64_t milliseconds) {
  if (milliseconds <= 0) return;
  state_->opt.recording_time = milliseconds * 1000;
  total_duration_ = milliseconds;
}

void TCustomFFmpeg::SetTimestamp(int64_t seconds) { state_->opt.rec_timestamp = seconds; }

bool TCustomFFmpeg::SetGenericOption(const std::string& name, const std::string& value) {
  return media::SetGenericOption(state_->option_contexts, name, value);
}

void TCustomFFmpeg::SetHookRanges(std::vector<THookRange> ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const THookRange& a, const THookRange& b) { return a.end < b.end; });
  state_->hook_ranges = std::move(ranges);
  state_->hook_range_index = 0;
}

void OptTime(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  const bool isDuration = name != "timestamp";
  int64_t us = 0;
  if (ff::av_parse_time(&us, value.c_str(), isDuration) < 0)
    Fail(Format("Invalid %s specification for %s: %s", isDuration ? "duration" : "date", name.c_str(),
                value.c_str()));
  TOptionValues& opt = engine.State().opt;
  if (name == "t")
    engine.SetRecordingTime(us);
  else if (name == "ss")
    opt.start_time = us;
  else if (name == "itsoffset")
    opt.input_ts_offset = us;
  else
    engine.SetTimestamp(std::llround(static_cast<double>(us) / 1000000.0));
}

// ---- maps and metadata ----

void OptMap(TCustomFFmpeg& engine, const std::string& value) {
  TEngineState& s = engine.State();
  if (static_cast<int>(s.stream_maps.size()) >= MAX_STREAM_SLOTS)
    Fail(Format("Too many stream maps: at most %d are allowed", MAX_STREAM_SLOTS));
  const char* p = value.c_str();
  TStreamMapRec map;
  map.file_index = static_cast<int32_t>(LeadingInteger(p));
  SkipOne(p);
  map.stream_index = static_cast<int32_t>(LeadingInteger(p));
  if (*p) {
    SkipOne(p);
    map.sync_file_index = static_cast<int32_t>(LeadingInteger(p));
    SkipOne(p);
    map.sync_stream_index = static_cast<int32_t>(LeadingInteger(p));
  } else {
    map.sync_file_index = map.file_index;
    map.sync_stream_index = map.stream_index;
  }
  s.stream_maps.push_back(map);
}

void OptPictureComment(TCustomFFmpeg& engine, const std::string& value) {
  TOptionValues& opt = engine.State().opt;
  const char* p = value.c_str();
  opt.picture_comment_file = static_cast<int>(LeadingInteger(p));
  SkipOne(p);
  opt.picture_comment_stream = static_cast<int>(LeadingInteger(p));
}

void OptMapMetaData(TCustomFFmpeg& engine, const std::string& value) {
  TEngineState& s = engine.State();
  if (static_cast<int>(s.meta_data_maps.size()) >= MAX_FILE_COUNT)
    Fail(Format("Too many metadata maps: at most %d are allowed", MAX_FILE_COUNT));
  const char* p = value.c_str();
  TMetaDataMapRec map;
  map.out_file = static_cast<int32_t>(LeadingInteger(p));
  SkipOne(p);
  map.in_file = static_cast<int32_t>(LeadingInteger(p));
  s.meta_data_maps.push_back(map);
}

void OptInputTsScale(TCustomFFmpeg& engine, const std::string& value) {
  const char* p = value.c_str();
  const long stream = LeadingInteger(p);
  SkipOne(p);
  const double scale = std::strtod(p, nullptr);
  if (stream < 0 || stream >= MAX_STREAMS) Fail(Format("stream index over MAX_STREAMS(%d)", MAX_STREAMS));
  const int file = engine.InputFileCount();
  if (file >= MAX_FILE_COUNT) Fail(Format("Too many input files: at most %d are allowed", MAX_FILE_COUNT));
  engine.State().input_files_ts_scale[file][stream] = scale;
}

void OptMetadata(TCustomFFmpeg& engine, const std::string& value) {
  const size_t eq = value.find('=');
  if (eq == std::string::npos) Fail("Missing =");
  engine.State().pending_metadata.emplace_back(value.substr(0, eq), value.substr(eq + 1));
}

// ---- video geometry and colour ----

void OptBitrate(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  if (name.empty() || value.empty()) return;
  if (!engine.SetGenericOption(name, value)) return;
  const auto& contexts = engine.State().option_contexts;
  AVCodecContext* context = contexts.codec[name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO];
  int64_t bitRate = 0;
  ff::av_opt_get_int(context, "b", 0, &bitRate);
  if (bitRate < 1000)
    EngineLog(engine, media::llWarning,
              "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void OptFrameRate(TCustomFFmpeg& engine, const std::string& value) {
  if (value.empty()) return;
  if (ff::av_parse_video_rate(&engine.State().opt.frame_rate, value.c_str()) < 0) Fail("Incorrect frame rate");
}

void OptFrameSize(TCustomFFmpeg& engine, const std::string& value) {
  if (value.empty()) return;
  TOptionValues& opt = engine.State().opt;
  if (ff::av_parse_video_size(&opt.frame_width, &opt.frame_height, value.c_str()) < 0)
    Fail("Incorrect frame size");
  if (opt.frame_width % 2 != 0 || opt.frame_height % 2 != 0) Fail("Frame size must be a multiple of 2");
}

void OptFrameAspectRatio(TCustomFFmpeg& engine, const std::string& value) {
  if (value.empty()) return;
  double ratio = 0;
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    const double x = std::strtol(value.substr(0, colon).c_str(), nullptr, 10);
    const double y = std::strtol(value.substr(colon + 1).c_str(), nullptr, 10);
    ratio = y > 0 ? x / y : 0;
  } else {
    ratio = std::strtod(value.c_str(), nullptr);
  }
  if (ratio == 0) Fail("Incorrect aspect ratio specification.");
  engine.State().opt.frame_aspect_ratio = static_cast<float>(ratio);
}

void OptPixelFormat(TCustomFFmpeg& engine, const std::string& value) {
  if (value == "list") {
    char line[128];
    EngineLog(engine, media::llInfo, ff::av_get_pix_fmt_string(line, sizeof line, AV_PIX_FMT_NONE));
    for (const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_next(nullptr); d; d = ff::av_pix_fmt_desc_next(d)) {
      ff::av_get_pix_fmt_string(line, sizeof line, ff::av_pix_fmt_desc_get_id(d));
      std::string text = line;
      while (!text.empty() && text.back() == ' ') text.pop_back();
      EngineLog(engine, media::llInfo, text);
    }
    return;
  }
  const AVPixelFormat format = ff::av_get_pix_fmt(value.c_str());
  if (format == AV_PIX_FMT_NONE) Fail(Format("Unknown pixel format requested: %s", value.c_str()));
  engine.State().opt.frame_pix_fmt = format;
}

void OptSampleFormat(TCustomFFmpeg& engine, const std::string& value) {
  if (value == "list") {
    char line[128];
    for (int i = -1; i < AV_SAMPLE_FMT_NB; ++i) {
      ff::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(i));
      std::string text = line;
      while (!text.empty() && text.back() == ' ') text.pop_back();
      EngineLog(engine, media::llInfo, text);
    }
    return;
  }
  engine.State().opt.audio_sample_fmt = ff::av_get_sample_fmt(value.c_str());
}

void OptCrop(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  const int band = IntValue(value);
  if (band < 0) return;
  TOptionValues& opt = engine.State().opt;
  const bool vertical = name == "croptop" || name == "cropbottom";
  int& size = vertical ? opt.frame_height : opt.frame_width;
  if (band >= size)
    Fail(Format("%s crop dimensions are outside the range of the original image.\n"
                "Remember to crop first and scale second.",
                vertical ? "Vertical" : "Horizontal"));
  if (name == "croptop") opt.frame_topBand = band;
  else if (name == "cropbottom") opt.frame_bottomBand = band;
  else if (name == "cropleft") opt.frame_leftBand = band;
  else opt.frame_rightBand = band;
  size -= band;
}

void PadColorToYUV(uint32_t color, uint8_t yuv[3]) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  yuv[0] = static_cast<uint8_t>((307 * r + 602 * g + 117 * b + 512) >> 10);
  yuv[1] = static_cast<uint8_t>(((-173 * r - 340 * g + 512 * b + 511) >> 10) + 128);
  yuv[2] = static_cast<uint8_t>(((512 * r - 429 * g - 84 * b + 511) >> 10) + 128);
}

void OptPadColor(TCustomFFmpeg& engine, const std::string& value) {
  PadColorToYUV(static_cast<uint32_t>(IntValue(value)), engine.State().opt.padcolor);
}

void OptQScale(TCustomFFmpeg& engine, const std::string& value) {
  const float q = FloatValue(value);
  if (!(q > 0 && q <= 255)) Fail("qscale must be > 0.0 and <= 255");
  engine.State().opt.video_qscale = q;
}

AVRational BestFraction(double value, int limit) { return ff::av_d2q(value, limit); }

// ---- codecs, tags, passes, statistics ----

void OptCodec(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  TOptionValues& opt = engine.State().opt;
  std::string* codecName = &opt.video_codec_name;
  bool* copy = &opt.video_stream_copy;
  if (name == "acodec") {
    codecName = &opt.audio_codec_name;
    copy = &opt.audio_stream_copy;
  } else if (name == "scodec") {
    codecName = &opt.subtitle_codec_name;
    copy = &opt.subtitle_stream_copy;
  }
  codecName->clear();
  if (value == "copy")
    *copy = true;
  else
    *codecName = value;
}

void OptCodecTag(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  const char* kind = name == "vtag" ? "video" : name == "atag" ? "audio" : "subtitle";
  if (value.size() != 4) Fail(Format("%s tag parameter must be 4 chars", kind));
  const auto* c = reinterpret_cast<const unsigned char*>(value.data());
  const uint32_t tag = c[0] | (c[1] << 8) | (c[2] << 16) | (static_cast<uint32_t>(c[3]) << 24);
  TOptionValues& opt = engine.State().opt;
  (name == "vtag" ? opt.video_codec_tag : name == "atag" ? opt.audio_codec_tag : opt.subtitle_codec_tag) = tag;
}

void OptPass(TCustomFFmpeg& engine, const std::string& value) {
  const int pass = IntValue(value);
  if (pass != 1 && pass != 2) Fail("pass number can be only 1 or 2");
  engine.State().opt.do_pass = pass;
}

void OptVStats(TCustomFFmpeg& engine) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  engine.State().opt.vstats_filename =
      Format("%svstats_%02d%02d%02d.log", media::ProgramFolder().c_str(), local.tm_hour, local.tm_min, local.tm_sec);
}

void OptVStatsFile(TCustomFFmpeg& engine, const std::string& value) { engine.State().opt.vstats_filename = value; }

void OptVideoHook(TCustomFFmpeg& engine, const std::string& value) {
  const char separator = value.find('|') != std::string::npos ? '|' : ' ';
  std::vector<std::string> tokens;
  for (size_t start = 0; start <= value.size() && tokens.size() < 63;) {
    size_t end = value.find(separator, start);
    if (end == std::string::npos) end = value.size();
    if (end > start) tokens.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  if (tokens.empty() || media::AddFrameHook(engine.State().hooks, tokens) < 0)
    Fail("Failed to add video hook function: " + value);
  engine.State().opt.using_vhook = true;
}

void OptMatrix(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  std::vector<uint16_t>& matrix = name == "intra_matrix" ? engine.State().opt.intra_matrix
                                                        : engine.State().opt.inter_matrix;
  matrix.assign(64, 0);
  const char* p = value.c_str();
  for (int i = 0; i < 64; ++i) {
    matrix[i] = static_cast<uint16_t>(std::atoi(p));
    if (i == 63) break;
    p = std::strchr(p, ',');
    if (!p) Fail(Format("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
    ++p;
  }
}

void OptBitstreamFilter(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  if (value.empty() || value[0] == '=') return;
  const std::string filter = value.substr(0, value.find('='));
  if (!ff::av_bsf_get_by_name(filter.c_str())) Fail(Format("Unknown bitstream filter %s", filter.c_str()));
  const int kind = name == "vbsf" ? 0 : name == "absf" ? 1 : 2;
  engine.State().pending_bsfs[kind].push_back(filter);
}

void OptNewStream(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  TEngineState& s = engine.State();
  if (s.output_slots.empty()) Fail("At least one output file must be specified");
  TOutputFile& file = *s.output_slots.back();
  const char* codecOption = name == "newvideo" ? "vcodec" : name == "newaudio" ? "acodec" : "scodec";
  OptCodec(engine, codecOption, value);
  if (name == "newvideo") NewVideoStream(engine, file);
  else if (name == "newaudio") NewAudioStream(engine, file);
  else NewSubtitleStream(engine, file);
}

void FreeOptionValues(TEngineState& state) {
  TOptionValues& opt = state.opt;
  opt.intra_matrix.clear();
  opt.inter_matrix.clear();
  opt.vstats_filename.clear();
  if (state.vstats_file) std::fclose(state.vstats_file);
  state.vstats_file = nullptr;
  opt.video_codec_name.clear();
  opt.audio_codec_name.clear();
  opt.subtitle_codec_name.clear();
  opt.video_standard.clear();
  opt.video_rc_override_string.clear();
  opt.audio_language.clear();
  opt.subtitle_language.clear();
  opt.subtitle_codec_tag = 0;
  media::ReleaseFrameHooks(state.hooks);
  ff::av_frame_free(&state.hook_picture);
  media::ResetConverter(*state.hook_converter);
  media::ResetConverter(*state.preview_converter);
}

}  // namespace strella::engine
