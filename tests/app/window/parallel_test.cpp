// Two conversions at once with the real encoder: the window keeps running its
// event loop, and every batch ends with its outputs, also while the preview
// plays a file and the list probes files added during the batch.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>
#include <vector>

#include "app/presets.h"
#include "app/profile_catalogue.h"
#include "app/settings_model.h"
#include "app/window/main_window.h"
#include "app/window/preview_controls.h"
#include "fixtures.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

constexpr int kBatchTimeoutMs = 180000;

class ParallelTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (app::ProcessorCount() < 2) GTEST_SKIP() << "two conversions at once need two processors";
    fixtures::EnsureLibraries();
    for (const char* name : {"par_a.mp4", "par_b.mp4", "par_c.mp4", "par_d.mp4"}) {
      fixtures::FixtureSpec recipe{name};
      recipe.duration = 6;
      recipe.video = fixtures::VideoSpec{640, 360};
      recipe.audio = fixtures::AudioSpec{};
      inputs_ << QString::fromStdString(fixtures::Make(recipe));
    }
    form_ = std::make_unique<TForm1>();
    ASSERT_TRUE(form_->LoadLibraries());
    form_->LoadSettings();
    form_->show();
    const app::Quality* h264 = app::MatchProfile("MP4 - H.264 + AAC (*.mp4)");
    ASSERT_NE(h264, nullptr);
    form_->SelectProfile(*h264);
    form_->SpinSimultaneous->setValue(2);
  }
  void TearDown() override {
    form_.reset();
    WindowTest::TearDown();
  }

  // Adds the files through the Add dialog and waits until they are listed.
  void AddThroughTheDialog(const QStringList& files) {
    const int before = form_->Files().Count();
    open_answers_.push_back(files);
    form_->ButtonOpenDVD->click();
    ASSERT_TRUE(WaitFor([&] { return form_->Files().Count() == before + files.size() && !form_->Files().AddingFiles(); }));
  }
  // Converts every checked row into a fresh folder and waits for the end box.
  QString ConvertInto(const std::string& name) {
    const QString folder = QString::fromStdString(fixtures::ScratchDir(name));
    form_->EditOutputFolder->setText(folder);
    messages_.clear();
    form_->ButtonRipNow->click();
    return folder;
  }
  bool BatchEnded() {
    return WaitFor([&] { return !messages_.empty() && !form_->Converting(); }, kBatchTimeoutMs);
  }
  // The H.264 files in the folder.
  static QStringList Outputs(const QString& folder) {
    QStringList names;
    for (const QFileInfo& file : QDir(folder).entryInfoList({"*.mp4"}, QDir::Files))
      if (file.size() > 0) names << file.fileName();
    return names;
  }

  std::unique_ptr<TForm1> form_;
  QStringList inputs_;
};

TEST_F(ParallelTest, FourClipsTwoAtATimeTwiceInOneProcess) {
  AddThroughTheDialog(inputs_);
  for (const std::string round : {"parallel_first", "parallel_second"}) {
    // The second round converts the done rows again: the user says so when asked.
    if (round == "parallel_second") answers_ = {QMessageBox::Yes};
    const QString folder = ConvertInto(round);
    if (round == "parallel_second") {
      ASSERT_FALSE(messages_.empty());
      EXPECT_EQ(messages_.front().title, "Convert Again?");
      messages_.erase(messages_.begin());
    }
    ASSERT_TRUE(BatchEnded()) << round;
    EXPECT_EQ(messages_.back().text, "All converting jobs completed.") << round;
    EXPECT_EQ(Outputs(folder), QStringList({"par_a.mp4", "par_b.mp4", "par_c.mp4", "par_d.mp4"})) << round;
  }
}

// The preview plays the selected row and two more files are added and probed
// while the batch runs; the added rows join the batch.
TEST_F(ParallelTest, APlayingPreviewAndFilesAddedDuringTheBatchDoNotHoldItUp) {
  AddThroughTheDialog(inputs_.mid(0, 2));
  form_->ListView1->setCurrentItem(form_->ListView1->Row(0));
  const QString folder = ConvertInto("parallel_busy");
  form_->SpeedButtonPlay->click();
  EXPECT_TRUE(form_->Preview().PreviewPlaying());
  AddThroughTheDialog(inputs_.mid(2, 2));
  ASSERT_TRUE(form_->Queue()->Running()) << "the clips are long enough for the batch to outlast the adding";
  ASSERT_TRUE(BatchEnded());
  EXPECT_EQ(messages_.back().text, "All converting jobs completed.");
  EXPECT_EQ(Outputs(folder), QStringList({"par_a.mp4", "par_b.mp4", "par_c.mp4", "par_d.mp4"}));
  for (int row = 0; row < 4; ++row) EXPECT_EQ(form_->ListView1->ColumnText(row, app::fcProgress), "Done") << row;
  form_->SpeedButtonStop->click();
}

// A preset loaded in the window makes its batch: the constant quality it keeps
// is what the encoder was given.
TEST_F(ParallelTest, APresetLoadedInTheWindowConvertsAsItsChoicesSay) {
  const std::string preset = fixtures::ScratchDir("window_preset") + "/higher.json";
  ASSERT_EQ(app::WritePresetFile(preset, app::ParsePreset(R"({"profile": "mp4-h264", "video": {"quality": 20}})")), "");
  form_->SelectProfile(*app::MatchProfile("WAV - Waveform Audio (*.wav)"));
  ASSERT_TRUE(form_->LoadPresetFile(QString::fromStdString(preset)));
  AddThroughTheDialog(inputs_.mid(0, 1));
  const QString folder = ConvertInto("window_preset_out");
  ASSERT_TRUE(BatchEnded());
  QFile output(folder + "/par_a.mp4");
  ASSERT_TRUE(output.open(QIODevice::ReadOnly));
  // x264 writes its settings into the stream.
  EXPECT_TRUE(output.readAll().contains("crf=20.0"));
}

}  // namespace
}  // namespace strella::window::test
