// The main window's controls, menus, skins, dialogs and small helpers.
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QScreen>
#include <QMenuBar>
#include <QStatusBar>
#include <QUrl>
#include <atomic>
#include <thread>

#include "app/window/about_box.h"
#include "app/window/dialogs.h"
#include "app/window/main_window.h"
#include "app/window/preview_window.h"
#include "app/window/window_thread.h"
#include "app/window/snap_sound.h"
#include "fixtures.h"
#include "media/bitmap.h"
#include "media/loader.h"
#include "media/main_thread.h"
#include "media/previewer.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

QStringList ActionTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* action : menu->actions()) texts << (action->isSeparator() ? "-" : action->text());
  return texts;
}

QAction* Action(QWidget* window, const char* name) {
  auto* action = window->findChild<QAction*>(name);
  EXPECT_NE(action, nullptr) << name;
  return action;
}

using LayoutTest = WindowTest;

TEST_F(LayoutTest, ControlsCarryTheirNamesAndCaptions) {
  TForm1 form;
  form.show();
  EXPECT_EQ(form.windowTitle(), "Strella Video Converter");
  // It starts at its smallest size: the client area of 793 by 581.
  EXPECT_EQ(form.centralWidget()->height() + form.statusBar()->height(), 581);
  EXPECT_EQ(form.width(), 793);
  EXPECT_EQ(form.minimumSize(), form.size());
  struct Named {
    const char* name;
    const char* caption;
  };
  for (const Named& n : {Named{"ButtonOpenDVD", " Add Video"}, Named{"ButtonRemoveItem", "Remove Item"},
                         Named{"ButtonClearList", "Clear List"}, Named{"ButtonStop", " Stop"},
                         Named{"ButtonRipNow", " Convert Now"}}) {
    auto* button = form.findChild<QToolButton*>(n.name);
    ASSERT_NE(button, nullptr) << n.name;
    EXPECT_EQ(button->text(), n.caption);
  }
  for (const char* name : {"ComboOutputFormat", "ComboVideoQuality", "ComboAudioQuality", "ComboVideoSize1",
                           "ComboBoxLetterbox", "ComboVideoCodec", "ComboVideoBitrate", "ComboVideoSize",
                           "ComboVideoFrameRate", "ComboAudioCodec", "ComboAudioBitrate", "ComboSamplingRate",
                           "ComboAudioChannels", "ComboBoxAspectRatio"}) {
    auto* combo = form.findChild<QComboBox*>(name);
    ASSERT_NE(combo, nullptr) << name;
    EXPECT_FALSE(combo->isEditable()) << name;
  }
  EXPECT_GE(form.ComboOutputFormat->width(), 273);
  EXPECT_FALSE(form.EditOutputFolder->isReadOnly());  // a path can be typed or pasted
  EXPECT_EQ(form.PageControl1->tabText(0), "Output  Settings");
  EXPECT_EQ(form.PageControl1->tabText(1), "Detailed Output Settings");
  EXPECT_EQ(form.GroupBox1->title(), " Preferences ");
  EXPECT_EQ(form.CheckBoxOverwriteFile->text(), "Overwrite file with same name.");
  EXPECT_EQ(form.SpinVolume->minimum(), 0);
  EXPECT_EQ(form.SpinVolume->maximum(), 200);
  EXPECT_EQ(form.SpinVolume->singleStep(), 20);
  EXPECT_EQ(form.SpinVolume->value(), 100);
  EXPECT_EQ(form.SpinVolume->toolTip(), "100 is the original video volume");
  EXPECT_GE(form.sPanelPlay->width(), 255);
  EXPECT_GE(form.sPanelPlay->height(), 137);
  EXPECT_GE(form.TrackBar1->width(), 120);
  EXPECT_EQ(form.TimeReadout->text(), "0:00 / 0:00");
  EXPECT_EQ(form.SpeedButtonVolume->toolTip(), "Adjust volume");
  EXPECT_EQ(form.ButtonSnapshot->toolTip(), "Take a snapshot");
  EXPECT_EQ(form.Timer1->interval(), 100);
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_EQ(form.TimerPlay->interval(), 250);  // the time readout moves four times a second
  EXPECT_EQ(form.StatusText(), "Ready");
  EXPECT_EQ(form.ProgressBar1->maximum(), 100);
  EXPECT_EQ(form.ProgressBar1->width(), form.StatusPanel1->width() - 2);
}

TEST_F(LayoutTest, FileListHasItsColumnsAndCheckableRows) {
  TForm1 form;
  const QStringList captions{"Video Files ", "Size", "Duration", "Output", "Time Remaining", "Progress", "Frames"};
  const int widths[] = {230, 90, 80, 80, 115, 90, 80};
  ASSERT_EQ(form.ListView1->columnCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(form.ListView1->headerItem()->text(i), captions[i]);
    EXPECT_EQ(form.ListView1->columnWidth(i), widths[i]);
  }
  const std::string long_path = "/media/films/" + std::string(200, 'x') + ".avi";
  app::TFileRow row;
  row.Caption = long_path;
  row.Columns = {"640x480", "00:01:00", "3GP", "", "", ""};
  form.Files().Append(row);
  ASSERT_EQ(form.ListView1->RowCount(), 1);
  EXPECT_TRUE(form.ListView1->IsChecked(0));
  EXPECT_EQ(form.ListView1->Row(0)->toolTip(0).toStdString(), long_path);  // shown in full
  EXPECT_EQ(form.ListView1->ColumnText(0, app::fcSize), "640x480");
  form.ListView1->Row(0)->setCheckState(0, Qt::Unchecked);  // the user's click reaches the list
  EXPECT_FALSE(form.Files().Row(0).Checked);
  EXPECT_FALSE(form.ListView1->Row(0)->flags() & Qt::ItemIsEditable);
}

TEST_F(LayoutTest, MenusHoldTheirItemsInOrder) {
  TForm1 form;
  const QList<QAction*> top = form.menuBar()->actions();
  ASSERT_EQ(top.size(), 5);
  EXPECT_EQ(ActionTexts(top[0]->menu()), QStringList({"Add Video...", "Add Folder...", "-", "Save Preset...", "Load Preset...", "-", "Exit"}));
  EXPECT_EQ(ActionTexts(top[1]->menu()),
            QStringList({"Select All", "Remove Selected Item", "Clear All Items", "-", "Check All Items",
                         "UnCheck All Items", "-", "Play Selected Item"}));
  EXPECT_EQ(ActionTexts(top[2]->menu()), QStringList({"Log"}));
  EXPECT_EQ(ActionTexts(top[3]->menu()),
            QStringList({"No Skin", "-", "Sky Blue Skin", "Pleasant Grey Skin", "Sporting Skin", "Serrated Skin",
                         "Glassy Dark Skin", "MacOS Skin", "Office Blue Skin", "Desktop Light or Dark"}));
  EXPECT_EQ(ActionTexts(top[4]->menu()), QStringList({"Open Help File", "-", "Visit Our Website",
                                                      "Email Support Department", "-", "About"}));
  EXPECT_EQ(ActionTexts(form.PopupMenu1),
            QStringList({"UnCheck All Items", "-", "Check All Items", "-", "Remove Selected Item",
                         "Clear All Items", "-", "Play Selected Item"}));
  EXPECT_EQ(ActionTexts(form.PopupMenuVolume), QStringList({"Mute", "Half Volume", "Full Volume"}));
  EXPECT_EQ(Action(&form, "HalfVolume1")->data().toInt(), 12);
  // The menus show the keys that do the same.
  const std::pair<const char*, QKeySequence> keys[] = {
      {"AddVideo1", QKeySequence("Ctrl+O")},          {"SelectAll1", QKeySequence("Ctrl+A")},
      {"RemoveSelectedItem1", QKeySequence("Del")},   {"PreviewSelected1", QKeySequence("Return")},
      {"ShowLog1", QKeySequence("Ctrl+L")},           {"Exit1", QKeySequence("Ctrl+Q")}};
  for (const auto& [name, key] : keys) EXPECT_EQ(Action(&form, name)->shortcut(), key) << name;
}

TEST_F(LayoutTest, SkinMenuChecksOneItemAndStylesTheApplication) {
  TForm1 form;
  EXPECT_TRUE(Action(&form, "NoSkin1")->isChecked());
  Action(&form, "GlassyDarkSkin1")->trigger();
  EXPECT_EQ(form.SkinManager().SkinName(), "DarkGlass (internal)");
  EXPECT_TRUE(Action(&form, "GlassyDarkSkin1")->isChecked());
  EXPECT_FALSE(Action(&form, "NoSkin1")->isChecked());
  EXPECT_TRUE(qApp->styleSheet().contains("#23262b"));
  form.ApplySkinName("Office2007 Blue (internal)");
  EXPECT_TRUE(Action(&form, "OfficeBluieSkin1")->isChecked());
  EXPECT_FALSE(Action(&form, "GlassyDarkSkin1")->isChecked());
  // An unknown name kept by some other version starts unskinned.
  form.ApplySkinName("Chrome (internal)");
  EXPECT_EQ(form.SkinManager().SkinName(), "No Skin");
  EXPECT_TRUE(Action(&form, "NoSkin1")->isChecked());
  EXPECT_EQ(form.SkinManager().Palette(), nullptr);
  EXPECT_FALSE(qApp->styleSheet().contains("background-color"));
}

TEST_F(LayoutTest, AboutMenuOpensHelpWebSiteAndMail) {
  TForm1 form;
  Action(&form, "OpenHelpFile1")->trigger();
  ASSERT_EQ(opened_urls_.size(), 1);
  const QString help = QUrl(opened_urls_[0]).toLocalFile();
  EXPECT_EQ(help, QString::fromStdString(media::ProgramFolder()) + "help.html");
  QFile file(help);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("Convert Now"));
  Action(&form, "VisitTolvaneSoftwareWebsite1")->trigger();
  Action(&form, "EmailSupportDepartment1")->trigger();
  ASSERT_EQ(opened_urls_.size(), 3);
  EXPECT_TRUE(opened_urls_[1].startsWith("https://"));
  EXPECT_TRUE(opened_urls_[2].startsWith("mailto:"));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LayoutTest, OpenDialogFilterOffersWhatTheLibrariesRead) {
  fixtures::EnsureLibraries();
  const QStringList entries = OpenDialogFilter().split(";;");
  ASSERT_EQ(entries.size(), 24);
  ASSERT_TRUE(entries[0].startsWith("All Supported Files ("));
  const QStringList patterns = entries[0].mid(21).chopped(1).split(' ');
  for (const char* ext : {"*.avi", "*.mkv", "*.webm", "*.ts", "*.m2ts", "*.m4v", "*.flac", "*.opus", "*.mp4",
                          "*.mov", "*.wav", "*.3gp", "*.nut"})
    EXPECT_TRUE(patterns.contains(ext)) << ext;
  for (const char* ext : {"*.txt", "*.srt", "*.png", "*.m3u8"}) EXPECT_FALSE(patterns.contains(ext)) << ext;
  EXPECT_EQ(entries[9], "Macromedia Flash Files (*.flv, *.swf) (*.flv *.swf)");
  EXPECT_EQ(entries[22], "Windows Media Files(*.wma, *.wmv, *.asf, *.asx) (*.wma *.wmv *.asf *.asx)");
  EXPECT_EQ(entries.back(), "All files (*)");
}

TEST_F(LayoutTest, FolderPickerFillsTheTrimmedFolder) {
  TForm1 form;
  folder_answers_ << "  /tmp/out  ";
  form.ButtonBrowseForFolder->click();
  EXPECT_EQ(last_headline_, "Please choose your output folder: ");
  EXPECT_EQ(form.EditOutputFolder->text(), "/tmp/out");
  form.ButtonBrowseForFolder->click();  // cancelled: the folder stays
  EXPECT_EQ(form.EditOutputFolder->text(), "/tmp/out");
}

TEST_F(LayoutTest, RememberedPositionOffScreenIsCentred) {
  TForm1 form;
  form.SetRememberedPosition(150, 5);
  form.show();
  EXPECT_EQ(form.pos(), QPoint(150, 5));
  form.SetRememberedPosition(-5000, 40000);
  EXPECT_NE(form.pos(), QPoint(-5000, 40000));
  const QRect desktop = form.screen()->availableVirtualGeometry();
  EXPECT_TRUE(desktop.contains(form.frameGeometry().center())) << form.pos().x() << "," << form.pos().y();
}

TEST_F(LayoutTest, PreviewWindowShowsPicturesUntilClosed) {
  InstallMainThreadWakeup();
  InstallPreviewWindowFactory();
  media::TBitmap bitmap(64, 48);
  for (int row = 0; row < 48; ++row)
    for (int x = 0; x < 64; ++x) {
      uint8_t* pixel = bitmap.ScanLine(row) + 3 * x;
      pixel[0] = 255, pixel[1] = 0, pixel[2] = 0;  // blue in BGR
    }
  auto previewer = std::make_unique<media::TPreviewer>();
  ASSERT_TRUE(previewer->Preview(&bitmap, 1, 3723004000));
  TPreviewForm* form = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->objectName() == "PreviewForm") form = qobject_cast<TPreviewForm*>(widget);
    return form != nullptr;
  }, 5000));
  EXPECT_EQ(form->windowTitle(), "01:02:03.004");
  EXPECT_EQ(form->size(), QSize(64, 48));
  EXPECT_EQ(form->grab().toImage().pixelColor(10, 10), QColor(0, 0, 255));
  form->close();
  EXPECT_FALSE(previewer->Preview(&bitmap, 2, 0));
  previewer.reset();
  media::ProcessThreadMessages();
  media::SetPreviewWindowFactory(nullptr);
}

TEST(SnapSound, IsAShortAudibleClickThatPlays) {
  const std::vector<int16_t>& samples = SnapSamples();
  EXPECT_GT(samples.size(), kSnapSampleRate / 10u);
  EXPECT_LT(samples.size(), kSnapSampleRate / 2u);
  int peak = 0;
  for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 10000);
  media::FFLoader().SetLibraryPath(media::ProgramFolder());
  EXPECT_TRUE(PlaySnapSound());  // SDL's dummy driver in the tests
}

}  // namespace
}  // namespace strella::window::test

namespace strella::window::test {
namespace {

using WindowThreadTest = WindowTest;

// A worker's post to the main thread is run by the Qt event loop; the worker does not wait for it.
TEST_F(WindowThreadTest, WorkersReachTheWindowThreadThroughTheEventLoop) {
  TForm1 form;
  media::TMainThreadMailbox mailbox;
  std::atomic<bool> ran_on_main{false};
  std::atomic<bool> ran{false};
  std::thread worker([&] {
    mailbox.Post([&] {
      ran_on_main = media::IsMainThread();
      ran = true;
    });
  });
  worker.join();
  EXPECT_FALSE(ran) << "the post waits for the event loop";
  EXPECT_TRUE(WaitFor([&] { return ran.load(); }, 5000));
  EXPECT_TRUE(ran_on_main);
}

}  // namespace
}  // namespace strella::window::test

namespace strella::window::test {
namespace {

TEST_F(WindowTest, MissingLibrariesAreReportedAtStartUp) {
  media::FFLoader().SetFileNameOverride(media::ltAMRNB, "/nonexistent/libopencore-amrnb.so.0");
  TForm1 form;
  EXPECT_FALSE(form.LoadLibraries());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Some files are missing. Please re-install this software");
  EXPECT_EQ(messages_[0].title, "Information");
  EXPECT_EQ(messages_[0].icon, QMessageBox::Information);
}

}  // namespace
}  // namespace strella::window::test

namespace strella::window::test {
namespace {

TEST_F(WindowTest, AboutBoxShowsTheProgramAndItsLinks) {
  TForm1 form;
  TFormAbout* about = form.FormAbout;
  EXPECT_EQ(about->windowTitle(), "About");
  EXPECT_EQ(about->size(), QSize(359, 262));
  EXPECT_TRUE(about->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_NE(about->findChild<QLabel*>("LabelProductName"), nullptr);
  EXPECT_EQ(about->findChild<QLabel*>("LabelProductName")->text(), "Strella Video Converter 2.0");
  for (const char* name : {"LabelWebsite", "LabelEmail"}) {
    auto* link = about->findChild<QLabel*>(name);
    ASSERT_NE(link, nullptr) << name;
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    emit link->linkActivated(link->text().section('"', 1, 1));
  }
  ASSERT_EQ(opened_urls_.size(), 2);
  EXPECT_TRUE(opened_urls_[0].startsWith("https://"));
  EXPECT_TRUE(opened_urls_[1].startsWith("mailto:"));
}

}  // namespace
}  // namespace strella::window::test
