#include "app/window_placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace strella::app {
namespace {

bool Contains(const TRect& outer, const TRect& inner) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right() <= outer.Right() &&
         inner.Bottom() <= outer.Bottom();
}

int64_t DistanceSquared(const TRect& screen, int x, int y) {
  const int64_t dx = x < screen.Left ? screen.Left - x : x > screen.Right() ? x - screen.Right() : 0;
  const int64_t dy = y < screen.Top ? screen.Top - y : y > screen.Bottom() ? y - screen.Bottom() : 0;
  return dx * dx + dy * dy;
}

const TRect& NearestScreen(const std::vector<TRect>& screens, const TRect& frame) {
  const int x = frame.Left + frame.Width / 2, y = frame.Top;
  const TRect* nearest = &screens.front();
  int64_t best = std::numeric_limits<int64_t>::max();
  for (const TRect& screen : screens) {
    const int64_t distance = DistanceSquared(screen, x, y);
    if (distance < best) best = distance, nearest = &screen;
  }
  return *nearest;
}

// The frame shrunk to the screen's size where it is larger, and moved as little as it takes to lie on it.
TRect FitInto(const TRect& screen, const TRect& AFrame) {
  TRect placed = AFrame;
  placed.Width = std::min(AFrame.Width, screen.Width);
  placed.Height = std::min(AFrame.Height, screen.Height);
  placed.Left = std::clamp(AFrame.Left, screen.Left, screen.Right() - placed.Width);
  placed.Top = std::clamp(AFrame.Top, screen.Top, screen.Bottom() - placed.Height);
  return placed;
}

}  // namespace

// A frame whose title bar is on a screen stays where it is, its body may hang
// off the screen's edge, unless it is larger than that screen (a size kept on
// a larger screen): then it is made to fit.
TRect PlaceFrame(const TRect& AFrame, const std::vector<TRect>& AScreens, int ATitleHeight) {
  if (AScreens.empty()) return AFrame;
  const TRect title{AFrame.Left, AFrame.Top, AFrame.Width, ATitleHeight};
  for (const TRect& screen : AScreens) {
    if (!Contains(screen, title)) continue;
    if (AFrame.Width <= screen.Width && AFrame.Height <= screen.Height) return AFrame;
    return FitInto(screen, AFrame);
  }
  return FitInto(NearestScreen(AScreens, AFrame), AFrame);
}

}  // namespace strella::app
