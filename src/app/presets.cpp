#include "app/presets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/settings_model.h"
#include "app/text_utils.h"
#include "app/whole_file.h"

namespace strella::app {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int kPresetVersion = 1;

std::string SizeValue(const std::optional<TFrameSize>& size) {
  return size ? std::to_string(size->Width) + "x" + std::to_string(size->Height) : "source";
}

std::string RateValue(TFrameRate rate) { return rate.IsSource() ? "source" : FrameRateText(rate); }

std::string AspectValue(TAspect aspect) {
  switch (aspect) {
    case TAspect::Ratio4x3: return "4:3";
    case TAspect::Ratio16x9: return "16:9";
    case TAspect::Auto: break;
  }
  return "auto";
}

// The line of the text where a member's name first appears (1-based), after
// its group's name when it has one; 0 when absent.
int LineOf(const std::string& text, const std::string& member, const std::string& group = {}) {
  const size_t groupAt = group.empty() ? 0 : text.find("\"" + group + "\"");
  const size_t at = text.find("\"" + member + "\"", groupAt == std::string::npos ? 0 : groupAt);
  if (at == std::string::npos) return 0;
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

int LineAtOffset(const std::string& text, size_t offset) {
  offset = std::min(offset, text.size());
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

// Reads the preset's members with the line of each for its refusals.
class TPresetReader {
 public:
  TPresetReader(const std::string& text, const json& root) : text_(text), root_(root) {}

  [[noreturn]] void Refuse(const char* group, const char* member, const std::string& reason) const {
    throw TPresetError(reason, LineOf(text_, member, group));
  }

  const json* Member(const char* group, const char* name) const {
    if (!root_.contains(group) || !root_[group].is_object() || !root_[group].contains(name)) return nullptr;
    return &root_[group][name];
  }

  template <class T>
  T Get(const char* group, const char* name, T fallback) const {
    const json* value = Member(group, name);
    if (!value) return fallback;
    try {
      return value->get<T>();
    } catch (const json::exception&) {
      Refuse(group, name, std::string("\"") + name + "\" has a value of the wrong kind");
    }
  }

  // The value of the list that equals the member's; refused, naming the profile, when it holds none.
  template <class T>
  T Choose(const TChoiceList<T>& list, const T& value, const char* group, const char* member, const char* what,
           const std::string& shown, const Quality& profile) const {
    const int index = list.IndexOf(value);
    if (index < 0)
      Refuse(group, member,
             "The profile \"" + std::string(profile.DisplayName) + "\" offers no " + what + " \"" + shown + "\"");
    return list.Items[static_cast<size_t>(index)].Value;
  }

  TCodecChoice Codec(const TChoiceList<std::string>& list, const char* group, const Quality& profile,
                     int fallbackIndex) const {
    const std::string fallback = fallbackIndex >= 0 ? list.Items[static_cast<size_t>(fallbackIndex)].Label : "";
    const std::string shown = Get<std::string>(group, "codec", fallback);
    for (const TChoice<std::string>& item : list.Items)
      if (LowerCase(item.Label) == LowerCase(shown)) return {item.Label, item.Value};
    Refuse(group, "codec", "The profile \"" + std::string(profile.DisplayName) + "\" offers no " + group + " codec \"" +
                        shown + "\"");
  }

 private:
  const std::string& text_;
  const json& root_;
};

template <class T>
T DefaultOf(const TChoiceList<T>& list, T fallback) {
  return list.Default >= 0 ? list.Items[static_cast<size_t>(list.Default)].Value : fallback;
}

void ReadVideo(const TPresetReader& r, const TProfileChoices& choices, const Quality& profile, JobSettings& s) {
  s.VideoCodec = r.Codec(choices.VideoCodecs, "video", profile, choices.VideoCodecs.Default);
  TRateControl rate = DefaultOf(choices.VideoRates, TRateControl{});
  if (r.Member("video", "quality")) rate = {0, r.Get<int>("video", "quality", 0)};
  if (r.Member("video", "bitrate")) rate = {r.Get<int>("video", "bitrate", 0), -1};
  const std::string rateShown = rate.IsQuality() ? ConstantQualityLabel(rate.Quality) : BitrateLabel(rate.BitRate);
  const bool quality = r.Member("video", "quality") && !r.Member("video", "bitrate");
  s.VideoRate = r.Choose(choices.VideoRates, rate, "video", quality ? "quality" : "bitrate",
                         quality ? "constant quality" : "video bitrate", rateShown, profile);
  const std::string size = r.Get<std::string>("video", "size", SizeValue(DefaultOf(choices.FrameSizes, {})));
  const auto parsed = size == "source" ? std::optional<TFrameSize>() : ParseFrameSize(size);
  if (size != "source" && !parsed) r.Refuse("video", "size", "The size \"" + size + "\" is not WIDTHxHEIGHT or \"source\"");
  s.FrameSize = r.Choose(choices.FrameSizes, parsed, "video", "size", "size", size, profile);
  const std::string fps = r.Get<std::string>("video", "frame_rate", RateValue(DefaultOf(choices.FrameRates, {})));
  const std::optional<TFrameRate> frameRate = fps == "source" ? TFrameRate{} : ParseFrameRate(fps);
  if (!frameRate) r.Refuse("video", "frame_rate", "The frame rate \"" + fps + "\" is not a rate or \"source\"");
  s.FrameRate = r.Choose(choices.FrameRates, *frameRate, "video", "frame_rate", "frame rate", fps, profile);
  s.Letterbox = r.Get<bool>("video", "letterbox", true);
  const std::string aspect = r.Get<std::string>("video", "aspect", "auto");
  if (aspect == "4:3") s.Aspect = TAspect::Ratio4x3;
  else if (aspect == "16:9") s.Aspect = TAspect::Ratio16x9;
  else if (aspect == "auto") s.Aspect = TAspect::Auto;
  else r.Refuse("video", "aspect", "The aspect \"" + aspect + "\" is not auto, 4:3 or 16:9");
}

void ReadAudio(const TPresetReader& r, const TProfileChoices& choices, const Quality& profile, JobSettings& s) {
  s.AudioCodec = r.Codec(choices.AudioCodecs, "audio", profile, choices.AudioCodecs.Default);
  if (!choices.AudioBitrates.Items.empty()) {
    const int bits = r.Get<int>("audio", "bitrate", DefaultOf(choices.AudioBitrates, 0));
    s.AudioBitrate = r.Choose(choices.AudioBitrates, bits, "audio", "bitrate", "audio bitrate", BitrateLabel(bits), profile);
  }
  const int rate = r.Get<int>("audio", "sample_rate", DefaultOf(choices.SampleRates, 0));
  s.SampleRate =
      r.Choose(choices.SampleRates, rate, "audio", "sample_rate", "sample rate", std::to_string(rate) + " Hz", profile);
  const int channels = r.Get<int>("audio", "channels", DefaultOf(choices.Channels, 2));
  s.Channels = r.Choose(choices.Channels, channels, "audio", "channels", "channels", std::to_string(channels), profile);
  s.Volume = r.Get<int>("audio", "volume", 100);
  if (s.Volume < 0 || s.Volume > 200 || s.Volume % 20 != 0)
    r.Refuse("audio", "volume", "The volume " + std::to_string(s.Volume) + " is not 0 to 200 in steps of 20");
  if (r.Member("audio", "loudness")) {
    s.Loudness = r.Get<int>("audio", "loudness", 0);
    if (std::string refusal = LoudnessRefusal(*s.Loudness); !refusal.empty()) r.Refuse("audio", "loudness", refusal);
  }
}

}  // namespace

std::string PresetText(const JobSettings& ASettings) {
  json preset = {{"strella-preset", kPresetVersion}, {"profile", std::string(ASettings.ProfileKey())}};
  if (!ASettings.AudioOnly()) {
    json video = {{"codec", ASettings.VideoCodec.Shown}};
    if (ASettings.VideoRate.IsQuality()) video["quality"] = ASettings.VideoRate.Quality;
    else video["bitrate"] = ASettings.VideoRate.BitRate;
    video["size"] = SizeValue(ASettings.FrameSize);
    video["frame_rate"] = RateValue(ASettings.FrameRate);
    video["letterbox"] = ASettings.Letterbox;
    video["aspect"] = AspectValue(ASettings.Aspect);
    preset["video"] = video;
  }
  json audio = {{"codec", ASettings.AudioCodec.Shown}};
  if (ASettings.AudioBitrate) audio["bitrate"] = *ASettings.AudioBitrate;
  audio["sample_rate"] = ASettings.SampleRate;
  audio["channels"] = ASettings.Channels;
  audio["volume"] = ASettings.Volume;
  if (ASettings.Loudness) audio["loudness"] = *ASettings.Loudness;
  preset["audio"] = audio;
  return preset.dump(2) + "\n";
}

JobSettings ParsePreset(const std::string& AText) {
  json root;
  try {
    root = json::parse(AText);
  } catch (const json::parse_error& error) {
    throw TPresetError("not valid JSON (" + std::string(error.what()) + ")", LineAtOffset(AText, error.byte));
  }
  if (!root.is_object()) throw TPresetError("not a preset: the file holds no JSON object", 1);
  if (!root.contains("profile") || !root["profile"].is_string())
    throw TPresetError("not a preset: it names no \"profile\"", LineOf(AText, "profile"));
  const std::string key = root["profile"].get<std::string>();
  const Quality* profile = FindProfileByKey(key);
  if (!profile) throw TPresetError("The profile \"" + key + "\" is not known", LineOf(AText, "profile"));
  const TPresetReader reader(AText, root);
  const TProfileChoices& choices = ChoicesOf(*profile);
  JobSettings settings;
  settings.Profile = profile;
  if (!profile->Has(kAudioOnly)) ReadVideo(reader, choices, *profile, settings);
  ReadAudio(reader, choices, *profile, settings);
  return settings;
}

JobSettings ReadPresetFile(const std::string& AFileName) {
  std::ifstream file(AFileName, std::ios::binary);
  if (!file) throw TPresetError(AFileName + ": " + std::strerror(errno), 0);
  std::stringstream text;
  text << file.rdbuf();
  try {
    return ParsePreset(text.str());
  } catch (const TPresetError& error) {
    const std::string where = error.Line > 0 ? AFileName + ":" + std::to_string(error.Line) : AFileName;
    throw TPresetError(where + ": " + error.what(), error.Line);
  }
}

std::string WritePresetFile(const std::string& AFileName, const JobSettings& ASettings) {
  std::error_code ec;
  if (fs::exists(AFileName, ec) && !fs::is_regular_file(AFileName, ec)) return AFileName + ": is not a regular file";
  if (const std::string reason = WriteWholeFile(AFileName, PresetText(ASettings)); !reason.empty())
    return AFileName + ": " + reason;
  return {};
}

void ApplyJobSettings(const JobSettings& ASettings, TSettingsModel& AModel, TPreferences& APrefs) {
  const TSettingsControls& c = AModel.Controls();
  c.ComboOutputFormat->SelectText(std::string(ASettings.Profile->DisplayName));
  AModel.OutputFormatChanged();
  const TProfileChoices& choices = ChoicesOf(*ASettings.Profile);
  const auto select = [](TDropDown& list, int index) {
    if (index >= 0) list.SetItemIndex(index);
  };
  const auto selectCodec = [&select](TDropDown& list, const TChoiceList<std::string>& codecs, const TCodecChoice& codec) {
    for (size_t i = 0; i < codecs.Items.size(); ++i)
      if (codecs.Items[i].Label == codec.Shown) select(list, static_cast<int>(i));
  };
  if (!ASettings.AudioOnly()) {
    selectCodec(*c.ComboVideoCodec, choices.VideoCodecs, ASettings.VideoCodec);
    select(*c.ComboVideoBitrate, choices.VideoRates.IndexOf(ASettings.VideoRate));
    AModel.QualityChanged(*c.ComboVideoBitrate);
    select(*c.ComboVideoSize, choices.FrameSizes.IndexOf(ASettings.FrameSize));
    AModel.VideoSizeChanged(*c.ComboVideoSize);
    select(*c.ComboVideoFrameRate, choices.FrameRates.IndexOf(ASettings.FrameRate));
    c.ComboBoxLetterbox->SetItemIndex(ASettings.Letterbox ? 1 : 0);
    c.ComboBoxAspectRatio->SetItemIndex(static_cast<int>(ASettings.Aspect));
  }
  selectCodec(*c.ComboAudioCodec, choices.AudioCodecs, ASettings.AudioCodec);
  if (ASettings.AudioBitrate) {
    select(*c.ComboAudioBitrate, choices.AudioBitrates.IndexOf(*ASettings.AudioBitrate));
    AModel.QualityChanged(*c.ComboAudioBitrate);
  }
  select(*c.ComboSamplingRate, choices.SampleRates.IndexOf(ASettings.SampleRate));
  select(*c.ComboAudioChannels, choices.Channels.IndexOf(ASettings.Channels));
  APrefs.SpinVolume = ASettings.Volume;
  APrefs.Loudness = ASettings.Loudness;
}

std::string PresetFolder() {
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home) config = std::string(home) + "/.config";
  else config = "/tmp";
  return config + "/Quorvex/Strella Video Converter/presets";
}

std::vector<TPresetEntry> ListPresets() {
  std::vector<TPresetEntry> presets;
  std::error_code ec;
  for (fs::directory_iterator it(PresetFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() != ".json" || !it->is_regular_file(ec)) continue;
    presets.push_back({it->path().stem().string(), it->path().string()});
  }
  std::sort(presets.begin(), presets.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
  return presets;
}

}  // namespace strella::app
