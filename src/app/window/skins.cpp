#include "app/window/skins.h"

#include <QApplication>

namespace strella::window {
namespace {

// One style sheet per skin, built from a small palette so that every skin
// styles the same set of controls.
struct TPalette {
  const char* window;      // panels and dialogs
  const char* text;
  const char* base;        // lists and edit fields
  const char* button_top;  // button gradient
  const char* button_bottom;
  const char* accent;      // selection, progress, hover
  const char* border;
  int radius;
};

QString SheetFor(const TPalette& p) {
  return QString(
             "QWidget { background-color: %1; color: %2; }"
             "QMenuBar, QMenu, QStatusBar { background-color: %1; color: %2; }"
             "QMenu::item:selected, QMenuBar::item:selected { background-color: %6; color: %3; }"
             "QTreeWidget, QLineEdit, QComboBox, QSpinBox { background-color: %3; color: %2;"
             " border: 1px solid %7; border-radius: %8px; }"
             "QTreeWidget::item:selected { background-color: %6; color: %3; }"
             "QHeaderView::section { background-color: %5; color: %2; border: 1px solid %7;"
             " padding: 2px; }"
             "QPushButton, QToolButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
             " stop:0 %4, stop:1 %5); color: %2; border: 1px solid %7;"
             " border-radius: %8px; padding: 3px; }"
             "QPushButton:hover, QToolButton:hover { border-color: %6; }"
             "QPushButton:disabled, QToolButton:disabled, QComboBox:disabled, QSpinBox:disabled,"
             " QCheckBox:disabled, QLabel:disabled, QGroupBox:disabled, QTabBar::tab:disabled { color: gray; }"
             "QTabWidget::pane, QGroupBox { border: 1px solid %7; border-radius: %8px; }"
             "QGroupBox { margin-top: 8px; } QGroupBox::title { subcontrol-origin: margin;"
             " left: 8px; }"
             "QTabBar::tab { background-color: %5; border: 1px solid %7; padding: 3px 8px; }"
             "QTabBar::tab:selected { background-color: %3; font-weight: bold; }"
             "QProgressBar { background-color: %3; border: 1px solid %7; text-align: center; }"
             "QProgressBar::chunk { background-color: %6; }"
             "QSlider::handle:horizontal { background-color: %6; width: 10px; margin: -4px 0;"
             " border-radius: 3px; }"
             "QSlider::groove:horizontal { background-color: %3; height: 4px; }")
      .arg(p.window, p.text, p.base, p.button_top, p.button_bottom, p.accent, p.border)
      .arg(p.radius);
}

std::vector<TSkin> MakeSkins() {
  const TPalette sky_blue{"#dbe9f8", "#10233d", "#ffffff", "#f4f9ff", "#b9d3f0", "#3a7bd5", "#7fa6d6", 3};
  const TPalette pleasant_grey{"#e4e4e2", "#202020", "#fbfbfa", "#f6f6f4", "#cfcfcb", "#6d7b8d", "#9a9a96", 2};
  const TPalette sporting{"#1f4f2a", "#f2f7ee", "#eaf4e4", "#4f9a3c", "#2c6a27", "#f2b705", "#0f2c15", 4};
  const TPalette serrated{"#d9d4cc", "#2a211a", "#f7f3ee", "#efe9e0", "#b8ad9d", "#a1461f", "#7d6f5e", 0};
  const TPalette glassy_dark{"#23262b", "#e6e8eb", "#30343a", "#4a4f57", "#2b2e33", "#4fa3e0", "#5b616b", 4};
  const TPalette macos{"#ececec", "#1d1d1f", "#ffffff", "#fdfdfd", "#dcdcdc", "#0a84ff", "#b4b4b4", 6};
  const TPalette office_blue{"#c5d9f1", "#15325c", "#ffffff", "#e3edf9", "#a9c4e8", "#f6c85f", "#6f94c8", 2};
  return {
      {51, "Elegance (internal)", "BlueSkin1", "Sky Blue Skin", SheetFor(sky_blue)},
      {52, "Opus (internal)", "PleasantGreySkin1", "Pleasant Grey Skin", SheetFor(pleasant_grey)},
      {53, "Sporting (internal)", "SportingSkin1", "Sporting Skin", SheetFor(sporting)},
      {54, "Acryl (internal)", "SerratedSkin1", "Serrated Skin", SheetFor(serrated)},
      {55, "DarkGlass (internal)", "GlassyDarkSkin1", "Glassy Dark Skin", SheetFor(glassy_dark)},
      {56, "MacOS2 (internal)", "MacOSSkin1", "MacOS Skin", SheetFor(macos)},
      {57, "Office2007 Blue (internal)", "OfficeBluieSkin1", "Office Blue Skin", SheetFor(office_blue)},
  };
}

}  // namespace

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

void TSkinManager::Apply() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
    app->setStyleSheet(skin_ ? skin_->StyleSheet : QString());
}

}  // namespace strella::window
