// Small pictures drawn at start-up and again for each skin, in the skin's
// text colour so that they stay readable on light and dark buttons.
#pragma once

#include <QColor>
#include <QIcon>

namespace strella::window {

enum class TSpeakerLevel { Mute, Half, Full };
enum class TGlyph { Add, Remove, Clear, Stop, Convert, Play, Pause, Log };

inline const QColor kDefaultInk("#303030");

// "spkmute", "spkhalf" and "spkfull": a speaker with no, one or two waves.
// The level of a volume menu tag: 11 mute, 12 half, any other full.
inline TSpeakerLevel SpeakerLevelOfTag(int tag) {
  return tag == 11 ? TSpeakerLevel::Mute : tag == 12 ? TSpeakerLevel::Half : TSpeakerLevel::Full;
}
QIcon SpeakerGlyph(TSpeakerLevel level, const QColor& ink = kDefaultInk);
QIcon CameraGlyph(const QColor& ink = kDefaultInk);
QIcon ButtonGlyph(TGlyph glyph, const QColor& ink = kDefaultInk);

}  // namespace strella::window
