// player_bench FILE [WIDTHxHEIGHT | nodisplay]: plays FILE to its end into
// the headless display (or with DisableDisplay, sound only) and prints wall
// time, CPU time and the pictures shown.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "media/loader.h"
#include "media/main_thread.h"
#include "player/player.h"

using namespace strella;

namespace {
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [WIDTHxHEIGHT | nodisplay]\n", argv[0]);
    return 2;
  }
  int width = 640, height = 360;
  player::TFFPlayer player;
  if (argc > 2 && std::string(argv[2]) == "nodisplay")
    player.SetDisableDisplay(true);
  else if (argc > 2)
    std::sscanf(argv[2], "%dx%d", &width, &height);
  if (!player.LoadLibraries(media::ProgramFolder())) {
    std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
    return 1;
  }
  player::THeadlessDisplay display(width, height);
  display.SetKeepLatest(false);
  std::atomic<bool> ended{false};
  player.SetOnState([&](void*, player::TPlayState state) {
    if (state == player::psEnd) ended = true;
  });
  const double cpuStart = CpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  if (!player.Open(argv[1], &display)) {
    std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
    return 1;
  }
  media::WaitServingMainThread([&] { return ended.load(); });
  player.Stop(true);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  std::printf("wall %.3f s, cpu %.3f s, pictures shown %d, display %dx%d\n", wall, CpuSeconds() - cpuStart,
              display.PresentCount(), width, height);
  return 0;
}
