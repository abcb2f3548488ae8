// libFuzzer target: each input is written to a file, probed as the file list
// does, then converted into the null muxer through the engine, re-encoding
// pictures and sound at a small size so that a run stays short.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/engine.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

namespace {

std::string InputPath() {
  static const std::string path = "/dev/shm/strella-fuzz-" + std::to_string(::getpid()) + ".bin";
  return path;
}

// The null muxer opens no file; the name only has to be one of our own.
std::string OutputPath() {
  static const std::string path = "/dev/shm/strella-fuzz-" + std::to_string(::getpid()) + ".out";
  return path;
}

bool WriteInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

void Probe() {
  strella::media::TAVProbe probe;
  if (!probe.LoadFile(InputPath())) return;
  strella::media::TVideoStreamInfo video;
  strella::media::TFileStreamInfo file;
  probe.GetVideoStreamInfo(video);
  probe.GetFileStreamInfo(file);
  probe.CloseFile();
}

void Convert() {
  strella::engine::TCustomFFmpeg engine;
  engine.Reset();
  engine.SetVerbosity(-1);
  if (!engine.AddInputFile(InputPath())) return;
  for (const auto& [name, value] : {std::pair<const char*, const char*>{"f", "null"},
                                    {"vcodec", "rawvideo"}, {"s", "64x48"}, {"acodec", "pcm_s16le"},
                                    {"ar", "8000"}, {"ac", "1"}, {"t", "3"}})
    engine.ParseOption(name, value);
  if (engine.AddOutputFile(OutputPath()) <= 0) return;
  engine.StartConvert(false);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!strella::media::FFLoader().LoadLibs(strella::media::kEncoderLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries: %s\n", strella::media::FFLoader().LastErrMsg().c_str());
    std::abort();
  }
  strella::media::TFFLogger::Instance().SetLogLevel(strella::media::llQuiet);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteInput(data, size)) return 0;
  Probe();
  Convert();
  return 0;
}
