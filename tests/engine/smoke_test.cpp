#include <gtest/gtest.h>

#include "engine/engine.h"
#include "fixtures.h"

TEST(Smoke, Builds) {
  strella::fixtures::EnsureLibraries();
  strella::engine::TCustomFFmpeg engine;
  engine.Reset();
}
