// The choices kept between runs: first run, restore after a restart, File,
// Exit, header entries of the format list, skins.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardItemModel>

#include "app/presets.h"
#include "app/profile_encoders.h"
#include "app/window/main_window.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

const char* const kValueNames[] = {"Skin",         "Output Folder", "ComboOutputFormat", "Overwrite", "LetterBox",
                                   "VideoQuality", "AudioQuality",  "FormTop",           "FormLeft",  "Tabsheet"};

void Choose(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

using SettingsTest = WindowTest;

TEST_F(SettingsTest, FirstRunSelects3gpNormalAndWritesEveryValue) {
  {
    QSettings stored("Quorvex", "Strella Video Converter");
    EXPECT_TRUE(stored.allKeys().isEmpty());
  }
  // The desktop's Videos folder is offered for the outputs.
  const QString home = QString::fromStdString(config_home_) + "/home";
  QDir().mkpath(home + "/Filme");
  QFile dirs(QString::fromStdString(config_home_) + "/user-dirs.dirs");
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
  dirs.close();
  const QByteArray old_home = qgetenv("HOME");
  qputenv("HOME", home.toUtf8());
  TForm1 form;
  form.LoadSettings();
  form.show();
  EXPECT_EQ(form.ComboOutputFormat->currentText(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(form.ComboVideoQuality->currentText(), "Normal");
  EXPECT_EQ(form.ComboAudioQuality->currentText(), "Normal");
  EXPECT_EQ(form.ComboVideoCodec->currentText(), "h263");
  EXPECT_EQ(form.ComboAudioCodec->currentText(), "libopencore_amrnb");
  EXPECT_EQ(form.pos(), QPoint(150, 5));
  qputenv("HOME", old_home);
  EXPECT_EQ(form.EditOutputFolder->text(), home + "/Filme");
  EXPECT_EQ(form.PageControl1->currentIndex(), 0);
  QSettings stored("Quorvex", "Strella Video Converter");
  EXPECT_TRUE(stored.fileName().startsWith(QString::fromStdString(config_home_)));
  for (const char* name : kValueNames) EXPECT_TRUE(stored.contains(name)) << name;
  EXPECT_EQ(stored.value("ComboOutputFormat").toInt(), 2);
  EXPECT_EQ(stored.value("Skin").toString(), "No Skin");
  EXPECT_EQ(stored.value("FormLeft").toInt(), 150);
  EXPECT_EQ(stored.value("FormTop").toInt(), 5);
}

TEST_F(SettingsTest, ClosingKeepsTheChoicesForTheNextStart) {
  {
    TForm1 form;
    form.LoadSettings();
    form.show();
    Choose(form.ComboOutputFormat, "WMV - Windows Media Video (*.wmv)");
    Choose(form.ComboVideoQuality, "Higher");
    form.PageControl1->setCurrentIndex(1);
    form.EditOutputFolder->setText("/tmp/converted");
    form.CheckBoxOverwriteFile->setChecked(true);
    form.findChild<QAction*>("SportingSkin1")->trigger();
    form.move(210, 60);
    form.close();
  }
  TForm1 form;
  form.LoadSettings();
  form.show();
  EXPECT_EQ(form.ComboOutputFormat->currentText(), "WMV - Windows Media Video (*.wmv)");
  EXPECT_EQ(form.ComboVideoQuality->currentText(), "Higher");
  EXPECT_EQ(form.ComboVideoBitrate->currentIndex(), 1);  // the bitrate follows the preset
  EXPECT_EQ(form.PageControl1->currentIndex(), 1);
  EXPECT_EQ(form.EditOutputFolder->text(), "/tmp/converted");
  EXPECT_TRUE(form.CheckBoxOverwriteFile->isChecked());
  EXPECT_TRUE(form.findChild<QAction*>("SportingSkin1")->isChecked());
  EXPECT_EQ(form.SkinManager().SkinName(), "Sporting (internal)");
  EXPECT_EQ(form.pos(), QPoint(210, 60));
}

// A crash or File > Exit right after a change loses nothing: each change is
// kept shortly after it is made, one pending at Exit at once.
TEST_F(SettingsTest, ChoicesAreKeptAsTheyChangeWithoutAClose) {
  {
    TForm1 form;
    form.LoadSettings();  // the first run writes its defaults
    form.show();
    Choose(form.ComboOutputFormat, "WMV - Windows Media Video (*.wmv)");
    form.EditOutputFolder->setText("/tmp/kept");
    form.SpinSimultaneous->setValue(2);
    ASSERT_TRUE(WaitFor([&] { return !form.SettingsSavePending(); }));
    // Never closed: what a killed program leaves.
  }
  {
    TForm1 form;
    form.LoadSettings();
    EXPECT_EQ(form.ComboOutputFormat->currentText(), "WMV - Windows Media Video (*.wmv)");
    EXPECT_EQ(form.EditOutputFolder->text(), "/tmp/kept");
    EXPECT_EQ(form.SpinSimultaneous->value(), 2);
    form.show();
    Choose(form.ComboOutputFormat, "MP3 - Mpeg Layer3 Audio (*.mp3)");
    EXPECT_TRUE(form.SettingsSavePending());
    form.findChild<QAction*>("Exit1")->trigger();
    EXPECT_TRUE(form.ExitRequested());
    EXPECT_FALSE(form.isVisible());
  }
  TForm1 form;
  form.LoadSettings();
  EXPECT_EQ(form.ComboOutputFormat->currentText(), "MP3 - Mpeg Layer3 Audio (*.mp3)");
}

TEST_F(SettingsTest, HeaderEntriesOfTheFormatListKeepTheProfile) {
  TForm1 form;
  form.LoadSettings();
  Choose(form.ComboOutputFormat, "MP3 - Mpeg Layer3 Audio (*.mp3)");
  EXPECT_EQ(form.ComboVideoCodec->count(), 0);  // audio only: no video choices
  EXPECT_EQ(form.ComboAudioBitrate->currentText(), "192 Kbps");
  const int mp3 = form.ComboOutputFormat->currentIndex();
  for (int entry : {0, 1}) {  // the first header and the separator below it
    form.ComboOutputFormat->setCurrentIndex(entry);
    emit form.ComboOutputFormat->activated(entry);
    EXPECT_EQ(form.ComboOutputFormat->currentIndex(), mp3);
    EXPECT_EQ(form.ComboAudioCodec->currentText(), "mp3");
  }
}

TEST_F(SettingsTest, StoredValuesOutsideTheListsFallBack) {
  {
    QSettings stored("Quorvex", "Strella Video Converter");
    for (const char* name : kValueNames) stored.setValue(name, 1);
    stored.setValue("Skin", "DarkGlass (internal)");
    stored.setValue("ComboOutputFormat", -1);
    stored.setValue("Output Folder", "/srv/out");
  }
  TForm1 form;
  form.LoadSettings();
  EXPECT_EQ(form.ComboOutputFormat->currentText(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(form.EditOutputFolder->text(), "/srv/out");
  EXPECT_TRUE(form.findChild<QAction*>("GlassyDarkSkin1")->isChecked());
  EXPECT_EQ(form.ComboVideoQuality->currentText(), "Higher");
}

TEST_F(SettingsTest, ChangingTheProfileRewritesTheOutputColumn) {
  TForm1 form;
  form.LoadSettings();
  app::TFileRow row;
  row.Caption = "/videos/a.avi";
  row.Columns = {"320x240", "00:00:02", "3GP", "", "", ""};
  form.Files().Append(row);
  Choose(form.ComboOutputFormat, "FLV - Flash Flv Video (*.flv)");
  EXPECT_EQ(form.ListView1->ColumnText(0, app::fcOutput), "FLV");
  Choose(form.ComboVideoSize1, "320x240 (VGA)");
  EXPECT_EQ(form.ComboVideoSize->currentIndex(), form.ComboVideoSize1->currentIndex());
}

TEST_F(SettingsTest, AProfileWithoutItsEncoderIsShownDisabledWithTheReason) {
  app::LookUpProfileEncoders([](const std::string& name) { return name != "libx265"; });
  TForm1 form;
  form.LoadSettings();
  const auto* entries = qobject_cast<QStandardItemModel*>(form.ComboOutputFormat->model());
  ASSERT_NE(entries, nullptr);
  for (const char* name : {"MP4 - H.265/HEVC + AAC (*.mp4)", "MKV - H.265/HEVC + Opus (*.mkv)"}) {
    const int entry = form.ComboOutputFormat->findText(name);
    ASSERT_GE(entry, 0) << name;
    EXPECT_FALSE(entries->item(entry)->isEnabled()) << name;
    EXPECT_EQ(form.ComboOutputFormat->itemData(entry, Qt::ToolTipRole).toString(),
              "needs the libx265 encoder, which the installed FFmpeg lacks");
  }
  const int h264 = form.ComboOutputFormat->findText("MP4 - H.264 + AAC (*.mp4)");
  EXPECT_TRUE(entries->item(h264)->isEnabled());
  app::LookUpProfileEncoders([](const std::string&) { return true; });
  form.MarkUnavailableProfiles();
  EXPECT_TRUE(entries->item(form.ComboOutputFormat->findText("MKV - H.265/HEVC + Opus (*.mkv)"))->isEnabled());
}

TEST_F(SettingsTest, PresetsAreSavedListedUnderMyPresetsAndLoaded) {
  TForm1 form;
  form.LoadSettings();
  form.show();
  Choose(form.ComboOutputFormat, "MP4 - H.264 + AAC (*.mp4)");
  Choose(form.ComboVideoQuality, "Higher");
  const QString folder = QString::fromStdString(config_home_) + "/Quorvex/Strella Video Converter/presets";
  save_answer_ = folder + "/higher";
  form.findChild<QAction*>("SavePreset1")->trigger();
  ASSERT_TRUE(QFile::exists(folder + "/higher.json"));
  const int header = form.ComboOutputFormat->findText(QString(12, ' ') + "----- My Presets -----");
  ASSERT_GE(header, 0);
  EXPECT_EQ(form.ComboOutputFormat->findText("higher"), header + 2);

  // Picking the preset in the format list selects its profile and choices.
  Choose(form.ComboOutputFormat, "WAV - Waveform Audio (*.wav)");
  Choose(form.ComboOutputFormat, "higher");
  EXPECT_EQ(form.ComboOutputFormat->currentText(), "MP4 - H.264 + AAC (*.mp4)");
  EXPECT_EQ(form.ComboVideoQuality->currentText(), "Higher");
  EXPECT_EQ(form.ComboVideoBitrate->currentText(), "CRF 20");
  const app::JobSettings shown = app::JobSettingsFrom(form.Settings(), form.Preferences());
  const app::JobSettings stored = app::ReadPresetFile((folder + "/higher.json").toStdString());
  EXPECT_EQ(shown.ProfileKey(), stored.ProfileKey());
  EXPECT_EQ(shown.VideoRate, stored.VideoRate);

  // A broken preset is refused with its reason; the choices stay.
  QFile broken(folder + "/broken.json");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("{\"profile\": \"mp4-h264\", \"video\": {\"size\": \"1x1\"}}");
  broken.close();
  Choose(form.ComboOutputFormat, "WebM - VP9 + Opus (*.webm)");
  open_file_answer_ = folder + "/broken.json";
  form.findChild<QAction*>("LoadPreset1")->trigger();
  ASSERT_FALSE(messages_.empty());
  EXPECT_TRUE(messages_.back().text.contains("broken.json:1: The profile \"MP4 - H.264 + AAC (*.mp4)\" offers no size"))
      << messages_.back().text.toStdString();
  EXPECT_EQ(form.ComboOutputFormat->currentText(), "WebM - VP9 + Opus (*.webm)");
}

}  // namespace
}  // namespace strella::window::test
