#include "app/settings_model.h"

#include <algorithm>
#include <map>
#include <thread>
#include <vector>

#include "app/profile_choices.h"
#include "app/profile_encoders.h"
#include "app/text_utils.h"

namespace strella::app {

namespace {

void FillList(TDropDown& list, const std::vector<std::string>& items, int selected) {
  for (const std::string& item : items) list.Add(item);
  list.SetItemIndex(selected);
}

template <class T>
void FillChoices(TDropDown& list, const TChoiceList<T>& choices) {
  list.Clear();
  FillList(list, choices.Labels(), choices.Default);
}

}  // namespace

TListSettingsControls::TListSettingsControls() {
  TDropDown** slots[] = {&controls_.ComboOutputFormat,   &controls_.ComboVideoQuality,
                         &controls_.ComboAudioQuality,   &controls_.ComboVideoSize1,
                         &controls_.ComboBoxLetterbox,   &controls_.ComboVideoCodec,
                         &controls_.ComboVideoBitrate,   &controls_.ComboVideoSize,
                         &controls_.ComboVideoFrameRate, &controls_.ComboAudioCodec,
                         &controls_.ComboAudioBitrate,   &controls_.ComboSamplingRate,
                         &controls_.ComboAudioChannels,  &controls_.ComboBoxAspectRatio};
  for (size_t i = 0; i < std::size(slots); ++i) *slots[i] = &lists_[i];
}

TSettingsModel::TSettingsModel(const TSettingsControls& AControls) : controls_(AControls) {}

void TSettingsModel::Initialize() {
  FillOutputFormat(*controls_.ComboOutputFormat);
  controls_.ComboBoxLetterbox->Clear();
  FillList(*controls_.ComboBoxLetterbox, {"None", "Add LetterBox"}, 1);
  controls_.ComboBoxAspectRatio->Clear();
  FillList(*controls_.ComboBoxAspectRatio, {"Auto", "4:3", "16:9"}, 0);
}

const Quality* TSettingsModel::ProfileOfListText() const {
  return FindProfile(controls_.ComboOutputFormat->Text());
}

const Quality* TSettingsModel::CurrentProfile() const { return FindProfile(Trim(controls_.ComboOutputFormat->Text())); }

void TSettingsModel::SelectOutputFormat() {
  for (TDropDown* list : {controls_.ComboVideoCodec, controls_.ComboVideoBitrate, controls_.ComboVideoSize,
                          controls_.ComboVideoFrameRate, controls_.ComboVideoSize1})
    list->Clear();
  if (const Quality* profile = CurrentProfile()) CurrentFormatKey = std::string(profile->FormatKey);
  // The fills read the untrimmed list text, as the per-choice steps always did.
  const Quality* profile = ProfileOfListText();
  if (profile) {
    if (!isAudio()) {
      FillVideoCodecs(*profile);
      FillFrameSizes(*profile);
      FillVideoBitrates(*profile);
      FillFrameRates(*profile);
    }
    FillAudioCodecs(*profile);
    FillAudioBitrates(*profile);
    FillSampleRates(*profile);
  }
  FillQualityChoices();
  FillChannelChoices();
  if (OnFormatKeyChanged) OnFormatKeyChanged(CurrentFormatKey);
  SavedFormatIndex = controls_.ComboOutputFormat->ItemIndex();
}

void TSettingsModel::OutputFormatChanged() {
  const Quality* profile = CurrentProfile();
  const bool served = !profile || ProfileUnavailableReason(*profile).empty();
  if (!IsSelectableFormatEntry(controls_.ComboOutputFormat->Text()) || !served) {
    controls_.ComboOutputFormat->SetItemIndex(SavedFormatIndex);
    return;
  }
  SelectOutputFormat();
  // The quality lists follow the bit rates the profile selects, as they follow
  // a bit rate the user picks: both tabs show what the conversion will use.
  QualityChanged(*controls_.ComboVideoBitrate);
  QualityChanged(*controls_.ComboAudioBitrate);
}

void TSettingsModel::QualityChanged(TDropDown& ASender) {
  const TSettingsControls& c = controls_;
  if (&ASender == c.ComboVideoQuality) c.ComboVideoBitrate->SetItemIndex(ASender.ItemIndex());
  if (&ASender == c.ComboVideoBitrate) c.ComboVideoQuality->SetItemIndex(ASender.ItemIndex());
  if (&ASender == c.ComboAudioQuality) c.ComboAudioBitrate->SetItemIndex(ASender.ItemIndex());
  if (&ASender == c.ComboAudioBitrate) c.ComboAudioQuality->SetItemIndex(ASender.ItemIndex());
  SavedVideoQuality = c.ComboVideoQuality->ItemIndex();
  SavedAudioQuality = c.ComboAudioQuality->ItemIndex();
}

void TSettingsModel::VideoSizeChanged(TDropDown& ASender) {
  TDropDown* other = &ASender == controls_.ComboVideoSize ? controls_.ComboVideoSize1 : controls_.ComboVideoSize;
  other->SetItemIndex(ASender.ItemIndex());
}

void TSettingsModel::FillVideoCodecs(const Quality& AProfile) {
  FillChoices(*controls_.ComboVideoCodec, ChoicesOf(AProfile).VideoCodecs);
}

void TSettingsModel::FillAudioCodecs(const Quality& AProfile) {
  FillChoices(*controls_.ComboAudioCodec, ChoicesOf(AProfile).AudioCodecs);
}

void TSettingsModel::FillFrameSizes(const Quality& AProfile) {
  const auto& sizes = ChoicesOf(AProfile).FrameSizes;
  FillChoices(*controls_.ComboVideoSize, sizes);
  FillChoices(*controls_.ComboVideoSize1, sizes);
}

void TSettingsModel::FillVideoBitrates(const Quality& AProfile) {
  FillChoices(*controls_.ComboVideoBitrate, ChoicesOf(AProfile).VideoRates);
}

void TSettingsModel::FillFrameRates(const Quality& AProfile) {
  FillChoices(*controls_.ComboVideoFrameRate, ChoicesOf(AProfile).FrameRates);
}

void TSettingsModel::FillAudioBitrates(const Quality& AProfile) {
  FillChoices(*controls_.ComboAudioBitrate, ChoicesOf(AProfile).AudioBitrates);
}

void TSettingsModel::FillSampleRates(const Quality& AProfile) {
  FillChoices(*controls_.ComboSamplingRate, ChoicesOf(AProfile).SampleRates);
}

void TSettingsModel::FillQualityChoices() {
  for (TDropDown* list : {controls_.ComboVideoQuality, controls_.ComboAudioQuality}) {
    list->Clear();
    for (const char* name : kQualityNames) list->Add(name);
    list->SetItemIndex(kNormalQuality);
  }
}

void TSettingsModel::FillChannelChoices() {
  const Quality* profile = CurrentProfile();
  TDropDown& list = *controls_.ComboAudioChannels;
  list.Clear();
  if (profile) FillChoices(list, ChoicesOf(*profile).Channels);
  else FillList(list, {"Stereo", "Mono"}, 0);
}

bool TSettingsModel::isAudio() const {
  const Quality* profile = CurrentProfile();
  return profile ? profile->Has(kAudioOnly) : IsAudioFormatKey(CurrentFormatKey);
}

std::string TSettingsModel::GetNewVideoCodec() const { return MapVideoCodec(controls_.ComboVideoCodec->Text()); }

std::string TSettingsModel::GetNewAudioCodec() const { return MapAudioCodec(controls_.ComboAudioCodec->Text()); }

namespace {

std::string MapCodec(const std::string& shown, const std::map<std::string, std::string>& names) {
  const std::string name = LowerCase(Trim(shown));
  const auto it = names.find(name);
  return it == names.end() ? name : it->second;
}

}  // namespace

std::string MapVideoCodec(const std::string& AShownName) {
  static const std::map<std::string, std::string> names = {
      {"h264", "libx264"}, {"xvid", "libxvid"},     {"divx", "mpeg4"},    {"wmv3x", "wmv2"},
      {"mpeg4_qt", "mpeg4"}, {"hevc", "libx265"}, {"vp9", "libvpx-vp9"}, {"av1", "libsvtav1"}};
  return MapCodec(AShownName, names);
}

std::string MapAudioCodec(const std::string& AShownName) {
  // The native "aac" encoder stands in for the AAC encoders of old builds.
  static const std::map<std::string, std::string> names = {
      {"aac", "aac"},          {"mpeg4aac", "aac"},     {"mpeg4aac_qt", "aac"},
      {"mp3", "libmp3lame"},   {"wma7x", "wmav2"},      {"amr_nb", "libopencore_amrnb"},
      {"vorbis", "libvorbis"}, {"opus", "libopus"}};
  return MapCodec(AShownName, names);
}

bool IsAudioFormatKey(const std::string& AFormatKey) {
  static const char* const keys[] = {"mp3", "mp2", "wma", "m4a", "amr", "wav", "ac3",
                                     "ogg", "ra",  "au",  "aac", "opus", "flac"};
  const std::string key = LowerCase(AFormatKey);
  for (const char* audio : keys) {
    if (key == audio) return true;
  }
  return false;
}

std::optional<int> ConstantQualityOf(const std::string& AItem) {
  const std::string text = Trim(AItem);
  if (text.rfind(kConstantQualityPrefix, 0) != 0) return std::nullopt;
  const auto value = ParseWhole(text.substr(std::string_view(kConstantQualityPrefix).size()));
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

int SpinToVolume(int ASpinValue) {
  static const std::map<int, int> volumes = {{0, 0},     {20, 50},   {40, 100},  {60, 150},
                                             {80, 200},  {100, 256}, {120, 300}, {140, 350},
                                             {160, 400}, {180, 450}, {200, 600}};
  const auto it = volumes.find(ASpinValue);
  return it == volumes.end() ? 256 : it->second;
}

int ProcessorCount() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

int ClampSimultaneousConversions(int AValue) { return std::clamp(AValue, 1, ProcessorCount()); }

}  // namespace strella::app
