#include "app/file_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <set>
#include <cmath>
#include <iterator>

#include "app/batch_summary.h"
#include "app/text_utils.h"
#include "media/logger.h"
#include "media/main_thread.h"
#include "media/text_helpers.h"
#include "media/probe.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace {

// The stream's base rate where its average agrees (a steady rate, kept
// exactly: the average of a short clip wobbles); the average where they part
// (pictures at irregular times), or where the base rate is a fine clock.
void ChooseSourceRate(const media::TVideoStreamInfo& video, TProbeResult& result) {
  const bool realKnown = video.FrameRateNum > 0 && video.FrameRateDen > 0;
  const bool averageKnown = video.AverageFrameRateNum > 0 && video.AverageFrameRateDen > 0;
  const double real = realKnown ? double(video.FrameRateNum) / video.FrameRateDen : 0;
  const double average = averageKnown ? double(video.AverageFrameRateNum) / video.AverageFrameRateDen : 0;
  if (realKnown && (!averageKnown || std::fabs(average - real) <= 0.05 * real)) {
    result.FrameRateNum = video.FrameRateNum;
    result.FrameRateDen = video.FrameRateDen;
  } else if (averageKnown) {
    result.FrameRateNum = video.AverageFrameRateNum;
    result.FrameRateDen = video.AverageFrameRateDen;
    result.VariableFrameRate = realKnown;
  }
}

// A millisecond clock reads as 1000 pictures a second; no video is that fast.
bool PlausibleRate(int num, int den) { return num > 0 && den > 0 && num <= 240 * den; }

int64_t FileSizeOf(const std::string& fileName) {
  struct stat info {};
  return ::stat(fileName.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

class TMediaProbe : public TFileProbe {
 public:
  bool Probe(const std::string& AFileName, TProbeResult& AResult) override {
    if (!probe_.LoadFile(AFileName)) {
      AResult.Error = probe_.LastErrMsg();
      return false;
    }
    AResult.VideoStreams = probe_.VideoStreamCount();
    AResult.AudioStreams = probe_.AudioStreamCount();
    AResult.SubtitleStreams = probe_.SubtitleStreamCount();
    AResult.FileSizeBytes = FileSizeOf(AFileName);
    AResult.Tracks = probe_.Tracks();
    media::TVideoStreamInfo video;
    AResult.HasVideo = probe_.VideoStreamCount() > 0 && probe_.GetVideoStreamInfo(video);
    if (AResult.HasVideo) {
      AResult.Width = video.Width;
      AResult.Height = video.Height;
      AResult.CoverArt = video.AttachedPicture;
      AResult.SampleAspectNum = video.SampleAspectNum;
      AResult.SampleAspectDen = video.SampleAspectDen;
      ChooseSourceRate(video, AResult);
      if (!PlausibleRate(AResult.FrameRateNum, AResult.FrameRateDen))
        probe_.MeasureFrameRate(probe_.FirstVideoStream(), AResult.FrameRateNum, AResult.FrameRateDen);
    }
    media::TFileStreamInfo file;
    AResult.DurationUS = probe_.GetFileStreamInfo(file) ? file.Duration : -1;
    probe_.CloseFile();
    return true;
  }

 private:
  media::TAVProbe probe_;
};

}  // namespace

const std::array<TFileFilter, 23> kOpenDialogFilters = {{
    {"All Supported Files",
     "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;*.mp2;*.ogg;"
     "*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; *.aiff;*.mjpg; "
     "*.mjpeg;*.ac3; *.gif; *.swf; *.flv"},
    {"3GPP Files (*.3gp)", "*.3gp"},
    {"3GPP2 Files (*.3g2)", "*.3g2"},
    {"AAC Files (*.aac)", "*.aac"},
    {"AC3 Files (*.ac3)", "*.ac3"},
    {"AVI Files (*.avi)", "*.avi"},
    {"DV Video Files (*.dv, *.dif)", "*.dv;*.dif"},
    {"DVD VOB Files (*.vob)", "*.vob"},
    {"GIF Animated Files (*.gif)", "*.gif"},
    {"Macromedia Flash Files (*.flv, *.swf)", "*.flv; *.swf"},
    {"Monkey Audio Files (*.ape, *.cue)", "*.ape;*.cue"},
    {"MJpeg Video Files (*.mjpg, *.mjpeg)", "*.mjpg; *.mjpeg"},
    {"MP2 Files (*.mp2)", "*.mp2"},
    {"MP3 Files (*.mp3)", "*.mp3"},
    {"MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)", "*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2"},
    {"MPEG-4 Files (*.mp4)", "*.mp4"},
    {"MPEG-4 Audio Files (*.m4a, *.mp4)", "*.m4a; *.mp4"},
    {"Ogg Vorbis Files (*.ogg)", "*.ogg"},
    {"RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)", "*.rm; *.rmvb; *.ram; *.ra"},
    {"QuickTime Files (*.mov, *.qt)", "*.mov; *.qt"},
    {"VCD DAT Files (*.dat)", "*.dat"},
    {"WAV Files (*.wav, *.au, *.aiff)", "*.wav; *.au; *.aiff"},
    {"Windows Media Files(*.wma, *.wmv, *.asf, *.asx)", "*.wma;*.wmv;*.asf;*.asx"},
}};

std::string OpenDialogFilter() {
  std::string filter;
  for (const TFileFilter& entry : kOpenDialogFilters) filter += std::string(entry.Description) + "|" + entry.Patterns + "|";
  return filter;
}

std::string InputRefusal(const std::string& AFileName) {
  struct stat info {};
  if (::stat(AFileName.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  if (S_ISFIFO(info.st_mode)) return "is a named pipe";
  if (S_ISDIR(info.st_mode)) return "is a folder";
  if (S_ISSOCK(info.st_mode)) return "is a socket";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "is a device";
  return "is not a regular file";
}

std::unique_ptr<TFileProbe> CreateMediaProbe() { return std::make_unique<TMediaProbe>(); }

int64_t MeasureMediaDurationUS(const std::string& AFileName) {
  media::TAVProbe probe;
  return probe.LoadFile(AFileName) ? probe.MeasureDurationUS() : -1;
}

std::string FormatHMS(char ASeparator, double ASeconds) {
  const auto minutes = static_cast<long long>(std::trunc(ASeconds / 60));
  const long long seconds = RoundHalfEven(ASeconds - 60.0 * static_cast<double>(minutes));
  const std::string sep(1, ASeparator);
  return media::Format("%02lld", minutes / 60) + sep + media::Format("%02lld", minutes % 60) + sep +
         media::Format("%02lld", seconds);
}

namespace {

// The file's identity: its device and inode when it can be looked at, else its normalised path.
std::string FileIdentity(const std::string& APath) {
  struct stat info {};
  if (::stat(APath.c_str(), &info) == 0)
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  return std::filesystem::path(APath).lexically_normal().string();
}

}  // namespace

int DropListedFiles(std::vector<TFileToAdd>& AFiles, const TFileList& AList) {
  std::set<std::string> seen;
  for (const TFileRow& row : AList.Rows()) seen.insert(FileIdentity(row.Caption));
  const size_t before = AFiles.size();
  std::erase_if(AFiles, [&](const TFileToAdd& file) { return !seen.insert(FileIdentity(file.Path)).second; });
  return static_cast<int>(before - AFiles.size());
}

std::string ReasonFirst(const std::string& AMessage, const std::string& AFileName) {
  const std::string prefix = AFileName + ": ";
  if (AFileName.empty() || AMessage.compare(0, prefix.size(), prefix) != 0) return AMessage;
  return AMessage.substr(prefix.size()) + " \u2014 " + media::ExtractFileName(AFileName);
}

std::string FrameSizeText(const TProbeResult& AProbe) {
  return AProbe.HasVideo ? media::Format("%dx%d", AProbe.Width, AProbe.Height) : " ";
}

std::string ColumnText(const TFileRow& ARow, TFileColumn AColumn) {
  if (AColumn != fcProgress) return ARow.Columns[AColumn];
  if (ARow.Status == TRowStatus::Converting) return std::to_string(ARow.Percent) + "%";
  return RowStatusText(ARow.Status);
}

TProbeResult ProbeFromColumns(const std::array<std::string, 6>& AColumns) {
  TProbeResult probe;
  const std::vector<std::string> size = SplitText(AColumns[fcSize], 'x');
  const auto width = size.size() == 2 ? ParseWhole(size[0]) : std::nullopt;
  const auto height = size.size() == 2 ? ParseWhole(size[1]) : std::nullopt;
  if (width && height && *width > 0 && *height > 0 && *width <= INT_MAX && *height <= INT_MAX) {
    probe.HasVideo = true;
    probe.Width = static_cast<int>(*width);
    probe.Height = static_cast<int>(*height);
  }
  if (const auto ms = ParseHMS(AColumns[fcDuration])) probe.DurationUS = *ms * 1000;
  return probe;
}

TFileRow MakeFileRow(const std::string& AFileName, bool AOpened, const TProbeResult& AProbe,
                     const std::string& AFormatKey) {
  TFileRow row;
  row.Caption = AFileName;
  row.Probe = AProbe;
  if (!AOpened) {
    row.Status = TRowStatus::Unreadable;
    row.Message = AProbe.Error;
    return row;
  }
  row.Columns[fcSize] = FrameSizeText(AProbe);
  // Whole seconds, the fraction dropped; an unknown duration (-1 us) reads 00:00:00.
  const auto seconds = static_cast<double>(AProbe.DurationUS / 1000000);
  std::string duration = FormatHMS(':', seconds);
  if (Contains(duration, "-")) duration = "Unknown";
  row.Columns[fcDuration] = duration;
  row.Columns[fcOutput] = AFormatKey;
  return row;
}

TFileList::~TFileList() {
  mailbox_.Close();
  cancelled_ = true;
  WaitForAdding();
}

void TFileList::Changed(int AIndex) {
  if (OnChanged) OnChanged(AIndex);
}

void TFileList::Append(TFileRow ARow) {
  rows_.push_back(std::move(ARow));
  Changed(Count() - 1);
}

void TFileList::AppendRows(std::vector<TFileRow> ARows) {
  if (ARows.empty()) return;
  rows_.insert(rows_.end(), std::make_move_iterator(ARows.begin()), std::make_move_iterator(ARows.end()));
  Changed(-1);
}

void TFileList::Remove(int AIndex) {
  if (AIndex < 0 || AIndex >= Count()) return;
  rows_.erase(rows_.begin() + AIndex);
  Changed(-1);
}

void TFileList::Clear() {
  rows_.clear();
  Changed(-1);
}

void TFileList::SetChecked(int AIndex, bool AChecked) {
  rows_.at(static_cast<size_t>(AIndex)).Checked = AChecked;
  Changed(AIndex);
}

void TFileList::CheckAll(bool AChecked) {
  for (TFileRow& row : rows_) row.Checked = AChecked;
  Changed(-1);
}

void TFileList::SetColumn(int AIndex, TFileColumn AColumn, const std::string& AText) {
  if (AIndex < 0 || AIndex >= Count()) return;
  rows_[static_cast<size_t>(AIndex)].Columns[AColumn] = AText;
  Changed(AIndex);
}

void TFileList::SetStatus(int AIndex, TRowStatus AStatus) {
  if (AIndex < 0 || AIndex >= Count()) return;
  rows_[static_cast<size_t>(AIndex)].Status = AStatus;
  Changed(AIndex);
}

void TFileList::SetProgress(int AIndex, int APercent) {
  if (AIndex < 0 || AIndex >= Count()) return;
  TFileRow& row = rows_[static_cast<size_t>(AIndex)];
  row.Status = TRowStatus::Converting;
  row.Percent = std::clamp(APercent, 0, 100);
  Changed(AIndex);
}

void TFileList::SetResult(int AIndex, const std::string& AOutputFile, const std::string& AMessage) {
  if (AIndex < 0 || AIndex >= Count()) return;
  rows_[static_cast<size_t>(AIndex)].OutputFile = AOutputFile;
  rows_[static_cast<size_t>(AIndex)].Message = AMessage;
  Changed(AIndex);
}

void TFileList::SetVerified(int AIndex, std::optional<engine::TVerifiedOutput> AVerified) {
  if (AIndex < 0 || AIndex >= Count()) return;
  rows_[static_cast<size_t>(AIndex)].Verified = std::move(AVerified);
  Changed(AIndex);
}

constexpr size_t kMaxNotes = 20;

void TFileList::AddNote(int AIndex, const std::string& ANote) {
  if (AIndex < 0 || AIndex >= Count()) return;
  std::vector<std::string>& notes = rows_[static_cast<size_t>(AIndex)].Notes;
  if (std::find(notes.begin(), notes.end(), ANote) != notes.end() || notes.size() > kMaxNotes) return;
  // A damaged file can warn on every packet: the row keeps the first few, the log keeps all.
  notes.push_back(notes.size() == kMaxNotes ? "(more in the log)" : ANote);
  Changed(AIndex);
}

void TFileList::ClearNotes(int AIndex) {
  if (AIndex < 0 || AIndex >= Count() || rows_[static_cast<size_t>(AIndex)].Notes.empty()) return;
  rows_[static_cast<size_t>(AIndex)].Notes.clear();
  Changed(AIndex);
}

void TFileList::ClearColumns(std::initializer_list<TFileColumn> AColumns,
                             const std::function<bool(const TFileRow&)>& AWhich) {
  for (TFileRow& row : rows_) {
    if (AWhich && !AWhich(row)) continue;
    for (TFileColumn column : AColumns) {
      row.Columns[column].clear();
      if (column == fcProgress && row.Status != TRowStatus::Unreadable) row.Status = TRowStatus::Waiting;
    }
  }
  Changed(-1);
}

void TFileList::SetOutputColumn(const std::string& AFormatKey) {
  for (TFileRow& row : rows_) row.Columns[fcOutput] = AFormatKey;
  Changed(-1);
}

bool TFileList::AnyChecked() const {
  for (const TFileRow& row : rows_) {
    if (row.Checked) return true;
  }
  return false;
}

void TFileList::Select(int AIndex, bool ABusy) {
  if (ABusy || AIndex < 0 || AIndex >= Count()) return;
  SelectedRow = AIndex;
  PreviewFile = Row(AIndex).Caption;
}

bool TFileList::AddFiles(std::vector<std::string> AFiles, std::unique_ptr<TFileProbe> AProbe,
                         std::function<std::string()> AFormatKey) {
  std::vector<TFileToAdd> files;
  for (std::string& file : AFiles) files.push_back({std::move(file)});
  return AddFiles(std::move(files), std::move(AProbe), std::move(AFormatKey));
}

bool TFileList::AddFiles(std::vector<TFileToAdd> AFiles, std::unique_ptr<TFileProbe> AProbe,
                         std::function<std::string()> AFormatKey) {
  if (adding_) return false;
  WaitForAdding();  // the last run's worker may not have ended yet
  adding_ = true;
  worker_ = std::thread(&TFileList::RunAddFiles, this, std::move(AFiles), std::move(AProbe), std::move(AFormatKey));
  return true;
}

// Each probed file becomes a row on the main thread, in order; the worker
// never waits for it. Adding ends when the last notice has been handled there.
void TFileList::RunAddFiles(std::vector<TFileToAdd> files, std::unique_ptr<TFileProbe> probe,
                            std::function<std::string()> formatKey) {
  int added = 0, skipped = 0;
  const media::TThreadLogTag tag(kAddingFilesLogTag);
  try {
    for (const TFileToAdd& file : files) {
      if (cancelled_) return;
      TProbeResult result;
      // Refused before the probe: reading a named pipe or a device could block for ever.
      const std::string refusal = InputRefusal(file.Path);
      const bool opened = refusal.empty() && probe->Probe(file.Path, result);
      if (!opened && file.FromFolder) {
        ++skipped;
        media::Log(this, media::llInfo, "Skipped " + file.Path + ": " + (refusal.empty() ? result.Error : refusal));
        continue;
      }
      ++added;
      if (!opened)
        media::Log(this, media::llError, "Cannot read " + file.Path + ": " + (refusal.empty() ? result.Error : refusal));
      mailbox_.Post([this, path = file.Path, subfolder = file.Subfolder, opened, result, refusal, formatKey] {
        TFileRow row = MakeFileRow(path, opened, result, formatKey ? formatKey() : "");
        row.OutputSubfolder = subfolder;
        if (!refusal.empty()) row.Message = path + ": " + refusal;
        Append(std::move(row));
      });
    }
  } catch (const std::exception& error) {
    // An error ends the run early; the remaining files are skipped.
    media::Log(this, media::llError, std::string("Adding files stopped: ") + error.what());
  }
  mailbox_.Post([this, added, skipped] {
    adding_ = false;
    if (OnAddingFinished) OnAddingFinished(added, skipped);
  });
}

void TFileList::WaitForAdding() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace strella::app
