#include "app/window/skins.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTemporaryDir>

namespace strella::window {
namespace {

// Bold captions of the large buttons, with or without a skin.
const char* const kBaseSheet = "#Panel3 QToolButton { font-weight: bold; }";

std::vector<TSkin> MakeSkins() {
  const TPalette sky_blue{"#dbe9f8", "#10233d", "#ffffff", "#10233d", "#f4f9ff", "#b9d3f0",
                          "#c4dcf7", "#0b1d33", "#7fa6d6", "#5f7590", 3};
  const TPalette pleasant_grey{"#e4e4e2", "#202020", "#fbfbfa", "#202020", "#f6f6f4", "#cfcfcb",
                               "#d3d9e2", "#1b1f26", "#9a9a96", "#6b6b68", 2};
  const TPalette sporting{"#1f4f2a", "#f2f7ee", "#f7fbf4", "#16301c", "#2f7a25", "#2c6a27",
                          "#f2b705", "#1d1400", "#0f2c15", "#9fbf9f", 4};
  const TPalette serrated{"#d9d4cc", "#2a211a", "#f7f3ee", "#2a211a", "#efe9e0", "#c9bfb1",
                          "#f0d2c4", "#2a140a", "#7d6f5e", "#6e6458", 0};
  const TPalette glassy_dark{"#23262b", "#e6e8eb", "#30343a", "#eef0f2", "#4a4f57", "#2b2e33",
                             "#2f5f8f", "#ffffff", "#5b616b", "#9aa0a8", 4};
  const TPalette macos{"#ececec", "#1d1d1f", "#ffffff", "#1d1d1f", "#fdfdfd", "#dcdcdc",
                       "#cfe4ff", "#0a1f3a", "#b4b4b4", "#6e6e73", 6};
  const TPalette office_blue{"#c5d9f1", "#15325c", "#ffffff", "#15325c", "#e3edf9", "#a9c4e8",
                             "#fbe3a4", "#2a1e00", "#6f94c8", "#4d6485", 2};
  const TPalette desktop_light{"#f3f3f3", "#1c1c1c", "#ffffff", "#1c1c1c", "#fbfbfb", "#e2e2e2",
                               "#cde3f7", "#0c1c2c", "#a8a8a8", "#6a6a6a", 3};
  return {
      {51, "Elegance (internal)", "BlueSkin1", "Sky Blue Skin", sky_blue},
      {52, "Opus (internal)", "PleasantGreySkin1", "Pleasant Grey Skin", pleasant_grey},
      {53, "Sporting (internal)", "SportingSkin1", "Sporting Skin", sporting},
      {54, "Acryl (internal)", "SerratedSkin1", "Serrated Skin", serrated},
      {55, "DarkGlass (internal)", "GlassyDarkSkin1", "Glassy Dark Skin", glassy_dark},
      {56, "MacOS2 (internal)", "MacOSSkin1", "MacOS Skin", macos},
      {57, "Office2007 Blue (internal)", "OfficeBluieSkin1", "Office Blue Skin", office_blue},
      {58, "Desktop (light or dark)", "DesktopSkin1", "Desktop Light or Dark", desktop_light, true},
  };
}

bool DesktopIsDark() { return QGuiApplication::palette().color(QPalette::Window).lightness() < 128; }

}  // namespace

const TPalette& DesktopDarkPalette() {
  static const TPalette dark{"#1e1f22", "#e8e8e8", "#2a2b2f", "#f0f0f0", "#3c3e43", "#2e3034",
                             "#2d5a88", "#ffffff", "#55585e", "#9c9ea3", 3};
  return dark;
}

// The whole palette reaches every control the window has: a control left to
// the platform's colours would clash with the skin's.
// The check mark of the skin's check boxes, drawn once per colour into a
// folder of the process (a style sheet takes images by file name).
QString CheckMarkFile(const QColor& ink) {
  static QTemporaryDir folder;
  const QString file = folder.filePath("check-" + ink.name().mid(1) + ".png");
  if (!QFileInfo::exists(file)) {
    QImage mark(24, 24, QImage::Format_ARGB32_Premultiplied);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ink, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(5, 12.5), QPointF(10, 17.5), QPointF(19, 6.5)}));
    painter.end();
    mark.save(file);
  }
  return file;
}

QString StyleSheetFor(const TPalette& p) {
  // Check boxes of the list and the preferences: a box in the list colours,
  // its border and mark in the list's text colour, also on a selected row.
  const QString indicators =
      QString("QCheckBox::indicator, QTreeView::indicator { width: 11px; height: 11px; border: 1px solid %1;"
              " border-radius: 2px; background-color: %2; }"
              "QCheckBox::indicator:checked, QTreeView::indicator:checked { image: url(%3); }"
              "QCheckBox::indicator:disabled { border-color: %4; }")
          .arg(p.base_text, p.base, CheckMarkFile(QColor(p.base_text)), p.disabled);
  return indicators + QString(
             "QWidget { background-color: %1; color: %2; }"
             "QMenuBar, QMenu, QStatusBar, QToolTip { background-color: %1; color: %2; }"
             "QToolTip { border: 1px solid %9; }"
             "QMenu::item:selected, QMenuBar::item:selected { background-color: %7; color: %8; }"
             "QTreeWidget, QPlainTextEdit, QLineEdit, QComboBox, QSpinBox { background-color: %3; color: %4;"
             " border: 1px solid %9; border-radius: %11px; selection-background-color: %7;"
             " selection-color: %8; }"
             "QComboBox QAbstractItemView { background-color: %3; color: %4; }"
             "QTreeWidget::item:selected { background-color: %7; color: %8; }"
             "QHeaderView::section { background-color: %6; color: %2; border: 1px solid %9;"
             " padding: 2px; }"
             "QPushButton, QToolButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
             " stop:0 %5, stop:1 %6); color: %2; border: 1px solid %9;"
             " border-radius: %11px; padding: 3px; }"
             "QPushButton:hover, QToolButton:hover { border-color: %7; }"
             "QPushButton:disabled, QToolButton:disabled, QComboBox:disabled, QSpinBox:disabled,"
             " QCheckBox:disabled, QLabel:disabled, QGroupBox:disabled, QTabBar::tab:disabled { color: %10; }"
             "QTabWidget::pane, QGroupBox { border: 1px solid %9; border-radius: %11px; }"
             "QGroupBox { margin-top: 8px; } QGroupBox::title { subcontrol-origin: margin;"
             " left: 8px; }"
             "QTabBar::tab { background-color: %6; color: %2; border: 1px solid %9; padding: 3px 8px; }"
             "QTabBar::tab:selected { background-color: %3; color: %4; }"
             "QProgressBar { background-color: %3; border: 1px solid %9; text-align: center; }"
             "QProgressBar::chunk { background-color: %7; }"
             "QSlider::handle:horizontal { background-color: %2; width: 10px; margin: -4px 0;"
             " border-radius: 3px; }"
             "QSlider::groove:horizontal { background-color: %3; border: 1px solid %9; height: 4px; }")
             .arg(p.window, p.text, p.base, p.base_text, p.button_top, p.button_bottom, p.accent, p.accent_text,
                  p.border)
             .arg(p.disabled)
             .arg(p.radius) +
         kBaseSheet;
}

const std::vector<TSkin>& Skins() {
  static const std::vector<TSkin> skins = MakeSkins();
  return skins;
}

const TSkin* FindSkin(const QString& name) {
  for (const TSkin& skin : Skins())
    if (skin.Name == name) return &skin;
  return nullptr;
}

const TSkin* FindSkinByTag(int tag) {
  for (const TSkin& skin : Skins())
    if (skin.Tag == tag) return &skin;
  return nullptr;
}

void TSkinManager::SkinOff() {
  skin_ = nullptr;
  Apply();
}

bool TSkinManager::SkinOn(const QString& name) {
  skin_ = FindSkin(name);
  Apply();
  return skin_ != nullptr;
}

QString TSkinManager::SkinName() const { return skin_ ? skin_->Name : QString(kNoSkinName); }

const TPalette* TSkinManager::Palette() const {
  if (!skin_) return nullptr;
  if (skin_->FollowsDesktop && DesktopIsDark()) return &DesktopDarkPalette();
  return &skin_->Palette;
}

QColor TSkinManager::Ink() const {
  if (const TPalette* palette = Palette()) return QColor(palette->text);
  return QGuiApplication::palette().color(QPalette::ButtonText);
}

void TSkinManager::DesktopChanged() {
  if (skin_ && skin_->FollowsDesktop) Apply();
}

void TSkinManager::Apply() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app) return;
  // A style sheet change repolishes every control, which takes the
  // application's font: that font is the window's.
  if (font_ != QFont()) QApplication::setFont(font_);
  const TPalette* palette = Palette();
  app->setStyleSheet(palette ? StyleSheetFor(*palette) : QString(kBaseSheet));
}

}  // namespace strella::window
