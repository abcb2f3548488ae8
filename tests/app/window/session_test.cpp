// The list survives the program: a window killed during a batch comes back
// with its rows, the converting one stopped and its partial output gone.
#include <QDir>
#include <QProcess>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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
