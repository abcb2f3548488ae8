// The output settings: turns the chosen profile into the choices of the
// settings lists, preselects one in each, keeps the quality presets and the
// bitrate lists in step and maps the shown codec names to encoder names.
// The lists' selections are the settings; the job builder reads them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/drop_down.h"
#include "app/profile_catalogue.h"

namespace strella::app {

// The drop-down lists the settings live in (owned by the window or by TListSettingsControls).
struct TSettingsControls {
  TDropDown* ComboOutputFormat = nullptr;
  TDropDown* ComboVideoQuality = nullptr;
  TDropDown* ComboAudioQuality = nullptr;
  TDropDown* ComboVideoSize1 = nullptr;
  TDropDown* ComboBoxLetterbox = nullptr;
  TDropDown* ComboVideoCodec = nullptr;
  TDropDown* ComboVideoBitrate = nullptr;
  TDropDown* ComboVideoSize = nullptr;
  TDropDown* ComboVideoFrameRate = nullptr;
  TDropDown* ComboAudioCodec = nullptr;
  TDropDown* ComboAudioBitrate = nullptr;
  TDropDown* ComboSamplingRate = nullptr;
  TDropDown* ComboAudioChannels = nullptr;
  TDropDown* ComboBoxAspectRatio = nullptr;
};

// In-memory lists for the command line and the tests.
class TListSettingsControls {
 public:
  TListSettingsControls();
  const TSettingsControls& Controls() const { return controls_; }

 private:
  TListDropDown lists_[14];
  TSettingsControls controls_;
};

// The " Preferences " group and the output folder, kept in step with their
// controls by the window.
struct TPreferences {
  std::string OutputFolder;
  bool Overwrite = false;
  int SpinVolume = 100;  // 0 to 200 in steps of 20
  int SimultaneousConversions = 1;  // rows converted at the same time, 1 to the number of processors
  std::optional<int> Loudness;  // LUFS the sound is normalised to; nullopt: left as it is
  // Files of an added folder write their outputs into the same subfolders below the output folder.
  bool KeepFolderStructure = false;
  // Each output is read back and decoded in full before it takes its name.
  bool VerifyOutputs = true;
};

// The processors of this machine: the most simultaneous conversions worth running.
int ProcessorCount();
// AValue kept within 1 and ProcessorCount().
int ClampSimultaneousConversions(int AValue);

inline constexpr const char* kQualityNames[] = {"Highest", "Higher", "Normal", "Lower", "Lowest"};
inline constexpr int kNormalQuality = 2;

class TSettingsModel {
 public:
  explicit TSettingsModel(const TSettingsControls& AControls);

  // Fills the format, letterbox and aspect lists as the window's creation does.
  void Initialize();

  // Applies the profile named by the text of ComboOutputFormat.
  void SelectOutputFormat();
  // The user picked an entry of ComboOutputFormat.
  void OutputFormatChanged();
  // The user picked in a quality list or a bitrate list.
  void QualityChanged(TDropDown& ASender);
  // The user picked in one of the two size lists.
  void VideoSizeChanged(TDropDown& ASender);

  std::string GetNewVideoCodec() const;
  std::string GetNewAudioCodec() const;
  bool isAudio() const;
  const Quality* CurrentProfile() const;

  const TSettingsControls& Controls() const { return controls_; }

  std::string CurrentFormatKey;
  int SavedFormatIndex = kInitialFormatEntry;
  int SavedVideoQuality = kNormalQuality;
  int SavedAudioQuality = kNormalQuality;
  // Called with CurrentFormatKey after every profile change (the file list's Output column).
  std::function<void(const std::string&)> OnFormatKeyChanged;

 private:
  void FillVideoCodecs(const Quality& AProfile);
  void FillFrameSizes(const Quality& AProfile);
  void FillVideoBitrates(const Quality& AProfile);
  void FillFrameRates(const Quality& AProfile);
  void FillAudioCodecs(const Quality& AProfile);
  void FillAudioBitrates(const Quality& AProfile);
  void FillSampleRates(const Quality& AProfile);
  void FillQualityChoices();
  void FillChannelChoices();
  const Quality* ProfileOfListText() const;

  TSettingsControls controls_;
};

// Encoder codec names for the names the lists show.
std::string MapVideoCodec(const std::string& AShownName);
std::string MapAudioCodec(const std::string& AShownName);
bool IsAudioFormatKey(const std::string& AFormatKey);
// A constant-quality item of the bitrate list: "CRF 23".
inline constexpr const char* kConstantQualityPrefix = "CRF ";
// The value of a constant-quality item; nothing for a bitrate item.
std::optional<int> ConstantQualityOf(const std::string& AItem);
// SpinVolume to the encoder's volume, on which 256 is unchanged.
int SpinToVolume(int ASpinValue);

}  // namespace strella::app
