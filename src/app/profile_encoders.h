// Which profiles the loaded libraries can serve. At start-up every encoder a
// profile preselects is looked up once; a profile whose encoder is missing
// stays in the format list but cannot be chosen, and says why.
#pragma once

#include <functional>
#include <string>

#include "app/profile_catalogue.h"

namespace strella::app {

// True when a conversion can encode with the named encoder.
using TEncoderLookup = std::function<bool(const std::string& AEncoderName)>;

// The encoders of the loaded libraries, with the engine's own.
TEncoderLookup LoadedEncoders();

// Looks up the encoders of every profile's codec choices and keeps the
// missing ones. Until it runs every profile counts as served. Tests pass a
// lookup that lacks an encoder to see a profile refused.
void LookUpProfileEncoders(const TEncoderLookup& ALookup);

// "needs the libx265 encoder, which the installed FFmpeg lacks" when the last
// lookup found the encoder missing; empty otherwise.
std::string MissingEncoderReason(const std::string& AEncoderName);

// "The video codec "h264" needs the libx264 encoder, ..." for a codec choice
// (AWhat: "video codec" or "audio codec") whose encoder is missing; empty otherwise.
std::string MissingCodecMessage(const char* AWhat, const std::string& AShownName, const std::string& AEncoderName);

// Empty when the profile can be served; else the reason of its first
// preselected encoder that is missing.
std::string ProfileUnavailableReason(const Quality& AProfile);

}  // namespace strella::app
