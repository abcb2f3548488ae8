// Loudness of a file's sound after EBU R128: one decoding pass of an audio
// stream through the libraries' ebur128 filter. The first of the two passes
// of a loudness normalisation, and the check of its result.
#pragma once

#include <optional>
#include <string>

namespace strella::media {

struct TLoudness {
  double Integrated = 0;  // LUFS
  double Range = 0;       // LU
  double TruePeak = 0;    // dBTP
  double Threshold = 0;   // LUFS: the relative gate the integrated loudness was measured above
};

// Measures the audio stream AStreamIndex of a file (-1: the libraries' best
// audio stream) after the filters AFilters (graph text; empty: none);
// nullopt with the reason in AError when the file cannot be read or holds no sound.
std::optional<TLoudness> MeasureLoudness(const std::string& AFileName, int AStreamIndex, const std::string& AFilters,
                                         std::string& AError);

}  // namespace strella::media
