// Presets in the window: File > Save Preset... and Load Preset..., and the
// "My Presets" group at the end of the format list.
#include <QDir>
#include <QFileInfo>

#include "app/window/dialogs.h"
#include "app/window/main_window.h"

namespace strella::window {

namespace {

constexpr const char* kPresetFilter = "Presets (*.json)";

}  // namespace

void TForm1::FillPresetEntries() {
  // The catalogue's entries stay where they are; the group is rebuilt after them.
  const int catalogueEntries = static_cast<int>(app::OutputFormatEntries().size());
  while (ComboOutputFormat->count() > catalogueEntries) ComboOutputFormat->removeItem(ComboOutputFormat->count() - 1);
  preset_entries_ = app::ListPresets();
  first_preset_entry_ = -1;
  if (preset_entries_.empty()) return;
  ComboOutputFormat->addItem(QString(5, ' '));
  ComboOutputFormat->addItem(QString(12, ' ') + "----- My Presets -----");
  ComboOutputFormat->addItem(QString(5, ' '));
  first_preset_entry_ = ComboOutputFormat->count();
  for (const app::TPresetEntry& preset : preset_entries_) {
    ComboOutputFormat->addItem(QString::fromStdString(preset.Name));
    ComboOutputFormat->setItemData(ComboOutputFormat->count() - 1, QString::fromStdString(preset.FileName),
                                   Qt::ToolTipRole);
  }
  MarkFormatHeaders();
}

// A preset entry loads its preset, which selects its profile's entry; any
// other entry is the settings' own business.
void TForm1::OutputFormatActivated(int index) {
  if (first_preset_entry_ >= 0 && index >= first_preset_entry_) {
    const auto& preset = preset_entries_.at(static_cast<size_t>(index - first_preset_entry_));
    if (!LoadPresetFile(QString::fromStdString(preset.FileName)))
      ComboOutputFormat->setCurrentIndex(settings_->SavedFormatIndex);
    return;
  }
  settings_->OutputFormatChanged();
}

bool TForm1::LoadPresetFile(const QString& file) {
  try {
    const app::JobSettings settings = app::ReadPresetFile(file.toStdString());
    app::ApplyJobSettings(settings, *settings_, prefs_);
  } catch (const app::TPresetError& error) {
    ShowInformation(this, "The preset cannot be loaded:\n" + QString::fromStdString(error.what()));
    return false;
  }
  SpinVolume->setValue(prefs_.SpinVolume);
  ShowLoudness();
  SaveSettingsSoon();
  SetStatusText("Preset loaded: " + QFileInfo(file).completeBaseName());
  return true;
}

void TForm1::LoadPreset() {
  if (Converting()) return;
  const QString file = Dialogs().OpenFile(this, "Load Preset", QString::fromStdString(app::PresetFolder()), kPresetFilter);
  if (!file.isEmpty()) LoadPresetFile(file);
}

void TForm1::SavePreset() {
  app::JobSettings settings;
  try {
    settings = app::JobSettingsFrom(*settings_, prefs_);
  } catch (const app::TJobError& error) {
    ShowInformation(this, "The choices cannot be kept as a preset: " + QString::fromStdString(error.what()));
    return;
  }
  QDir().mkpath(QString::fromStdString(app::PresetFolder()));
  const QString start = QString::fromStdString(app::PresetFolder()) + "/My Preset.json";
  QString file = Dialogs().SaveFile(this, "Save Preset", start, kPresetFilter);
  if (file.isEmpty()) return;
  if (QFileInfo(file).suffix().isEmpty()) file += ".json";
  if (const std::string error = app::WritePresetFile(file.toStdString(), settings); !error.empty()) {
    ShowInformation(this, "The preset cannot be saved: " + QString::fromStdString(error));
    return;
  }
  FillPresetEntries();
  SetStatusText("Preset saved: " + QFileInfo(file).completeBaseName());
}

}  // namespace strella::window
