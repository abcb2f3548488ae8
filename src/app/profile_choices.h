// What each settings list offers for a profile: the items as the lists show
// them, each with its typed value, and the preselected item. Read from the
// catalogue's cells once, when first asked for, and checked there: a cell
// whose default names no item, or an item whose value cannot be read, is a
// fault of the catalogue (CatalogueProblems).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/profile_catalogue.h"

namespace strella::app {

struct TFrameSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const TFrameSize&) const = default;
};

// A frame rate as a fraction; 0/1 stands for the source's own rate.
struct TFrameRate {
  int Num = 0;
  int Den = 1;
  bool IsSource() const { return Num <= 0; }
  bool operator==(const TFrameRate&) const = default;
};

// Either a bit rate or a constant quality (the encoder's "crf").
struct TRateControl {
  int BitRate = 0;     // bit/s
  int Quality = -1;    // -1: a bit rate
  bool IsQuality() const { return Quality >= 0; }
  bool operator==(const TRateControl&) const = default;
};

template <class T>
struct TChoice {
  std::string Label;  // as the list shows it
  T Value;
};

template <class T>
struct TChoiceList {
  std::vector<TChoice<T>> Items;
  int Default = -1;  // -1: nothing preselected, the user must choose
  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (const TChoice<T>& item : Items) labels.push_back(item.Label);
    return labels;
  }
  // The first item holding AValue; -1 with none.
  int IndexOf(const T& AValue) const {
    for (size_t i = 0; i < Items.size(); ++i)
      if (Items[i].Value == AValue) return static_cast<int>(i);
    return -1;
  }
};

struct TProfileChoices {
  TChoiceList<std::string> VideoCodecs;  // value: the encoder's name
  TChoiceList<TRateControl> VideoRates;
  TChoiceList<std::optional<TFrameSize>> FrameSizes;  // nullopt: the source's size
  TChoiceList<TFrameRate> FrameRates;
  TChoiceList<std::string> AudioCodecs;
  TChoiceList<int> AudioBitrates;  // bit/s; empty for a lossless profile
  TChoiceList<int> SampleRates;    // Hz; 0 ("Auto"): the source's
  TChoiceList<int> Channels;       // 0 ("Auto"): the source's
};

const TProfileChoices& ChoicesOf(const Quality& AProfile);

// "profile: what is wrong" for every cell the catalogue cannot stand by; empty when sound.
std::vector<std::string> CatalogueProblems();
// The same for one row, read afresh (a row outside the catalogue, say).
std::vector<std::string> ProblemsOf(const Quality& AProfile);

// The label of a bit rate as the lists show it: 1500000 gives "1500 Kbps", 7400 "7.4 Kbps".
std::string BitrateLabel(int ABitsPerSecond);
// A constant-quality item of the bitrate list: "CRF 23".
std::string ConstantQualityLabel(int AQuality);
// The text of a frame rate as the engine's "r" option takes it ("30000/1001", "25").
std::string FrameRateText(TFrameRate ARate);
// A rate written as a fraction ("30000/1001") or a decimal ("29.97", exactly
// 2997/100); nullopt when not a positive rate.
std::optional<TFrameRate> ParseFrameRate(std::string_view AText);
// "WxH" at the start of a text ("352x288 (CIF)"); nullopt when there is none.
std::optional<TFrameSize> ParseFrameSize(std::string_view AText);

}  // namespace strella::app
