#include "app/colour_contrast.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace strella::app {
namespace {

double Channel(const std::string& colour, int index) {
  const double value = std::stoi(colour.substr(1 + 2 * index, 2), nullptr, 16) / 255.0;
  return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

}  // namespace

double RelativeLuminance(const std::string& AColour) {
  if (AColour.size() != 7 || AColour[0] != '#' ||
      AColour.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
    throw std::invalid_argument("not a colour: " + AColour);
  return 0.2126 * Channel(AColour, 0) + 0.7152 * Channel(AColour, 1) + 0.0722 * Channel(AColour, 2);
}

double ContrastRatio(const std::string& AColour1, const std::string& AColour2) {
  const double a = RelativeLuminance(AColour1), b = RelativeLuminance(AColour2);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

}  // namespace strella::app
