#include "app/session_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "app/output_file.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace fs = std::filesystem;
using nlohmann::json;

std::string SessionFileName() {
  std::string folder;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
    folder = state;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    folder = std::string(home) + "/.local/state";
  } else {
    folder = "/tmp";
  }
  return folder + "/Quorvex/Strella Video Converter/file-list.json";
}

std::string RestoredMessage(int ACount) {
  return "Restored " + std::to_string(ACount) + (ACount == 1 ? " file" : " files") + " from the last session";
}

namespace {

constexpr int kFormatVersion = 1;

// A converting row's progress columns are left out: they change all the time
// and a restored converting row shows as stopped anyway.
json RowToJson(const TFileRow& row, bool converting) {
  std::array<std::string, 6> columns = row.Columns;
  if (converting) columns[fcProgress] = columns[fcTimeRemaining] = columns[fcFrames] = "";
  return {{"file", row.Caption},         {"checked", row.Checked}, {"columns", columns},
          {"output", row.OutputFile},    {"message", row.Message}, {"notes", row.Notes},
          {"converting", converting}};
}

// AStoppedFolders gathers the output folders of rows that were converting.
TFileRow RowFromJson(const json& item, std::set<std::string>& AStoppedFolders) {
  TFileRow row;
  row.Caption = item.at("file").get<std::string>();
  row.Checked = item.value("checked", true);
  if (item.contains("columns")) row.Columns = item.at("columns").get<std::array<std::string, 6>>();
  row.OutputFile = item.value("output", std::string());
  row.Message = item.value("message", std::string());
  if (item.contains("notes")) row.Notes = item.at("notes").get<std::vector<std::string>>();
  if (item.value("converting", false)) {
    // The program ended while this row converted: its job did not finish.
    if (!row.OutputFile.empty()) AStoppedFolders.insert(media::ExtractFilePath(row.OutputFile));
    row.Columns[fcProgress] = kStoppedStatus;
    row.Columns[fcTimeRemaining].clear();
    row.Columns[fcFrames].clear();
    row.OutputFile.clear();
    row.Notes.push_back("The conversion was stopped when the program ended before it finished");
  }
  return row;
}

// Writes the text under a temporary name, flushes it to the disk and renames it over the file.
bool WriteAtomically(const std::string& fileName, const std::string& text, std::string& error) {
  std::error_code ec;
  fs::create_directories(fs::path(fileName).parent_path(), ec);
  const std::string temporary = fileName + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "Cannot save the file list to \"" + temporary + "\": " + std::strerror(errno);
    return false;
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const bool ok = written == text.size() && ::fdatasync(fd) == 0;
  const int saved_errno = errno;
  ::close(fd);
  if (!ok || ::rename(temporary.c_str(), fileName.c_str()) != 0) {
    error = "Cannot save the file list to \"" + fileName + "\": " + std::strerror(ok ? errno : saved_errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

int TSessionList::Restore(TFileList& AList, std::string& AError) {
  std::ifstream file(file_name_);
  if (!file) return 0;
  std::stringstream text;
  text << file.rdbuf();
  std::vector<TFileRow> rows;
  std::set<std::string> stoppedFolders;
  try {
    const json saved = json::parse(text.str());
    for (const json& item : saved.at("rows")) rows.push_back(RowFromJson(item, stoppedFolders));
  } catch (const std::exception& error) {
    AError = "The file list of the last session (\"" + file_name_ + "\") cannot be read: " + error.what();
    return 0;
  }
  for (TFileRow& row : rows) AList.Append(std::move(row));
  // What the interrupted jobs were writing; files another run still writes are locked and stay.
  for (const std::string& folder : stoppedFolders) RemoveStalePartials(folder);
  return static_cast<int>(rows.size());
}

bool TSessionList::Save(const TFileList& AList, const std::function<bool(int)>& AConverting, std::string& AError) {
  if (AList.Count() == 0) {
    last_written_.clear();
    if (::unlink(file_name_.c_str()) == 0 || errno == ENOENT) return true;
    AError = "Cannot remove \"" + file_name_ + "\": " + std::strerror(errno);
    return false;
  }
  json rows = json::array();
  for (int i = 0; i < AList.Count(); ++i) rows.push_back(RowToJson(AList.Row(i), AConverting && AConverting(i)));
  const std::string text =
      json{{"version", kFormatVersion}, {"rows", rows}}.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
  if (text == last_written_) return true;
  if (!WriteAtomically(file_name_, text, AError)) return false;
  last_written_ = text;
  return true;
}

}  // namespace strella::app
