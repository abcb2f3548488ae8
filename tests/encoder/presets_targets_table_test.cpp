#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "engine/presets_targets.h"

using namespace strella::engine;

namespace {

std::map<std::string, std::string> Values(const std::vector<TTargetSetting>& settings) {
  std::map<std::string, std::string> values;
  for (const auto& s : settings) {
    const std::string key = s.Kind == tkOutputFormat    ? "format"
                            : s.Kind == tkStereoIfMono  ? "ac-if-mono"
                            : s.Kind == tkAspectIfUnset ? "aspect-if-unset"
                                                        : s.Name;
    values[key] = s.Value;
  }
  return values;
}

std::vector<std::string> Order(const std::vector<TTargetSetting>& settings) {
  std::vector<std::string> names;
  for (const auto& s : settings) names.push_back(s.Kind == tkOutputFormat ? "format" : s.Name);
  return names;
}

}  // namespace

TEST(Presets, TableHasSixteenRowsInOrderAndIsFoundIgnoringCase) {
  EXPECT_STREQ(PresetTable[0].Name, "libx264-baseline");
  EXPECT_STREQ(PresetTable[kPresetCount - 1].Name, "libx264-slowfirstpass");
  for (int i = 1; i < kPresetCount; ++i) {
    EXPECT_LT(std::string(PresetTable[i - 1].Name), std::string(PresetTable[i].Name));
  }
  EXPECT_EQ(FindPreset("LIBX264-HQ"), PresetTable[3].Options);
  EXPECT_EQ(FindPreset("hq"), "");
  EXPECT_EQ(FindPreset("libx264-main"), "flags2=-dct8x8");

  const auto lines = PresetLines(FindPreset("libx264-default"), "libx264-default");
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines.front(), (std::pair<std::string, std::string>{"coder", "1"}));
  EXPECT_EQ(lines.back(),
            (std::pair<std::string, std::string>{"flags2", "+mixed_refs+wpred+dct8x8+fastpskip"}));
  EXPECT_EQ(PresetLines(FindPreset("libx264-ipod640"), "x").size(), 7u);
}

TEST(Presets, LinesAreTrimmedAndSyntaxErrorsNameFileAndLine) {
  const auto lines = PresetLines("\r\n  b=1 \r\n\r\n\tg=a=b\r", "my.ffpreset");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], (std::pair<std::string, std::string>{"g", "a=b"}));
  for (const char* bad : {"=5", "bf=", "bf"}) {
    try {
      PresetLines(std::string("b=1\n") + bad, "my.ffpreset");
      ADD_FAILURE() << bad;
    } catch (const FFmpegException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("my.ffpreset: Invalid syntax: \"") + bad + "\"");
    }
  }
}

TEST(Targets, PalDvdNtscVcdFilmVcdAndDv50GiveTheirSettings) {
  auto dvd = Values(TargetSettings("dvd", tnPAL));
  EXPECT_EQ(dvd["format"], "dvd");
  EXPECT_EQ(dvd["vcodec"], "mpeg2video");
  EXPECT_EQ(dvd["acodec"], "ac3");
  EXPECT_EQ(dvd["s"], "720x576");
  EXPECT_EQ(dvd["r"], "25");
  EXPECT_EQ(dvd["g"], "15");
  EXPECT_EQ(dvd["b"], "6000000");
  EXPECT_EQ(dvd["maxrate"], "9000000");
  EXPECT_EQ(dvd["ab"], "448000");
  EXPECT_EQ(dvd["ar"], "48000");
  EXPECT_EQ(dvd["packetsize"], "2048");
  EXPECT_EQ(dvd["muxrate"], "10080000");
  EXPECT_EQ(dvd["aspect-if-unset"], "16:9");
  EXPECT_EQ(dvd.count("ac-if-mono"), 1u);

  auto vcd = Values(TargetSettings("vcd", tnNTSC));
  EXPECT_EQ(vcd["s"], "352x240");
  EXPECT_EQ(vcd["r"], "30000/1001");
  EXPECT_EQ(vcd["g"], "18");
  EXPECT_EQ(vcd["ac"], "2");
  EXPECT_EQ(vcd["muxpreload"], "0.44");
  EXPECT_EQ(vcd["aspect-if-unset"], "4:3");
  auto film = Values(TargetSettings("vcd", tnFilm));
  EXPECT_EQ(film["s"], "352x240");
  EXPECT_EQ(film["g"], "18");
  EXPECT_EQ(film["r"], "24000/1001");

  auto svcd = Values(TargetSettings("svcd", tnPAL));
  EXPECT_EQ(svcd["s"], "480x576");
  EXPECT_EQ(svcd["flags"], "+scan_offset");
  EXPECT_EQ(svcd.count("muxrate"), 0u);

  const auto dv50 = TargetSettings("dv50", tnPAL);
  EXPECT_EQ(Order(dv50), (std::vector<std::string>{"format", "s", "pix_fmt", "r", "ar", "ac"}));
  EXPECT_EQ(Values(dv50)["pix_fmt"], "yuv422p");
  EXPECT_EQ(Values(TargetSettings("dv", tnNTSC))["pix_fmt"], "yuv411p");
  EXPECT_EQ(Values(TargetSettings("dv", tnPAL))["pix_fmt"], "yuv420p");
  EXPECT_EQ(Values(TargetSettings("dv", tnNTSC))["s"], "720x480");
}

TEST(Targets, RowsComeInTheirOrderOfApplication) {
  EXPECT_EQ(Order(TargetSettings("vcd", tnPAL)),
            (std::vector<std::string>{"vcodec", "acodec", "format", "s", "r", "g", "b", "maxrate",
                                      "minrate", "bufsize", "ab", "ar", "ac", "packetsize",
                                      "muxrate", "muxpreload", "Assuming 4:3 for aspect ratio"}));
}

TEST(Targets, UnknownNameFails) {
  try {
    TargetSettings("cd", tnPAL);
    ADD_FAILURE();
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown target type");
  }
}
