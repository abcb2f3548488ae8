// Built-in encoder presets and disc/camcorder targets: two shortcuts that set
// many engine options at once. Both only call the option handlers and the
// generic option setter; they keep no state of their own.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace strella::engine {

// Text without leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);
// The lines of an option text (preset file, free option text): the text is
// trimmed, its line breaks (CR, LF, CR LF) made LF, and split at LF.
std::vector<std::string> OptionTextLines(const std::string& text);

struct TOptionsPreset {
  const char* Name;
  const char* Options;  // "name=value" lines separated by LF
};

inline constexpr int kPresetCount = 16;
extern const TOptionsPreset PresetTable[kPresetCount];

// The Options of the first row whose Name equals name ignoring case, else "".
std::string FindPreset(const std::string& name);

// opt is "apre", "vpre" or "spre". Raises FFmpegException on a missing preset
// or a line the engine refuses; lines before a failing one stay applied.
void ApplyPreset(TCustomFFmpeg& engine, const std::string& opt, const std::string& name);

// The non-empty lines of a preset text as (key, value); raises
// "<file>: Invalid syntax: \"<line>\"" for a line with an empty key or value.
std::vector<std::pair<std::string, std::string>> PresetLines(const std::string& text,
                                                             const std::string& fileName);

enum TTargetNorm { tnPAL, tnNTSC, tnFilm };
extern const char* const TargetFrameRates[3];  // indexed by TTargetNorm

// One setting of a target, in the order of application.
enum TTargetSettingKind {
  tkOption,        // the option's handler; its error stops the target
  tkOutputFormat,  // SetOutputFormat
  tkGeneric,       // SetGenericOption, result not checked
  tkStereoIfMono,  // ac := 2 when the channel count is 1
  tkAspectIfUnset, // aspect := Value when none is set, logging Name at llInfo
};

struct TTargetSetting {
  TTargetSettingKind Kind;
  std::string Name;
  std::string Value;
  bool operator==(const TTargetSetting&) const = default;
};

// The settings of "vcd", "svcd", "dvd", "dv" or "dv50" for a norm; any other
// name raises "Unknown target type".
std::vector<TTargetSetting> TargetSettings(const std::string& targetName, TTargetNorm norm);

// Norm: "pal", "ntsc", "film", or anything else to choose from the frame rate
// set or taken from the inputs, falling back to defaultNorm.
void ApplyTarget(TCustomFFmpeg& engine, const std::string& targetName, const std::string& norm,
                 const std::string& defaultNorm);

// The "target" option: "pal-dvd", "ntsc-vcd", "film-vcd", or a bare name for
// the automatic norm with NTSC as the fallback.
void ApplyTargetOption(TCustomFFmpeg& engine, const std::string& value);

// Installs the handler of "target", "apre", "vpre" and "spre" into the engine
// (once per process; later calls do nothing).
void InstallPresetsAndTargets();

}  // namespace strella::engine
