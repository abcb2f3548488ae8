// The settings kept between runs, in QSettings("Quorvex", "Strella Video
// Converter") (~/.config/Quorvex/Strella Video Converter.conf).
#pragma once

#include <QSettings>
#include <memory>
#include <stdexcept>
#include <string>

namespace strella::window {

// Reading an integer or Boolean value that is missing or not a number is an
// error, as the loading logic expects; a missing text reads as empty.
class TQtSettingsStore {
 public:
  TQtSettingsStore();
  bool Open();
  void Close();
  std::string ReadString(const std::string& name);
  int ReadInteger(const std::string& name);
  bool ReadBool(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int value);
  void WriteBool(const std::string& name, bool value);

 private:
  QSettings& Settings();
  std::unique_ptr<QSettings> settings_;
};

}  // namespace strella::window
