// Reads a media file back to its end and decodes every picture and sound it
// holds: which streams it has, how long each lasts as decoded, and the first
// error met. A converter checks a finished output with it before the output
// takes its name. Decoding only: no filtering, scaling or sample conversion.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/probe.h"

namespace strella::media {

struct TStreamReadBack {
  int Index = -1;
  TTrackKind Kind = TTrackKind::Other;
  bool AttachedPicture = false;
  int64_t Frames = 0;   // decoded pictures or sound frames; packets for other streams
  // Audio: the decoded samples' length; video: from the first picture's start
  // to the last one's end. Microseconds; 0 without a timed frame.
  int64_t DurationUS = 0;
  int64_t SpanUS = 0;  // video: from the first picture's start to the last one's start
  std::string Error;  // the first decoding error ("" when none)
};

struct TReadBack {
  bool Opened = false;
  bool Stopped = false;  // AStop said so before the end
  std::string Error;     // the file cannot be opened or read to its end
  std::vector<TStreamReadBack> Streams;  // every stream of the file, in its order
};

// Reads AFileName to its end, decoding its audio and video streams (subtitle
// and data streams are counted, not decoded). AStop, when given, is asked now
// and then and ends the reading early.
TReadBack ReadBackMedia(const std::string& AFileName, const std::function<bool()>& AStop = nullptr);

}  // namespace strella::media
