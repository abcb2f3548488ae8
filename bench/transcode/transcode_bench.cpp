// strella_transcode_bench make <file>                    writes the 1080p benchmark input
// strella_transcode_bench mpeg4|x264 <input> <output>    re-encodes it to MP4 at 1200 kbit/s + AAC
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "fixtures.h"
#include "media/loader.h"

namespace {

int Make(const std::string& path) {
  strella::fixtures::FixtureSpec recipe;
  recipe.file_name = path;
  recipe.duration = 30;
  recipe.video = strella::fixtures::VideoSpec{1920, 1080, 25, 1, 1, 1, "mpeg4", 8000000};
  recipe.audio = strella::fixtures::AudioSpec{};
  std::printf("%s\n", strella::fixtures::Make(recipe).c_str());
  return 0;
}

// The same settings run.sh gives the ffmpeg program; threads stay automatic in both.
std::vector<std::pair<std::string, std::string>> Settings(const std::string& video) {
  return {{"vcodec", video == "x264" ? "libx264" : "mpeg4"},
          {"b", "1200000"},
          {"acodec", "aac"},
          {"ab", "128000"},
          {"ar", "44100"},
          {"ac", "2"}};
}

int Transcode(const std::string& video, const std::string& input, const std::string& output) {
  using namespace strella;
  if (!media::FFLoader().LoadLibs(media::kEncoderLibraries)) {
    std::fprintf(stderr, "%s\n", media::FFLoader().LastErrMsg().c_str());
    return 1;
  }
  engine::TCustomFFmpeg engine;
  engine.Reset();
  engine.SetVerbosity(-1);
  if (!engine.AddInputFile(input)) {
    std::fprintf(stderr, "%s\n", engine.LastErrMsg().c_str());
    return 1;
  }
  try {
    for (const auto& [name, value] : Settings(video)) engine.ParseOption(name, value);
  } catch (const engine::FFmpegException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  if (engine.AddOutputFile(output) < 0) {
    std::fprintf(stderr, "%s\n", engine.LastErrMsg().c_str());
    return 1;
  }
  engine.StartConvert(false);
  if (engine.ErrorFlag()) std::fprintf(stderr, "%s\n", engine.ErrorMessage().c_str());
  return engine.Finished() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "make") == 0) return Make(argv[2]);
  if (argc == 4 && (std::strcmp(argv[1], "mpeg4") == 0 || std::strcmp(argv[1], "x264") == 0))
    return Transcode(argv[1], argv[2], argv[3]);
  std::fprintf(stderr, "usage: %s make <file> | mpeg4|x264 <input> <output>\n", argv[0]);
  return 2;
}
