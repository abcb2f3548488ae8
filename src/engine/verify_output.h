// Outputs checked before they are called finished: with `verify`, each output
// of a run that ended well is read back and decoded in full on the run's own
// thread. Every stream the run wrote must be there, decode without error and
// last as long as what the run gave it: the source's pictures and sound
// within the converted time (after -ss and -t, so a trim is what is
// expected), within one picture for video and 50 ms for sound. A stream
// that is longer (an encoder's priming, a repeated first picture) is no
// fault. An output that fails is removed and the run ends with the reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/probe.h"

namespace strella::engine {

class TCustomFFmpeg;

// One stream of a verified output. Durations in microseconds; a stream that
// is not timed (subtitles, a cover picture) has none.
struct TVerifiedStream {
  int Index = -1;
  media::TTrackKind Kind = media::TTrackKind::Other;
  bool AttachedPicture = false;  // a cover picture
  bool Timed = false;
  int64_t ExpectedUS = 0;  // what the run gave the stream
  int64_t MeasuredUS = 0;  // what reading the file back found
  bool operator==(const TVerifiedStream&) const = default;
};

struct TVerifiedOutput {
  std::string FileName;
  std::vector<TVerifiedStream> Streams;
  bool operator==(const TVerifiedOutput&) const = default;
};

// The outputs of the engine's last run as verified, first output first;
// empty when the run did not ask for it or did not end well. Read it once
// the run has ended (after its terminate notice).
const std::vector<TVerifiedOutput>& VerifiedOutputs(const TCustomFFmpeg& AEngine);

// "video 6.00 s of 6.00 s, audio 5.99 s of 6.00 s, subtitle": for the log.
std::string DescribeVerifiedOutput(const TVerifiedOutput& AOutput);

}  // namespace strella::engine
