// Sources with several tracks through whole conversions: which sound tracks,
// subtitles, chapters and covers each kind of profile keeps, with their
// language, title and default mark, as ffprobe reads the outputs; and what
// the row tells of the tracks left out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

const std::vector<fixtures::SubtitleCue> kCues = {{0.2, 0.9, "First cue"}, {1.1, 1.7, "Second cue"}};

// Test processes running at the same time share the fixture folder: each file
// is written under a name of this process and renamed into place whole.
std::string TemporaryName(const std::string& name) {
  return fixtures::Dir() + "/.tmp-" + std::to_string(::getpid()) + "-" + name;
}

std::string WriteFixtureText(const std::string& name, const std::string& text) {
  const std::string path = fixtures::Dir() + "/" + name;
  std::ofstream(TemporaryName(name), std::ios::binary) << text;
  std::filesystem::rename(TemporaryName(name), path);
  return path;
}

std::string BitmapSubtitled(const std::string& name, const std::string& codec) {
  fixtures::FixtureSpec recipe{name};
  recipe.video = fixtures::VideoSpec{};
  recipe.subtitles = kCues;
  recipe.subtitle_codec = codec;
  return fixtures::Make(recipe);
}

// Two seconds of the test pattern with sound track 1 (eng, "Commentary", not
// default) and sound track 2 (fra, "Dialogue", the default); subtitles SubRip
// (eng), ASS (spa), DVD (eng, "Signs") and DVB (fra); two chapters.
const std::string& TracksSource() {
  static const std::string path = [] {
    const std::string dvd = BitmapSubtitled("tracks_dvd.mkv", "dvd_subtitle");
    const std::string dvb = BitmapSubtitled("tracks_dvb.mkv", "dvb_subtitle");
    const std::string srt = WriteFixtureText("tracks.srt",
                                             "1\n00:00:00,200 --> 00:00:00,900\nFirst cue\n\n"
                                             "2\n00:00:01,100 --> 00:00:01,700\nSecond cue\n");
    const std::string ass = WriteFixtureText(
        "tracks.ass",
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 240\n\n[V4+ Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, Bold, Italic, Alignment, MarginL, MarginR, MarginV\n"
        "Style: Default,Sans,20,&H00FFFFFF,0,0,2,10,10,10\n\n[Events]\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
        "Dialogue: 0,0:00:00.20,0:00:00.90,Default,,0,0,0,,Erster Satz\n"
        "Dialogue: 0,0:00:01.10,0:00:01.70,Default,,0,0,0,,Zweiter Satz\n");
    const std::string chapters = WriteFixtureText("tracks_chapters.txt",
                                                  ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                                                  "title=Opening\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\n"
                                                  "title=Ending\n");
    const std::string out = fixtures::Dir() + "/tracks.mkv";
    const std::string written = TemporaryName("tracks.mkv");
    const auto [status, log] = Shell(
        "ffmpeg -v error -y -i " + Quote(dvd) + " -f lavfi -i sine=f=440:d=2 -f lavfi -i sine=f=880:d=2 -i " +
        Quote(srt) + " -i " + Quote(ass) + " -i " + Quote(dvb) + " -i " + Quote(chapters) +
        " -map 0:v -map 1:a -map 2:a -map 3:s -map 4:s -map 0:s -map 5:s -map_chapters 6 -c:v copy -c:a mp3 -c:s copy"
        " -metadata:s:a:0 language=eng -metadata:s:a:0 title=Commentary -disposition:a:0 0"
        " -metadata:s:a:1 language=fra -metadata:s:a:1 title=Dialogue -disposition:a:1 default"
        " -metadata:s:s:0 language=eng -metadata:s:s:1 language=spa -metadata:s:s:2 language=eng"
        " -metadata:s:s:2 title=Signs -metadata:s:s:3 language=fra -t 2 " +
        Quote(written));
    if (status != 0) throw std::runtime_error("the tracks fixture: " + log);
    std::filesystem::rename(written, out);
    return out;
  }();
  return path;
}

// Each picture, sound and subtitle stream as "kind codec language "title"
// [default]", in the file's order (MP4 and MOV add a data track for chapters).
std::vector<std::string> Streams(const std::string& file) {
  const std::string text = Shell("ffprobe -v error -show_entries stream=codec_type,codec_name:stream_tags=language,title:"
                                 "stream_disposition=default -of compact=p=0 " + Quote(file)).second;
  std::vector<std::string> streams;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::map<std::string, std::string> fields;
    std::istringstream items(line);
    for (std::string item; std::getline(items, item, '|');)
      if (const size_t eq = item.find('='); eq != std::string::npos) fields[item.substr(0, eq)] = item.substr(eq + 1);
    if (fields["codec_type"] == "data") continue;
    std::string stream = fields["codec_type"] + " " + fields["codec_name"];
    if (!fields["tag:language"].empty() && fields["tag:language"] != "und") stream += " " + fields["tag:language"];
    if (!fields["tag:title"].empty()) stream += " \"" + fields["tag:title"] + "\"";
    if (fields["disposition:default"] == "1") stream += " default";
    streams.push_back(stream);
  }
  return streams;
}

std::string ChapterTitles(const std::string& file) {
  return Shell("ffprobe -v error -show_entries chapter_tags=title -of csv=p=0 " + Quote(file)).second;
}

struct TrackCase {
  const char* label;
  const char* profile;
  const char* extension;
  std::vector<std::string> streams;
  std::vector<std::string> notes;
  bool chapters;
};
void PrintTo(const TrackCase& c, std::ostream* os) { *os << c.label; }

class Tracks : public ::testing::TestWithParam<TrackCase> {};

// The row ends Done whatever tracks its format cannot hold, and says which it left out.
TEST_P(Tracks, EachProfileKeepsTheTracksItsFormatHoldsAndNamesTheOthers) {
  const TrackCase& c = GetParam();
  const std::string folder = fixtures::ScratchDir(std::string("tracks_") + c.label);
  const auto [status, log] = RunCli({"-p", c.profile, "-o", folder, TracksSource()});
  ASSERT_EQ(status, 0) << log;
  EXPECT_NE(log.find("Done"), std::string::npos) << log;
  const std::string output = folder + "/tracks." + c.extension;
  EXPECT_EQ(Streams(output), c.streams);
  for (const std::string& note : c.notes) EXPECT_NE(log.find("note: " + note), std::string::npos) << note << "\n" << log;
  EXPECT_EQ(ChapterTitles(output), c.chapters ? "Opening\nEnding\n" : "");
  // The cues themselves, not only a stream that names them.
  const bool subtitled = std::any_of(c.streams.begin(), c.streams.end(),
                                     [](const std::string& stream) { return stream.rfind("subtitle", 0) == 0; });
  EXPECT_EQ(Shell("ffmpeg -v error -i " + Quote(output) + " -map 0:s:0 -f srt -").second.find("Second cue") !=
                std::string::npos,
            subtitled);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, Tracks,
    ::testing::Values(
        TrackCase{"MkvKeepsEveryTrack",
                  "MKV - H.265/HEVC + Opus (*.mkv)",
                  "mkv",
                  {"video hevc", "audio opus fra \"Dialogue\" default", "subtitle subrip eng",
                   "audio opus eng \"Commentary\"", "subtitle ass spa", "subtitle dvd_subtitle eng \"Signs\"",
                   "subtitle dvb_subtitle fra"},
                  {},
                  true},
        TrackCase{"Mp4TurnsTextIntoTimedTextAndLeavesBitmapsOut",
                  "MP4 - H.264 + AAC (*.mp4)",
                  "mp4",
                  {"video h264 default", "audio aac fra default", "subtitle mov_text eng default", "audio aac eng",
                   "subtitle mov_text spa"},
                  {"Subtitle track 3 (eng, \"Signs\", dvd_subtitle) left out: this format holds text subtitles only",
                   "Subtitle track 4 (fra, dvb_subtitle) left out: this format holds text subtitles only"},
                  true},
        TrackCase{"WebmTurnsTextIntoWebVtt",
                  "WebM - VP9 + Opus (*.webm)",
                  "webm",
                  {"video vp9", "audio opus fra \"Dialogue\" default", "subtitle webvtt eng",
                   "audio opus eng \"Commentary\"", "subtitle webvtt spa"},
                  {"Subtitle track 3 (eng, \"Signs\", dvd_subtitle) left out: this format holds text subtitles only"},
                  true},
        TrackCase{"ClassicMovKeepsTheDefaultSoundTrack",
                  "MOV - QuickTime Video (*.mov)",
                  "mov",
                  {"video mpeg4 default", "audio aac fra default", "subtitle mov_text eng default",
                   "subtitle mov_text spa"},
                  {"Audio track 1 (eng, \"Commentary\") left out: this format keeps one"},
                  true},
        TrackCase{"ClassicAviHoldsNoSubtitles",
                  "AVI - Audio Video Interleave (*.avi)",
                  "avi",
                  {"video mpeg4", "audio pcm_s16le \"Dialogue\""},
                  {"Audio track 1 (eng, \"Commentary\") left out: this format keeps one",
                   "Subtitle track 1 (eng, subrip) left out: this format holds no subtitles",
                   "Subtitle track 4 (fra, dvb_subtitle) left out: this format holds no subtitles"},
                  false}),
    [](const auto& info) { return std::string(info.param.label); });

// The bytes of the file's first picture stream, as an MD5 sum.
std::string PictureSum(const std::string& file) {
  return Shell("ffmpeg -v error -i " + Quote(file) + " -map 0:v:0 -c copy -f md5 -").second;
}

// An MP3 with a PNG cover drawn from the test pattern.
const std::string& CoveredMp3() {
  static const std::string path = [] {
    const std::string out = fixtures::Dir() + "/covered.mp3";
    const auto [status, log] =
        Shell("ffmpeg -v error -y -i " + Quote(fixtures::Path("tone.mp3")) +
              " -f lavfi -i testsrc=s=96x96:d=1 -frames:v 1 -map 0:a -map 1:v -c:a copy -c:v png"
              " -disposition:v attached_pic " + Quote(TemporaryName("covered.mp3")));
    if (status != 0) throw std::runtime_error("the covered MP3 fixture: " + log);
    std::filesystem::rename(TemporaryName("covered.mp3"), out);
    return out;
  }();
  return path;
}

TEST(Covers, EveryAudioFormatThatHoldsACoverKeepsItByteForByte) {
  const std::string source = CoveredMp3();
  const std::string sum = PictureSum(source);
  ASSERT_NE(sum.find("MD5="), std::string::npos) << sum;
  const std::vector<std::pair<std::string, std::string>> profiles = {
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", "mp3"}, {"M4A - Mpeg4 Audio File (*.m4a)", "m4a"},
      {"M4A - Apple Lossless (*.m4a)", "m4a"},    {"FLAC - Lossless Audio (*.flac)", "flac"},
      {"Opus Audio (*.opus)", "opus"}};
  for (const auto& [profile, extension] : profiles) {
    SCOPED_TRACE(profile);
    const std::string folder = fixtures::ScratchDir("covers_" + extension);
    const auto [status, log] = RunCli({"-p", profile, "-o", folder, source});
    ASSERT_EQ(status, 0) << log;
    const std::string output = folder + "/covered." + extension;
    EXPECT_EQ(PictureSum(output), sum);
    EXPECT_NE(Shell("ffprobe -v error -show_entries stream_disposition=attached_pic -of csv=p=0 " + Quote(output))
                  .second.find('1'),
              std::string::npos);
  }
}

}  // namespace
}  // namespace strella::cli
