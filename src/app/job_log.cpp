#include "app/job_log.h"

#include <chrono>
#include <ctime>

#include "media/text_helpers.h"

namespace strella::app {

namespace {

const char* LevelName(media::TLogLevel level) {
  switch (level) {
    case media::llQuiet:
    case media::llPanic:
    case media::llFatal: return "fatal";
    case media::llError: return "error";
    case media::llWarning: return "warning";
    case media::llInfo: return "info";
    case media::llVerbose: return "verbose";
    case media::llDebug: return "debug";
  }
  return "info";
}

constexpr size_t kMaxLines = 200000;

int64_t NowMS() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A warning, an error or worse: what a row's notes keep. (llQuiet lines are
// the engine's own failure messages, which the row shows as its message.)
bool IsNoteLevel(media::TLogLevel level) { return level >= media::llPanic && level <= media::llWarning; }

// Library lines start with "[name @ 0x...] "; the address means nothing to a user.
std::string WithoutContext(const std::string& text) {
  if (text.empty() || text[0] != '[') return text;
  const size_t at = text.find(" @ 0x");
  const size_t close = text.find(']');
  if (at == std::string::npos || close == std::string::npos || at > close) return text;
  const size_t rest = text.find_first_not_of(' ', close + 1);
  return text.substr(1, at - 1) + ": " + (rest == std::string::npos ? std::string() : text.substr(rest));
}

}  // namespace

std::string FormatJobLogLine(const TJobLogLine& ALine) {
  const std::time_t seconds = static_cast<std::time_t>(ALine.TimeMS / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  std::string text = media::Format("[%s] ", clock);
  if (!ALine.FileName.empty()) text += ALine.FileName + ": ";
  if (ALine.Level != media::llInfo) text += std::string(LevelName(ALine.Level)) + ": ";
  return text + ALine.Text;
}

TJobLog::TJobLog(TFileList& AList) : list_(AList) {}

TJobLog::~TJobLog() { Detach(); }

void TJobLog::Attach() {
  media::TFFLogger::Instance().SetOnLog(
      [this](const void*, uint64_t, int64_t ATag, media::TLogLevel ALevel, const std::string& AText) {
        Receive(ATag, ALevel, AText);
      });
  attached_ = true;
}

void TJobLog::Detach() {
  if (!attached_) return;
  media::TFFLogger::Instance().SetOnLog(nullptr);
  attached_ = false;
}

void TJobLog::BeginRow(int ARow) { list_.ClearNotes(ARow); }

void TJobLog::Receive(int64_t ATag, media::TLogLevel ALevel, const std::string& AText) {
  // Files refused while they were added: the user looks for the reason here.
  if (ATag == kAddingFilesLogTag) return Keep(-1, ALevel, WithoutContext(AText), false);
  // Lines of no job (the preview player) are not a job's story.
  if (ATag <= 0 || ATag > list_.Count()) return;
  Keep(static_cast<int>(ATag - 1), ALevel, WithoutContext(AText), IsNoteLevel(ALevel));
}

void TJobLog::Add(int ARow, media::TLogLevel ALevel, const std::string& AText) { Keep(ARow, ALevel, AText, false); }

void TJobLog::Keep(int ARow, media::TLogLevel ALevel, const std::string& AText, bool ANote) {
  if (AText.find_first_not_of(" \t\r\n") == std::string::npos) return;
  TJobLogLine line;
  line.Row = ARow >= 0 && ARow < list_.Count() ? ARow : -1;
  if (line.Row >= 0) line.FileName = media::ExtractFileName(list_.Row(line.Row).Caption);
  line.TimeMS = NowMS();
  line.Level = ALevel;
  line.Text = AText;
  while (!line.Text.empty() && (line.Text.back() == '\r' || line.Text.back() == '\n')) line.Text.pop_back();
  if (line.Row >= 0 && ANote) list_.AddNote(line.Row, line.Text);
  // A debug-level log of a long batch would grow without end: the view keeps the first lines.
  if (lines_.size() > kMaxLines) return;
  if (lines_.size() == kMaxLines) line.Text = "(the log holds no more lines)";
  lines_.push_back(line);
  if (OnLine) OnLine(lines_.back());
}

std::vector<TJobLogLine> TJobLog::LinesOfRow(int ARow) const {
  std::vector<TJobLogLine> lines;
  for (const TJobLogLine& line : lines_)
    if (line.Row == ARow) lines.push_back(line);
  return lines;
}

void TJobLog::Clear() { lines_.clear(); }

}  // namespace strella::app
