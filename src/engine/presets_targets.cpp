#include "engine/presets_targets.h"

#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>
#include <strings.h>

#include "engine/engine_state.h"
#include "media/logger.h"
#include "media/text_helpers.h"

namespace strella::engine {

const TOptionsPreset PresetTable[kPresetCount] = {
    {"libx264-baseline",
     "coder=0\n"
     "bf=0\n"
     "flags2=-wpred-dct8x8"},
    {"libx264-default",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\n"
     "subq=7\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "bf=3\n"
     "refs=3\n"
     "directpred=1\n"
     "trellis=1\n"
     "flags2=+mixed_refs+wpred+dct8x8+fastpskip"},
    {"libx264-fastfirstpass",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\n"
     "me_method=dia\n"
     "subq=1\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "bf=3\n"
     "refs=1\n"
     "directpred=3\n"
     "trellis=0\n"
     "flags2=-bpyramid-wpred-mixed_refs-dct8x8+fastpskip"},
    {"libx264-hq",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=umh\n"
     "subq=8\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=2\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "bf=3\n"
     "refs=4\n"
     "directpred=3\n"
     "trellis=1\n"
     "flags2=+wpred+mixed_refs+dct8x8+fastpskip"},
    {"libx264-ipod320",
     "coder=0\n"
     "bf=0\n"
     "flags2=-wpred-dct8x8\n"
     "level=13\n"
     "maxrate=768000\n"
     "bufsize=3000000"},
    {"libx264-ipod640",
     "coder=0\n"
     "bf=0\n"
     "refs=1\n"
     "flags2=-wpred-dct8x8\n"
     "level=30\n"
     "maxrate=10000000\n"
     "bufsize=10000000"},
    {"libx264-lossless_fast",
     "coder=0\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8\n"
     "me_method=hex\n"
     "subq=3\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "directpred=1\n"
     "flags2=+fastpskip\n"
     "cqp=0"},
    {"libx264-lossless_max",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8\n"
     "me_method=esa\n"
     "subq=8\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "refs=16\n"
     "directpred=1\n"
     "flags2=+mixed_refs+dct8x8+fastpskip\n"
     "cqp=0"},
    {"libx264-lossless_medium",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8\n"
     "me_method=hex\n"
     "subq=5\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "directpred=1\n"
     "flags2=+fastpskip\n"
     "cqp=0"},
    {"libx264-lossless_slow",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8\n"
     "me_method=umh\n"
     "subq=6\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "refs=2\n"
     "directpred=1\n"
     "flags2=+dct8x8+fastpskip\n"
     "cqp=0"},
    {"libx264-lossless_slower",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8\n"
     "me_method=umh\n"
     "subq=8\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "refs=4\n"
     "directpred=1\n"
     "flags2=+mixed_refs+dct8x8+fastpskip\n"
     "cqp=0"},
    {"libx264-lossless_ultrafast",
     "coder=0\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\n"
     "me_method=dia\n"
     "subq=0\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "directpred=1\n"
     "flags2=+fastpskip\n"
     "cqp=0"},
    {"libx264-main",
     "flags2=-dct8x8"},
    {"libx264-max",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\n"
     "me_method=tesa\n"
     "subq=10\n"
     "me_range=24\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=2\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "bf=3\n"
     "refs=16\n"
     "directpred=3\n"
     "trellis=2\n"
     "flags2=+wpred+mixed_refs+dct8x8-fastpskip"},
    {"libx264-normal",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\n"
     "subq=6\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=1\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "bf=3\n"
     "refs=2\n"
     "directpred=3\n"
     "trellis=0\n"
     "flags2=+wpred+dct8x8+fastpskip"},
    {"libx264-slowfirstpass",
     "coder=1\n"
     "flags=+loop\n"
     "cmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\n"
     "subq=6\n"
     "me_range=16\n"
     "g=250\n"
     "keyint_min=25\n"
     "sc_threshold=40\n"
     "i_qfactor=0.71\n"
     "b_strategy=2\n"
     "qcomp=0.6\n"
     "qmin=10\n"
     "qmax=51\n"
     "qdiff=4\n"
     "bf=3\n"
     "refs=1\n"
     "directpred=3\n"
     "trellis=0\n"
     "flags2=+wpred+dct8x8+fastpskip"},
};

const char* const TargetFrameRates[3] = {"25", "30000/1001", "24000/1001"};

namespace {

using media::Format;

// The option values and input streams a preset or target reads.
std::string VideoCodecName(const TCustomFFmpeg& engine) {
  return engine.State().opt.video_codec_name;
}
std::string AudioCodecName(const TCustomFFmpeg& engine) {
  return engine.State().opt.audio_codec_name;
}
std::string SubtitleCodecName(const TCustomFFmpeg& engine) {
  return engine.State().opt.subtitle_codec_name;
}
std::pair<int, int> FrameRateSet(const TCustomFFmpeg& engine) {
  const AVRational rate = engine.State().opt.frame_rate;
  return {rate.num, rate.den};
}
int ChannelCount(const TCustomFFmpeg& engine) { return engine.State().opt.audio_channels; }
float FrameAspect(const TCustomFFmpeg& engine) { return engine.State().opt.frame_aspect_ratio; }

// The frame rate of every video stream of the opened inputs, in order.
std::vector<std::pair<int, int>> InputVideoRates(const TCustomFFmpeg& engine) {
  std::vector<std::pair<int, int>> rates;
  for (const auto& input : engine.State().input_files) {
    if (!input.ctx) continue;
    for (unsigned i = 0; i < input.ctx->nb_streams; ++i) {
      const AVStream* stream = input.ctx->streams[i];
      if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      const AVRational rate = stream->r_frame_rate.den ? stream->r_frame_rate
                                                       : stream->avg_frame_rate;
      rates.emplace_back(rate.num, rate.den);
    }
  }
  return rates;
}

bool SameText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A preset name without a row of its own is tried with the codec of its kind
// in front ("hq" with libx264 becomes "libx264-hq").
std::string CodecPrefixedName(const TCustomFFmpeg& engine, const std::string& opt,
                              const std::string& name) {
  const std::string video = VideoCodecName(engine);
  const std::string audio = AudioCodecName(engine);
  const std::string subtitle = SubtitleCodecName(engine);
  if (StartsWith(opt, "v") && !video.empty()) return video + "-" + name;
  if (StartsWith(opt, "a") && !audio.empty()) return audio + "-" + name;
  if (!subtitle.empty()) return subtitle + "-" + name;
  return name;
}

std::string ReadWholeFile(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

template <typename Visit>
void ForEachPresetLine(const std::string& text, const std::string& fileName, Visit visit) {
  for (const auto& raw : OptionTextLines(text)) {
    const std::string line = TrimText(raw);
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (key.empty() || value.empty()) {
      throw FFmpegException(
          Format("%s: Invalid syntax: \"%s\"", fileName.c_str(), line.c_str()));
    }
    visit(line, key, value);
  }
}

void ApplyPresetLine(TCustomFFmpeg& engine, const std::string& fileName, const std::string& line,
                     const std::string& key, const std::string& value) {
  if (SameText(key, "acodec") || SameText(key, "vcodec") || SameText(key, "scodec")) {
    std::string option = key;
    for (auto& c : option) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    engine.ParseOption(option, value);
    return;
  }
  if (!engine.SetGenericOption(key, value)) {
    throw FFmpegException(
        Format("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
               fileName.c_str(), line.c_str(), key.c_str(), value.c_str()));
  }
}

// 25 fps gives PAL; 29.97 and 23.976 give NTSC; anything else nothing.
bool NormOfRate(int64_t milliFps, TTargetNorm& norm) {
  if (milliFps == 25000) {
    norm = tnPAL;
    return true;
  }
  if (milliFps == 29970 || milliFps == 23976) {
    norm = tnNTSC;
    return true;
  }
  return false;
}

int64_t MilliFps(int num, int den) {
  return static_cast<int64_t>(std::llround(static_cast<double>(num) * 1000.0 / den));
}

TTargetNorm ChooseNorm(const TCustomFFmpeg& engine, const std::string& defaultNorm) {
  const auto [num, den] = FrameRateSet(engine);
  if (den == 0) throw FFmpegException("frame_rate is invalid.");
  TTargetNorm norm = tnPAL;
  if (NormOfRate(MilliFps(num, den), norm)) return norm;
  for (const auto& [rateNum, rateDen] : InputVideoRates(engine)) {
    if (rateDen != 0 && NormOfRate(MilliFps(rateNum, rateDen), norm)) return norm;
  }
  if (defaultNorm == "film") return tnFilm;
  if (defaultNorm == "ntsc") return tnNTSC;
  return tnPAL;
}

bool NormFromText(const std::string& text, TTargetNorm& norm) {
  if (text == "pal") norm = tnPAL;
  else if (text == "ntsc") norm = tnNTSC;
  else if (text == "film") norm = tnFilm;
  else return false;
  return true;
}

void ApplyTargetSetting(TCustomFFmpeg& engine, const TTargetSetting& setting) {
  switch (setting.Kind) {
    case tkOption: engine.ParseOption(setting.Name, setting.Value); break;
    case tkOutputFormat: engine.SetOutputFormat(setting.Value); break;
    case tkGeneric: engine.SetGenericOption(setting.Name, setting.Value); break;
    case tkStereoIfMono:
      if (ChannelCount(engine) == 1) engine.ParseOption("ac", "2");
      break;
    case tkAspectIfUnset:
      if (FrameAspect(engine) == 0) {
        engine.ParseOption("aspect", setting.Value);
        media::Log(&engine, media::llInfo, setting.Name);
      }
      break;
  }
}

// Rows common to the three disc targets, between "r" and "ab".
void AddDiscRates(std::vector<TTargetSetting>& s, bool pal, const char* bitRate,
                  const char* maxRate, const char* minRate, const char* bufSize) {
  s.push_back({tkGeneric, "g", pal ? "15" : "18"});
  s.push_back({tkGeneric, "b", bitRate});
  s.push_back({tkGeneric, "maxrate", maxRate});
  s.push_back({tkGeneric, "minrate", minRate});
  s.push_back({tkGeneric, "bufsize", bufSize});
}

std::vector<TTargetSetting> VcdSettings(TTargetNorm norm) {
  const bool pal = norm == tnPAL;
  std::vector<TTargetSetting> s = {{tkOption, "vcodec", "mpeg1video"},
                                   {tkOption, "acodec", "mp2"},
                                   {tkOutputFormat, "", "vcd"},
                                   {tkOption, "s", pal ? "352x288" : "352x240"},
                                   {tkOption, "r", TargetFrameRates[norm]}};
  AddDiscRates(s, pal, "1150000", "1150000", "1150000", "327680");
  s.insert(s.end(), {{tkGeneric, "ab", "224000"},
                     {tkOption, "ar", "44100"},
                     {tkOption, "ac", "2"},
                     {tkGeneric, "packetsize", "2324"},
                     {tkGeneric, "muxrate", "1411200"},
                     {tkOption, "muxpreload", "0.44"},
                     {tkAspectIfUnset, "Assuming 4:3 for aspect ratio", "4:3"}});
  return s;
}

std::vector<TTargetSetting> SvcdSettings(TTargetNorm norm) {
  const bool pal = norm == tnPAL;
  std::vector<TTargetSetting> s = {{tkOption, "vcodec", "mpeg2video"},
                                   {tkOption, "acodec", "mp2"},
                                   {tkOutputFormat, "", "svcd"},
                                   {tkOption, "s", pal ? "480x576" : "480x480"},
                                   {tkOption, "r", TargetFrameRates[norm]}};
  AddDiscRates(s, pal, "2040000", "2516000", "0", "1835008");
  s.insert(s.end(), {{tkGeneric, "flags", "+scan_offset"},
                     {tkGeneric, "ab", "224000"},
                     {tkOption, "ar", "44100"},
                     {tkStereoIfMono, "", ""},
                     {tkGeneric, "packetsize", "2324"},
                     {tkAspectIfUnset, "Assuming 4:3 for aspect ratio", "4:3"}});
  return s;
}

std::vector<TTargetSetting> DvdSettings(TTargetNorm norm) {
  const bool pal = norm == tnPAL;
  std::vector<TTargetSetting> s = {{tkOption, "vcodec", "mpeg2video"},
                                   {tkOption, "acodec", "ac3"},
                                   {tkOutputFormat, "", "dvd"},
                                   {tkOption, "s", pal ? "720x576" : "720x480"},
                                   {tkOption, "r", TargetFrameRates[norm]}};
  AddDiscRates(s, pal, "6000000", "9000000", "0", "1835008");
  s.insert(s.end(), {{tkGeneric, "ab", "448000"},
                     {tkOption, "ar", "48000"},
                     {tkStereoIfMono, "", ""},
                     {tkGeneric, "packetsize", "2048"},
                     {tkGeneric, "muxrate", "10080000"},
                     {tkAspectIfUnset, "Assuming 16:9 for aspect ratio", "16:9"}});
  return s;
}

std::vector<TTargetSetting> DvSettings(TTargetNorm norm, bool dv50) {
  const bool pal = norm == tnPAL;
  const char* pixelFormat = dv50 ? "yuv422p" : (pal ? "yuv420p" : "yuv411p");
  return {{tkOutputFormat, "", "dv"},
          {tkOption, "s", pal ? "720x576" : "720x480"},
          {tkOption, "pix_fmt", pixelFormat},
          {tkOption, "r", TargetFrameRates[norm]},
          {tkOption, "ar", "48000"},
          {tkOption, "ac", "2"}};
}

}  // namespace

std::string TrimText(const std::string& text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::vector<std::string> OptionTextLines(const std::string& text) {
  std::vector<std::string> lines;
  const std::string all = TrimText(text);
  std::string line;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == '\r' || all[i] == '\n') {
      lines.push_back(line);
      line.clear();
      if (all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n') ++i;
    } else {
      line += all[i];
    }
  }
  if (!all.empty()) lines.push_back(line);
  return lines;
}

std::string FindPreset(const std::string& name) {
  for (const auto& row : PresetTable) {
    if (SameText(row.Name, name)) return row.Options;
  }
  return "";
}

std::vector<std::pair<std::string, std::string>> PresetLines(const std::string& text,
                                                             const std::string& fileName) {
  std::vector<std::pair<std::string, std::string>> lines;
  ForEachPresetLine(text, fileName, [&](const std::string&, const std::string& key,
                                        const std::string& value) {
    lines.emplace_back(key, value);
  });
  return lines;
}

void ApplyPreset(TCustomFFmpeg& engine, const std::string& opt, const std::string& name) {
  if (opt.empty() || name.empty()) return;
  std::string fileName = name;
  std::string text = FindPreset(name);
  if (text.empty()) {
    fileName = CodecPrefixedName(engine, opt, name);
    text = FindPreset(fileName);
  }
  if (text.empty() && media::FileExists(name)) {
    fileName = name;
    text = ReadWholeFile(name);
  }
  if (text.empty()) throw FFmpegException(Format("Preset \"%s\" not found", fileName.c_str()));
  // Each line is applied as it is read, so lines before a faulty one stay applied.
  ForEachPresetLine(text, fileName, [&](const std::string& line, const std::string& key,
                                        const std::string& value) {
    ApplyPresetLine(engine, fileName, line, key, value);
  });
}

std::vector<TTargetSetting> TargetSettings(const std::string& targetName, TTargetNorm norm) {
  if (targetName == "vcd") return VcdSettings(norm);
  if (targetName == "svcd") return SvcdSettings(norm);
  if (targetName == "dvd") return DvdSettings(norm);
  if (targetName == "dv") return DvSettings(norm, false);
  if (targetName == "dv50") return DvSettings(norm, true);
  throw FFmpegException("Unknown target type");
}

void ApplyTarget(TCustomFFmpeg& engine, const std::string& targetName, const std::string& norm,
                 const std::string& defaultNorm) {
  TTargetNorm chosen = tnPAL;
  if (!NormFromText(norm, chosen)) {
    chosen = ChooseNorm(engine, defaultNorm);
    if (engine.Verbosity() > 0) {
      media::Log(&engine, media::llVerbose,
                 Format("Assuming %s for target.", chosen == tnPAL ? "PAL" : "NTSC"));
    }
  }
  for (const auto& setting : TargetSettings(targetName, chosen)) {
    ApplyTargetSetting(engine, setting);
  }
}

void ApplyTargetOption(TCustomFFmpeg& engine, const std::string& value) {
  const std::string target = TrimText(value);
  for (const char* norm : {"pal", "ntsc", "film"}) {
    const std::string prefix = std::string(norm) + "-";
    if (StartsWith(target, prefix)) {
      ApplyTarget(engine, target.substr(prefix.size()), norm, "ntsc");
      return;
    }
  }
  ApplyTarget(engine, target, "auto", "ntsc");
}

void InstallPresetsAndTargets() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    SetPresetOptionHandler(
        [](TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
          if (name == "target") {
            ApplyTargetOption(engine, value);
          } else {
            ApplyPreset(engine, name, value);
          }
        });
  });
}

}  // namespace strella::engine
