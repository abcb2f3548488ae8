#include "app/row_status.h"

#include <array>

namespace strella::app {

namespace {

struct TStatusWords {
  TRowStatus Status;
  std::string Name;
  std::string Text;
};

// In the order of TRowStatus.
const std::array<TStatusWords, 9> kStatusWords = {{
    {TRowStatus::Waiting, "waiting", ""},
    {TRowStatus::Converting, "converting", ""},
    {TRowStatus::Done, "done", "Done"},
    {TRowStatus::Failed, "failed", "Fail"},
    {TRowStatus::SetUpFailed, "setup-failed", "Failed"},
    {TRowStatus::Aborted, "aborted", "Abort"},
    {TRowStatus::Unreadable, "unreadable", "Error"},
    {TRowStatus::Skipped, "skipped", "Skipped"},
    {TRowStatus::Stopped, "stopped", "Stopped"},
}};

const TStatusWords& WordsOf(TRowStatus status) { return kStatusWords.at(static_cast<size_t>(status)); }

}  // namespace

const std::string& RowStatusText(TRowStatus AStatus) { return WordsOf(AStatus).Text; }

std::optional<TRowStatus> RowStatusFromText(const std::string& AText) {
  for (const TStatusWords& words : kStatusWords)
    if (words.Text == AText) return words.Status;  // the empty text is Waiting's, listed first
  return std::nullopt;
}

const std::string& RowStatusName(TRowStatus AStatus) { return WordsOf(AStatus).Name; }

std::optional<TRowStatus> RowStatusFromName(const std::string& AName) {
  for (const TStatusWords& words : kStatusWords)
    if (words.Name == AName) return words.Status;
  return std::nullopt;
}

bool RowEnded(TRowStatus AStatus) {
  return AStatus == TRowStatus::Done || RowFailed(AStatus) || AStatus == TRowStatus::Aborted;
}

bool RowFailed(TRowStatus AStatus) { return AStatus == TRowStatus::Failed || AStatus == TRowStatus::SetUpFailed; }

}  // namespace strella::app
