// The option records of one conversion job and their translation into
// engine options. A record field left at its default changes nothing in the
// engine, so a job sets only what it needs; free option text (ExtOptions)
// reaches any engine option that has no field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace strella::encoder {

// A colour with red in bits 0-7, green in 8-15 and blue in 16-23.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;

// Output metadata and the muxer's creation time.
struct TStreamInfo {
  double Timestamp;  // date-time (days since 1899-12-30, local time); 0 now; < 0 none
  int Year;
  int Track;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

struct TInputOptions {
  std::string FileName;
  std::string FileFormat;
  int StartTimeMS;
  int64_t StartTime;  // microseconds
  int ProgramID;
  std::string ExtOptions;
};

struct TOutputOptions {
  std::string FileName;
  std::string FileFormat;
  int PacketSize;
  int MuxRate;
  float MuxDelay;    // seconds
  float MuxPreload;  // seconds
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio;
  int AudioVolume;
  std::optional<int> AudioLoudness;  // LUFS to normalise to (two passes); nullopt: left as it is
  int AudioChannels;
  int AudioSampleRate;
  int AudioBitrate;
  int AudioBitrateTolerance;
  std::string AudioLanguage;
  int AudioSync;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int CropTop;
  int CropBottom;
  int CropLeft;
  int CropRight;
  int PadTop;
  int PadBottom;
  int PadLeft;
  int PadRight;
  TColor PadColor;
  int GroupPictureSize;
  int VideoBitrate;
  int VideoMaxRate;
  int VideoMinRate;
  int VideoBitrateTolerance;
  int VideoBufferSize;
  int VideoSync;
  std::string VideoTag;
  std::string VideoFilters;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle;
  std::string SubtitleLanguage;
  bool CopyTimestamps;
  int StartTimeMS;
  int64_t StartTime;  // microseconds
  int RecordingTimeMS;
  int64_t RecordingTime;  // microseconds
  TStreamInfo Info;
  int Target;             // 1 "vcd", 2 "svcd", 3 "dvd", else none
  int TargetNorm;         // 1 "pal", 2 "ntsc", else automatic
  int TargetDefaultNorm;  // 1 "pal", else "ntsc"
  bool CustomHook;
  bool BeforeHook;
  std::string VideoHookRanges;  // "start-end,..." in milliseconds
  bool Join;
  std::string ExtOptions;
};

void ResetInputOptions(TInputOptions& options);
void ResetOutputOptions(TOutputOptions& options);
TInputOptions DefaultInputOptions();
TOutputOptions DefaultOutputOptions();

// One setting for the engine, in the order it must be applied.
enum TOptionStepKind {
  skOption,           // ParseOption(Name, Value)
  skGeneric,          // SetGenericOption(Name, Value); a refusal is no error
  skInputFormat,      // SetInputFormat(Value)
  skOutputFormat,     // SetOutputFormat(Value)
  skStartTime,        // SetStartTime(Number microseconds)
  skRecordingTime,    // SetRecordingTime(Number microseconds)
  skRecordingTimeMS,  // SetRecordingTimeMS(Number milliseconds)
  skTimestamp,        // SetTimestamp(Number seconds)
  skCopyTimestamps,   // copy time stamps on (Number 1) or off (0)
};

struct TOptionStep {
  TOptionStepKind Kind;
  std::string Name;
  std::string Value;
  int64_t Number = 0;
  bool operator==(const TOptionStep&) const = default;
};
using TOptionSteps = std::vector<TOptionStep>;

// The input record's own fields (ExtOptions is applied separately, first).
TOptionSteps InputFieldSteps(const TInputOptions& options);
// The output record's fields, in their fixed order of application.
TOptionSteps OutputFieldSteps(const TOutputOptions& options);
// Runs each step on the engine; the first failing handler raises.
void ApplySteps(engine::TCustomFFmpeg& engine, const TOptionSteps& steps);

// Which lines of ExtOptions a pass takes.
enum TExtOptionsPass { epGeneral, epPreset, epStream };
TExtOptionsPass PassOfOption(const std::string& name);
// The (name, value) lines of an ExtOptions text: trimmed, line breaks made LF,
// each line split at its first '='; a line without '=' has an empty value.
std::vector<std::pair<std::string, std::string>> SplitExtOptions(const std::string& text);

// "start-end,..." in milliseconds: the kept ranges in microseconds, sorted by end.
std::vector<engine::THookRange> ParseHookRanges(const std::string& text);

// Seconds since 1970-01-01 UTC of a local date-time; 0 stands for now.
int64_t TimestampSeconds(double dateTime);

// The target name of the output record's Target field ("" for none) and the
// norm texts of TargetNorm and TargetDefaultNorm.
std::string TargetName(int target);
std::string TargetNormName(int norm);
std::string TargetDefaultNormName(int norm);

}  // namespace strella::encoder
