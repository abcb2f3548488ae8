// Small pictures drawn at start-up: the volume glyphs and the snapshot button.
#pragma once

#include <QIcon>

namespace strella::window {

enum class TSpeakerLevel { Mute, Half, Full };

// "spkmute", "spkhalf" and "spkfull": a speaker with no, one or two waves.
QIcon SpeakerGlyph(TSpeakerLevel level);
QIcon CameraGlyph();

}  // namespace strella::window
