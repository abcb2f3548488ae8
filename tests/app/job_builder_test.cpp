#include "app/job_builder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <tuple>

#include "encoder/option_records.h"
#include "fixtures.h"

namespace strella::app {
namespace {

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

struct LetterboxCase {
  std::string source;
  std::string target;
  int result;
  std::string size;
  double pad;
  std::string aspect;
};

TEST(LetterBox, PadsScalesAndAspects) {
  const std::vector<LetterboxCase> cases = {
      {"720x400", "352x288 (CIF)", lbTopBottom, "352x196", 46, "1.2222"},
      {"640x480", "640x352", lbLeftRight, "468x352", 86, "1.8181"},
      {"640x480", "320x240 (VGA)", lbNone, "320x240", 0, "1.3333"},
      {"640x480", "Original Size", lbNone, "640x480", 0, "1.3333"},
      {"1920x1080", "720x480", lbTopBottom, "720x404", 38, "1.5"},
      {"1280x720", "1280x720", lbNone, "1280x720", 0, "1.7777"},
      {"720x576", "1280x720", lbLeftRight, "900x720", 190, "1.7777"},
      {" ", "352x288 (CIF)", lbNone, " ", 0, ""},
      {"0x480", "640x480", lbNone, "0x480", 0, ""},
      {"640x480", "bogus", lbNone, "640x480", 0, ""},
  };
  for (const LetterboxCase& c : cases) {
    SCOPED_TRACE(c.source + " into " + c.target);
    TLetterboxState state;
    EXPECT_EQ(LetterBox(state, c.source, c.target), c.result);
    EXPECT_EQ(state.LetterboxSize, c.size);
    EXPECT_EQ(state.LetterboxPad, c.pad);
    EXPECT_EQ(state.TargetAspect, c.aspect);
  }
}

TEST(LetterBox, OddHeightsBecomeEvenUpOnlyFromOne) {
  // n = 271 rounds up to 272; 273 .. 279 round down.
  const std::vector<std::pair<double, std::string>> cases = {
      {271, "272"}, {273, "272"}, {275, "274"}, {277, "276"}, {279, "278"}, {270, "270"}};
  for (const auto& [n, height] : cases) {
    TLetterboxState state;
    PadTopBottom(state, 480.0 / (n + 0.5), 480, 480);
    SCOPED_TRACE(n);
    const long long pad = (480 - std::stoll(height)) / 2;
    EXPECT_EQ(state.LetterboxPad, static_cast<double>(pad % 2 ? pad - 1 : pad));
  }
}

TEST(UniqueOutputName, SkipsEveryTakenName) {
  const std::string dir = fixtures::ScratchDir("unique_names");
  EXPECT_EQ(UniqueOutputName(dir + "/clip.avi", ".mp4"), dir + "/clip.mp4");
  Touch(dir + "/clip.mp4");
  Touch(dir + "/clip-1.mp4");
  EXPECT_EQ(UniqueOutputName(dir + "/clip.avi", ".mp4"), dir + "/clip-2.mp4");
  ::mkdir((dir + "/clip-2.mp4").c_str(), 0755);  // a folder takes the name too
  EXPECT_EQ(UniqueOutputName(dir + "/clip.mp4", ".mp4"), dir + "/clip-3.mp4");
}

TEST(OutputFileFor, OverwriteReplacesOthersButNeverTheInput) {
  const std::string in = fixtures::ScratchDir("output_for_in");
  const std::string out = fixtures::ScratchDir("output_for_out");
  Touch(in + "/clip.avi");
  Touch(out + "/clip.mp4");
  Touch(out + "/clip-1.mp4");
  EXPECT_EQ(OutputFileFor(in + "/clip.avi", out, "MP4", false), out + "/clip-2.mp4");
  EXPECT_EQ(OutputFileFor(in + "/clip.avi", out, "MP4", true), out + "/clip.mp4");
  Touch(in + "/movie.mp4");
  EXPECT_EQ(OutputFileFor(in + "/movie.mp4", in, "MP4", true), in + "/movie-1.mp4");
  EXPECT_EQ(OutputFileFor(in + "/movie.mp4", in + "/", "MP4", false), in + "/movie-1.mp4");
}

TEST(CheckBeforeRip, MessagesInOrder) {
  TFileList list;
  EXPECT_EQ(CheckBeforeRip(list, "/tmp").Message, "Please Add Files To Convert!");
  list.Append(TFileRow{"/x/a.avi", false, {}, {}, {}});
  const TRipCheck noFolder = CheckBeforeRip(list, "");
  EXPECT_EQ(noFolder.Message, "Please select an output folder!");
  EXPECT_TRUE(noFolder.OpenFolderPicker);
  const TRipCheck missing = CheckBeforeRip(list, "/no/such/folder");
  EXPECT_EQ(missing.Message,
            "The output folder \"/no/such/folder\"\n\rdoes not exist or has been deleted!\n\r"
            "Please choose a new output folder.");
  EXPECT_TRUE(missing.OpenFolderPicker);
  EXPECT_EQ(CheckBeforeRip(list, "/tmp").Message, "Please check the items that you want to convert!");
  list.SetChecked(0, true);
  EXPECT_TRUE(CheckBeforeRip(list, " /tmp ").Ok);
}

class BuildJobTest : public ::testing::Test {
 protected:
  BuildJobTest() : model(lists.Controls()) {
    model.Initialize();
    prefs.OutputFolder = fixtures::ScratchDir("build_job");
  }
  void Choose(const std::string& name) {
    ASSERT_TRUE(c().ComboOutputFormat->SelectText(name)) << name;
    model.OutputFormatChanged();
  }
  TJob Build(const std::string& size = "640x480", const std::string& duration = "00:01:00") {
    TFileRow row{" /media/in/clip.avi ", true, {size, duration, model.CurrentFormatKey, "", "", ""}, {}, {}};
    row.Probe = ProbeFromColumns(row.Columns);
    return BuildJob(row, model, prefs);
  }
  const TSettingsControls& c() const { return lists.Controls(); }

  TListSettingsControls lists;
  TSettingsModel model;
  TPreferences prefs;
};

TEST_F(BuildJobTest, ThreeGPJobOfTheFirstRun) {
  Choose("3GP - Mobile Video Format (*.3gp)");
  const TJob job = Build();
  EXPECT_EQ(job.InputFile, "/media/in/clip.avi");
  EXPECT_EQ(job.Input.FileName, "/media/in/clip.avi");
  EXPECT_EQ(job.OutputFile, prefs.OutputFolder + "/clip.3gp");
  const TOutputOptions& o = job.Output;
  EXPECT_EQ(o.VideoCodec, "h263");
  EXPECT_EQ(o.VideoTag, "");
  EXPECT_EQ(o.FrameSize, "176x132");
  EXPECT_EQ(o.PadTop, 6);
  EXPECT_EQ(o.PadBottom, 6);
  EXPECT_EQ(o.PadLeft, -1);
  EXPECT_EQ(o.FrameAspectRatio, "1.2222");
  EXPECT_EQ(o.FrameRate, "25");
  EXPECT_FALSE(o.DisableVideo);
  EXPECT_EQ(o.VideoBitrate, 120000);  // the profile's "120 Kbps" default
  EXPECT_EQ(o.AudioCodec, "libopencore_amrnb");
  EXPECT_EQ(o.AudioBitrate, 7400);
  EXPECT_EQ(o.AudioSampleRate, 8000);
  EXPECT_EQ(o.AudioChannels, 1);
  EXPECT_EQ(o.AudioVolume, 256);
  EXPECT_FALSE(o.DisableAudio);
  EXPECT_EQ(o.RecordingTimeMS, -1);
}

TEST_F(BuildJobTest, LetterboxNoneOriginalSizeAndAspectChoices) {
  Choose("MP4 - MPEG4 Video (*.mp4)");
  c().ComboBoxLetterbox->SetItemIndex(0);
  c().ComboVideoSize->SelectText("352x288 (CIF)");
  TJob job = Build("720x400");
  EXPECT_EQ(job.Output.FrameSize, "352x288");
  EXPECT_EQ(job.Output.PadTop, 0);
  EXPECT_EQ(job.Output.PadBottom, 0);
  EXPECT_EQ(job.Output.PadLeft, 0);
  EXPECT_EQ(job.Output.PadRight, 0);

  for (int letterbox : {0, 1}) {
    c().ComboBoxLetterbox->SetItemIndex(letterbox);
    c().ComboVideoSize->SelectText("Original Size");
    job = Build("720x400");
    EXPECT_EQ(job.Output.FrameSize, "720x400");
    EXPECT_LE(job.Output.PadTop, 0);
    EXPECT_LE(job.Output.PadLeft, 0);
    EXPECT_EQ(job.Output.FrameAspectRatio, "1.8");
  }
  c().ComboBoxAspectRatio->SelectText("4:3");
  EXPECT_EQ(Build().Output.FrameAspectRatio, "1.3333");
  c().ComboBoxAspectRatio->SelectText("16:9");
  EXPECT_EQ(Build().Output.FrameAspectRatio, "1.7777");
  EXPECT_EQ(Build().Output.VideoBitrate, 1500000);
  EXPECT_EQ(Build().Output.AudioCodec, "aac");
}

TEST_F(BuildJobTest, PicturesAreFittedAtTheShapeTheyAreShownAt) {
  Choose("MP4 - MPEG4 Video (*.mp4)");
  struct Case {
    int sarNum, sarDen;
    std::string target, size;
    int padTop, padLeft;
    std::string aspect;
  };
  const std::vector<Case> cases = {
      {16, 15, "640x480", "640x480", 0, 0, "1.3333"},          // 4:3 shown, fills a 4:3 frame
      {64, 45, "640x480", "640x360", 60, 0, "1.3333"},         // 16:9 shown, bars above and below
      {0, 1, "640x480", "600x480", 0, 20, "1.3333"},           // unknown: square pixels
      {16, 15, "Original Size", "720x576", 0, 0, "1.3333"},    // stored size, shown shape kept
      {64, 45, "Original Size", "720x576", 0, 0, "1.7777"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.sarNum) + ":" + std::to_string(k.sarDen) + " into " + k.target);
    c().ComboVideoSize->SelectText(k.target);
    TFileRow row{"/media/in/dvd.mpg", true, {"720x576", "00:01:00", "MP4", "", "", ""}, {}, {}};
    row.Probe = ProbeFromColumns(row.Columns);
    row.Probe.SampleAspectNum = k.sarNum;
    row.Probe.SampleAspectDen = k.sarDen;
    const TJob job = BuildJob(row, model, prefs);
    EXPECT_EQ(job.Output.FrameSize, k.size);
    EXPECT_EQ(std::max(job.Output.PadTop, 0), k.padTop);
    EXPECT_EQ(std::max(job.Output.PadLeft, 0), k.padLeft);
    EXPECT_EQ(job.Output.FrameAspectRatio, k.aspect);
  }
}

TEST_F(BuildJobTest, OddSizesBecomeEvenAndAutoTakesTheSourceRate) {
  Choose("MP4 - MPEG4 Video (*.mp4)");
  c().ComboVideoSize->SelectText("Original Size");
  EXPECT_EQ(Build("321x241").Output.FrameSize, "320x240");
  EXPECT_EQ(Build("200x133").Output.FrameSize, "200x132");
  EXPECT_EQ(Build("1x1").Output.FrameSize, "2x2");
  TFileRow row{"/media/in/film.mkv", true, {"640x480", "00:01:00", "MP4", "", "", ""}, {}, {}};
  row.Probe = ProbeFromColumns(row.Columns);
  // Usual rates come out exact; an irregular average to a thousandth; nothing usable gives 25.
  const std::vector<std::tuple<int, int, std::string>> rates = {
      {24000, 1001, "24000/1001"}, {2997, 100, "30000/1001"}, {30, 1, "30"},
      {12000, 512, "11719/500"},  {0, 1, "25"},              {1000, 1, "25"}};
  for (const auto& [num, den, text] : rates) {
    row.Probe.FrameRateNum = num;
    row.Probe.FrameRateDen = den;
    EXPECT_EQ(BuildJob(row, model, prefs).Output.FrameRate, text) << num << "/" << den;
  }
}

TEST_F(BuildJobTest, AutoRateKeepsIrregularPictureTimesWhereTheContainerHoldsThem) {
  TFileRow row{"/media/in/phone.mp4", true, {"640x480", "00:01:00", "MP4", "", "", ""}, {}, {}};
  row.Probe = ProbeFromColumns(row.Columns);
  row.Probe.FrameRateNum = 45;
  row.Probe.FrameRateDen = 2;
  auto keepsTimes = [&] { return BuildJob(row, model, prefs).Output.ExtOptions.find("vsync=2") != std::string::npos; };
  const struct {
    const char* profile;
    bool variableSource;
    bool keeps;
  } cases[] = {{"MP4 - MPEG4 Video (*.mp4)", true, true},  {"MOV - QuickTime Video (*.mov)", true, true},
               {"MKV - H.265/HEVC + Opus (*.mkv)", true, true}, {"WebM - VP9 + Opus (*.webm)", true, true},
               {"AVI - DivX Video (*.avi)", true, false},   {"MP4 - MPEG4 Video (*.mp4)", false, false}};
  for (const auto& c : cases) {
    Choose(c.profile);
    row.Probe.VariableFrameRate = c.variableSource;
    EXPECT_EQ(keepsTimes(), c.keeps) << c.profile << (c.variableSource ? ", variable source" : ", steady source");
  }
  // A rate the user picks is written at that rate.
  Choose("MP4 - MPEG4 Video (*.mp4)");
  row.Probe.VariableFrameRate = true;
  c().ComboVideoFrameRate->SetItemIndex(1);  // the first rate after "Auto"
  ASSERT_NE(c().ComboVideoFrameRate->Text(), "Auto");
  EXPECT_FALSE(keepsTimes());
}

TEST_F(BuildJobTest, FileWithoutVideoGetsNoFrameSize) {
  Choose("MP4 - MPEG4 Video (*.mp4)");
  EXPECT_EQ(Build(" ").Output.FrameSize, "");
  c().ComboBoxLetterbox->SetItemIndex(0);
  c().ComboVideoSize->SelectText("352x288 (CIF)");
  EXPECT_EQ(Build(" ").Output.FrameSize, "352x288");
}

TEST_F(BuildJobTest, DivXTagOnlyForTheDivXProfile) {
  Choose("AVI - DivX Video (*.avi)");
  TJob job = Build();
  EXPECT_EQ(job.Output.VideoTag, "DIVX");
  EXPECT_EQ(job.Output.VideoCodec, "mpeg4");
  EXPECT_EQ(job.Output.AudioCodec, "libmp3lame");
  Choose("HD AVI Video (*.avi)");
  c().ComboVideoCodec->SelectText("DivX");
  job = Build();
  EXPECT_EQ(job.Output.VideoTag, "");
  EXPECT_EQ(job.Output.VideoCodec, "mpeg4");
  // The rate exactly as the list writes it, which the engine reads as it reads "29.97".
  EXPECT_EQ(job.Output.FrameRate, "2997/100");
}

// "Auto" gives the engine no rate or channels, so the source's are kept; a loudness target is passed on.
TEST_F(BuildJobTest, LosslessProfilesKeepTheSourcesSoundAndALoudnessTargetIsPassedOn) {
  Choose("M4A - Apple Lossless (*.m4a)");
  TJob job = Build();
  EXPECT_LE(job.Output.AudioSampleRate, 0);
  EXPECT_LE(job.Output.AudioChannels, 0);
  EXPECT_FALSE(job.Output.AudioLoudness);
  c().ComboSamplingRate->SelectText("48000 Hz");
  c().ComboAudioChannels->SelectText("Mono");
  prefs.Loudness = -16;
  job = Build();
  EXPECT_EQ(job.Output.AudioSampleRate, 48000);
  EXPECT_EQ(job.Output.AudioChannels, 1);
  EXPECT_EQ(job.Output.AudioLoudness, -16);
}

TEST_F(BuildJobTest, AudioProfilesVolumeAndUnknownDuration) {
  Choose("MP3 - Mpeg Layer3 Audio (*.mp3)");
  prefs.SpinVolume = 0;
  TJob job = Build(" ", "00:00:00");
  EXPECT_TRUE(job.Output.DisableVideo);
  EXPECT_EQ(job.Output.VideoCodec, "");
  EXPECT_EQ(job.Output.AudioVolume, 0);
  EXPECT_TRUE(job.Output.DisableAudio);
  EXPECT_EQ(job.Output.RecordingTimeMS, kUnknownDurationLimitMS);
  EXPECT_EQ(job.Output.AudioChannels, 2);
  EXPECT_EQ(job.Output.AudioBitrate, 192000);
  EXPECT_EQ(Build(" ", "Unknown").Output.RecordingTimeMS, 36000000);
  prefs.SpinVolume = 200;
  EXPECT_EQ(Build().Output.AudioVolume, 600);
  EXPECT_FALSE(Build().Output.DisableAudio);
  c().ComboAudioChannels->SelectText("Mono");
  EXPECT_EQ(Build().Output.AudioChannels, 1);
  Choose("BlackBerry AMR Audio (*.amr)");
  EXPECT_EQ(Build().Output.AudioChannels, 1);
  EXPECT_EQ(Build().Output.AudioCodec, "libopencore_amrnb");
  EXPECT_EQ(Build().Output.AudioBitrate, 7400);  // the profile's default
}

// The engine makes the picture, the first sound and the first subtitle
// stream, then one per "newaudio" and "newsubtitle" line: the maps follow
// that order, or the engine refuses the job.
TEST_F(BuildJobTest, TracksAreMappedInTheOrderTheEngineMakesTheStreams) {
  using media::TTrackKind;
  Choose("MKV - H.265/HEVC + Opus (*.mkv)");
  TFileRow row{"/media/in/film.mkv", true, {"640x480", "00:01:00", "MKV", "", "", ""}, {}, {}};
  row.Probe = ProbeFromColumns(row.Columns);
  row.Probe.Tracks = {{0, TTrackKind::Video, "h264", "", "", true, false, false, true, 0},
                      {1, TTrackKind::Audio, "ac3", "eng", "Commentary", false, false, false, true, 2},
                      {2, TTrackKind::Audio, "ac3", "fra", "", true, false, false, true, 6},
                      {3, TTrackKind::Subtitle, "subrip", "eng", "", false, false, false, true, 0},
                      {4, TTrackKind::Subtitle, "hdmv_pgs_subtitle", "fra", "", false, false, true, true, 0}};
  const auto lines = [](const TJob& job) {
    std::vector<std::string> kept;
    for (const auto& [name, value] : encoder::SplitExtOptions(job.Output.ExtOptions))
      if (name == "map" || name.rfind("new", 0) == 0) kept.push_back(name + "=" + value);
    return kept;
  };
  TJob job = BuildJob(row, model, prefs);
  EXPECT_EQ(lines(job), (std::vector<std::string>{"map=0:0", "map=0:2", "map=0:3", "newaudio=libopus", "map=0:1",
                                                  "newsubtitle=copy", "map=0:4"}));
  EXPECT_EQ(job.Output.SubtitleCodec, "copy");
  EXPECT_TRUE(job.Notes.empty());
  // Muted, the output has no sound stream to map.
  prefs.SpinVolume = 0;
  job = BuildJob(row, model, prefs);
  EXPECT_EQ(lines(job), (std::vector<std::string>{"map=0:0", "map=0:3", "newsubtitle=copy", "map=0:4"}));
  // A classic profile: one sound track, and no picture subtitles in MP4.
  prefs.SpinVolume = 100;
  Choose("MP4 - MPEG4 Video (*.mp4)");
  job = BuildJob(row, model, prefs);
  EXPECT_EQ(lines(job), (std::vector<std::string>{"map=0:0", "map=0:2", "map=0:3"}));
  EXPECT_EQ(job.Output.SubtitleCodec, "mov_text");
  EXPECT_EQ(job.Notes, (std::vector<std::string>{
                           "Audio track 1 (eng, \"Commentary\") left out: this format keeps one",
                           "Subtitle track 2 (fra, hdmv_pgs_subtitle) left out: this format holds text subtitles only"}));
}

TEST_F(BuildJobTest, SettingsThatCannotMakeAJobFail) {
  Choose("Xbox360 MPEG4 Video (*.mp4)");
  EXPECT_THROW(Build(), TJobError);  // no audio bitrate picked
  c().ComboAudioBitrate->SetItemIndex(0);
  EXPECT_NO_THROW(Build());
  Choose("Video CD (*.mpg)");
  c().ComboVideoQuality->SetItemIndex(3);
  model.QualityChanged(*c().ComboVideoQuality);
  EXPECT_THROW(Build(), TJobError);  // "Lower" selects no video bitrate here
}

}  // namespace
}  // namespace strella::app
