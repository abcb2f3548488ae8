#include "app/job_settings.h"

#include "app/profile_encoders.h"
#include "app/settings_model.h"

namespace strella::app {

namespace {

// The value of the list's selected item: the list shows the choices' labels in their order.
template <class T>
T Selected(const TDropDown& list, const TChoiceList<T>& choices, const char* what) {
  const int index = list.ItemIndex();
  if (index < 0 || index >= static_cast<int>(choices.Items.size()) ||
      list.Item(index) != choices.Items[static_cast<size_t>(index)].Label)
    throw TJobError(std::string("No ") + what + " is selected");
  return choices.Items[static_cast<size_t>(index)].Value;
}

TCodecChoice SelectedCodec(const TDropDown& list, const TChoiceList<std::string>& choices, const char* what) {
  return {list.Text(), Selected(list, choices, what)};
}

TAspect AspectOf(const TDropDown& list) {
  const std::string aspect = list.Text();
  if (aspect == "4:3") return TAspect::Ratio4x3;
  if (aspect == "16:9") return TAspect::Ratio16x9;
  return TAspect::Auto;
}

}  // namespace

std::string LoudnessRefusal(int ALufs) {
  if (ALufs >= kQuietestLoudness && ALufs <= kLoudestLoudness) return {};
  return "The loudness " + std::to_string(ALufs) + " LUFS is not " + std::to_string(kQuietestLoudness) + " to " +
         std::to_string(kLoudestLoudness) + " LUFS";
}

JobSettings JobSettingsFrom(const TSettingsModel& AModel, const TPreferences& APrefs) {
  const Quality* profile = AModel.CurrentProfile();
  if (!profile) throw TJobError("No output format is selected");
  const TProfileChoices& choices = ChoicesOf(*profile);
  const TSettingsControls& c = AModel.Controls();
  JobSettings settings;
  settings.Profile = profile;
  if (!profile->Has(kAudioOnly)) {
    settings.VideoCodec = SelectedCodec(*c.ComboVideoCodec, choices.VideoCodecs, "video codec");
    settings.VideoRate = Selected(*c.ComboVideoBitrate, choices.VideoRates, "video bitrate");
    settings.FrameSize = Selected(*c.ComboVideoSize, choices.FrameSizes, "frame size");
    settings.FrameRate = Selected(*c.ComboVideoFrameRate, choices.FrameRates, "frame rate");
    settings.Letterbox = c.ComboBoxLetterbox->ItemIndex() != 0;
    settings.Aspect = AspectOf(*c.ComboBoxAspectRatio);
  }
  settings.AudioCodec = SelectedCodec(*c.ComboAudioCodec, choices.AudioCodecs, "audio codec");
  // A lossless profile offers no bitrate at all.
  if (!choices.AudioBitrates.Items.empty())
    settings.AudioBitrate = Selected(*c.ComboAudioBitrate, choices.AudioBitrates, "audio bitrate");
  settings.SampleRate = Selected(*c.ComboSamplingRate, choices.SampleRates, "sample rate");
  settings.Channels = Selected(*c.ComboAudioChannels, choices.Channels, "channel choice");
  settings.Volume = APrefs.SpinVolume;
  settings.Loudness = APrefs.Loudness;
  return settings;
}

void ValidateJobSettings(const JobSettings& ASettings) {
  if (!ASettings.Profile) throw TJobError("No output format is selected");
  const auto check = [](const char* what, const TCodecChoice& codec) {
    if (std::string message = MissingCodecMessage(what, codec.Shown, codec.Encoder); !message.empty())
      throw TJobError(message);
  };
  if (!ASettings.AudioOnly()) check("video codec", ASettings.VideoCodec);
  check("audio codec", ASettings.AudioCodec);
  if (ASettings.Volume < 0 || ASettings.Volume > 200 || ASettings.Volume % 20 != 0)
    throw TJobError("The volume " + std::to_string(ASettings.Volume) + " is not on the scale 0 to 200 in steps of 20");
  if (ASettings.Loudness)
    if (std::string refusal = LoudnessRefusal(*ASettings.Loudness); !refusal.empty()) throw TJobError(refusal);
}

}  // namespace strella::app
