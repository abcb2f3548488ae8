// How a video stream's pictures are turned to be shown upright: the display
// matrix that phones and cameras store beside the picture, read as the
// transpose and flip filters that undo it.
#pragma once

#include <cstdint>
#include <string>

struct AVStream;

namespace strella::media {

struct TOrientation {
  int rotation = 0;     // degrees clockwise the stored picture is turned when shown: 0, 90, 180 or 270
  std::string filters;  // filter-graph entries that turn the stored picture upright; empty when none
  // Width and height trade places when the picture is turned upright.
  bool SwapsSides() const { return rotation == 90 || rotation == 270; }
};

// Read from a display matrix (nine 16.16 fixed-point values; null: none).
// Angles other than quarter turns are left as they are.
TOrientation OrientationOf(const int32_t* matrix);
TOrientation StreamOrientation(const AVStream* stream);

}  // namespace strella::media
