#include "app/settings_persistence.h"

#include "app/job_settings.h"
#include "app/profile_encoders.h"
#include "app/text_utils.h"
#include "media/logger.h"

namespace strella::app {

const std::vector<std::string>& DetailedSettingNames() {
  static const std::vector<std::string> names = {
      "VideoCodec",   "VideoBitrate",  "VideoSize",   "FrameRate", "AudioCodec", "AudioBitrate",   "SamplingRate",
      "AudioChannels", "AspectRatio", "Volume",     "Loudness",  "FormWidth",  "FormHeight",     "Maximized",
      "Profile",       "KeepFolderStructure", "VerifyOutputs"};
  return names;
}

std::string TMemorySettingsStore::ReadString(const std::string& AName) {
  const auto it = values.find(AName);
  return it == values.end() ? std::string() : it->second;
}

int TMemorySettingsStore::ReadInteger(const std::string& AName) {
  const auto it = values.find(AName);
  const auto value = it == values.end() ? std::nullopt : ParseWhole(it->second);
  if (!value) throw TSettingsError("Invalid data type for '" + AName + "'");
  return static_cast<int>(*value);
}

bool TMemorySettingsStore::ReadBool(const std::string& AName) { return ReadInteger(AName) != 0; }

void TMemorySettingsStore::WriteString(const std::string& AName, const std::string& AValue) {
  values[AName] = AValue;
  written.push_back(AName);
}

void TMemorySettingsStore::WriteInteger(const std::string& AName, int AValue) {
  WriteString(AName, std::to_string(AValue));
}

void TMemorySettingsStore::WriteBool(const std::string& AName, bool AValue) { WriteInteger(AName, AValue ? 1 : 0); }

namespace {

void LoadSkin(TSettingsStore& store, TWindowSettings& window) {
  try {
    const std::string skin = store.ReadString("Skin");
    window.Skin = skin.empty() ? "No Skin" : skin;
  } catch (const std::exception& error) {
    media::Log(nullptr, media::llWarning, std::string("Skin setting ignored: ") + error.what());
  }
}

// A value added after the first release: a store without it keeps every other
// choice and runs one conversion at a time.
void LoadSimultaneousConversions(TSettingsStore& store, TPreferences& prefs) {
  try {
    prefs.SimultaneousConversions = ClampSimultaneousConversions(store.ReadInteger("SimultaneousConversions"));
  } catch (const std::exception&) {
    prefs.SimultaneousConversions = 1;
  }
}

// The profile is kept by its key; a store written before keys were kept
// names it by its place in the format list. An index that names no profile
// (negative, past the list, a header), or a profile whose encoder the
// libraries lack, selects the first-run format.
void LoadFormat(TSettingsStore& store, TSettingsModel& model) {
  TDropDown& formats = *model.Controls().ComboOutputFormat;
  const Quality* profile = FindProfileByKey(store.ReadString("Profile"));
  if (profile) {
    formats.SelectText(std::string(profile->DisplayName));
  } else {
    const int index = store.ReadInteger("ComboOutputFormat");
    formats.SetItemIndex(index);
    profile = index < 0 ? nullptr : FindProfile(formats.Text());
  }
  const std::string unserved = profile ? ProfileUnavailableReason(*profile) : std::string();
  if (!unserved.empty())
    media::Log(nullptr, media::llWarning, "The saved format \"" + formats.Text() + "\" " + unserved);
  if (!profile || !unserved.empty()) formats.SetItemIndex(kDefaultFormatEntry);
  model.SavedFormatIndex = formats.ItemIndex();
}

void LoadChoices(TSettingsStore& store, TSettingsModel& model, TPreferences& prefs, TWindowSettings& window) {
  const TSettingsControls& c = model.Controls();
  prefs.OutputFolder = store.ReadString("Output Folder");
  LoadFormat(store, model);
  prefs.Overwrite = store.ReadBool("Overwrite");
  if (const int letterbox = store.ReadInteger("LetterBox"); letterbox >= 0) c.ComboBoxLetterbox->SetItemIndex(letterbox);
  if (const int video = store.ReadInteger("VideoQuality"); video >= 0) model.SavedVideoQuality = video;
  if (const int audio = store.ReadInteger("AudioQuality"); audio >= 0) model.SavedAudioQuality = audio;
  // The format change sets the qualities from the profile's bit rates; the kept ones come after it.
  const int video = model.SavedVideoQuality, audio = model.SavedAudioQuality;
  model.OutputFormatChanged();
  c.ComboVideoQuality->SetItemIndex(video);
  model.QualityChanged(*c.ComboVideoQuality);
  c.ComboAudioQuality->SetItemIndex(audio);
  model.QualityChanged(*c.ComboAudioQuality);
  if (const int top = store.ReadInteger("FormTop"); top >= 0) window.FormTop = top;
  if (const int left = store.ReadInteger("FormLeft"); left >= 0) window.FormLeft = left;
  if (const int tab = store.ReadInteger("Tabsheet"); tab >= 0) window.Tabsheet = tab == 1 ? 1 : 2;
}

// The detailed lists by the name their selection is kept under, in writing order.
std::vector<std::pair<std::string, TDropDown*>> DetailedLists(const TSettingsControls& c) {
  return {{"VideoCodec", c.ComboVideoCodec},       {"VideoBitrate", c.ComboVideoBitrate},
          {"VideoSize", c.ComboVideoSize},         {"FrameRate", c.ComboVideoFrameRate},
          {"AudioCodec", c.ComboAudioCodec},       {"AudioBitrate", c.ComboAudioBitrate},
          {"SamplingRate", c.ComboSamplingRate},   {"AudioChannels", c.ComboAudioChannels},
          {"AspectRatio", c.ComboBoxAspectRatio}};
}

int FindItem(const TDropDown& list, const std::string& text) {
  for (int i = 0; i < list.Count(); ++i)
    if (list.Item(i) == text) return i;
  return -1;
}

// Each kept selection that the profile still offers is selected again; the
// bit rates take the quality lists along, the size list its twin.
void LoadDetailedChoices(TSettingsStore& store, TSettingsModel& model, TPreferences& prefs, TWindowSettings& window) {
  const TSettingsControls& c = model.Controls();
  for (const auto& [name, list] : DetailedLists(c)) {
    const int index = FindItem(*list, store.ReadString(name));
    if (index < 0) continue;
    list->SetItemIndex(index);
    if (list == c.ComboVideoBitrate || list == c.ComboAudioBitrate) model.QualityChanged(*list);
    if (list == c.ComboVideoSize) model.VideoSizeChanged(*list);
  }
  auto readInteger = [&](const char* name, int& value) {
    try {
      value = store.ReadInteger(name);
    } catch (const TSettingsError&) {
      // kept by an older version: the value stays as it was
    }
  };
  readInteger("Volume", prefs.SpinVolume);
  int loudness = 0;  // 0: none kept
  readInteger("Loudness", loudness);
  if (loudness != 0 && LoudnessRefusal(loudness).empty()) prefs.Loudness = loudness;
  readInteger("FormWidth", window.FormWidth);
  readInteger("FormHeight", window.FormHeight);
  int maximized = window.Maximized ? 1 : 0;
  readInteger("Maximized", maximized);
  window.Maximized = maximized != 0;
  int keepFolders = prefs.KeepFolderStructure ? 1 : 0;
  readInteger("KeepFolderStructure", keepFolders);
  prefs.KeepFolderStructure = keepFolders != 0;
  int verify = prefs.VerifyOutputs ? 1 : 0;
  readInteger("VerifyOutputs", verify);
  prefs.VerifyOutputs = verify != 0;
}

void ApplyFirstRunDefaults(TSettingsModel& model, TWindowSettings& window) {
  const TSettingsControls& c = model.Controls();
  c.ComboOutputFormat->SetItemIndex(kDefaultFormatEntry);
  model.SavedFormatIndex = kDefaultFormatEntry;
  model.OutputFormatChanged();
  c.ComboVideoQuality->SetItemIndex(kNormalQuality);
  c.ComboAudioQuality->SetItemIndex(kNormalQuality);
  window.FormTop = kFirstRunFormTop;
  window.FormLeft = kFirstRunFormLeft;
}

}  // namespace

void LoadSettings(TSettingsStore& AStore, TSettingsModel& AModel, TPreferences& APrefs, TWindowSettings& AWindow) {
  AStore.OpenKey();
  LoadSkin(AStore, AWindow);
  LoadSimultaneousConversions(AStore, APrefs);
  try {
    LoadChoices(AStore, AModel, APrefs, AWindow);
    LoadDetailedChoices(AStore, AModel, APrefs, AWindow);
  } catch (const std::exception& error) {
    // The first run, or a value gone missing: defaults, written back at once.
    media::Log(nullptr, media::llInfo, std::string("Settings incomplete, using defaults: ") + error.what());
    ApplyFirstRunDefaults(AModel, AWindow);
    AStore.CloseKey();
    SaveSettings(AStore, AModel, APrefs, AWindow);
    return;
  }
  AStore.CloseKey();
}

void SaveSettings(TSettingsStore& AStore, const TSettingsModel& AModel, const TPreferences& APrefs,
                  const TWindowSettings& AWindow) {
  const TSettingsControls& c = AModel.Controls();
  try {
    AStore.OpenKey();
    AStore.WriteString("Skin", AWindow.Skin.empty() ? "No Skin" : AWindow.Skin);
    AStore.WriteString("Output Folder", APrefs.OutputFolder);
    AStore.WriteInteger("ComboOutputFormat", c.ComboOutputFormat->ItemIndex());
    AStore.WriteBool("Overwrite", APrefs.Overwrite);
    AStore.WriteInteger("LetterBox", c.ComboBoxLetterbox->ItemIndex());
    AStore.WriteInteger("VideoQuality", c.ComboVideoQuality->ItemIndex());
    AStore.WriteInteger("AudioQuality", c.ComboAudioQuality->ItemIndex());
    AStore.WriteInteger("FormTop", AWindow.FormTop);
    AStore.WriteInteger("FormLeft", AWindow.FormLeft);
    AStore.WriteInteger("Tabsheet", AWindow.Tabsheet);
    AStore.WriteInteger("SimultaneousConversions", APrefs.SimultaneousConversions);
    for (const auto& [name, list] : DetailedLists(c)) AStore.WriteString(name, list->Text());
    AStore.WriteInteger("Volume", APrefs.SpinVolume);
    AStore.WriteInteger("Loudness", APrefs.Loudness.value_or(0));
    AStore.WriteInteger("FormWidth", AWindow.FormWidth);
    AStore.WriteInteger("FormHeight", AWindow.FormHeight);
    AStore.WriteBool("Maximized", AWindow.Maximized);
    // The key keeps naming the profile when the list changes; the index above
    // is for a previous release reading the same store.
    const Quality* profile = AModel.CurrentProfile();
    AStore.WriteString("Profile", profile ? std::string(profile->Key) : std::string());
    AStore.WriteBool("KeepFolderStructure", APrefs.KeepFolderStructure);
    AStore.WriteBool("VerifyOutputs", APrefs.VerifyOutputs);
  } catch (const std::exception& error) {
    // Saving is best effort: the program is closing.
    media::Log(nullptr, media::llWarning, std::string("Settings not saved: ") + error.what());
  }
  AStore.CloseKey();
}

}  // namespace strella::app
