// The batch driven through the window: Convert Now, the checks before it,
// the queue timer, progress in the row, status bar and title, Stop with its
// question, the settings locked while it runs.
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>

#include <thread>

#include "app/window/batch_view.h"
#include "app/window/log_view.h"
#include "media/bitmap.h"
#include "app/window/main_window.h"
#include "fixtures.h"
#include "scripted_converter.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

void ChooseFormat(TForm1& form, const QString& text) {
  const int index = form.ComboOutputFormat->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  form.ComboOutputFormat->setCurrentIndex(index);
  emit form.ComboOutputFormat->activated(index);
}

class BatchTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ConverterFactory() = [this] {
      auto converter = std::make_unique<TScriptedConverter>();
      converter_ = converter.get();
      return converter;
    };
    form_ = std::make_unique<TForm1>();
    form_->show();
    ChooseFormat(*form_, "MP4 - MPEG4 Video (*.mp4)");
    folder_ = QString::fromStdString(fixtures::ScratchDir("window_batch"));
  }
  void TearDown() override {
    form_.reset();
    ConverterFactory() = nullptr;
    WindowTest::TearDown();
  }
  void AddRow(const std::string& name, bool checked = true, const std::string& duration = "00:00:02") {
    app::TFileRow row;
    row.Caption = "/videos/" + name;
    row.Checked = checked;
    row.Columns = {"320x240", duration, "MP4", "", "", ""};
    row.Probe = app::ProbeFromColumns(row.Columns);
    form_->Files().Append(row);
  }
  QString Column(int row, app::TFileColumn column) { return form_->ListView1->ColumnText(row, column); }
  // The batch's end notice: "All converting jobs completed." or the counts when some row did not convert.
  bool Completed() {
    const QString summary = QString::fromStdString(app::BatchSummary(form_->Files()));
    for (const TShownMessage& m : messages_)
      if (m.text == summary) return true;
    return false;
  }

  std::unique_ptr<TForm1> form_;
  TScriptedConverter* converter_ = nullptr;
  QString folder_;
};

TEST_F(BatchTest, ConvertNowChecksTheListAndTheFolderFirst) {
  form_->ButtonRipNow->click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Please Add Files To Convert!");
  EXPECT_EQ(messages_[0].title, "Information");
  EXPECT_EQ(messages_[0].icon, QMessageBox::Information);

  AddRow("clip.avi");
  form_->ButtonRipNow->click();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].text, "Please select an output folder!");
  EXPECT_EQ(last_headline_, "Please choose your output folder: ");  // the picker opened

  folder_answers_ << folder_;  // chosen in the picker the check opens
  form_->ButtonRipNow->click();
  EXPECT_EQ(form_->EditOutputFolder->text(), folder_);
  form_->ListView1->Row(0)->setCheckState(0, Qt::Unchecked);  // the user unchecks the only row
  messages_.clear();
  form_->ButtonRipNow->click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Please check the items that you want to convert!");
  EXPECT_FALSE(form_->Timer1->isActive());
}

TEST_F(BatchTest, CheckedRowsConvertInOrderAndTheSettingsComeBack) {
  AddRow("one.avi");
  AddRow("two.avi", false);
  AddRow("three.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonRipNow->click();
  EXPECT_TRUE(form_->Timer1->isActive());
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
  EXPECT_EQ(converter_->Inputs(), (std::vector<std::string>{"/videos/one.avi", "/videos/three.avi"}));
  EXPECT_TRUE(converter_->PreviewBitmap());
  EXPECT_EQ(Column(0, app::fcProgress), "Done");
  EXPECT_EQ(Column(1, app::fcProgress), "");
  EXPECT_EQ(Column(2, app::fcProgress), "Done");
  EXPECT_TRUE(QFileInfo::exists(QDir(folder_).filePath("one.mp4")));
  EXPECT_TRUE(QFileInfo::exists(QDir(folder_).filePath("three.mp4")));
  EXPECT_EQ(messages_.back().title, "Information");
  EXPECT_EQ(std::count_if(messages_.begin(), messages_.end(),
                          [](const TShownMessage& m) { return m.text == "All converting jobs completed."; }),
            1);
  EXPECT_FALSE(form_->Timer1->isActive());
  EXPECT_TRUE(form_->ButtonRipNow->isEnabled());
  EXPECT_TRUE(form_->PageControl1->isEnabled());
  EXPECT_TRUE(form_->menuBar()->actions()[0]->isEnabled());
  EXPECT_EQ(form_->windowTitle(), "Strella Video Converter");
  EXPECT_EQ(form_->ProgressBar1->value(), 0);
}

// Open during the batch, the log view receives each line as it comes; the
// log button and the View menu stay usable while the settings are locked.
TEST_F(BatchTest, TheLogViewFollowsTheBatch) {
  AddRow("hold.avi");
  AddRow("bad.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return converter_->Running(); }));
  EXPECT_TRUE(form_->ButtonLog->isEnabled());
  EXPECT_TRUE(form_->findChild<QMenu*>("View1")->menuAction()->isEnabled());
  form_->ButtonLog->click();
  ASSERT_NE(form_->LogView(), nullptr);
  converter_->Release();
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
  const QString log = form_->LogView()->Text();
  EXPECT_TRUE(log.contains("hold.avi: Done -> ")) << log.toStdString();
  EXPECT_TRUE(log.contains("bad.avi: error: scripted failure")) << log.toStdString();
}

TEST_F(BatchTest, RunningJobShowsProgressAndLocksTheSettings) {
  AddRow("hold.avi");
  AddRow("next.avi", true, "00:00:06");
  form_->EditOutputFolder->setText(folder_);
  EXPECT_EQ(form_->StatusText(), "Ready");
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return Column(0, app::fcProgress) == "50%"; }));
  EXPECT_EQ(form_->StatusText(), "Converting 1 of 2: hold.avi");
  EXPECT_EQ(Column(0, app::fcFrames), "25");
  EXPECT_EQ(Column(0, app::fcTimeRemaining), "0:00:01");
  EXPECT_EQ(form_->StatusPanel0->text(), "File Size : 1 MB");
  EXPECT_EQ(form_->ProgressBar1->value(), 50);
  // Half of a 2 s row in a batch of 2 s and 6 s: one second of eight.
  EXPECT_EQ(form_->windowTitle(), "12% - Strella Video Converter");
  for (QWidget* control : {static_cast<QWidget*>(form_->ButtonRipNow), static_cast<QWidget*>(form_->ButtonRemoveItem),
                           static_cast<QWidget*>(form_->ButtonClearList), static_cast<QWidget*>(form_->ComboOutputFormat),
                           static_cast<QWidget*>(form_->PageControl1), static_cast<QWidget*>(form_->GroupBox1)})
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  // Files can be added and the preview played and seeked meanwhile.
  EXPECT_TRUE(form_->ButtonOpenDVD->isEnabled());
  EXPECT_TRUE(form_->TrackBar1->isEnabled());
  EXPECT_FALSE(form_->menuBar()->actions()[1]->isEnabled());
  EXPECT_TRUE(form_->ListView1->isEnabled());  // rows can still be (un)checked
  form_->RemoveSelectedItem();
  form_->ClearAllItems();
  EXPECT_EQ(form_->Files().Count(), 2);
  converter_->Release();
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
  EXPECT_EQ(Column(0, app::fcProgress), "Done");
  EXPECT_EQ(Column(1, app::fcProgress), "Done");
  EXPECT_EQ(form_->StatusText(), "Ready");
}

TEST_F(BatchTest, StopAsksFirstAndAbortsOnYes) {
  AddRow("hold.avi");
  AddRow("later.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonStop->click();  // nothing runs: no question
  EXPECT_TRUE(messages_.empty());
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return converter_->Running(); }));

  answers_.push_back(QMessageBox::No);
  form_->ButtonStop->click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Stop all conversions?");
  EXPECT_EQ(messages_[0].title, "Confirmation");
  EXPECT_EQ(messages_[0].icon, QMessageBox::Question);
  EXPECT_EQ(converter_->PauseCount(), 1);
  EXPECT_EQ(converter_->ResumeCount(), 1);
  EXPECT_TRUE(converter_->Running());

  answers_.push_back(QMessageBox::Yes);
  form_->ButtonStop->click();
  EXPECT_EQ(Column(0, app::fcProgress), "Abort");
  EXPECT_EQ(Column(0, app::fcTimeRemaining), "");
  EXPECT_FALSE(form_->Timer1->isActive());
  EXPECT_TRUE(form_->ButtonRipNow->isEnabled());
  QApplication::processEvents();
  EXPECT_FALSE(Completed());
  EXPECT_EQ(converter_->Inputs().size(), 1u);  // the second row was never taken
  EXPECT_FALSE(QFileInfo::exists(QDir(folder_).filePath("hold.mp4")));
}

TEST_F(BatchTest, FailedRowsAreMarkedAndTheBatchGoesOn) {
  AddRow("bad.avi");
  AddRow("crash.avi");
  AddRow("fine.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
  EXPECT_EQ(Column(0, app::fcProgress), "Failed");
  EXPECT_EQ(Column(1, app::fcProgress), "Fail");
  EXPECT_EQ(Column(2, app::fcProgress), "Done");
  EXPECT_EQ(messages_.back().text, "1 converted, 2 failed.");  // a failure is not reported as success
  EXPECT_TRUE(form_->ListView1->Row(1)->toolTip(0).contains("View, Log"));
  EXPECT_FALSE(QFileInfo::exists(QDir(folder_).filePath("crash.mp4")));
}

// Convert Now again resumes: rows not yet done convert, done ones keep
// their output unless the user says to convert them again.
TEST_F(BatchTest, ConvertNowAgainConvertsWhatIsNotDoneAndAsksBeforeRedoing) {
  AddRow("one.avi");
  AddRow("crash.avi");
  AddRow("three.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
  ASSERT_EQ(converter_->Inputs().size(), 3u);

  messages_.clear();
  answers_ = {QMessageBox::No};  // the two done rows stay as they are
  form_->ButtonRipNow->click();
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_[0].title, "Convert Again?");
  EXPECT_TRUE(messages_[0].text.startsWith("2 checked files are converted already")) << messages_[0].text.toStdString();
  ASSERT_TRUE(WaitFor([&] { return !form_->Timer1->isActive(); }));
  EXPECT_EQ(converter_->Inputs().size(), 4u);
  EXPECT_EQ(converter_->Inputs().back(), "/videos/crash.avi");
  EXPECT_EQ(Column(0, app::fcProgress), "Done");
  EXPECT_EQ(Column(1, app::fcProgress), "Fail");
  EXPECT_EQ(Column(2, app::fcProgress), "Done");

  form_->ListView1->Row(1)->setCheckState(0, Qt::Unchecked);
  messages_.clear();
  answers_ = {QMessageBox::No};  // every checked row is done: No starts nothing
  form_->ButtonRipNow->click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].text.contains("No leaves them as they are.")) << messages_[0].text.toStdString();
  EXPECT_FALSE(form_->Timer1->isActive());
  EXPECT_EQ(converter_->Inputs().size(), 4u);
  EXPECT_EQ(Column(0, app::fcProgress), "Done");

  answers_ = {QMessageBox::Yes};
  messages_.clear();
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
  EXPECT_EQ(converter_->Inputs().size(), 6u);
  EXPECT_TRUE(QFileInfo::exists(QDir(folder_).filePath("one-1.mp4")));
  EXPECT_FALSE(QFileInfo::exists(QDir(folder_).filePath("one-2.mp4")));
}

}  // namespace
}  // namespace strella::window::test

namespace strella::window::test {
namespace {

// The real encoder component behind the window.
TEST_F(WindowTest, BatchConvertsCheckedRowsWithTheEncoder) {
  fixtures::EnsureLibraries();
  TForm1 form;
  ASSERT_TRUE(form.LoadLibraries());
  form.LoadSettings();
  form.show();
  // The first run's profile: h263 and AMR-NB in 3GP.
  const QString folder = QString::fromStdString(fixtures::ScratchDir("window_real_batch"));
  form.EditOutputFolder->setText(folder);
  open_answers_.push_back({QString::fromStdString(fixtures::Path("clip.avi")),
                           QString::fromStdString(fixtures::Path("tone.wav"))});
  form.ButtonOpenDVD->click();
  ASSERT_TRUE(WaitFor([&] { return form.Files().Count() == 2 && !form.Files().AddingFiles(); }));
  form.ListView1->Row(1)->setCheckState(0, Qt::Unchecked);
  form.ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return !messages_.empty(); }, 60000));
  EXPECT_EQ(messages_.back().text, "All converting jobs completed.");
  EXPECT_EQ(form.ListView1->ColumnText(0, app::fcProgress), "Done") << form.Files().Row(0).Message;
  EXPECT_EQ(form.ListView1->ColumnText(1, app::fcProgress), "");
  QProcess ffprobe;  // another program must be able to read what we wrote
  ffprobe.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0",
                            QDir(folder).filePath("clip.3gp")});
  ASSERT_TRUE(ffprobe.waitForFinished(20000));
  EXPECT_EQ(QString(ffprobe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QStringList({"h263", "amr_nb"}));
  EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath("tone.3gp")));
  EXPECT_GT(form.sPanelPlay->ShownFrameCount(), 0);  // encoded frames reached the preview
  EXPECT_TRUE(form.sPanelPlay->PlaceholderVisible());

  // The log view holds the job's lines with its file name, and saves them.
  form.findChild<QAction*>("ShowLog1")->trigger();
  ASSERT_NE(form.LogView(), nullptr);
  EXPECT_TRUE(form.LogView()->isVisible());
  const QString log = form.LogView()->Text();
  EXPECT_GT(form.LogView()->LineCount(), 1) << log.toStdString();
  EXPECT_TRUE(log.contains("clip.avi: ")) << log.toStdString();
  EXPECT_TRUE(log.contains("Done -> ")) << log.toStdString();
  save_answer_ = QDir(folder).filePath("log.txt");
  form.findChild<QPushButton*>("ButtonSaveLog")->click();
  QFile saved(save_answer_);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(saved.readAll()).trimmed(), log.trimmed());
}

}  // namespace
}  // namespace strella::window::test

namespace strella::window::test {
namespace {

// Encoded frames handed out by the converter are drawn over the preview panel.
TEST_F(BatchTest, ConverterFramesReachThePreviewPanel) {
  AddRow("hold.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return converter_->Running(); }));
  media::TBitmap bitmap(32, 24);
  converter_->OnPreviewBitmap(0, &bitmap, 7, 280000);  // as a converter delivers it, on the main thread
  EXPECT_TRUE(WaitFor([&] { return form_->sPanelPlay->ShownFrameCount() == 1; }, 5000));
  EXPECT_FALSE(form_->sPanelPlay->PlaceholderVisible());
  EXPECT_EQ(form_->sPanelPlay->Frame().size(), QSize(32, 24));
  converter_->Release();
  EXPECT_TRUE(WaitFor([&] { return Completed(); }));
}

}  // namespace
}  // namespace strella::window::test

namespace strella::window::test {
namespace {

TEST_F(BatchTest, ClosingDuringABatchAsksAndNoKeepsConverting) {
  AddRow("hold.avi");
  form_->EditOutputFolder->setText(folder_);
  form_->ButtonRipNow->click();
  ASSERT_TRUE(WaitFor([&] { return converter_->Running(); }));
  answers_.push_back(QMessageBox::No);
  EXPECT_FALSE(form_->close());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Stop all conversions?");
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(converter_->Running());  // paused for the question, then resumed
  EXPECT_EQ(converter_->ResumeCount(), 1);

  answers_.push_back(QMessageBox::Yes);
  EXPECT_TRUE(form_->close());
  EXPECT_FALSE(converter_->Running());
  EXPECT_EQ(Column(0, app::fcProgress), "Abort");
  form_.reset();
  EXPECT_TRUE(QDir(folder_).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
}  // namespace strella::window::test
