#include "app/window/qt_settings_store.h"

#include "media/logger.h"

namespace strella::window {

void TQtSettingsStore::OpenKey() {
  settings_ = std::make_unique<QSettings>("Quorvex", "Strella Video Converter");
}

// Closing writes the values out; a failure is logged, never raised, because
// the key is closed in every case, also after an error.
void TQtSettingsStore::CloseKey() {
  if (!settings_) return;
  settings_->sync();
  if (settings_->status() != QSettings::NoError)
    media::Log(this, media::llWarning,
               "The settings could not be written to " + settings_->fileName().toStdString());
  settings_.reset();
}

QSettings& TQtSettingsStore::Settings() {
  if (!settings_) OpenKey();
  return *settings_;
}

std::string TQtSettingsStore::ReadString(const std::string& AName) {
  return Settings().value(QString::fromStdString(AName)).toString().toStdString();
}

int TQtSettingsStore::ReadInteger(const std::string& AName) {
  const QVariant value = Settings().value(QString::fromStdString(AName));
  bool ok = false;
  const int number = value.toInt(&ok);
  if (!value.isValid() || !ok) throw app::TSettingsError("Invalid integer value: " + AName);
  return number;
}

bool TQtSettingsStore::ReadBool(const std::string& AName) { return ReadInteger(AName) != 0; }

void TQtSettingsStore::WriteString(const std::string& AName, const std::string& AValue) {
  Settings().setValue(QString::fromStdString(AName), QString::fromStdString(AValue));
}

void TQtSettingsStore::WriteInteger(const std::string& AName, int AValue) {
  Settings().setValue(QString::fromStdString(AName), AValue);
}

// Kept as 0 or 1, as the settings always were.
void TQtSettingsStore::WriteBool(const std::string& AName, bool AValue) { WriteInteger(AName, AValue ? 1 : 0); }

}  // namespace strella::window
