#include "app/settings_model.h"

#include <algorithm>
#include <map>
#include <thread>
#include <vector>

#include "app/profile_encoders.h"
#include "app/text_utils.h"

namespace strella::app {

namespace {

const std::vector<std::string> kFrameRates = {"Auto",      "30.0 fps",   "29.97 fps", "25.0 fps",
                                              "23.975 fps", "15.0 fps", "14.985 fps"};
const std::vector<std::string> kVideoBitrates = {
    "192 Kbps", "200 Kbps", "256 Kbps",  "384 Kbps",  "512 Kbps",  "640 Kbps", "768 Kbps",
    "1000 Kbps", "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps"};
const std::vector<std::string> kFrameSizes = {
    "Original Size",  "720x576",        "720x480",       "704x576 (4CIF)", "640x480",
    "640x352",        "624x352",        "480x576",       "480x480",        "480x360",
    "480x272",        "352x288 (CIF)",  "352x240",       "320x240 (VGA)",  "320x200",
    "240x180",        "220x176",        "208x176",       "192x144",        "176x144 (QCIF)",
    "176x120",        "160x120 (QVGA)", "128x96 (SQCIF)"};
const std::vector<std::string> kSampleRates = {"96000 Hz", "54000 Hz", "48000 Hz", "44100 Hz",
                                               "32000 Hz", "22050 Hz", "16000 Hz", "8000 Hz"};

constexpr std::string_view kDefault = "default";
constexpr std::string_view kOnly = "ONLY";

// A cell cut at every "-"; the segment marked "default" (or the first) is preselected.
struct TSplitCell {
  std::vector<std::string> values;
  int preselected = 0;
};

TSplitCell SplitCell(std::string_view cell) {
  TSplitCell split;
  for (std::string& segment : SplitText(cell, '-')) {
    const size_t mark = segment.find(kDefault);
    if (mark != std::string::npos) {
      segment.erase(mark);
      split.preselected = static_cast<int>(split.values.size());
    }
    split.values.push_back(segment);
  }
  return split;
}

std::string Before(std::string_view cell, std::string_view marker) {
  return std::string(cell.substr(0, cell.find(marker)));
}

bool IsDefaultValue(std::string_view cell) { return !Contains(cell, "-") && Contains(cell, kDefault); }

std::string WithUnit(const std::string& value, std::string_view unitTest, std::string_view unit) {
  return Contains(value, unitTest) ? value : value + std::string(unit);
}

void FillList(TDropDown& list, const std::vector<std::string>& items, int selected) {
  for (const std::string& item : items) list.Add(item);
  list.SetItemIndex(selected);
}

void FillSplit(TDropDown& list, std::string_view cell, std::string_view unitTest = {},
               std::string_view unit = {}, std::string_view exempt = {}) {
  const TSplitCell split = SplitCell(cell);
  for (const std::string& value : split.values) {
    const bool bare = !unit.empty() && value != exempt;
    list.Add(bare ? WithUnit(value, unitTest, unit) : value);
  }
  list.SetItemIndex(split.preselected);
}

// The first (or last) item whose text contains the value; -1 with none.
int FindContaining(const TDropDown& list, const std::string& value, bool last, bool trimmed) {
  int found = -1;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string text = trimmed ? Trim(list.Item(i)) : list.Item(i);
    if (!Contains(text, value)) continue;
    found = i;
    if (!last) break;
  }
  return found;
}

void SelectContaining(TDropDown& list, const std::string& value, bool last, bool trimmed = false) {
  const int found = FindContaining(list, value, last, trimmed);
  list.SetItemIndex(found >= 0 ? found : 0);
}

// Ladder values in " Kbps", a value equal to the one before it listed once;
// an empty ladder (a lossless profile) offers none.
void FillLadder(TDropDown& list, const std::array<std::string_view, 5>& ladder) {
  for (size_t i = 0; i < ladder.size(); ++i) {
    if (ladder[i].empty() || (i > 0 && ladder[i] == ladder[i - 1])) continue;
    list.Add(std::string(ladder[i]) + " Kbps");
  }
}

void FillBitrateCell(TDropDown& list, std::string_view cell) {
  if (IsDefaultValue(cell)) {
    SelectContaining(list, Before(cell, kDefault), false);
  } else if (Contains(cell, kOnly)) {
    list.Clear();
    FillList(list, {WithUnit(Before(cell, kOnly), "Kbps", " Kbps")}, 0);
  }
}

// How a cell's bare values get their unit: " fps" unless the value contains "fps" or is "Auto".
struct TUnit {
  std::string_view test;
  std::string_view suffix;
  std::string_view exempt;
};

// Frame rates and sample rates: the standard list for an empty cell or a lone
// "default" value (the last item containing it preselected), else the cell's values.
void FillUnitCell(TDropDown& list, std::string_view cell, const std::vector<std::string>& standard, TUnit unit) {
  if (cell.empty()) {
    FillList(list, standard, 0);
  } else if (IsDefaultValue(cell)) {
    FillList(list, standard, 0);
    SelectContaining(list, Before(cell, kDefault), true);
  } else if (Contains(cell, kOnly)) {
    FillList(list, {WithUnit(Before(cell, kOnly), unit.test, unit.suffix)}, 0);
  } else {
    FillSplit(list, cell, unit.test, unit.suffix, unit.exempt);
  }
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

namespace {

// A codec cell without "-" is the one item exactly as written, even when empty.
void FillCodecs(TDropDown& list, std::string_view cell) {
  list.Clear();
  if (Contains(cell, "-")) {
    FillSplit(list, cell);
  } else {
    FillList(list, {std::string(cell)}, 0);
  }
}

}  // namespace

void TSettingsModel::FillVideoCodecs(const Quality& AProfile) {
  FillCodecs(*controls_.ComboVideoCodec, AProfile.VideoCodecCell);
}

void TSettingsModel::FillAudioCodecs(const Quality& AProfile) {
  FillCodecs(*controls_.ComboAudioCodec, AProfile.AudioCodecCell);
}

void TSettingsModel::FillFrameSizes(const Quality& AProfile) {
  TDropDown& list = *controls_.ComboVideoSize;
  const std::string_view cell = AProfile.FrameSizeCell;
  if (cell.empty()) {
    FillList(list, kFrameSizes, 0);
  } else if (IsDefaultValue(cell)) {
    FillList(list, kFrameSizes, 0);
    SelectContaining(list, Before(cell, kDefault), true, true);
  } else if (Contains(cell, kOnly)) {
    FillList(list, {Before(cell, kOnly)}, 0);
  } else {
    FillSplit(list, cell);
  }
  TDropDown& mirror = *controls_.ComboVideoSize1;
  for (int i = 0; i < list.Count(); ++i) mirror.Add(list.Item(i));
  mirror.SetItemIndex(list.ItemIndex());
}

void TSettingsModel::FillVideoBitrates(const Quality& AProfile) {
  TDropDown& list = *controls_.ComboVideoBitrate;
  if (AProfile.VideoBitrateCell.empty()) {
    FillList(list, kVideoBitrates, 0);
    return;
  }
  // Constant quality first, so that the quality steps pick it.
  for (std::string_view value : AProfile.QualityLadder)
    if (!value.empty()) list.Add(ConstantQualityItem(value));
  FillLadder(list, AProfile.VideoLadder);
  FillBitrateCell(list, AProfile.VideoBitrateCell);
}

void TSettingsModel::FillFrameRates(const Quality& AProfile) {
  FillUnitCell(*controls_.ComboVideoFrameRate, AProfile.FrameRateCell, kFrameRates, {"fps", " fps", "Auto"});
}

void TSettingsModel::FillAudioBitrates(const Quality& AProfile) {
  TDropDown& list = *controls_.ComboAudioBitrate;
  list.Clear();
  FillLadder(list, AProfile.AudioLadder);
  FillBitrateCell(list, AProfile.AudioBitrateCell);
}

void TSettingsModel::FillSampleRates(const Quality& AProfile) {
  controls_.ComboSamplingRate->Clear();
  FillUnitCell(*controls_.ComboSamplingRate, AProfile.SampleRateCell, kSampleRates, {" Hz", " Hz", ""});
}

void TSettingsModel::FillQualityChoices() {
  for (TDropDown* list : {controls_.ComboVideoQuality, controls_.ComboAudioQuality}) {
    list->Clear();
    for (const char* name : kQualityNames) list->Add(name);
    list->SetItemIndex(kNormalQuality);
  }
}

void TSettingsModel::FillChannelChoices() {
  TDropDown& list = *controls_.ComboAudioChannels;
  list.Clear();
  const bool monoOnly = CurrentFormatKey == "3GP" || CurrentFormatKey == "3G2" || CurrentFormatKey == "AMR";
  if (monoOnly) {
    FillList(list, {"Mono"}, 0);
  } else {
    FillList(list, {"Stereo", "Mono"}, 0);
  }
}

bool TSettingsModel::isAudio() const { return IsAudioFormatKey(CurrentFormatKey); }

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

std::string ConstantQualityItem(std::string_view AValue) { return std::string(kConstantQualityPrefix) + std::string(AValue); }

std::optional<int> ConstantQualityOf(const std::string& AItem) {
  const std::string text = Trim(AItem);
  if (text.rfind(kConstantQualityPrefix, 0) != 0) return std::nullopt;
  const auto value = ParseWhole(text.substr(std::string_view(kConstantQualityPrefix).size()));
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

std::string PreselectedChoice(std::string_view ACell) {
  const TSplitCell split = SplitCell(ACell);
  return split.values.empty() ? std::string() : split.values[static_cast<size_t>(split.preselected)];
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
