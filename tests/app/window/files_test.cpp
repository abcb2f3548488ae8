// Adding files through " Add Video", drops and the command line; removing,
// checking and the context menu.
#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <QComboBox>
#include <QDir>
#include <QFile>

#include "app/window/log_view.h"
#include "app/window/main_window.h"
#include "fixtures.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

class FilesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fixtures::EnsureLibraries();
    form_ = std::make_unique<TForm1>();
    form_->LoadSettings();
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    WindowTest::TearDown();
  }
  bool WaitForRows(int count) {
    return WaitFor([&] { return form_->ListView1->RowCount() == count && !form_->Files().AddingFiles(); });
  }
  QString Column(int row, app::TFileColumn column) { return form_->ListView1->ColumnText(row, column); }

  std::unique_ptr<TForm1> form_;
};

TEST_F(FilesTest, AddVideoProbesEachChosenFile) {
  form_->ButtonOpenDVD->click();  // cancelled: nothing happens
  EXPECT_EQ(last_filter_, OpenDialogFilter());
  EXPECT_EQ(form_->ListView1->RowCount(), 0);

  const QString clip = QString::fromStdString(fixtures::Path("clip.mp4"));
  const QString broken = QString::fromStdString(fixtures::Path("empty.mp4"));
  const QString tone = QString::fromStdString(fixtures::Path("tone.wav"));
  open_answers_.push_back({clip, broken, tone});
  form_->ButtonOpenDVD->click();
  ASSERT_TRUE(WaitForRows(3));
  EXPECT_EQ(form_->ListView1->Row(0)->text(0), clip);
  EXPECT_EQ(Column(0, app::fcSize), "320x240");
  EXPECT_EQ(Column(0, app::fcDuration), "00:00:02");
  EXPECT_EQ(Column(0, app::fcOutput), "3GP");
  // The row says why it cannot be converted, in the row and its tooltip.
  EXPECT_TRUE(Column(1, app::fcProgress).startsWith("Error: ")) << Column(1, app::fcProgress).toStdString();
  EXPECT_GT(Column(1, app::fcProgress).size(), 10);
  EXPECT_TRUE(Column(1, app::fcProgress).endsWith(QString::fromUtf8(" \u2014 empty.mp4")))
      << Column(1, app::fcProgress).toStdString();
  EXPECT_TRUE(form_->ListView1->Row(1)->toolTip(0).contains(QString::fromStdString(form_->Files().Row(1).Message)));
  EXPECT_EQ(Column(1, app::fcSize), "");
  EXPECT_EQ(Column(2, app::fcSize), " ");  // audio only
  EXPECT_EQ(Column(2, app::fcDuration), "00:00:02");
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(form_->ListView1->IsChecked(row));
}

// A file refused when it is added says why first in its row, in full in its
// tooltip, and leaves its line in the log; so does one skipped in a folder.
TEST_F(FilesTest, FilesRefusedWhenAddedSayWhyInTheRowAndTheLog) {
  const QString folder = QString::fromStdString(fixtures::ScratchDir("window_refused"));
  QFile(folder + "/empty.mp4").open(QIODevice::WriteOnly);
  const QString missing = folder + "/gone/missing.mp4";
  ASSERT_TRUE(form_->AddFileNames({missing, folder}));
  ASSERT_TRUE(WaitForRows(1));
  const QString row = Column(0, app::fcProgress);
  EXPECT_TRUE(row.startsWith("Error: ")) << row.toStdString();
  EXPECT_FALSE(row.contains(folder)) << row.toStdString();  // the reason, not the path, comes first
  EXPECT_TRUE(row.endsWith(QString::fromUtf8(" \u2014 missing.mp4"))) << row.toStdString();
  EXPECT_TRUE(form_->ListView1->Row(0)->toolTip(0).contains(missing + ": "));
  form_->ShowLog();
  const QString log = form_->LogView()->Text();
  EXPECT_TRUE(log.contains("error: Cannot read " + missing + ": ")) << log.toStdString();
  EXPECT_TRUE(log.contains("Skipped " + folder + "/empty.mp4: ")) << log.toStdString();
}

// Each level of the log view shows its lines and the more severe ones only,
// also for lines that came before the level was chosen.
TEST_F(FilesTest, TheLogLevelShowsThatLevelAndMoreSevereOnly) {
  TLogView view(form_.get());
  std::vector<app::TJobLogLine> lines;
  for (const media::TLogLevel level : {media::llError, media::llWarning, media::llInfo, media::llVerbose, media::llDebug})
    lines.push_back({-1, "", 0, level, "line " + std::to_string(level)});
  view.SetLines(lines);
  auto* combo = view.findChild<QComboBox*>("ComboLogLevel");
  ASSERT_NE(combo, nullptr);
  const struct {
    const char* level;
    int shown;
  } cases[] = {{"error", 1}, {"warning", 2}, {"info", 3}, {"verbose", 4}, {"debug", 5}};
  for (const auto& c : cases) {
    const int index = combo->findText(c.level);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    EXPECT_EQ(view.LineCount(), c.shown) << c.level;
    view.Append({-1, "", 0, media::llVerbose, "late verbose"});
    EXPECT_EQ(view.Text().contains("late verbose"), c.shown >= 4) << c.level;
    view.SetLines(lines);
  }
  EXPECT_FALSE(view.Text().isEmpty());
  combo->setCurrentIndex(combo->findText("info"));
  emit combo->activated(combo->currentIndex());
  EXPECT_FALSE(view.Text().contains("verbose:"));
}

// Files the list holds already (also under another name) are not added
// again; the status bar says how many were skipped.
TEST_F(FilesTest, FilesAlreadyListedAreSkippedAndCounted) {
  const QString clip = QString::fromStdString(fixtures::Path("clip.mp4"));
  const QString tone = QString::fromStdString(fixtures::Path("tone.wav"));
  const QString folder = QString::fromStdString(fixtures::ScratchDir("window_duplicates"));
  ASSERT_TRUE(QFile::link(tone, folder + "/same tone.wav"));
  ASSERT_TRUE(QFile::copy(clip, folder + "/copy.mp4"));
  ASSERT_TRUE(form_->AddFileNames({clip, tone, clip}));
  ASSERT_TRUE(WaitForRows(2));
  EXPECT_EQ(form_->StatusText(), "Added 2 files, skipped 1 already in the list");
  ASSERT_TRUE(form_->AddFileNames({folder}));
  ASSERT_TRUE(WaitForRows(3));
  EXPECT_EQ(form_->ListView1->Row(2)->text(0), folder + "/copy.mp4");
  EXPECT_EQ(form_->StatusText(), "Added 1 file, skipped 1 already in the list");
  EXPECT_FALSE(form_->AddFileNames({clip}));
  EXPECT_EQ(form_->StatusText(), "Skipped 1 file already in the list");
  EXPECT_EQ(form_->Files().Count(), 3);
}

TEST_F(FilesTest, DroppedFilesAreAddedLikeChosenOnes) {
  const QString odd = QString::fromStdString(fixtures::Path(fixtures::kOddName));
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(odd), QUrl("https://example.org/not-a-file.mp4")});
  QWidget* viewport = form_->ListView1->viewport();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  ASSERT_TRUE(WaitForRows(1));
  EXPECT_EQ(form_->ListView1->Row(0)->text(0), odd);
  EXPECT_EQ(Column(0, app::fcSize), "320x240");
}

TEST_F(FilesTest, RowsAreRemovedClearedAndCheckedFromTheMenu) {
  open_answers_.push_back({QString::fromStdString(fixtures::Path("clip.mp4")),
                           QString::fromStdString(fixtures::Path("clip.avi")),
                           QString::fromStdString(fixtures::Path("clip.mkv"))});
  form_->ButtonOpenDVD->click();
  ASSERT_TRUE(WaitForRows(3));
  form_->findChild<QAction*>("UnCheckAllItems1")->trigger();
  for (int row = 0; row < 3; ++row) EXPECT_FALSE(form_->Files().Row(row).Checked);
  form_->findChild<QAction*>("CheckAllItems1")->trigger();
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(form_->ListView1->IsChecked(row));

  form_->ButtonRemoveItem->click();  // nothing selected: nothing removed
  EXPECT_EQ(form_->Files().Count(), 3);
  form_->ListView1->setCurrentItem(form_->ListView1->Row(1));
  EXPECT_EQ(form_->SelectedRow(), 1);
  EXPECT_TRUE(form_->PreviewFile().endsWith("clip.avi"));
  form_->ButtonRemoveItem->click();
  ASSERT_EQ(form_->Files().Count(), 2);
  EXPECT_TRUE(form_->ListView1->Row(1)->text(0).endsWith("clip.mkv"));
  form_->findChild<QAction*>("ClearAllItems1")->trigger();
  EXPECT_EQ(form_->ListView1->RowCount(), 0);
  EXPECT_EQ(form_->SelectedRow(), -1);
}

}  // namespace
}  // namespace strella::window::test
