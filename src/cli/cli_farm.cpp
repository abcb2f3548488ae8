#include "cli/cli_farm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/text_utils.h"

namespace strella::cli {

namespace fs = std::filesystem;

std::optional<TShard> ParseShard(const std::string& AText) {
  const size_t slash = AText.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const auto index = app::ParseWhole(AText.substr(0, slash));
  const auto count = app::ParseWhole(AText.substr(slash + 1));
  if (!index || !count || *count < 1 || *index < 1 || *index > *count) return std::nullopt;
  return TShard{static_cast<int>(*index), static_cast<int>(*count)};
}

namespace {

std::string FullPath(const std::string& file) {
  std::error_code error;
  const fs::path absolute = fs::absolute(file, error);
  return (error ? fs::path(file) : absolute).lexically_normal().string();
}

}  // namespace

namespace {

int64_t SizeOf(const std::string& APath) {
  struct stat info {};
  return ::stat(APath.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

// ASorted is in path order, each path once; the part keeps that order.
std::vector<app::TFileToAdd> SizeBalancedPart(const std::vector<app::TFileToAdd>& ASorted, const TShard& AShard) {
  std::vector<std::pair<int64_t, size_t>> bySize;  // size, place in ASorted
  for (size_t i = 0; i < ASorted.size(); ++i) bySize.emplace_back(SizeOf(ASorted[i].Path), i);
  std::stable_sort(bySize.begin(), bySize.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<int64_t> load(static_cast<size_t>(AShard.Count), 0);
  std::vector<bool> ours(ASorted.size(), false);
  for (const auto& [size, place] : bySize) {
    const size_t lightest = static_cast<size_t>(std::min_element(load.begin(), load.end()) - load.begin());
    load[lightest] += size;
    ours[place] = lightest == static_cast<size_t>(AShard.Index - 1);
  }
  std::vector<app::TFileToAdd> part;
  for (size_t i = 0; i < ASorted.size(); ++i)
    if (ours[i]) part.push_back(ASorted[i]);
  return part;
}

}  // namespace

std::vector<app::TFileToAdd> SelectShard(const std::vector<app::TFileToAdd>& AFiles, const TShard& AShard) {
  std::vector<app::TFileToAdd> sorted = AFiles;
  for (app::TFileToAdd& file : sorted) file.Path = FullPath(file.Path);
  const auto byPath = [](const app::TFileToAdd& a, const app::TFileToAdd& b) { return a.Path < b.Path; };
  std::stable_sort(sorted.begin(), sorted.end(), byPath);
  const auto samePath = [](const app::TFileToAdd& a, const app::TFileToAdd& b) { return a.Path == b.Path; };
  sorted.erase(std::unique(sorted.begin(), sorted.end(), samePath), sorted.end());
  if (AShard.BySize) return SizeBalancedPart(sorted, AShard);
  std::vector<app::TFileToAdd> part;
  for (size_t i = static_cast<size_t>(AShard.Index - 1); i < sorted.size(); i += static_cast<size_t>(AShard.Count))
    part.push_back(sorted[i]);
  return part;
}

namespace {

const char* KindText(media::TTrackKind kind, bool attachedPicture) {
  if (attachedPicture) return "cover";
  switch (kind) {
    case media::TTrackKind::Video: return "video";
    case media::TTrackKind::Audio: return "audio";
    case media::TTrackKind::Subtitle: return "subtitle";
    default: return "data";
  }
}

// Each stream of a verified output: its kind and, when timed, the seconds read back and expected.
nlohmann::json VerifiedStreams(const engine::TVerifiedOutput& verified) {
  nlohmann::json streams = nlohmann::json::array();
  for (const engine::TVerifiedStream& stream : verified.Streams) {
    nlohmann::json item = {{"stream", stream.Index}, {"type", KindText(stream.Kind, stream.AttachedPicture)}};
    if (stream.Timed) {
      item["seconds"] = static_cast<double>(stream.MeasuredUS) / 1e6;
      item["expected_seconds"] = static_cast<double>(stream.ExpectedUS) / 1e6;
    }
    streams.push_back(std::move(item));
  }
  return streams;
}

nlohmann::json RowObject(const app::TFileRow& row, const TRowRun& run) {
  std::string status =
      run.Skipped ? app::RowStatusText(app::TRowStatus::Skipped) : app::ColumnText(row, app::fcProgress);
  if (!run.Skipped && !row.Checked) status = "Unchecked";
  else if (status.empty()) status = "Not run";
  // A skipped row's output is the file that was there already.
  const bool written = run.Skipped || (row.Checked && row.Status == app::TRowStatus::Done);
  struct stat info {};
  const bool sized = written && ::stat(row.OutputFile.c_str(), &info) == 0;
  nlohmann::json object = {
      {"input", row.Caption},
      {"output", written ? row.OutputFile : std::string()},
      {"status", status},
      {"message", row.Message},
      {"notes", row.Notes},
      {"duration", row.Columns[app::fcDuration]},
      {"output_size", sized ? static_cast<int64_t>(info.st_size) : int64_t{0}},
      {"seconds", run.Seconds},
  };
  const bool verified = written && !run.Skipped && row.Verified;
  object["verified"] = verified;
  if (verified) object["stream_durations"] = VerifiedStreams(*row.Verified);
  return object;
}

}  // namespace

void WriteReport(std::ostream& AOut, const app::TFileList& AList, const std::vector<TRowRun>& ARuns) {
  for (int i = 0; i < AList.Count(); ++i) {
    const TRowRun run = static_cast<size_t>(i) < ARuns.size() ? ARuns[static_cast<size_t>(i)] : TRowRun{};
    // Replacement characters for bytes that are not UTF-8: a file name never stops the report.
    AOut << RowObject(AList.Row(i), run).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  return FullPath(a) == FullPath(b);
}

// An earlier run's report: empty, or JSON lines.
bool LooksLikeAReport(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  char first = 0;
  const ssize_t got = ::read(fd, &first, 1);
  ::close(fd);
  return got == 0 || (got == 1 && first == '{');
}

std::string SystemReason(int error) { return std::strerror(error); }

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string ReportFileProblem(const std::string& AFileName, const std::vector<std::string>& AInputs,
                              const std::vector<std::string>& AOutputs) {
  const std::string quoted = "--report \"" + AFileName + "\"";
  for (const std::string& input : AInputs)
    if (SameFile(AFileName, input)) return quoted + " is an input of this batch";
  for (const std::string& output : AOutputs)
    if (SameFile(AFileName, output)) return quoted + " is an output of this batch";
  struct stat info {};
  if (::stat(AFileName.c_str(), &info) != 0) {
    if (errno != ENOENT) return quoted + " cannot be used: " + SystemReason(errno);
    const fs::path folder = fs::path(FullPath(AFileName)).parent_path();
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
      return quoted + " cannot be written: " + folder.string() + ": " + SystemReason(errno);
    return {};
  }
  if (!S_ISREG(info.st_mode)) return quoted + " is not a regular file";
  if (!LooksLikeAReport(AFileName)) return quoted + " exists and is not a report; it is left as it is";
  return {};
}

bool WriteReportFile(const std::string& AFileName, const app::TFileList& AList, const std::vector<TRowRun>& ARuns,
                     std::string& AError) {
  if (const std::string problem = ReportFileProblem(AFileName, {}, {}); !problem.empty()) {
    AError = problem;
    return false;
  }
  const fs::path final = FullPath(AFileName);
  const std::string folder = final.parent_path().string();
  std::string temporary = folder + "/." + final.filename().string() + ".report-XXXXXX";
  // mkostemp creates with O_EXCL: a link or a file of that name is never opened.
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    AError = "Cannot write the report \"" + AFileName + "\": " + SystemReason(errno);
    return false;
  }
  std::ostringstream text;
  WriteReport(text, AList, ARuns);
  const bool written = WriteAll(fd, text.str()) && ::fsync(fd) == 0;
  const int writeError = errno;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), final.c_str()) != 0) {
    AError = "Cannot write the report \"" + AFileName + "\": " + SystemReason(written ? errno : writeError);
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

}  // namespace strella::cli
