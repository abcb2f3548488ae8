#include "app/window/qt_settings_store.h"

namespace strella::window {

TQtSettingsStore::TQtSettingsStore() = default;

bool TQtSettingsStore::Open() {
  settings_ = std::make_unique<QSettings>("Quorvex", "Strella Video Converter");
  return settings_->status() == QSettings::NoError;
}

void TQtSettingsStore::Close() {
  if (!settings_) return;
  settings_->sync();
  const bool ok = settings_->status() == QSettings::NoError;
  settings_.reset();
  if (!ok) throw std::runtime_error("The settings could not be written");
}

QSettings& TQtSettingsStore::Settings() {
  if (!settings_) Open();
  return *settings_;
}

std::string TQtSettingsStore::ReadString(const std::string& name) {
  return Settings().value(QString::fromStdString(name)).toString().toStdString();
}

int TQtSettingsStore::ReadInteger(const std::string& name) {
  const QVariant value = Settings().value(QString::fromStdString(name));
  bool ok = false;
  const int number = value.toInt(&ok);
  if (!value.isValid() || !ok) throw std::runtime_error("Invalid integer value: " + name);
  return number;
}

bool TQtSettingsStore::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

void TQtSettingsStore::WriteString(const std::string& name, const std::string& value) {
  Settings().setValue(QString::fromStdString(name), QString::fromStdString(value));
}

void TQtSettingsStore::WriteInteger(const std::string& name, int value) {
  Settings().setValue(QString::fromStdString(name), value);
}

// Kept as 0 or 1, as the settings always were.
void TQtSettingsStore::WriteBool(const std::string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

}  // namespace strella::window
