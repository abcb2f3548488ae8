// One batch's choices as values: read once from the settings lists (the
// window's or the command line's) or a preset, checked once, and turned into
// each row's option records by the job builder.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "app/profile_choices.h"

namespace strella::app {

class TSettingsModel;
struct TPreferences;

// Settings that cannot make a job (nothing selected, an encoder the libraries lack).
class TJobError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TAspect { Auto, Ratio4x3, Ratio16x9 };

// The loudness targets (integrated, EBU R128) a sound can be normalised to.
inline constexpr int kQuietestLoudness = -70;
inline constexpr int kLoudestLoudness = -5;
// Empty when ALufs is a target, else why not.
std::string LoudnessRefusal(int ALufs);

struct TCodecChoice {
  std::string Shown;    // as the list shows it, for messages
  std::string Encoder;  // the encoder's name
  bool operator==(const TCodecChoice&) const = default;
};

struct JobSettings {
  const Quality* Profile = nullptr;
  TCodecChoice VideoCodec;  // empty for an audio profile
  TRateControl VideoRate;
  std::optional<TFrameSize> FrameSize;  // nullopt: the source's size
  TFrameRate FrameRate;                 // IsSource(): the source's rate
  TCodecChoice AudioCodec;
  std::optional<int> AudioBitrate;  // bit/s; nullopt for a lossless profile
  int SampleRate = 0;               // Hz; 0: the source's
  int Channels = 2;                 // 0: the source's
  bool Letterbox = true;
  TAspect Aspect = TAspect::Auto;
  int Volume = 100;  // percent, 0 to 200 in steps of 20; 0 drops the sound
  std::optional<int> Loudness;  // LUFS, kQuietestLoudness to kLoudestLoudness; nullopt: left as it is

  bool AudioOnly() const { return Profile && Profile->Has(kAudioOnly); }
  std::string_view ProfileKey() const { return Profile ? Profile->Key : std::string_view(); }
};

// The selected item of every list the job needs, as its value; throws
// TJobError naming the first list with nothing selected.
JobSettings JobSettingsFrom(const TSettingsModel& AModel, const TPreferences& APrefs);
// Throws TJobError when the settings cannot make any job: an encoder the
// libraries lack, a volume off the scale.
void ValidateJobSettings(const JobSettings& ASettings);

}  // namespace strella::app
