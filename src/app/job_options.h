// The option records of one conversion job, with the fields and defaults of
// the encoder component's records: the job builder fills them and the
// converter hands them to the encoder.
#pragma once

#include <cstdint>
#include <string>

namespace strella::app {

struct TInputOptions {
  std::string FileName;
  std::string FileFormat;
  int StartTimeMS = -1;
  int64_t StartTime = -1;
  int ProgramID = -1;
  std::string ExtOptions;
};

struct TOutputOptions {
  std::string FileName;
  std::string FileFormat;
  std::string AudioCodec;
  bool DisableAudio = false;
  int AudioVolume = -1;
  int AudioChannels = -1;
  int AudioSampleRate = -1;
  int AudioBitrate = -1;
  std::string VideoCodec;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int PadTop = -1;
  int PadBottom = -1;
  int PadLeft = -1;
  int PadRight = -1;
  int VideoBitrate = -1;
  std::string VideoTag;
  int RecordingTimeMS = -1;
  std::string ExtOptions;
};

inline void ResetInputOptions(TInputOptions& AOptions) { AOptions = TInputOptions(); }
inline void ResetOutputOptions(TOutputOptions& AOptions) { AOptions = TOutputOptions(); }

}  // namespace strella::app
