#include "app/profile_choices.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>

#include "app/settings_model.h"
#include "app/text_utils.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace {

// The standard lists a cell falls back to.
const std::vector<std::string> kFrameRates = {"Auto",      "30.0 fps",   "29.97 fps", "25.0 fps",
                                              "23.975 fps", "15.0 fps", "14.985 fps"};
const std::vector<int> kVideoBitratesKbps = {192, 200, 256, 384, 512, 640, 768, 1000, 1200, 1500, 1600, 2000, 2500};
const std::vector<std::string> kFrameSizes = {
    "Original Size",  "720x576",        "720x480",       "704x576 (4CIF)", "640x480",
    "640x352",        "624x352",        "480x576",       "480x480",        "480x360",
    "480x272",        "352x288 (CIF)",  "352x240",       "320x240 (VGA)",  "320x200",
    "240x180",        "220x176",        "208x176",       "192x144",        "176x144 (QCIF)",
    "176x120",        "160x120 (QVGA)", "128x96 (SQCIF)"};
const std::vector<std::string> kSampleRates = {"96000 Hz", "54000 Hz", "48000 Hz", "44100 Hz",
                                               "32000 Hz", "22050 Hz", "16000 Hz", "8000 Hz"};

constexpr std::string_view kDefault = "default";
constexpr std::string_view kOnly = "ONLY";

// The labels a cell gives one list, before they are read as values.
struct TCellList {
  std::vector<std::string> labels;
  int preselected = -1;
  std::string problem;
};

TCellList Listed(std::vector<std::string> labels, int preselected) { return {std::move(labels), preselected, {}}; }

std::string Before(std::string_view cell, std::string_view marker) {
  return std::string(cell.substr(0, cell.find(marker)));
}

bool IsDefaultValue(std::string_view cell) { return !Contains(cell, "-") && Contains(cell, kDefault); }

std::string WithUnit(const std::string& value, std::string_view unitTest, std::string_view unit) {
  return Contains(value, unitTest) ? value : value + std::string(unit);
}

// How a cell's bare values get their unit: " fps" unless the value contains "fps" or is "Auto".
struct TUnit {
  std::string_view test;
  std::string_view suffix;
  std::string_view exempt;
};

// A cell cut at every "-"; the segment marked "default" (or the first) is preselected.
TCellList SplitCell(std::string_view cell, std::optional<TUnit> unit = std::nullopt) {
  TCellList list;
  list.preselected = 0;
  for (std::string& segment : SplitText(cell, '-')) {
    const size_t mark = segment.find(kDefault);
    if (mark != std::string::npos) {
      segment.erase(mark);
      list.preselected = static_cast<int>(list.labels.size());
    }
    const bool bare = unit && !unit->suffix.empty() && segment != unit->exempt;
    list.labels.push_back(bare ? WithUnit(segment, unit->test, unit->suffix) : segment);
  }
  return list;
}

// Preselects the first (or last) label containing the cell's default value.
// A default that names no label is the catalogue's fault: the first is taken
// so the list stays usable, and the fault is kept for CatalogueProblems.
TCellList PreselectDefault(TCellList list, std::string_view cell, bool last, bool trimmed) {
  const std::string value = Before(cell, kDefault);
  int found = -1;
  for (size_t i = 0; i < list.labels.size(); ++i) {
    const std::string label = trimmed ? Trim(list.labels[i]) : list.labels[i];
    if (!Contains(label, value)) continue;
    found = static_cast<int>(i);
    if (!last) break;
  }
  if (found < 0) list.problem = "the default \"" + value + "\" names no item";
  list.preselected = found >= 0 ? found : 0;
  return list;
}

// Frame rates and sample rates: the standard list for an empty cell or a lone
// "default" value (the last item containing it preselected), else the cell's values.
TCellList UnitCell(std::string_view cell, const std::vector<std::string>& standard, TUnit unit) {
  if (cell.empty()) return Listed(standard, 0);
  if (IsDefaultValue(cell)) return PreselectDefault(Listed(standard, 0), cell, true, false);
  if (Contains(cell, kOnly)) return Listed({WithUnit(Before(cell, kOnly), unit.test, unit.suffix)}, 0);
  return SplitCell(cell, unit);
}

// A codec cell without "-" is the one item exactly as written, even when empty.
TCellList CodecCell(std::string_view cell) {
  if (Contains(cell, "-")) return SplitCell(cell);
  return Listed({std::string(cell)}, 0);
}

TCellList FrameSizeCell(std::string_view cell) {
  if (cell.empty()) return Listed(kFrameSizes, 0);
  if (IsDefaultValue(cell)) return PreselectDefault(Listed(kFrameSizes, 0), cell, true, true);
  if (Contains(cell, kOnly)) return Listed({Before(cell, kOnly)}, 0);
  return SplitCell(cell);
}

// Ladder values, a value equal to the one before it listed once; an empty
// ladder (a lossless profile) offers none. Nothing is preselected unless the cell says so.
TCellList BitrateCell(std::vector<std::string> labels, std::string_view cell) {
  if (IsDefaultValue(cell)) return PreselectDefault(Listed(std::move(labels), -1), cell, false, false);
  if (Contains(cell, kOnly)) return Listed({WithUnit(Before(cell, kOnly), "Kbps", " Kbps")}, 0);
  return Listed(std::move(labels), -1);
}

std::vector<std::string> LadderLabels(const std::array<int, 5>& ladder) {
  std::vector<std::string> labels;
  for (size_t i = 0; i < ladder.size(); ++i) {
    if (ladder[i] <= 0 || (i > 0 && ladder[i] == ladder[i - 1])) continue;
    labels.push_back(BitrateLabel(ladder[i]));
  }
  return labels;
}

TCellList VideoRateCell(const Quality& profile) {
  if (profile.VideoBitrateCell.empty()) {
    std::vector<std::string> labels;
    for (int kbps : kVideoBitratesKbps) labels.push_back(BitrateLabel(kbps * 1000));
    return Listed(labels, 0);
  }
  // Constant quality first, so that the quality steps pick it.
  std::vector<std::string> labels;
  for (int quality : profile.QualityLadder)
    if (quality > 0) labels.push_back(ConstantQualityLabel(quality));
  for (std::string& label : LadderLabels(profile.VideoLadder)) labels.push_back(std::move(label));
  return BitrateCell(std::move(labels), profile.VideoBitrateCell);
}

// "1500 Kbps" or "7.4 Kbps" (bare numbers are Kbps too).
std::optional<int> ParseBitrate(const std::string& label) {
  const auto kbps = ParseDecimal(FirstWord(Trim(label)));
  if (!kbps || *kbps <= 0) return std::nullopt;
  return static_cast<int>(std::lround(*kbps * 1000));
}

std::optional<TRateControl> ParseRate(const std::string& label) {
  if (const auto quality = ConstantQualityOf(label)) return TRateControl{0, *quality};
  if (const auto bits = ParseBitrate(label)) return TRateControl{*bits, -1};
  return std::nullopt;
}

std::optional<std::optional<TFrameSize>> ParseSizeChoice(const std::string& label) {
  if (Trim(label) == "Original Size") return std::optional<TFrameSize>();
  if (const auto size = ParseFrameSize(Trim(label))) return std::optional<TFrameSize>(*size);
  return std::nullopt;
}

std::optional<TFrameRate> ParseRateChoice(const std::string& label) {
  if (LowerCase(Trim(label)) == "auto") return TFrameRate{};
  return ParseFrameRate(FirstWord(Trim(label)));
}

std::optional<int> ParseWholeFirstWord(const std::string& label) {
  const auto value = ParseWhole(FirstWord(Trim(label)));
  if (!value || *value <= 0) return std::nullopt;
  return static_cast<int>(*value);
}

// "Auto" keeps the source's rate or channels: the value 0, which the job leaves out.
constexpr std::string_view kAuto = "Auto";

std::optional<int> ParseSampleRate(const std::string& label) {
  if (Trim(label) == kAuto) return 0;
  return ParseWholeFirstWord(label);
}

std::optional<int> ParseChannels(const std::string& label) {
  if (label == kAuto) return 0;
  if (label == "Mono") return 1;
  if (label == "Stereo") return 2;
  return std::nullopt;
}

// Reads every label of a cell's list as a value; what cannot be read is a problem of the catalogue.
template <class T, class Parse>
TChoiceList<T> Typed(const TCellList& cell, Parse parse, const char* what, std::vector<std::string>& problems) {
  TChoiceList<T> list;
  list.Default = cell.preselected;
  if (!cell.problem.empty()) problems.push_back(std::string(what) + ": " + cell.problem);
  for (const std::string& label : cell.labels) {
    const auto value = parse(label);
    if (!value) {
      problems.push_back(std::string(what) + ": the item \"" + label + "\" holds no value");
      continue;
    }
    list.Items.push_back({label, *value});
  }
  if (list.Default >= static_cast<int>(list.Items.size())) list.Default = list.Items.empty() ? -1 : 0;
  return list;
}

struct TLoaded {
  TProfileChoices choices;
  std::vector<std::string> problems;
};

TLoaded Load(const Quality& profile) {
  TLoaded loaded;
  auto& problems = loaded.problems;
  TProfileChoices& c = loaded.choices;
  const auto encoderOf = [](auto map) {
    return [map](const std::string& label) { return std::optional<std::string>(map(label)); };
  };
  if (!profile.Has(kAudioOnly)) {
    c.VideoCodecs = Typed<std::string>(CodecCell(profile.VideoCodecCell), encoderOf(MapVideoCodec), "video codec", problems);
    c.VideoRates = Typed<TRateControl>(VideoRateCell(profile), ParseRate, "video bitrate", problems);
    c.FrameSizes = Typed<std::optional<TFrameSize>>(FrameSizeCell(profile.FrameSizeCell), ParseSizeChoice, "size", problems);
    c.FrameRates = Typed<TFrameRate>(UnitCell(profile.FrameRateCell, kFrameRates, {"fps", " fps", "Auto"}),
                                     ParseRateChoice, "frame rate", problems);
  }
  c.AudioCodecs = Typed<std::string>(CodecCell(profile.AudioCodecCell), encoderOf(MapAudioCodec), "audio codec", problems);
  c.AudioBitrates = Typed<int>(BitrateCell(LadderLabels(profile.AudioLadder), profile.AudioBitrateCell), ParseBitrate,
                               "audio bitrate", problems);
  c.SampleRates = Typed<int>(UnitCell(profile.SampleRateCell, kSampleRates, {" Hz", " Hz", kAuto}),
                             ParseSampleRate, "sample rate", problems);
  const TCellList channels = profile.Has(kMonoOnly)           ? Listed({"Mono"}, 0)
                             : profile.Has(kKeepsSourceSound) ? Listed({std::string(kAuto), "Stereo", "Mono"}, 0)
                                                              : Listed({"Stereo", "Mono"}, 0);
  c.Channels = Typed<int>(channels, ParseChannels, "channels", problems);
  return loaded;
}

const std::map<const Quality*, TLoaded>& Catalogue() {
  static const std::map<const Quality*, TLoaded> loaded = [] {
    std::map<const Quality*, TLoaded> all;
    for (const Quality& profile : ProfileTable) all.emplace(&profile, Load(profile));
    return all;
  }();
  return loaded;
}

}  // namespace

const TProfileChoices& ChoicesOf(const Quality& AProfile) { return Catalogue().at(&AProfile).choices; }

std::vector<std::string> CatalogueProblems() {
  std::vector<std::string> problems;
  for (const Quality& profile : ProfileTable)
    for (const std::string& problem : Catalogue().at(&profile).problems)
      problems.push_back(std::string(profile.DisplayName) + ": " + problem);
  return problems;
}

std::vector<std::string> ProblemsOf(const Quality& AProfile) { return Load(AProfile).problems; }

std::string BitrateLabel(int ABitsPerSecond) {
  if (ABitsPerSecond % 1000 == 0) return std::to_string(ABitsPerSecond / 1000) + " Kbps";
  std::string kbps = media::Format("%.3f", ABitsPerSecond / 1000.0);
  while (kbps.back() == '0') kbps.pop_back();
  return kbps + " Kbps";
}

std::string ConstantQualityLabel(int AQuality) { return kConstantQualityPrefix + std::to_string(AQuality); }

std::string FrameRateText(TFrameRate ARate) {
  if (ARate.Den == 1) return std::to_string(ARate.Num);
  return std::to_string(ARate.Num) + "/" + std::to_string(ARate.Den);
}

std::optional<TFrameRate> ParseFrameRate(std::string_view AText) {
  const std::string text = Trim(AText);
  if (const size_t slash = text.find('/'); slash != std::string::npos) {
    const auto num = ParseWhole(text.substr(0, slash)), den = ParseWhole(text.substr(slash + 1));
    if (!num || !den || *num <= 0 || *den <= 0 || *num > INT32_MAX || *den > INT32_MAX) return std::nullopt;
    return TFrameRate{static_cast<int>(*num), static_cast<int>(*den)};
  }
  if (const auto whole = ParseWhole(text)) {
    if (*whole <= 0 || *whole > 1000) return std::nullopt;
    return TFrameRate{static_cast<int>(*whole), 1};
  }
  const size_t point = text.find('.');
  if (point == std::string::npos || !ParseDecimal(text)) return std::nullopt;
  // Exactly as written: "29.97" is 2997/100, as the engine reads that text.
  const std::string digits = text.substr(0, point) + text.substr(point + 1);
  const auto num = ParseWhole(digits);
  if (!num || *num <= 0 || digits.size() > 9) return std::nullopt;
  long long den = 1;
  for (size_t i = point + 1; i < text.size(); ++i) den *= 10;
  const long long common = std::gcd(*num, den);
  return TFrameRate{static_cast<int>(*num / common), static_cast<int>(den / common)};
}

std::optional<TFrameSize> ParseFrameSize(std::string_view AText) {
  const std::string text(AText);
  const size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto width = ParseWhole(text.substr(0, x));
  const auto height = ParseWhole(FirstWord(text.substr(x + 1)));
  if (!width || !height || *width <= 0 || *height <= 0) return std::nullopt;
  return TFrameSize{static_cast<int>(*width), static_cast<int>(*height)};
}

}  // namespace strella::app
