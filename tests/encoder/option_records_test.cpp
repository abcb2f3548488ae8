#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "encoder/option_records.h"

using namespace strella::encoder;

namespace {

TOptionStep Opt(const std::string& name, const std::string& value) {
  return {skOption, name, value};
}
TOptionStep Generic(const std::string& name, const std::string& value) {
  return {skGeneric, name, value};
}
TOptionStep Num(TOptionStepKind kind, int64_t number) { return {kind, "", "", number}; }

// The steps every output record produces, whatever its other fields.
TOptionSteps AlwaysApplied() {
  return {Opt("an", "0"),     Opt("alang", ""),  Opt("async", "0"), Opt("vn", "0"),
          Opt("padcolor", "0"), Opt("vsync", "-1"), Opt("sn", "0"),   Opt("slang", ""),
          Num(skCopyTimestamps, 0)};
}

std::string Dump(const TOptionSteps& steps) {
  std::string text;
  for (const auto& s : steps) {
    text += std::to_string(s.Kind) + ":" + s.Name + "=" + s.Value + "#" +
            std::to_string(s.Number) + "\n";
  }
  return text;
}

}  // namespace

TEST(OptionRecords, DefaultsLeaveTheEngineAloneButForTheAlwaysAppliedFields) {
  TOutputOptions out;
  ResetOutputOptions(out);
  out.FileName = "x.mp4";
  EXPECT_EQ(Dump(OutputFieldSteps(out)), Dump(AlwaysApplied()));
  EXPECT_EQ(out.TargetDefaultNorm, 1);
  EXPECT_EQ(out.Info.Timestamp, -1.0);

  TInputOptions in;
  in.StartTimeMS = 77;
  ResetInputOptions(in);
  EXPECT_TRUE(InputFieldSteps(in).empty());
  EXPECT_EQ(in.ProgramID, -1);
}

TEST(OptionRecords, InputFieldsInTheirOrderAndStartTimeWins) {
  TInputOptions in = DefaultInputOptions();
  in.FileFormat = "mpegts";
  in.StartTimeMS = 1500;
  in.StartTime = 2000000;
  in.ProgramID = 0;
  const TOptionSteps expected = {{skInputFormat, "", "mpegts"}, Num(skStartTime, 1500000),
                                 Num(skStartTime, 2000000), Opt("programid", "0")};
  EXPECT_EQ(Dump(InputFieldSteps(in)), Dump(expected));
}

// Each row: what one field set to a non-default value adds, and where.
struct FieldCase {
  const char* name;
  void (*set)(TOutputOptions&);
  TOptionSteps added;
};

TEST(OptionRecords, EachFieldBecomesItsOptionInTheFixedOrder) {
  const FieldCase cases[] = {
      {"FileFormat", [](TOutputOptions& o) { o.FileFormat = "avi"; }, {{skOutputFormat, "", "avi"}}},
      {"PacketSize", [](TOutputOptions& o) { o.PacketSize = 2048; }, {Generic("packetsize", "2048")}},
      {"MuxDelay", [](TOutputOptions& o) { o.MuxDelay = 0.5f; }, {Opt("muxdelay", "0.5")}},
      {"AudioCodec", [](TOutputOptions& o) { o.AudioCodec = "copy"; }, {Opt("acodec", "copy")}},
      {"AudioVolume0", [](TOutputOptions& o) { o.AudioVolume = 0; }, {Opt("vol", "0")}},
      {"AudioBitrate", [](TOutputOptions& o) { o.AudioBitrate = 128000; }, {Generic("ab", "128000")}},
      {"FrameSize", [](TOutputOptions& o) { o.FrameSize = "640x480"; }, {Opt("s", "640x480")}},
      {"CropTop0", [](TOutputOptions& o) { o.CropTop = 0; }, {Opt("croptop", "0")}},
      {"GroupPictureSize", [](TOutputOptions& o) { o.GroupPictureSize = 12; }, {Generic("g", "12")}},
      {"VideoBitrate", [](TOutputOptions& o) { o.VideoBitrate = 800000; }, {Generic("vb", "800000")}},
      {"VideoTag", [](TOutputOptions& o) { o.VideoTag = "XVID"; }, {Opt("vtag", "XVID")}},
      {"RecordingTimeMS", [](TOutputOptions& o) { o.RecordingTimeMS = 60000; },
       {Num(skRecordingTimeMS, 60000)}},
      {"Year", [](TOutputOptions& o) { o.Info.Year = 2009; }, {Opt("metadata", "year=2009")}},
      {"Title", [](TOutputOptions& o) { o.Info.Title = "a=b"; }, {Opt("metadata", "title=a=b")}},
  };
  const TOptionSteps base = AlwaysApplied();
  for (const auto& c : cases) {
    TOutputOptions o = DefaultOutputOptions();
    c.set(o);
    const TOptionSteps steps = OutputFieldSteps(o);
    ASSERT_EQ(steps.size(), base.size() + c.added.size()) << c.name;
    // The added steps sit where the field's turn comes and nowhere else.
    TOptionSteps rest;
    size_t found = 0;
    for (const auto& s : steps) {
      if (found < c.added.size() && s == c.added[found]) ++found;
      else rest.push_back(s);
    }
    EXPECT_EQ(found, c.added.size()) << c.name;
    EXPECT_EQ(Dump(rest), Dump(base)) << c.name;
  }
}

TEST(OptionRecords, AFullRecordKeepsTheDocumentedOrder) {
  TOutputOptions o = DefaultOutputOptions();
  o.FileFormat = "mp4";
  o.AudioCodec = "aac";
  o.AudioPreset = "hq";
  o.DisableAudio = true;
  o.AudioSampleRate = 44100;
  o.VideoCodec = "mpeg4";
  o.FrameRate = "25";
  o.PadBottom = 8;
  o.PadColor = 0x0000FF;
  o.VideoSync = 2;
  o.CopyTimestamps = true;
  o.StartTimeMS = 1500;
  o.StartTime = 2000000;
  o.RecordingTime = 5000000;
  o.Info.Year = 0;  // zero adds no year
  o.Info.Genre = "Pop";
  const TOptionSteps expected = {
      {skOutputFormat, "", "mp4"}, Opt("acodec", "aac"),   Opt("apre", "hq"),
      Opt("an", "1"),             Opt("ar", "44100"),      Opt("alang", ""),
      Opt("async", "0"),          Opt("vcodec", "mpeg4"),  Opt("vn", "0"),
      Opt("r", "25"),             Opt("padbottom", "8"),   Opt("padcolor", "255"),
      Opt("vsync", "2"),          Opt("sn", "0"),          Opt("slang", ""),
      Num(skCopyTimestamps, 1),   Num(skStartTime, 1500000), Num(skStartTime, 2000000),
      Num(skRecordingTime, 5000000), Opt("metadata", "genre=Pop")};
  EXPECT_EQ(Dump(OutputFieldSteps(o)), Dump(expected));
}

TEST(OptionRecords, ExtOptionsLinesAndPasses) {
  const auto lines = SplitExtOptions("  \r\nvtag=XVID\r\nqscale=4\rnewaudio\n\nmetadata=a=b\n\t ");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"vtag", "XVID"}, {"qscale", "4"}, {"newaudio", ""}, {"metadata", "a=b"}};
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(SplitExtOptions(" \n ").empty());
  EXPECT_EQ(SplitExtOptions(" s = 1 ")[0], (std::pair<std::string, std::string>{"s ", " 1"}));

  EXPECT_EQ(PassOfOption("newvideo"), epStream);
  EXPECT_EQ(PassOfOption("newsubtitle"), epStream);
  EXPECT_EQ(PassOfOption("vpre"), epPreset);
  EXPECT_EQ(PassOfOption("apre"), epPreset);
  EXPECT_EQ(PassOfOption("vcodec"), epGeneral);
  EXPECT_EQ(PassOfOption("VPRE"), epGeneral);
}

TEST(OptionRecords, HookRangesAreFilteredAndSortedByEnd) {
  auto ranges = ParseHookRanges(" 5000-10000, 0-2000 ,7-3, 12, ");
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0].start, 0);
  EXPECT_EQ(ranges[0].end, 2000000);
  EXPECT_EQ(ranges[1].start, 5000000);
  EXPECT_EQ(ranges[1].end, 10000000);

  ranges = ParseHookRanges("abc-100");
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].start, -1000);
  EXPECT_EQ(ranges[0].end, 100000);

  EXPECT_TRUE(ParseHookRanges("").empty());
  EXPECT_TRUE(ParseHookRanges("10-abc").empty());
}

TEST(OptionRecords, TimestampIsLocalDateTimeInUnixSeconds) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(TimestampSeconds(25569.0), 0);
  EXPECT_EQ(TimestampSeconds(25569.5), 43200);
  // 2009-07-01 12:00 local time in Berlin is summer time: 10:00 UTC.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  EXPECT_EQ(TimestampSeconds(39995.5), 1246442400);
  const int64_t now = std::time(nullptr);
  EXPECT_NEAR(static_cast<double>(TimestampSeconds(0)), static_cast<double>(now), 2.0);
  unsetenv("TZ");
  tzset();
}

TEST(OptionRecords, TargetNames) {
  EXPECT_EQ(TargetName(1), "vcd");
  EXPECT_EQ(TargetName(2), "svcd");
  EXPECT_EQ(TargetName(3), "dvd");
  EXPECT_EQ(TargetName(4), "");
  EXPECT_EQ(TargetNormName(0), "auto");
  EXPECT_EQ(TargetNormName(2), "ntsc");
  EXPECT_EQ(TargetDefaultNormName(1), "pal");
  EXPECT_EQ(TargetDefaultNormName(0), "ntsc");
}
