// The window as people use it: it grows with the screen and comes back where
// it was, its tabs agree, folders and keys work on the list, failures say
// why, and every skin keeps captions whole and readable.
#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QMimeData>
#include <QSettings>
#include <QTabBar>
#include <QTest>
#include <QUrl>

#include "app/colour_contrast.h"
#include "app/window/main_window.h"
#include "fixtures.h"
#include "window_harness.h"

namespace strella::window::test {
namespace {

void Choose(QComboBox* combo, int index) {
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

// The selected texts of every settings list, as the screen shows them.
QStringList ShownSettings(TForm1& form) {
  QStringList shown;
  for (QComboBox* combo : form.findChildren<QComboBox*>()) shown << combo->objectName() + "=" + combo->currentText();
  shown << "volume=" + QString::number(form.SpinVolume->value());
  return shown;
}

class UsabilityTest : public WindowTest {
 protected:
  bool WaitForRows(TForm1& form, int count) {
    return WaitFor([&] { return form.ListView1->RowCount() == count && !form.Files().AddingFiles(); });
  }
  void AddRows(TForm1& form, const QStringList& names) {
    for (const QString& name : names) {
      app::TFileRow row;
      row.Caption = ("/videos/" + name).toStdString();
      form.Files().Append(row);
    }
  }
};

TEST_F(UsabilityTest, ResizingAndMaximizingGrowTheListAndThePreview) {
  TForm1 form;
  form.show();
  QApplication::processEvents();
  const QSize list = form.ListView1->size(), preview = form.sPanelPlay->size(), tabs = form.PageControl1->size();
  form.resize(1280, 900);
  ASSERT_TRUE(WaitFor([&] { return form.ListView1->width() > list.width(); }));
  EXPECT_GE(form.ListView1->width(), list.width() + 400);
  EXPECT_GE(form.ListView1->height(), list.height() + 150);
  EXPECT_GT(form.sPanelPlay->width(), preview.width());
  EXPECT_GT(form.sPanelPlay->height(), preview.height());
  EXPECT_EQ(form.PageControl1->size(), tabs);  // the settings keep their natural size
  form.resize(400, 300);
  EXPECT_EQ(form.size(), form.minimumSize());  // never below the first size
  form.showMaximized();
  ASSERT_TRUE(WaitFor([&] { return form.isMaximized() && form.width() > 1000; }));
  EXPECT_TRUE(WaitFor([&] { return form.ListView1->height() > list.height() + 150; }));
}

TEST_F(UsabilityTest, TenCloseAndReopenCyclesLeaveTheFrameWhereItWas) {
  QRect first;
  for (int cycle = 0; cycle < 10; ++cycle) {
    TForm1 form;
    form.LoadSettings();
    form.show();
    QApplication::processEvents();
    if (cycle == 0) {
      form.resize(1000, 700);
      form.move(220, 140);
      QApplication::processEvents();
      first = form.frameGeometry();
    }
    EXPECT_EQ(form.frameGeometry(), first) << "cycle " << cycle;
    form.close();
  }
  {
    TForm1 form;
    form.LoadSettings();
    form.show();
    form.showMaximized();
    ASSERT_TRUE(WaitFor([&] { return form.isMaximized(); }));
    form.close();
  }
  TForm1 form;
  form.LoadSettings();
  form.show();
  EXPECT_TRUE(WaitFor([&] { return form.isMaximized(); }));
  form.showNormal();
  EXPECT_TRUE(WaitFor([&] { return form.frameGeometry() == first; }));
}

TEST_F(UsabilityTest, AFrameOffEveryScreenComesBackWithItsTitleBarReachable) {
  {
    QSettings stored("Quorvex", "Strella Video Converter");
    TForm1 form;
    form.LoadSettings();  // first run: every value exists
    stored.setValue("FormLeft", 2400);  // on a second screen that is gone
    stored.setValue("FormTop", 30);
    stored.setValue("FormWidth", 1000);
    stored.setValue("FormHeight", 700);
  }
  TForm1 form;
  form.LoadSettings();
  form.show();
  const QRect screen = form.screen()->availableGeometry();
  const QRect frame = form.frameGeometry();
  EXPECT_TRUE(screen.contains(QRect(frame.topLeft(), QSize(frame.width(), 24)))) << frame.x() << "," << frame.y();
  EXPECT_EQ(form.size(), QSize(1000, 700));
}

TEST_F(UsabilityTest, TheTabsAgreeAfterEveryProfileChangeAndARestartShowsWhatWasShown) {
  QStringList shown;
  {
    TForm1 form;
    form.LoadSettings();
    form.show();
    int many_bitrates = -1;
    for (int entry = 0; entry < form.ComboOutputFormat->count(); ++entry) {
      Choose(form.ComboOutputFormat, entry);
      if (form.ComboOutputFormat->currentIndex() != entry) continue;  // a header keeps the profile
      const QString profile = form.ComboOutputFormat->currentText();
      for (auto [quality, bitrate] : {std::pair{form.ComboVideoQuality, form.ComboVideoBitrate},
                                      std::pair{form.ComboAudioQuality, form.ComboAudioBitrate}}) {
        const int expected = bitrate->currentIndex() < quality->count() ? bitrate->currentIndex() : -1;
        EXPECT_EQ(quality->currentIndex(), expected) << profile.toStdString() << " " << bitrate->objectName().toStdString();
      }
      if (many_bitrates < 0 && form.ComboVideoBitrate->count() > 6) many_bitrates = entry;
    }
    // A bit rate below the five presets, a quality, a frame size and a volume.
    ASSERT_GE(many_bitrates, 0);
    Choose(form.ComboOutputFormat, many_bitrates);
    Choose(form.ComboVideoBitrate, 6);
    EXPECT_EQ(form.ComboVideoQuality->currentIndex(), -1);
    Choose(form.ComboAudioQuality, 1);
    Choose(form.ComboVideoSize1, 3);
    form.SpinVolume->setValue(140);
    shown = ShownSettings(form);
    form.close();
  }
  TForm1 form;
  form.LoadSettings();
  EXPECT_EQ(ShownSettings(form), shown);
}

TEST_F(UsabilityTest, ADroppedFolderAddsTheMediaInsideItInNameOrder) {
  fixtures::EnsureLibraries();
  const QString folder = QString::fromStdString(fixtures::ScratchDir("dropped_folder"));
  QDir(folder).mkpath("sub");
  const std::pair<const char*, const char*> copies[] = {
      {"clip.mp4", "b clip.mp4"}, {"clip.avi", "a clip.avi"}, {"tone.wav", "c tone.wav"},
      {"clip.mkv", "sub/d clip.mkv"}, {"clip.mp4", "sub/e clip.mp4"}, {"empty.mp4", "broken.mp4"}};
  for (const auto& [from, to] : copies)
    ASSERT_TRUE(QFile::copy(QString::fromStdString(fixtures::Path(from)), folder + "/" + to));
  QFile notes(folder + "/notes.txt");
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("not a video\n");
  notes.close();

  TForm1 form;
  form.LoadSettings();
  form.show();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(folder)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.ListView1->viewport(), &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.ListView1->viewport(), &drop);
  ASSERT_TRUE(WaitForRows(form, 5)) << form.ListView1->RowCount() << " rows; " << form.StatusText().toStdString();
  const QStringList expected{"a clip.avi", "b clip.mp4", "c tone.wav", "sub/d clip.mkv", "sub/e clip.mp4"};
  for (int row = 0; row < 5; ++row) {
    EXPECT_EQ(form.ListView1->Row(row)->text(0), folder + "/" + expected[row]);
    EXPECT_EQ(form.Files().Column(row, app::fcProgress), "");
  }
  EXPECT_TRUE(WaitFor([&] { return form.StatusText().startsWith("Added 5 files"); }));
  EXPECT_TRUE(form.StatusText().contains("skipped 1")) << form.StatusText().toStdString();
  EXPECT_TRUE(form.StatusText().contains("ignored 1")) << form.StatusText().toStdString();
}

TEST_F(UsabilityTest, AnUnreadableFileKeepsSayingWhyWhenMoreFilesAreAdded) {
  fixtures::EnsureLibraries();
  TForm1 form;
  form.LoadSettings();
  form.show();
  open_answers_.push_back({QString::fromStdString(fixtures::Path("empty.mp4"))});
  form.ButtonOpenDVD->click();
  ASSERT_TRUE(WaitForRows(form, 1));
  const QString reason = form.ListView1->ColumnText(0, app::fcProgress);
  EXPECT_TRUE(reason.startsWith("Error: ")) << reason.toStdString();
  open_answers_.push_back({QString::fromStdString(fixtures::Path("clip.mp4"))});
  form.ButtonOpenDVD->click();
  ASSERT_TRUE(WaitForRows(form, 2));
  EXPECT_EQ(form.ListView1->ColumnText(0, app::fcProgress), reason);
  // The tooltip holds the full text, path and all.
  EXPECT_TRUE(form.ListView1->Row(0)->toolTip(app::fcProgress + 1).contains(
      QString::fromStdString(form.Files().Row(0).Message)));
}

TEST_F(UsabilityTest, RemoveItemAndTheKeysEditTheListAsItLooks) {
  TForm1 form;
  form.show();
  QApplication::setActiveWindow(&form);
  AddRows(form, {"a.avi", "b.avi", "c.avi", "d.avi", "e.avi", "f.avi"});
  form.ListView1->setCurrentItem(form.ListView1->Row(1));
  form.ButtonRemoveItem->click();
  ASSERT_EQ(form.Files().Count(), 5);
  EXPECT_TRUE(form.ListView1->Row(1)->isSelected());  // the next row, and it really is selected
  form.ButtonRemoveItem->click();
  ASSERT_EQ(form.Files().Count(), 4);
  EXPECT_EQ(form.Files().Row(1).Caption, "/videos/d.avi");
  // Delete removes, with the list focused.
  form.ListView1->setFocus();
  QTest::keyClick(form.ListView1, Qt::Key_Delete);
  ASSERT_EQ(form.Files().Count(), 3);
  EXPECT_EQ(form.Files().Row(1).Caption, "/videos/e.avi");
  // Several selected rows go together; Ctrl+A selects them all.
  form.ListView1->clearSelection();
  form.ListView1->Row(0)->setSelected(true);
  form.ListView1->Row(2)->setSelected(true);
  form.ButtonRemoveItem->click();
  ASSERT_EQ(form.Files().Count(), 1);
  EXPECT_EQ(form.Files().Row(0).Caption, "/videos/e.avi");
  AddRows(form, {"g.avi", "h.avi"});
  QTest::keyClick(form.ListView1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.ListView1->SelectedIndexes().size(), 3u);
  form.ButtonRemoveItem->click();
  EXPECT_EQ(form.Files().Count(), 0);
}

TEST_F(UsabilityTest, EverySkinKeepsTheWindowFontAndShowsEveryCaptionWhole) {
  TForm1 form;
  form.show();
  std::vector<int> tags{kNoSkinTag};
  for (const TSkin& skin : Skins()) tags.push_back(skin.Tag);
  for (int tag : tags) {
    form.ChooseSkin(tag);
    for (int tab : {0, 1}) {
      form.PageControl1->setCurrentIndex(tab);
      QApplication::processEvents();
      const std::string where = "skin " + std::to_string(tag) + ", tab " + std::to_string(tab);
      for (QLabel* label : form.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || label == form.StatusPanel2) continue;
        EXPECT_EQ(QFontInfo(label->font()).pixelSize(), 11) << where << " " << label->text().toStdString();
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
            << where << " " << label->text().toStdString();
      }
      for (QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty() || button->text() == "...") continue;
        EXPECT_GE(button->width(), button->sizeHint().width())
            << where << " " << button->text().toStdString() << " " << QFontInfo(button->font()).pixelSize();
      }
      const QTabBar* tabs = form.PageControl1->tabBar();
      for (int i = 0; i < tabs->count(); ++i)
        EXPECT_GE(tabs->tabRect(i).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i))) << where;
      EXPECT_GE(form.GroupBox1->width(), form.GroupBox1->fontMetrics().horizontalAdvance(form.GroupBox1->title()));
    }
  }
}

// Captions, glyphs (drawn in the caption colour), list text and the check
// mark of a selected row (drawn in the selection's text colour on the box's
// list colour) against what they stand on.
TEST(SkinColours, TextGlyphsChecksAndSelectionAreReadable) {
  std::vector<std::pair<QString, TPalette>> palettes;
  for (const TSkin& skin : Skins()) palettes.push_back({skin.Caption, skin.Palette});
  palettes.push_back({"desktop dark", DesktopDarkPalette()});
  for (const auto& [name, p] : palettes) {
    const std::pair<const char*, const char*> pairs[] = {
        {p.text, p.window},      {p.text, p.button_top}, {p.text, p.button_bottom}, {p.base_text, p.base},
        {p.accent_text, p.accent}, {p.accent_text, p.base}};
    for (const auto& [fore, back] : pairs)
      EXPECT_GE(app::ContrastRatio(fore, back), 4.5) << name.toStdString() << ": " << fore << " on " << back;
  }
}

TEST_F(UsabilityTest, TheDesktopSkinFollowsTheDesktopsLightOrDarkPalette) {
  const QPalette desktop = QGuiApplication::palette();
  TForm1 form;
  form.show();
  QPalette light;
  light.setColor(QPalette::Window, QColor("#f0f0f0"));
  QApplication::setPalette(light);
  form.findChild<QAction*>("DesktopSkin1")->trigger();
  EXPECT_TRUE(qApp->styleSheet().contains(FindSkinByTag(58)->Palette.window));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor("#202124"));
  QApplication::setPalette(dark);
  EXPECT_TRUE(WaitFor([&] { return qApp->styleSheet().contains(DesktopDarkPalette().window); }));
  EXPECT_EQ(form.SkinManager().Ink(), QColor(DesktopDarkPalette().text));
  QApplication::setPalette(desktop);
}

}  // namespace
}  // namespace strella::window::test
