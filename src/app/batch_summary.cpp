#include "app/batch_summary.h"

#include <algorithm>
#include <filesystem>

#include "app/text_utils.h"

namespace strella::app {

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
    if (!value || *value < 0) return std::nullopt;
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
