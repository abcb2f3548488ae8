// Contrast of two colours as the web's accessibility guidelines measure it:
// (L1 + 0.05) / (L2 + 0.05) of their relative luminances, 1 to 21.
#pragma once

#include <string>

namespace strella::app {

// "#rrggbb"; throws std::invalid_argument for other text.
double RelativeLuminance(const std::string& AColour);
double ContrastRatio(const std::string& AColour1, const std::string& AColour2);

}  // namespace strella::app
