// Where a window goes: a remembered frame is kept where it was as long as its
// whole title bar lies on one available screen and it is no larger than that
// screen; otherwise it is shrunk to the screen and moved onto it (onto the
// nearest screen when its title bar is on none).
#pragma once

#include <vector>

namespace strella::app {

struct TRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Right() const { return Left + Width; }
  int Bottom() const { return Top + Height; }
  bool operator==(const TRect&) const = default;
};

// AFrame: the window's frame (title bar included); AScreens: the available
// areas of the screens, the primary first; ATitleHeight: the title bar's height.
TRect PlaceFrame(const TRect& AFrame, const std::vector<TRect>& AScreens, int ATitleHeight);

}  // namespace strella::app
