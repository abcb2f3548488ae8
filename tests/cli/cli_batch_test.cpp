#include "cli/cli_batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fixtures.h"
#include "scripted_converter.h"

namespace strella::cli {
namespace {

// True once a file in AFolder holds data: a converter has begun writing there.
bool SomethingWritten(const std::string& AFolder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder, error)) {
    if (entry.file_size(error) > 0 && !error) return true;
  }
  return false;
}

class CliBatchTest : public ::testing::Test {
 protected:
  CliBatchTest() : model(lists.Controls()) {
    fixtures::EnsureLibraries();
    model.Initialize();
    lists.Controls().ComboOutputFormat->SelectText("MP4 - MPEG4 Video (*.mp4)");
    model.OutputFormatChanged();
    prefs.OutputFolder = fixtures::ScratchDir("cli_batch");
  }

  app::TListSettingsControls lists;
  app::TSettingsModel model;
  app::TPreferences prefs;
  app::TScriptedConverter converter;
  std::ostringstream out;
};

TEST_F(CliBatchTest, EveryRowDoneExitsZeroAndTheTableSaysWhere) {
  const int status = RunBatch({{fixtures::Path("clip.mp4")}, {fixtures::Path("tone.wav")}}, model, prefs, converter, out);
  EXPECT_EQ(status, 0) << out.str();
  EXPECT_NE(out.str().find("All converting jobs completed."), std::string::npos);
  EXPECT_NE(out.str().find("Done    " + fixtures::Path("clip.mp4") + " -> " + prefs.OutputFolder + "/clip.mp4"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find(prefs.OutputFolder + "/tone.mp4"), std::string::npos);
}

TEST_F(CliBatchTest, UnreadableFileMakesTheExitStatusNonZero) {
  const int status = RunBatch({{"/no/such/unreadable.avi"}, {fixtures::Path("clip.mp4")}}, model, prefs, converter, out);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.str().find("Failed  /no/such/unreadable.avi"), std::string::npos) << out.str();
}

TEST_F(CliBatchTest, InterruptAbortsTheRunningRowAndRemovesItsPartialFile) {
  converter.outcome = app::TScriptedConverter::toWaitForStop;
  // Interrupts once the first row's converter is writing its output.
  std::thread interrupt([folder = prefs.OutputFolder] {
    fixtures::WaitUntil([&] { return SomethingWritten(folder); });
    RequestStop();
  });
  const int status = RunBatch({{fixtures::Path("clip.mp4")}, {fixtures::Path("tone.wav")}}, model, prefs, converter, out);
  interrupt.join();
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.str().find("Abort   " + fixtures::Path("clip.mp4")), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("(not run) " + fixtures::Path("tone.wav")), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("All converting jobs completed."), std::string::npos);
  EXPECT_FALSE(std::ifstream(converter.outputName).good());
  EXPECT_FALSE(std::ifstream(prefs.OutputFolder + "/clip.mp4").good());
}

}  // namespace
}  // namespace strella::cli
