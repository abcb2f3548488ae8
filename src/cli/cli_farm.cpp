#include "cli/cli_farm.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

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

std::vector<std::string> SelectShard(const std::vector<std::string>& AFiles, const TShard& AShard) {
  std::vector<std::string> sorted;
  for (const std::string& file : AFiles) sorted.push_back(FullPath(file));
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  std::vector<std::string> part;
  for (size_t i = static_cast<size_t>(AShard.Index - 1); i < sorted.size(); i += static_cast<size_t>(AShard.Count))
    part.push_back(sorted[i]);
  return part;
}

namespace {

nlohmann::json RowObject(const app::TFileRow& row, const TRowRun& run) {
  std::string status = row.Columns[app::fcProgress];
  if (run.Skipped) status = "Skipped";
  else if (!row.Checked) status = "Unchecked";
  else if (status.empty()) status = "Not run";
  // A skipped row's output is the file that was there already.
  const bool written = status == "Done" || status == "Skipped";
  struct stat info {};
  const bool sized = written && ::stat(row.OutputFile.c_str(), &info) == 0;
  return {
      {"input", row.Caption},
      {"output", written ? row.OutputFile : std::string()},
      {"status", status},
      {"message", row.Message},
      {"notes", row.Notes},
      {"duration", row.Columns[app::fcDuration]},
      {"output_size", sized ? static_cast<int64_t>(info.st_size) : int64_t{0}},
      {"seconds", run.Seconds},
  };
}

}  // namespace

void WriteReport(std::ostream& AOut, const app::TFileList& AList, const std::vector<TRowRun>& ARuns) {
  for (int i = 0; i < AList.Count(); ++i) {
    const TRowRun run = static_cast<size_t>(i) < ARuns.size() ? ARuns[static_cast<size_t>(i)] : TRowRun{};
    // Replacement characters for bytes that are not UTF-8: a file name never stops the report.
    AOut << RowObject(AList.Row(i), run).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
}

bool WriteReportFile(const std::string& AFileName, const app::TFileList& AList, const std::vector<TRowRun>& ARuns,
                     std::string& AError) {
  const std::string temporary = AFileName + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    WriteReport(out, AList, ARuns);
    out.flush();
    if (!out) {
      AError = "Cannot write the report \"" + temporary + "\"";
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), AFileName.c_str()) != 0) {
    AError = "Cannot write the report \"" + AFileName + "\"";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace strella::cli
