#include "cli/cli_watch.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "app/media_files.h"
#include "media/main_thread.h"

namespace strella::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What a file looked like when last seen, and whether its present state has been converted.
struct TSeenFile {
  off_t size = -1;
  timespec modified{};
  Clock::time_point changedAt;
  bool handled = false;
};

bool SameState(const TSeenFile& AFile, const struct stat& AInfo) {
  return AFile.size == AInfo.st_size && AFile.modified.tv_sec == AInfo.st_mtim.tv_sec &&
         AFile.modified.tv_nsec == AInfo.st_mtim.tv_nsec;
}

// Writers often fill a hidden name and rename it when done; our own partial files are hidden too.
bool IsHidden(const std::string& APath) { return fs::path(APath).filename().string().rfind('.', 0) == 0; }

bool IsBelow(const std::string& APath, const fs::path& AFolder) {
  if (AFolder.empty()) return false;
  std::error_code error;
  const fs::path path = fs::weakly_canonical(APath, error);
  if (error) return false;
  const auto [end, rest] = std::mismatch(AFolder.begin(), AFolder.end(), path.begin(), path.end());
  return end == AFolder.end();
}

class TFolderWatch {
 public:
  TFolderWatch(const TWatchOptions& AWatch, const std::string& AOutputFolder) : watch_(AWatch) {
    std::error_code error;
    output_ = fs::weakly_canonical(AOutputFolder, error);
  }

  // The files that have stayed as they are for the settle time and were not converted in that state.
  std::vector<app::TFileToAdd> CompleteFiles() {
    const Clock::time_point now = Clock::now();
    std::vector<app::TFileToAdd> complete;
    std::map<std::string, TSeenFile> present;  // files gone since the last scan are forgotten
    for (app::TFileToAdd& file : app::ExpandFolders({watch_.folder}, app::ReadableExtensions()).Files) {
      struct stat info {};
      if (IsHidden(file.Path) || IsBelow(file.Path, output_) || ::stat(file.Path.c_str(), &info) != 0) continue;
      TSeenFile& seen = present[file.Path] = seen_[file.Path];
      if (!SameState(seen, info)) {
        seen = {info.st_size, info.st_mtim, now, false};
        continue;
      }
      if (seen.handled || now - seen.changedAt < watch_.settle) continue;
      file.FromFolder = false;  // one that cannot be read is a failed row with its reason, not skipped unseen
      complete.push_back(std::move(file));
    }
    seen_ = std::move(present);
    return complete;
  }

  void MarkHandled(const std::vector<app::TFileToAdd>& AFiles) {
    for (const app::TFileToAdd& file : AFiles) seen_[file.Path].handled = true;
  }

 private:
  TWatchOptions watch_;
  fs::path output_;
  std::map<std::string, TSeenFile> seen_;
};

}  // namespace

int WatchFolder(const TWatchOptions& AWatch, app::TSettingsModel& AModel, app::TPreferences& APrefs,
                app::TConverter& AConverter, std::ostream& AOut, TBatchOptions ABatch) {
  std::error_code error;
  if (!fs::is_directory(AWatch.folder, error)) {
    AOut << "--watch \"" << AWatch.folder << "\" is not a folder that can be read"
         << (error ? ": " + error.message() : std::string()) << "\n";
    return 1;
  }
  ABatch.skipExisting = true;  // a restart, or a file written again unchanged, converts nothing twice
  ABatch.keepStopRequest = true;
  ABatch.reportFile.clear();
  AOut << "Watching " << AWatch.folder << " (stop with Ctrl-C or SIGTERM)\n" << std::flush;
  TFolderWatch watch(AWatch, APrefs.OutputFolder);
  while (!StopRequested()) {
    const std::vector<app::TFileToAdd> complete = watch.CompleteFiles();
    if (!complete.empty()) {
      RunBatch(complete, AModel, APrefs, AConverter, AOut, ABatch);
      // Done, skipped or failed alike: a file is tried again only once it changes.
      if (!StopRequested()) watch.MarkHandled(complete);
      AOut << std::flush;
    }
    media::WaitServingMainThread([] { return StopRequested(); }, AWatch.scanInterval);
  }
  return 0;
}

}  // namespace strella::cli
