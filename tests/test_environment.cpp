// Every test program runs headless: SDL's dummy audio driver pulls samples at
// real-time pace without a sound card, and Qt draws offscreen. Set before
// main, unless the caller chose otherwise.
#include <cstdlib>

namespace {
[[maybe_unused]] const bool kHeadless = [] {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return true;
}();
}  // namespace
