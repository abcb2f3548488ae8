// strella_remux_bench make <file>         writes the 1080p benchmark input
// strella_remux_bench remux <input> <out> copies every stream into <out>
#include <cstdio>
#include <cstring>

#include "engine_bench_support.h"

int main(int argc, char** argv) {
  using namespace strella::bench;
  if (argc == 3 && std::strcmp(argv[1], "make") == 0) return MakeInput(argv[2], 300);
  if (argc == 4 && std::strcmp(argv[1], "remux") == 0)
    return Convert(argv[2], {{"vcodec", "copy"}, {"acodec", "copy"}}, argv[3]);
  std::fprintf(stderr, "usage: %s make <file> | remux <input> <output>\n", argv[0]);
  return 2;
}
