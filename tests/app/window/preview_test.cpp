// The preview: playing the selected row into the panel, pause, stop, the
// position bar, the volume menu and snapshots.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

#include "app/window/main_window.h"
#include "app/window/preview_controls.h"
#include "fixtures.h"
#include "media/bitmap.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

class PreviewTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fixtures::EnsureLibraries();
    form_ = std::make_unique<TForm1>();
    form_->show();
    form_->Preview().PlaySnap = [this] { ++snaps_; return true; };
  }
  void TearDown() override {
    form_.reset();
    WindowTest::TearDown();
  }
  void SelectFile(const std::string& path) {
    app::TFileRow row;
    row.Caption = path;
    form_->Files().Append(row);
    form_->ListView1->setCurrentItem(form_->ListView1->Row(form_->ListView1->RowCount() - 1));
  }
  bool WaitForPictures(int count) {
    const int start = form_->sPanelPlay->PresentCount();
    return WaitFor([&] { return form_->sPanelPlay->PresentCount() >= start + count && form_->sPanelPlay->HasFrame(); });
  }

  // A ten-second clip (or one of the given length), paused right after it
  // starts: playing on from there reaches a late position within seconds only
  // when a seek took it there.
  void PlayPausedAtTheStart(int seconds = 10) {
    fixtures::FixtureSpec recipe{"preview_" + std::to_string(seconds) + "s.mp4"};
    recipe.duration = seconds;
    recipe.video = fixtures::VideoSpec{};
    recipe.audio = fixtures::AudioSpec{};
    SelectFile(fixtures::Make(recipe));
    form_->SpeedButtonPlay->click();
    ASSERT_TRUE(WaitFor([&] { return form_->TrackBar1->maximum() > 0; }));
    form_->SpeedButtonPause->click();
  }
  bool PlaysOnFrom(int64_t position) {
    form_->SpeedButtonPlay->click();
    return WaitFor([&] { return form_->Preview().Player().CurrentPosition() >= position; }, 4000);
  }

  std::unique_ptr<TForm1> form_;
  int snaps_ = 0;
};

TEST_F(PreviewTest, PlayPauseResumeAndStop) {
  SelectFile(fixtures::Path("clip.mp4"));
  TPreviewControls& preview = form_->Preview();
  form_->SpeedButtonPause->click();  // nothing plays yet: harmless
  form_->SpeedButtonPlay->click();
  ASSERT_TRUE(preview.PreviewPlaying()) << preview.Player().LastErrMsg();
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_FALSE(form_->sPanelPlay->PlaceholderVisible());
  EXPECT_TRUE(WaitFor([&] { return form_->TrackBar1->maximum() > 0; }));
  EXPECT_NEAR(form_->TrackBar1->maximum(), 2000, 100);  // a two-second clip, in milliseconds

  form_->SpeedButtonPause->click();
  EXPECT_TRUE(preview.PreviewPaused());
  EXPECT_FALSE(form_->TimerPlay->isActive());
  form_->SpeedButtonPlay->click();  // resumes rather than reopening
  EXPECT_FALSE(preview.PreviewPaused());
  EXPECT_TRUE(form_->TimerPlay->isActive());

  form_->SpeedButtonStop->click();
  EXPECT_FALSE(preview.PreviewPlaying());
  EXPECT_TRUE(form_->sPanelPlay->PlaceholderVisible());
  form_->SpeedButtonPause->click();  // after Stop, Pause does nothing
  EXPECT_FALSE(preview.PreviewPaused());
}

TEST_F(PreviewTest, PlayingToTheEndBringsThePlaceholderBack) {
  SelectFile(fixtures::Path("clip.mp4"));
  form_->SpeedButtonPlay->click();
  ASSERT_TRUE(WaitForPictures(1));
  EXPECT_TRUE(WaitFor([&] { return form_->sPanelPlay->PlaceholderVisible(); }, 15000));
}

TEST_F(PreviewTest, ReleasingThePositionBarSeeks) {
  PlayPausedAtTheStart();
  QSlider* bar = form_->TrackBar1;
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 5), bar->mapToGlobal(QPointF(2, 5)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &press);
  EXPECT_FALSE(form_->TimerPlay->isActive());
  bar->setValue(7500);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 5), bar->mapToGlobal(QPointF(2, 5)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &release);
  EXPECT_EQ(bar->value(), 7500);
  EXPECT_TRUE(PlaysOnFrom(7000000));
}

TEST_F(PreviewTest, PositionBarSeeksFromTheKeyboardWhenTheKeyIsLetGo) {
  PlayPausedAtTheStart();
  QSlider* bar = form_->TrackBar1;
  const int start = bar->value();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(bar, &press);
  EXPECT_FALSE(form_->TimerPlay->isActive());
  EXPECT_EQ(bar->value(), start + 5000);  // five seconds an arrow key
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
  QApplication::sendEvent(bar, &end);
  EXPECT_EQ(bar->value(), bar->maximum());
  QKeyEvent endReleased(QEvent::KeyRelease, Qt::Key_End, Qt::NoModifier);
  QApplication::sendEvent(bar, &endReleased);
  EXPECT_TRUE(PlaysOnFrom(9000000));
}

TEST_F(PreviewTest, AClickOnTheBarSeeksToThatPointAndTheReadoutFollows) {
  PlayPausedAtTheStart(20);
  QSlider* bar = form_->TrackBar1;
  QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 4, bar->height() / 2));
  EXPECT_NEAR(bar->value(), 5000, 1500);
  EXPECT_TRUE(WaitFor([&] { return std::llabs(form_->Preview().Player().CurrentPosition() - 5000000) < 1500000; }))
      << form_->Preview().Player().CurrentPosition();
  EXPECT_TRUE(WaitFor([&] {
    const QString shown = form_->TimeReadout->text();
    return shown == "0:04 / 0:20" || shown == "0:05 / 0:20" || shown == "0:06 / 0:20";
  })) << form_->TimeReadout->text().toStdString();
}

// Paused seeks to two points of the clip, where the moving box of the test
// pattern stands in different places: each shows its picture at once, and a
// snapshot saves the picture shown.
TEST_F(PreviewTest, ASeekWhilePausedShowsAndSnapshotsThePictureThere) {
  const QString folder = QString::fromStdString(fixtures::ScratchDir("window_paused_seek"));
  form_->EditOutputFolder->setText(folder);
  PlayPausedAtTheStart();
  QSlider* bar = form_->TrackBar1;
  QImage shown[2];
  for (int i = 0; i < 2; ++i) {
    const int presented = form_->sPanelPlay->PresentCount();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() * (2 + 5 * i) / 10, bar->height() / 2));
    ASSERT_TRUE(WaitFor([&] { return form_->sPanelPlay->PresentCount() > presented && form_->sPanelPlay->HasFrame(); }));
    QApplication::processEvents();
    shown[i] = form_->sPanelPlay->Frame();
    EXPECT_TRUE(form_->Preview().Player().Paused());
    form_->ButtonSnapshot->click();
  }
  EXPECT_NE(shown[0], shown[1]);
  const QImage first(QDir(folder).filePath("preview_10s.bmp"));
  const QImage second(QDir(folder).filePath("preview_10s-1.bmp"));
  ASSERT_FALSE(first.isNull());
  ASSERT_FALSE(second.isNull());
  EXPECT_NE(first, second);
}

TEST(PositionBar, CountsMillisecondsSoLongFilesFit) {
  EXPECT_EQ(PositionBarValue(-1), 0);  // unknown duration
  EXPECT_EQ(PositionBarValue(0), 0);
  EXPECT_EQ(PositionBarValue(2'000'000), 2000);
  EXPECT_EQ(PositionBarValue(int64_t{3} * 3600 * 1'000'000), 10'800'000);  // three hours
  EXPECT_EQ(PositionBarValue(INT64_MAX), INT32_MAX);
}

TEST_F(PreviewTest, VolumeMenuSetsThePreviewVolumeAndGlyph) {
  const int spin = form_->SpinVolume->value();
  form_->findChild<QAction*>("HalfVolume1")->trigger();
  EXPECT_EQ(form_->Preview().Player().AudioVolume(), 64);
  EXPECT_EQ(form_->SpeedButtonVolume->property("volumeTag").toInt(), 12);
  form_->findChild<QAction*>("Mute1")->trigger();
  EXPECT_EQ(form_->Preview().Player().AudioVolume(), 0);
  form_->findChild<QAction*>("FullVolume1")->trigger();
  EXPECT_EQ(form_->Preview().Player().AudioVolume(), 128);
  EXPECT_EQ(form_->SpinVolume->value(), spin);  // the conversion volume is another matter
}

TEST_F(PreviewTest, SnapshotsGetUniqueNamesAndKeepThePreviewPlaying) {
  const std::string folder = fixtures::ScratchDir("window_snapshots");
  SelectFile(fixtures::Path("clip.mp4"));
  form_->ButtonSnapshot->click();  // nothing plays: nothing happens
  EXPECT_TRUE(messages_.empty());
  form_->SpeedButtonPlay->click();
  ASSERT_TRUE(WaitForPictures(1));

  form_->ButtonSnapshot->click();  // no output folder yet
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Please select an output folder!");
  EXPECT_EQ(last_headline_, "Please choose your output folder: ");

  form_->EditOutputFolder->setText(QString::fromStdString(folder));
  form_->ButtonSnapshot->click();
  form_->ButtonSnapshot->click();
  EXPECT_EQ(snaps_, 2);
  const QImage snapshot(QDir(QString::fromStdString(folder)).filePath("clip.bmp"));
  EXPECT_EQ(snapshot.size(), QSize(320, 240));  // the picture itself, not the panel
  EXPECT_TRUE(QFileInfo::exists(QDir(QString::fromStdString(folder)).filePath("clip-1.bmp")));
  EXPECT_FALSE(form_->Preview().PreviewPaused());
  EXPECT_FALSE(form_->Preview().Player().Paused());

  form_->SpeedButtonPause->click();
  form_->ButtonSnapshot->click();
  EXPECT_TRUE(QFileInfo::exists(QDir(QString::fromStdString(folder)).filePath("clip-2.bmp")));
  EXPECT_TRUE(form_->Preview().Player().Paused());  // a paused preview stays paused

  form_->EditOutputFolder->setText(QString::fromStdString(folder) + "/gone");
  form_->ButtonSnapshot->click();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].text, "The output folder \"" + QString::fromStdString(folder) +
                                   "/gone\"\ndoes not exist or has been deleted!\nPlease choose a new output folder.");
}

TEST_F(PreviewTest, ConversionFramesAreStretchedOverThePanel) {
  media::TBitmap bitmap(16, 8);
  for (int row = 0; row < 8; ++row)
    for (int x = 0; x < 16; ++x) {
      uint8_t* pixel = bitmap.ScanLine(row) + 3 * x;
      pixel[0] = 0, pixel[1] = 0, pixel[2] = x < 8 ? 255 : 0;  // left half red
    }
  form_->ShowConversionFrame(bitmap);
  const QImage shown = form_->sPanelPlay->grab().toImage();
  EXPECT_EQ(shown.pixelColor(10, 10), QColor(255, 0, 0));
  EXPECT_EQ(shown.pixelColor(form_->sPanelPlay->width() - 10, form_->sPanelPlay->height() - 10), QColor(0, 0, 0));
}

}  // namespace
}  // namespace strella::window::test
