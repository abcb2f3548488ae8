// The "Snap" sound of the snapshot button: a short shutter click made in the
// program and played through SDL2's audio (loaded at run time).
#pragma once

#include <cstdint>
#include <vector>

namespace strella::window {

inline constexpr int kSnapSampleRate = 22050;

// Signed 16-bit mono samples at kSnapSampleRate, about 0.18 s long.
const std::vector<int16_t>& SnapSamples();

// Plays the sound and returns when it has played; false (logged) when there
// is no audio output, which leaves the snapshot itself unaffected.
bool PlaySnapSound();

}  // namespace strella::window
