// strella_transcode_bench make <file>                    writes the 1080p benchmark input
// strella_transcode_bench mpeg4|x264 <input> <output>    re-encodes it to MP4 at 1200 kbit/s + AAC
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine_bench_support.h"

namespace {

// The same settings run.sh gives the ffmpeg program; threads stay automatic in both.
std::vector<std::pair<std::string, std::string>> Settings(const std::string& video) {
  return {{"vcodec", video == "x264" ? "libx264" : "mpeg4"},
          {"b", "1200000"},
          {"acodec", "aac"},
          {"ab", "128000"},
          {"ar", "44100"},
          {"ac", "2"}};
}

}  // namespace

int main(int argc, char** argv) {
  using namespace strella::bench;
  if (argc == 3 && std::strcmp(argv[1], "make") == 0) return MakeInput(argv[2], 30);
  if (argc == 4 && (std::strcmp(argv[1], "mpeg4") == 0 || std::strcmp(argv[1], "x264") == 0))
    return Convert(argv[2], Settings(argv[1]), argv[3]);
  std::fprintf(stderr, "usage: %s make <file> | mpeg4|x264 <input> <output>\n", argv[0]);
  return 2;
}
