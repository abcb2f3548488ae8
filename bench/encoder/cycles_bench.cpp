// Runs the encoder component through many add-start-finish cycles of a tiny
// clip, the way the batch uses it (one task, started on a worker thread,
// cleared after its end), and prints the process's threads, open descriptors
// and resident memory as the cycles go on. Growth after the first cycles
// means something is kept per conversion. Exit status 1 when threads or
// descriptors grew.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "encoder/encoder.h"
#include "fixtures.h"
#include "media/main_thread.h"

using namespace strella;

namespace {

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

struct Counts {
  int threads, fds;
  long rss;
};

Counts Measure() { return {fixtures::CountThreads(), fixtures::CountOpenFiles(), ResidentKilobytes()}; }

void Print(int cycle, const Counts& c) {
  std::printf("cycle %5d  threads %3d  descriptors %3d  resident %7ld kB\n", cycle, c.threads, c.fds, c.rss);
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string folder = argc > 2 ? argv[2] : ".";
  media::SetMainThread();
  fixtures::FixtureSpec recipe;
  recipe.file_name = "cycles-tiny.mkv";  // made in STRELLA_FIXTURE_DIR
  recipe.duration = 0.2;
  recipe.video = fixtures::VideoSpec{.width = 64, .height = 48};
  recipe.audio = fixtures::AudioSpec{.codec = "mp2"};
  const std::string input = fixtures::Make(recipe);

  encoder::TFFmpegEncoder encoder;
  if (!encoder.LoadLibraries()) {
    std::fprintf(stderr, "%s\n", encoder.LastErrMsg().c_str());
    return 2;
  }
  std::atomic<int> ended{0};
  encoder.OnTerminate = [&](int, bool, bool, const std::string&) { ++ended; };

  // Odd cycles re-encode, so codecs are opened and closed too; even ones copy.
  auto cycle = [&](int i) {
    const bool copy = i % 2 == 0;
    encoder::TOutputOptions out = encoder::DefaultOutputOptions();
    out.VideoCodec = copy ? "copy" : "mpeg4";
    out.AudioCodec = copy ? "copy" : "mp2";
    const int index = encoder.AddInput(input);
    if (index < 0 || !encoder.SetOutput(index, folder + "/cycles-out" + std::to_string(i % 2) + ".mkv", out)) {
      std::fprintf(stderr, "cycle %d: %s\n", i, encoder.LastErrMsg().c_str());
      return false;
    }
    const int before = ended;
    encoder.StartTasks(1);  // the task's end and the list's end
    if (!media::WaitServingMainThread([&] { return ended >= before + 2; }, std::chrono::seconds(30))) {
      std::fprintf(stderr, "cycle %d: no end within 30 s\n", i);
      return false;
    }
    encoder.ClearTasks();
    return true;
  };

  const int warmUp = std::min(10, cycles);
  for (int i = 0; i < warmUp; ++i)
    if (!cycle(i)) return 2;
  const Counts start = Measure();
  Print(warmUp, start);
  Counts now = start;
  for (int i = warmUp; i < cycles; ++i) {
    if (!cycle(i)) return 2;
    if ((i + 1) % 100 == 0 || i + 1 == cycles) Print(i + 1, now = Measure());
  }
  std::printf("after %d cycles: threads %+d, descriptors %+d, resident %+ld kB since cycle %d\n", cycles,
              now.threads - start.threads, now.fds - start.fds, now.rss - start.rss, warmUp);
  return now.threads == start.threads && now.fds == start.fds ? 0 : 1;
}
