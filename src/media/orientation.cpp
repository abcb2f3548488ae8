#include "media/orientation.h"

#include <cmath>

#include "media/ff.h"

namespace strella::media {
namespace {

double Fixed(int32_t value) { return value / 65536.0; }

// The counter-clockwise angle the matrix turns the picture by, in degrees.
double CounterClockwiseAngle(const int32_t* m) {
  const double scaleX = std::hypot(Fixed(m[0]), Fixed(m[3]));
  const double scaleY = std::hypot(Fixed(m[1]), Fixed(m[4]));
  if (scaleX == 0 || scaleY == 0) return 0;
  return -std::atan2(Fixed(m[1]) / scaleY, Fixed(m[0]) / scaleX) * 180 / M_PI;
}

// The clockwise turn that shows the picture, to the nearest whole degree in [0, 360).
double ClockwiseTurn(const int32_t* m) {
  double turn = -std::round(CounterClockwiseAngle(m));
  turn -= 360 * std::floor(turn / 360 + 0.9 / 360);
  return turn;
}

bool Near(double angle, double target) { return std::fabs(angle - target) < 1.0; }

}  // namespace

TOrientation OrientationOf(const int32_t* m) {
  TOrientation orientation;
  if (!m) return orientation;
  const double turn = ClockwiseTurn(m);
  // A mirrored matrix (m[3] or m[0] of the other sign) needs the flipped transpose.
  if (Near(turn, 90)) {
    orientation.rotation = 90;
    orientation.filters = m[3] > 0 ? "transpose=cclock_flip" : "transpose=clock";
  } else if (Near(turn, 180)) {
    orientation.rotation = 180;
    if (m[0] < 0) orientation.filters = "hflip";
    if (m[4] < 0) orientation.filters += orientation.filters.empty() ? "vflip" : ",vflip";
  } else if (Near(turn, 270)) {
    orientation.rotation = 270;
    orientation.filters = m[3] < 0 ? "transpose=clock_flip" : "transpose=cclock";
  } else if (Near(turn, 0) && m[4] < 0) {
    orientation.filters = "vflip";
  }
  return orientation;
}

TOrientation StreamOrientation(const AVStream* stream) {
  return OrientationOf(stream ? ff::StreamDisplayMatrix(stream) : nullptr);
}

}  // namespace strella::media
