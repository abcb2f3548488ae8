#include "app/user_folders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/text_utils.h"

namespace strella::app {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string VideosDirFromUserDirs(const std::string& AText, const std::string& AHome) {
  std::istringstream lines(AText);
  std::string line;
  const std::string key = "XDG_VIDEOS_DIR=";
  std::string value;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.rfind(key, 0) != 0) continue;
    value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  }
  if (value.rfind("$HOME", 0) == 0) value = AHome + value.substr(5);
  return value;
}

std::string DefaultOutputFolder() {
  const std::string home = Environment("HOME");
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty()) config = home + "/.config";
  std::ifstream file(config + "/user-dirs.dirs");
  std::stringstream text;
  text << file.rdbuf();
  const std::string videos = VideosDirFromUserDirs(text.str(), home);
  std::error_code error;
  if (!videos.empty() && std::filesystem::is_directory(videos, error)) return videos;
  return home;
}

}  // namespace strella::app
