// Probes one file as the file list does (open, stream parameters, frame size
// and duration) and prints what it found. With --repeat N it probes N times
// in one process and prints the mean time per probe as well.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/loader.h"
#include "media/probe.h"

using namespace strella::media;

namespace {

constexpr TLibraryTypes kProbeLibraries{ltAVUtil, ltSwResample, ltSwScale, ltAVCodec, ltAVFormat};

bool ProbeOnce(TAVProbe& probe, const std::string& file, bool print) {
  if (!probe.LoadFile(file)) {
    std::fprintf(stderr, "%s\n", probe.LastErrMsg().c_str());
    return false;
  }
  TFileStreamInfo info;
  probe.GetFileStreamInfo(info);
  TVideoStreamInfo video;
  const bool hasVideo = probe.GetVideoStreamInfo(video);
  if (print) {
    std::printf("streams=%d audio=%d video=%d duration_us=%lld", probe.StreamCount(), probe.AudioStreamCount(),
                probe.VideoStreamCount(), static_cast<long long>(info.Duration));
    if (hasVideo) std::printf(" size=%dx%d", video.Width, video.Height);
    std::printf("\n");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 1;
  int arg = 1;
  if (argc > 2 && std::strcmp(argv[1], "--repeat") == 0) {
    repeat = std::atoi(argv[2]);
    arg = 3;
  }
  if (arg >= argc || repeat < 1) {
    std::fprintf(stderr, "usage: %s [--repeat N] FILE\n", argv[0]);
    return 2;
  }
  if (!FFLoader().LoadLibs(kProbeLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  const std::string file = argv[arg];
  TAVProbe probe;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeat; ++i)
    if (!ProbeOnce(probe, file, i == 0)) return 1;
  const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
  if (repeat > 1) std::printf("in-process: %.0f us per probe over %d probes\n", elapsed.count() / repeat, repeat);
  return 0;
}
