// strella_remux_bench make <file>         writes the 1080p benchmark input
// strella_remux_bench remux <input> <out> copies every stream into <out>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "fixtures.h"
#include "media/loader.h"

namespace {

int Make(const std::string& path) {
  strella::fixtures::FixtureSpec recipe;
  recipe.file_name = path;
  recipe.duration = 300;
  recipe.video = strella::fixtures::VideoSpec{1920, 1080, 25, 1, 1, 1, "mpeg4", 8000000};
  recipe.audio = strella::fixtures::AudioSpec{};
  std::printf("%s\n", strella::fixtures::Make(recipe).c_str());
  return 0;
}

int Remux(const std::string& input, const std::string& output) {
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
  engine.ParseOption("vcodec", "copy");
  engine.ParseOption("acodec", "copy");
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
  if (argc == 4 && std::strcmp(argv[1], "remux") == 0) return Remux(argv[2], argv[3]);
  std::fprintf(stderr, "usage: %s make <file> | remux <input> <output>\n", argv[0]);
  return 2;
}
