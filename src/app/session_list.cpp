#include "app/session_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "app/output_file.h"
#include "app/whole_file.h"
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

constexpr std::array<const char*, 4> kTrackKindNames = {"video", "audio", "subtitle", "other"};

json TrackToJson(const media::TTrackInfo& track) {
  return {{"index", track.Index},
          {"kind", kTrackKindNames[static_cast<size_t>(track.Kind)]},
          {"codec", track.CodecName},
          {"language", track.Language},
          {"title", track.Title},
          {"default", track.Default},
          {"picture", track.AttachedPicture},
          {"bitmap", track.BitmapSubtitle},
          {"decodable", track.Decodable},
          {"channels", track.Channels}};
}

media::TTrackInfo TrackFromJson(const json& item) {
  media::TTrackInfo track;
  track.Index = item.at("index").get<int>();
  const std::string kind = item.at("kind").get<std::string>();
  const auto found = std::find(kTrackKindNames.begin(), kTrackKindNames.end(), kind);
  if (found == kTrackKindNames.end()) throw std::out_of_range("an unknown track kind");
  track.Kind = static_cast<media::TTrackKind>(found - kTrackKindNames.begin());
  track.CodecName = item.at("codec").get<std::string>();
  track.Language = item.at("language").get<std::string>();
  track.Title = item.at("title").get<std::string>();
  track.Default = item.at("default").get<bool>();
  track.AttachedPicture = item.at("picture").get<bool>();
  track.BitmapSubtitle = item.at("bitmap").get<bool>();
  track.Decodable = item.at("decodable").get<bool>();
  track.Channels = item.at("channels").get<int>();
  return track;
}

json ProbeToJson(const TProbeResult& probe) {
  json tracks = json::array();
  for (const media::TTrackInfo& track : probe.Tracks) tracks.push_back(TrackToJson(track));
  return {{"video", probe.HasVideo},
          {"width", probe.Width},
          {"height", probe.Height},
          {"duration_us", probe.DurationUS},
          {"cover_art", probe.CoverArt},
          {"sample_aspect", {probe.SampleAspectNum, probe.SampleAspectDen}},
          {"frame_rate", {probe.FrameRateNum, probe.FrameRateDen}},
          {"file_size", probe.FileSizeBytes},
          {"streams", {probe.VideoStreams, probe.AudioStreams, probe.SubtitleStreams}},
          {"tracks", tracks}};
}

TProbeResult ProbeFromJson(const json& item) {
  TProbeResult probe;
  probe.HasVideo = item.at("video").get<bool>();
  probe.Width = item.at("width").get<int>();
  probe.Height = item.at("height").get<int>();
  if (probe.Width < 0 || probe.Height < 0) throw std::out_of_range("a frame size is negative");
  probe.DurationUS = item.at("duration_us").get<int64_t>();
  probe.CoverArt = item.at("cover_art").get<bool>();
  std::tie(probe.SampleAspectNum, probe.SampleAspectDen) = item.at("sample_aspect").get<std::pair<int, int>>();
  std::tie(probe.FrameRateNum, probe.FrameRateDen) = item.at("frame_rate").get<std::pair<int, int>>();
  probe.FileSizeBytes = item.value("file_size", int64_t{-1});
  const auto streams = item.at("streams").get<std::array<int, 3>>();
  probe.VideoStreams = streams[0];
  probe.AudioStreams = streams[1];
  probe.SubtitleStreams = streams[2];
  // Lists kept by earlier releases have no tracks.
  if (item.contains("tracks"))
    for (const json& track : item.at("tracks")) probe.Tracks.push_back(TrackFromJson(track));
  return probe;
}

// The stable name where it is known; else the display text, all that older lists hold.
TRowStatus StatusFromJson(const json& item, const std::string& text) {
  if (const auto name = item.find("status"); name != item.end() && name->is_string())
    if (const auto status = RowStatusFromName(name->get<std::string>())) return *status;
  return RowStatusFromText(text).value_or(TRowStatus::Waiting);
}

// The Progress column keeps its display text, so older releases read the list
// as before. A converting row's progress columns are left out: they change all
// the time and a restored converting row shows as stopped anyway.
json RowToJson(const TFileRow& row, bool converting) {
  std::array<std::string, 6> columns = row.Columns;
  columns[fcProgress] = ColumnText(row, fcProgress);
  TRowStatus status = row.Status;
  if (converting) {
    columns[fcProgress] = columns[fcTimeRemaining] = columns[fcFrames] = "";
    status = TRowStatus::Waiting;
  }
  return {{"file", row.Caption},         {"checked", row.Checked}, {"columns", columns},
          {"output", row.OutputFile},    {"message", row.Message}, {"notes", row.Notes},
          {"converting", converting},    {"status", RowStatusName(status)},
          {"probe", ProbeToJson(row.Probe)}, {"subfolder", row.OutputSubfolder}};
}

// A subfolder below the output folder, as the list kept it: one that would
// lead elsewhere (absolute, or through "..") is dropped.
std::string KeptSubfolder(const std::string& ASubfolder) {
  const std::filesystem::path path(ASubfolder);
  if (ASubfolder.size() >= PATH_MAX || path.is_absolute()) return {};
  for (const auto& part : path)
    if (part == "..") return {};
  return ASubfolder;
}

// AStoppedFolders gathers the output folders of rows that were converting.
TFileRow RowFromJson(const json& item, std::set<std::string>& AStoppedFolders) {
  TFileRow row;
  row.Caption = item.at("file").get<std::string>();
  row.Checked = item.value("checked", true);
  if (item.contains("columns")) row.Columns = item.at("columns").get<std::array<std::string, 6>>();
  row.Status = StatusFromJson(item, row.Columns[fcProgress]);
  if (row.Status == TRowStatus::Converting) row.Status = TRowStatus::Waiting;  // its percentage is not kept
  row.Columns[fcProgress].clear();
  row.Probe = item.contains("probe") ? ProbeFromJson(item.at("probe")) : ProbeFromColumns(row.Columns);
  row.OutputSubfolder = KeptSubfolder(item.value("subfolder", std::string()));
  row.OutputFile = item.value("output", std::string());
  row.Message = item.value("message", std::string());
  if (item.contains("notes")) row.Notes = item.at("notes").get<std::vector<std::string>>();
  if (item.value("converting", false)) {
    // The program ended while this row converted: its job did not finish.
    if (!row.OutputFile.empty()) AStoppedFolders.insert(media::ExtractFilePath(row.OutputFile));
    row.Status = TRowStatus::Stopped;
    row.Columns[fcTimeRemaining].clear();
    row.Columns[fcFrames].clear();
    row.OutputFile.clear();
    row.Notes.push_back("The conversion was stopped when the program ended before it finished");
  }
  return row;
}

// Writes the text under a temporary name, flushes it to the disk and renames it over the file.
bool WriteAtomically(const std::string& fileName, const std::string& text, std::string& error) {
  const std::string reason = WriteWholeFile(fileName, text);
  if (reason.empty()) return true;
  error = "Cannot save the file list to \"" + fileName + "\": " + reason;
  return false;
}

}  // namespace

namespace {

// What one row may hold: a path is at most PATH_MAX, a text at most a few lines.
constexpr size_t kMaxText = 4096;
constexpr size_t kMaxNotes = 20;
// A kept list larger than this is no list this program wrote.
constexpr uintmax_t kMaxFileSize = 256u << 20;

void CheckRowSize(const TFileRow& row) {
  if (row.Caption.empty() || row.Caption.size() >= PATH_MAX || row.OutputFile.size() >= PATH_MAX)
    throw std::length_error("a file name is empty or longer than a path may be");
  if (row.Message.size() > kMaxText || row.Notes.size() > kMaxNotes) throw std::length_error("a row holds too much text");
  for (const std::string& text : row.Notes)
    if (text.size() > kMaxText) throw std::length_error("a note is too long");
  for (const std::string& text : row.Columns)
    if (text.size() > kMaxText) throw std::length_error("a column is too long");
}

std::string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// Keeps a list that cannot be read whole beside it; the next save would otherwise replace it.
// Returns the name it was kept under, or empty when that failed.
std::string KeepAside(const std::string& fileName, bool move) {
  const std::string aside = fileName + ".broken-" + TimeStamp();
  std::error_code error;
  if (move) fs::rename(fileName, aside, error);
  else fs::copy_file(fileName, aside, fs::copy_options::skip_existing, error);
  return error ? std::string() : aside;
}

std::string KeptAsideText(const std::string& aside) {
  return aside.empty() ? std::string(" It could not be kept aside and is left as it is.")
                       : " It was kept as \"" + aside + "\".";
}

}  // namespace

int TSessionList::Restore(TFileList& AList, std::string& AError) {
  std::error_code sizeError;
  const uintmax_t size = fs::file_size(file_name_, sizeError);
  if (sizeError) return 0;  // no list kept yet
  json saved;
  try {
    if (size > kMaxFileSize) throw std::length_error("it is larger than a kept list can be");
    std::ifstream file(file_name_, std::ios::binary);
    saved = json::parse(file);
    if (!saved.is_object() || !saved.contains("rows") || !saved.at("rows").is_array())
      throw std::invalid_argument("it holds no list of rows");
  } catch (const std::exception& error) {
    // The reason first: the status bar shows the start of the text.
    AError = std::string("The last session's file list cannot be read (") + error.what() + ")." +
             KeptAsideText(KeepAside(file_name_, /*move=*/true));
    return 0;
  }
  std::vector<TFileRow> rows;
  std::set<std::string> stoppedFolders;
  int skipped = 0;
  for (const json& item : saved.at("rows")) {
    try {
      TFileRow row = RowFromJson(item, stoppedFolders);
      CheckRowSize(row);
      rows.push_back(std::move(row));
    } catch (const std::exception&) {
      ++skipped;  // a row with a wrong field goes alone; the others come back
    }
  }
  if (skipped > 0)
    AError = "The last session's file list had " + std::to_string(skipped) +
             (skipped == 1 ? " row" : " rows") + " that cannot be read; they were left out." +
             KeptAsideText(KeepAside(file_name_, /*move=*/false));
  const int restored = static_cast<int>(rows.size());
  AList.AppendRows(std::move(rows));
  // What the interrupted jobs were writing; files another run still writes are locked and stay.
  for (const std::string& folder : stoppedFolders) RemoveStalePartials(folder);
  return restored;
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
