// Shared by the engine benchmarks: the 1080p input they measure on, and one
// conversion through the engine on the calling thread.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "fixtures.h"
#include "media/loader.h"

namespace strella::bench {

// Writes a 1080p mpeg4 + aac test clip of the given length and prints its path.
inline int MakeInput(const std::string& path, double seconds) {
  fixtures::FixtureSpec recipe;
  recipe.file_name = path;
  recipe.duration = seconds;
  recipe.video = fixtures::VideoSpec{1920, 1080, 25, 1, 1, 1, "mpeg4", 8000000};
  recipe.audio = fixtures::AudioSpec{};
  std::printf("%s\n", fixtures::Make(recipe).c_str());
  return 0;
}

// Converts input into output with the given engine options; 0 when it finished.
inline int Convert(const std::string& input, const std::vector<std::pair<std::string, std::string>>& options,
                   const std::string& output) {
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
    for (const auto& [name, value] : options) engine.ParseOption(name, value);
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

}  // namespace strella::bench
