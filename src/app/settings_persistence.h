// Loading and saving the application's choices between runs, against a small
// store interface: the window binds it to QSettings, the tests to memory.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/settings_model.h"

namespace strella::app {

class TSettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One key of values. Reading a missing integer or Boolean raises TSettingsError;
// a missing text reads as empty.
class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;
  virtual void OpenKey() {}  // opens the key, creating it when missing
  virtual void CloseKey() {}
  virtual std::string ReadString(const std::string& AName) = 0;
  virtual int ReadInteger(const std::string& AName) = 0;
  virtual bool ReadBool(const std::string& AName) = 0;
  virtual void WriteString(const std::string& AName, const std::string& AValue) = 0;
  virtual void WriteInteger(const std::string& AName, int AValue) = 0;
  virtual void WriteBool(const std::string& AName, bool AValue) = 0;
};

// A store in memory; Booleans are kept as the integers 0 and 1.
class TMemorySettingsStore : public TSettingsStore {
 public:
  void OpenKey() override { ++opens; }
  void CloseKey() override { ++closes; }
  std::string ReadString(const std::string& AName) override;
  int ReadInteger(const std::string& AName) override;
  bool ReadBool(const std::string& AName) override;
  void WriteString(const std::string& AName, const std::string& AValue) override;
  void WriteInteger(const std::string& AName, int AValue) override;
  void WriteBool(const std::string& AName, bool AValue) override;

  std::map<std::string, std::string> values;
  std::vector<std::string> written;  // names in the order they were written
  int opens = 0, closes = 0;
};

// The window's own part of the settings.
struct TWindowSettings {
  std::string Skin = "No Skin";
  int FormTop = -1;
  int FormLeft = -1;
  int Tabsheet = 1;  // 1: "Output  Settings", 2: "Detailed Output Settings"
  // The frame's size and whether the window was maximized; 0 size: the natural one.
  int FormWidth = 0;
  int FormHeight = 0;
  bool Maximized = false;
};

// Values kept beside the original ten: the window's size and the selections
// of the detailed settings, so that a restart shows what the screen showed.
// They may be missing (kept by an older version) without making it a first run.
const std::vector<std::string>& DetailedSettingNames();

inline constexpr int kFirstRunFormTop = 5;
inline constexpr int kFirstRunFormLeft = 150;

void LoadSettings(TSettingsStore& AStore, TSettingsModel& AModel, TPreferences& APrefs, TWindowSettings& AWindow);
void SaveSettings(TSettingsStore& AStore, const TSettingsModel& AModel, const TPreferences& APrefs,
                  const TWindowSettings& AWindow);

}  // namespace strella::app
