// The settings kept between runs, in QSettings("Quorvex", "Strella Video
// Converter") (~/.config/Quorvex/Strella Video Converter.conf).
#pragma once

#include <QSettings>
#include <memory>
#include <string>

#include "app/settings_persistence.h"

namespace strella::window {

// Reading an integer or Boolean value that is missing or not a number raises
// app::TSettingsError, as the loading logic expects; a missing text reads as empty.
class TQtSettingsStore : public app::TSettingsStore {
 public:
  void OpenKey() override;
  void CloseKey() override;
  std::string ReadString(const std::string& AName) override;
  int ReadInteger(const std::string& AName) override;
  bool ReadBool(const std::string& AName) override;
  void WriteString(const std::string& AName, const std::string& AValue) override;
  void WriteInteger(const std::string& AName, int AValue) override;
  void WriteBool(const std::string& AName, bool AValue) override;

 private:
  QSettings& Settings();
  std::unique_ptr<QSettings> settings_;
};

}  // namespace strella::window
