#include "encoder/option_records.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "engine/engine_state.h"
#include "engine/presets_targets.h"

namespace strella::encoder {
namespace {

using engine::TrimText;

// A whole decimal (optionally signed) 64-bit number, else the fallback.
int64_t ToInt64Def(const std::string& text, int64_t fallback) {
  if (text.empty()) return fallback;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') {
    return fallback;
  }
  return value;
}

std::string FloatText(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
  return buffer;
}

std::string FlagText(bool on) { return on ? "1" : "0"; }

// Collects the steps of one record, with the conditions of its fields.
class StepList {
 public:
  void Option(const std::string& name, const std::string& value) {
    steps_.push_back({skOption, name, value});
  }
  void OptionIfSet(const std::string& name, const std::string& value) {
    if (!value.empty()) Option(name, value);
  }
  void OptionIfPositive(const std::string& name, int value) {
    if (value > 0) Option(name, std::to_string(value));
  }
  void OptionIfNotNegative(const std::string& name, int value) {
    if (value >= 0) Option(name, std::to_string(value));
  }
  void OptionIfPositive(const std::string& name, float value) {
    if (value > 0) Option(name, FloatText(value));
  }
  void GenericIfPositive(const std::string& name, int value) {
    if (value > 0) steps_.push_back({skGeneric, name, std::to_string(value)});
  }
  void Typed(TOptionStepKind kind, const std::string& value) { steps_.push_back({kind, "", value}); }
  void Number(TOptionStepKind kind, int64_t number) { steps_.push_back({kind, "", "", number}); }
  void NumberIfPositive(TOptionStepKind kind, int64_t number) {
    if (number > 0) Number(kind, number);
  }
  void Metadata(const std::string& key, const std::string& value) {
    if (!value.empty()) Option("metadata", key + "=" + value);
  }
  TOptionSteps Take() { return std::move(steps_); }

 private:
  TOptionSteps steps_;
};

void AddStartTime(StepList& steps, int startTimeMS, int64_t startTime) {
  steps.NumberIfPositive(skStartTime, int64_t{startTimeMS} * 1000);
  steps.NumberIfPositive(skStartTime, startTime);
}

void AddContainerFields(StepList& steps, const TOutputOptions& o) {
  if (!o.FileFormat.empty()) steps.Typed(skOutputFormat, o.FileFormat);
  steps.GenericIfPositive("packetsize", o.PacketSize);
  steps.GenericIfPositive("muxrate", o.MuxRate);
  steps.OptionIfPositive("muxdelay", o.MuxDelay);
  steps.OptionIfPositive("muxpreload", o.MuxPreload);
}

void AddAudioFields(StepList& steps, const TOutputOptions& o) {
  steps.OptionIfSet("acodec", o.AudioCodec);
  steps.OptionIfSet("apre", o.AudioPreset);
  steps.Option("an", FlagText(o.DisableAudio));
  steps.OptionIfNotNegative("vol", o.AudioVolume);
  if (o.AudioLoudness) steps.Option("loudness", std::to_string(*o.AudioLoudness));
  steps.OptionIfPositive("ac", o.AudioChannels);
  steps.OptionIfPositive("ar", o.AudioSampleRate);
  steps.GenericIfPositive("ab", o.AudioBitrate);
  steps.GenericIfPositive("abt", o.AudioBitrateTolerance);
  steps.Option("alang", o.AudioLanguage);
  steps.Option("async", std::to_string(o.AudioSync));
  steps.OptionIfSet("atag", o.AudioTag);
}

void AddPictureFields(StepList& steps, const TOutputOptions& o) {
  steps.OptionIfSet("vcodec", o.VideoCodec);
  steps.OptionIfSet("vpre", o.VideoPreset);
  steps.Option("vn", FlagText(o.DisableVideo));
  steps.OptionIfSet("r", o.FrameRate);
  steps.OptionIfSet("s", o.FrameSize);
  steps.OptionIfSet("aspect", o.FrameAspectRatio);
  steps.OptionIfNotNegative("croptop", o.CropTop);
  steps.OptionIfNotNegative("cropbottom", o.CropBottom);
  steps.OptionIfNotNegative("cropleft", o.CropLeft);
  steps.OptionIfNotNegative("cropright", o.CropRight);
  steps.OptionIfNotNegative("padtop", o.PadTop);
  steps.OptionIfNotNegative("padbottom", o.PadBottom);
  steps.OptionIfNotNegative("padleft", o.PadLeft);
  steps.OptionIfNotNegative("padright", o.PadRight);
  // There are no system colours here: only the RGB bytes count.
  steps.Option("padcolor", std::to_string(o.PadColor & 0xFFFFFF));
}

void AddVideoRateFields(StepList& steps, const TOutputOptions& o) {
  // The libraries' GOP option is "g"; a "gop" name would be refused silently.
  steps.GenericIfPositive("g", o.GroupPictureSize);
  steps.GenericIfPositive("vb", o.VideoBitrate);
  steps.GenericIfPositive("maxrate", o.VideoMaxRate);
  steps.GenericIfPositive("minrate", o.VideoMinRate);
  steps.GenericIfPositive("bt", o.VideoBitrateTolerance);
  steps.GenericIfPositive("bufsize", o.VideoBufferSize);
  steps.Option("vsync", std::to_string(o.VideoSync));
  steps.OptionIfSet("vtag", o.VideoTag);
  steps.OptionIfSet("vfilters", o.VideoFilters);
}

void AddSubtitleFields(StepList& steps, const TOutputOptions& o) {
  steps.OptionIfSet("scodec", o.SubtitleCodec);
  steps.OptionIfSet("spre", o.SubtitlePreset);
  steps.Option("sn", FlagText(o.DisableSubtitle));
  steps.Option("slang", o.SubtitleLanguage);
}

void AddTimeFields(StepList& steps, const TOutputOptions& o) {
  // The option "copyts" switches on whatever its value, so off needs the direct setting.
  steps.Number(skCopyTimestamps, o.CopyTimestamps ? 1 : 0);
  AddStartTime(steps, o.StartTimeMS, o.StartTime);
  steps.NumberIfPositive(skRecordingTimeMS, o.RecordingTimeMS);
  steps.NumberIfPositive(skRecordingTime, o.RecordingTime);
}

void AddStreamInfo(StepList& steps, const TStreamInfo& info) {
  if (info.Timestamp >= 0) steps.Number(skTimestamp, TimestampSeconds(info.Timestamp));
  if (info.Year > 0) steps.Metadata("year", std::to_string(info.Year));
  if (info.Track > 0) steps.Metadata("track", std::to_string(info.Track));
  steps.Metadata("title", info.Title);
  steps.Metadata("author", info.Author);
  steps.Metadata("copyright", info.Copyright);
  steps.Metadata("comment", info.Comment);
  steps.Metadata("album", info.Album);
  steps.Metadata("genre", info.Genre);
}

void ApplyStep(engine::TCustomFFmpeg& engine, const TOptionStep& step) {
  switch (step.Kind) {
    case skOption: engine.ParseOption(step.Name, step.Value); break;
    case skGeneric: engine.SetGenericOption(step.Name, step.Value); break;
    case skInputFormat: engine.SetInputFormat(step.Value); break;
    case skOutputFormat: engine.SetOutputFormat(step.Value); break;
    case skStartTime: engine.SetStartTime(step.Number); break;
    case skRecordingTime: engine.SetRecordingTime(step.Number); break;
    case skRecordingTimeMS: engine.SetRecordingTimeMS(step.Number); break;
    case skTimestamp: engine.SetTimestamp(step.Number); break;
    case skCopyTimestamps: engine.State().opt.copy_ts = step.Number != 0; break;
  }
}

}  // namespace

void ResetInputOptions(TInputOptions& options) {
  options = TInputOptions{};
  options.StartTimeMS = -1;
  options.StartTime = -1;
  options.ProgramID = -1;
}

void ResetOutputOptions(TOutputOptions& o) {
  o = TOutputOptions{};
  o.PacketSize = o.MuxRate = -1;
  o.MuxDelay = o.MuxPreload = -1.0f;
  o.AudioVolume = o.AudioChannels = o.AudioSampleRate = -1;
  o.AudioBitrate = o.AudioBitrateTolerance = -1;
  o.AudioSync = 0;
  o.CropTop = o.CropBottom = o.CropLeft = o.CropRight = -1;
  o.PadTop = o.PadBottom = o.PadLeft = o.PadRight = -1;
  o.PadColor = clBlack;
  o.GroupPictureSize = o.VideoBitrate = o.VideoMaxRate = o.VideoMinRate = -1;
  o.VideoBitrateTolerance = o.VideoBufferSize = -1;
  o.VideoSync = -1;
  o.StartTimeMS = -1;
  o.StartTime = -1;
  o.RecordingTimeMS = -1;
  o.RecordingTime = -1;
  o.Info = TStreamInfo{};
  o.Info.Timestamp = -1.0;
  o.Info.Year = o.Info.Track = -1;
  o.Target = 0;
  o.TargetNorm = 0;
  o.TargetDefaultNorm = 1;
}

TInputOptions DefaultInputOptions() {
  TInputOptions options;
  ResetInputOptions(options);
  return options;
}

TOutputOptions DefaultOutputOptions() {
  TOutputOptions options;
  ResetOutputOptions(options);
  return options;
}

TOptionSteps InputFieldSteps(const TInputOptions& options) {
  StepList steps;
  if (!options.FileFormat.empty()) steps.Typed(skInputFormat, options.FileFormat);
  AddStartTime(steps, options.StartTimeMS, options.StartTime);
  steps.OptionIfNotNegative("programid", options.ProgramID);
  return steps.Take();
}

TOptionSteps OutputFieldSteps(const TOutputOptions& options) {
  StepList steps;
  AddContainerFields(steps, options);
  AddAudioFields(steps, options);
  AddPictureFields(steps, options);
  AddVideoRateFields(steps, options);
  AddSubtitleFields(steps, options);
  AddTimeFields(steps, options);
  AddStreamInfo(steps, options.Info);
  return steps.Take();
}

void ApplySteps(engine::TCustomFFmpeg& engine, const TOptionSteps& steps) {
  for (const auto& step : steps) ApplyStep(engine, step);
}

TExtOptionsPass PassOfOption(const std::string& name) {
  if (name == "newvideo" || name == "newaudio" || name == "newsubtitle") return epStream;
  if (name == "apre" || name == "vpre" || name == "spre") return epPreset;
  return epGeneral;
}

std::vector<std::pair<std::string, std::string>> SplitExtOptions(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (const auto& line : engine::OptionTextLines(text)) {
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      lines.emplace_back(line, "");
    } else {
      lines.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
  }
  return lines;
}

std::vector<engine::THookRange> ParseHookRanges(const std::string& text) {
  std::vector<engine::THookRange> ranges;
  const std::string all = TrimText(text);
  size_t start = 0;
  while (start <= all.size() && !all.empty()) {
    size_t comma = all.find(',', start);
    if (comma == std::string::npos) comma = all.size();
    const std::string item = TrimText(all.substr(start, comma - start));
    start = comma + 1;
    const size_t dash = item.find('-');
    const std::string first = item.substr(0, dash);
    const std::string second = dash == std::string::npos ? "" : item.substr(dash + 1);
    const int64_t from = ToInt64Def(TrimText(first), -1) * 1000;
    const int64_t to = ToInt64Def(TrimText(second), -1) * 1000;
    if (from <= to && to >= 0) ranges.push_back({from, to});
  }
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const auto& a, const auto& b) { return a.end < b.end; });
  return ranges;
}

int64_t TimestampSeconds(double dateTime) {
  if (dateTime == 0) return static_cast<int64_t>(std::time(nullptr));
  // The local calendar time, converted by the C library so that summer time
  // is accounted for on the date itself.
  constexpr double kUnixEpochDateTime = 25569.0;
  const double seconds = std::round((dateTime - kUnixEpochDateTime) * 86400.0);
  const time_t asIfUtc = static_cast<time_t>(seconds);
  std::tm fields{};
  gmtime_r(&asIfUtc, &fields);
  fields.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&fields));
}

std::string TargetName(int target) {
  switch (target) {
    case 1: return "vcd";
    case 2: return "svcd";
    case 3: return "dvd";
    default: return "";
  }
}

std::string TargetNormName(int norm) {
  switch (norm) {
    case 1: return "pal";
    case 2: return "ntsc";
    default: return "auto";
  }
}

std::string TargetDefaultNormName(int norm) { return norm == 1 ? "pal" : "ntsc"; }

}  // namespace strella::encoder
