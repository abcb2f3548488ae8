// The list survives the program: a window killed during a batch comes back
// with its rows, the converting one stopped and its partial output gone.
#include <QDir>
#include <QProcess>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/profile_catalogue.h"
#include "app/session_list.h"
#include "app/window/main_window.h"
#include "fixtures.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> PartialFiles(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(".partial") != std::string::npos) found.push_back(entry.path());
  return found;
}

// True when the saved list shows a converting row.
bool SavedWhileConverting() {
  std::ifstream file(app::SessionFileName());
  if (!file) return false;
  std::stringstream text;
  text << file.rdbuf();
  const nlohmann::json saved = nlohmann::json::parse(text.str(), nullptr, false);
  if (saved.is_discarded() || !saved.contains("rows")) return false;
  for (const nlohmann::json& row : saved["rows"])
    if (row.value("converting", false)) return true;
  return false;
}

TEST_F(WindowTest, KilledDuringABatchComesBackWithItsRowsAndTheConvertingOneStopped) {
  const fixtures::FixtureSpec recipe = fixtures::VideoClip("restart_640x480.mp4", 640, 480, 30);
  const std::vector<std::string> inputs = {fixtures::Make(recipe), fixtures::Path("clip.mp4"), fixtures::Path("tone.wav")};
  const std::string out = fixtures::ScratchDir("window_restart_out");

  QProcess first;
  QStringList args = {"--output-folder", QString::fromStdString(out), "--convert"};
  for (const std::string& input : inputs) args << QString::fromStdString(input);
  first.start(STRELLA_WINDOW_PROGRAM, args);
  ASSERT_TRUE(first.waitForStarted());
  fixtures::WaitUntil(
      [&] { return (SavedWhileConverting() && !PartialFiles(out).empty()) || first.state() != QProcess::Running; },
      std::chrono::seconds(60));
  ASSERT_TRUE(SavedWhileConverting()) << first.readAllStandardError().toStdString();
  first.kill();  // SIGKILL: nothing of the program runs any more
  ASSERT_TRUE(first.waitForFinished());
  ASSERT_EQ(first.exitStatus(), QProcess::CrashExit);

  TForm1 next;
  next.RestoreSession();
  const app::TFileList& files = next.Files();
  ASSERT_EQ(files.Count(), 3);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(files.Row(row).Caption, inputs[static_cast<size_t>(row)]);
  EXPECT_EQ(files.Column(0, app::fcProgress), "Stopped");
  EXPECT_EQ(files.Column(1, app::fcProgress), "");
  EXPECT_EQ(next.StatusPanel0->text(), "Restored 3 files from the last session");
  EXPECT_EQ(PartialFiles(out), std::vector<std::string>{});
}

std::string SettingsText(const std::string& config_home) {
  std::ifstream file(config_home + "/Quorvex/Strella Video Converter.conf");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The status names of the kept rows, in order.
std::vector<std::string> SavedStatuses() {
  std::ifstream file(app::SessionFileName());
  const nlohmann::json saved = nlohmann::json::parse(file, nullptr, false);
  std::vector<std::string> statuses;
  if (saved.is_discarded() || !saved.contains("rows")) return statuses;
  for (const nlohmann::json& row : saved["rows"]) statuses.push_back(row.value("status", ""));
  return statuses;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path());
  return found;
}

// Choices given on the command line, a kill, and a start with only
// --convert: the kept list's row converts as the first run would have
// converted it, to the kept profile, folder and the clip's own frame rate.
TEST_F(WindowTest, AKilledRunsChoicesAndRowsConvertAsBeforeWithConvertAlone) {
  fixtures::FixtureSpec recipe = fixtures::VideoClip("kept_30fps.mp4", 160, 120, 2);
  recipe.video->fps_num = 30;
  const std::string input = fixtures::Make(recipe);
  ASSERT_EQ(fixtures::ShownFrameRate(input), "30/1");
  const std::string out = fixtures::ScratchDir("window_kept_out");
  const QString h264 = "MP4 - H.264 + AAC (*.mp4)";

  QProcess first;
  first.start(STRELLA_WINDOW_PROGRAM, {"--output-folder", QString::fromStdString(out), "--profile", h264, "--jobs",
                                       "2", QString::fromStdString(input)});
  ASSERT_TRUE(first.waitForStarted());
  ASSERT_TRUE(fixtures::WaitUntil([&] {
    const std::string kept = SettingsText(config_home_);
    return kept.find("Profile=mp4-h264") != std::string::npos && kept.find("SimultaneousConversions=2") != std::string::npos &&
           SavedStatuses().size() == 1;
  })) << SettingsText(config_home_) << first.readAllStandardError().toStdString();
  first.kill();
  ASSERT_TRUE(first.waitForFinished());

  {
    TForm1 next;
    ASSERT_TRUE(next.LoadLibraries());
    next.LoadSettings();
    next.RestoreSession();
    EXPECT_EQ(next.ComboOutputFormat->currentText(), h264);
    EXPECT_EQ(next.EditOutputFolder->text().toStdString(), out);
    EXPECT_EQ(next.SpinSimultaneous->value(), 2);
    ASSERT_EQ(next.Files().Count(), 1);
    EXPECT_EQ(next.Files().Column(0, app::fcOutput), "MP4");
    EXPECT_EQ(std::make_pair(next.Files().Row(0).Probe.FrameRateNum, next.Files().Row(0).Probe.FrameRateDen),
              std::make_pair(30, 1));
  }

  QProcess second;
  second.start(STRELLA_WINDOW_PROGRAM, {"--convert"});
  ASSERT_TRUE(second.waitForStarted());
  const bool done = fixtures::WaitUntil([] { return SavedStatuses() == std::vector<std::string>{"done"}; },
                                        std::chrono::seconds(120));
  second.kill();
  second.waitForFinished();
  ASSERT_TRUE(done) << second.readAllStandardError().toStdString();
  const std::vector<std::string> outputs = FilesIn(out);
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(fs::path(outputs[0]).filename(), "kept_30fps.mp4");
  EXPECT_EQ(fixtures::ShownFrameRate(outputs[0]), "30/1");
}

TEST_F(WindowTest, ACleanExitWithAnEmptyListLeavesNothingToRestore) {
  {
    TForm1 form;
    form.RestoreSession();
    form.Files().Append(app::TFileRow{"/videos/a.avi", true, {}, "", "", {}});
    ASSERT_TRUE(WaitFor([] { return fs::exists(app::SessionFileName()); }));
    form.Files().Clear();
  }
  EXPECT_FALSE(fs::exists(app::SessionFileName()));
  TForm1 next;
  next.RestoreSession();
  EXPECT_EQ(next.Files().Count(), 0);
}

}  // namespace
}  // namespace strella::window::test
