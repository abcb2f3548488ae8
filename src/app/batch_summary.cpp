#include "app/batch_summary.h"

#include <algorithm>
#include <filesystem>

#include "app/text_utils.h"

namespace strella::app {

TBatchCounts CountResults(const TFileList& AList) {
  TBatchCounts counts;
  for (const TFileRow& row : AList.Rows()) {
    if (row.Status == TRowStatus::Done) ++counts.Converted;
    if (RowFailed(row.Status)) ++counts.Failed;
    if (row.Status == TRowStatus::Aborted) ++counts.Stopped;
    if (row.Checked && row.Status == TRowStatus::Waiting) ++counts.NotRun;
  }
  return counts;
}

std::string BatchEndText(const TBatchCounts& ACounts) {
  if (ACounts.Failed == 0 && ACounts.Stopped == 0 && ACounts.NotRun == 0) return "All converting jobs completed.";
  std::string text = std::to_string(ACounts.Converted) + " converted";
  if (ACounts.Failed > 0) text += ", " + std::to_string(ACounts.Failed) + " failed";
  if (ACounts.Stopped > 0) text += ", " + std::to_string(ACounts.Stopped) + " stopped";
  if (ACounts.NotRun > 0) text += ", " + std::to_string(ACounts.NotRun) + " not run";
  return text + ".";
}

std::string ConvertingText(int ANumber, int ATotal, const std::string& AFileName) {
  return "Converting " + std::to_string(ANumber) + " of " + std::to_string(ATotal) + ": " +
         std::filesystem::path(AFileName).filename().string();
}

std::optional<int64_t> ParseHMS(const std::string& AText) {
  const std::vector<std::string> parts = SplitText(AText, ':');
  if (parts.size() != 3) return std::nullopt;
  int64_t seconds = 0;
  for (const std::string& part : parts) {
    const std::optional<long long> value = ParseWhole(part);
    // Bounded so that no text, however long its numbers, overflows the sum.
    if (!value || *value < 0 || *value > 1'000'000'000) return std::nullopt;
    seconds = seconds * 60 + *value;
  }
  return seconds * 1000;
}

int BatchPercent(const std::vector<TBatchShare>& AShares) {
  if (AShares.empty()) return 0;
  int64_t known = 0, knownCount = 0;
  for (const TBatchShare& share : AShares)
    if (share.DurationMS && *share.DurationMS > 0) known += *share.DurationMS, ++knownCount;
  const double fallback = knownCount > 0 ? static_cast<double>(known) / static_cast<double>(knownCount) : 1.0;
  double total = 0, done = 0;
  for (const TBatchShare& share : AShares) {
    const double weight = share.DurationMS && *share.DurationMS > 0 ? static_cast<double>(*share.DurationMS) : fallback;
    total += weight;
    done += weight * std::clamp(share.Percent, 0, 100) / 100.0;
  }
  return std::clamp(static_cast<int>(done * 100 / total), 0, 100);
}

}  // namespace strella::app
