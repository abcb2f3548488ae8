// The light levels an HDR10 picture was graded for: the mastering display's
// primaries and brightness, and the content's brightest and average light.
// Players map the picture to their screen with them; an encoder that drops
// them leaves the player guessing, and highlights clip or look dull.
#pragma once

#include <optional>
#include <string>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

struct AVFrame;
struct AVStream;

namespace strella::media {

struct THdrLight {
  std::optional<AVMasteringDisplayMetadata> Mastering;  // with its primaries and luminance both known
  std::optional<AVContentLightMetadata> Content;
  bool Empty() const { return !Mastering && !Content; }
};

// What the container says for a stream (MKV's and MP4's colour boxes).
THdrLight StreamHdrLight(const AVStream* AStream);

// What a picture carries (the HEVC and AV1 bitstreams' own messages).
THdrLight PictureHdrLight(const AVFrame* AFrame);

// The container's levels, else those of the stream's first decoded picture;
// empty when the file holds none or cannot be read.
THdrLight FileHdrLight(const std::string& AFileName, int AStreamIndex);

// The levels as the x265 encoder's parameters take them
// ("master-display=G(x,y)B(x,y)R(x,y)WP(x,y)L(max,min):max-cll=a,b"); empty when there are none.
std::string X265HdrParams(const THdrLight& ALight);

// Adds the levels to an output stream, for muxers that store them; false when out of memory.
bool AddHdrLightToStream(AVStream* AStream, const THdrLight& ALight);

}  // namespace strella::media
