// The probe against the generated fixtures: stream counts and indexes, file
// and video-stream information, every failure message and the no-file state.
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

namespace fs = std::filesystem;
using namespace strella::media;
namespace fx = strella::fixtures;

namespace {

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { fx::EnsureLibraries(); }

  void ExpectNoFile(const TAVProbe& probe) {
    EXPECT_EQ(probe.FormatContext(), nullptr);
    EXPECT_EQ(probe.FormatName(), "");
    const int counters[] = {probe.StreamCount(),         probe.ProgramCount(),        probe.AudioStreamCount(),
                            probe.VideoStreamCount(),    probe.SubtitleStreamCount(), probe.FirstAudioStream(),
                            probe.FirstVideoStream(),    probe.FirstSubtitleStream()};
    for (int counter : counters) EXPECT_EQ(counter, -1);
  }

  static void ExpectEmptyVideoInfo(const TVideoStreamInfo& info) {
    EXPECT_EQ(info.Language, "");
    EXPECT_EQ(info.CodecName, "");
    const int64_t numbers[] = {info.StartTime, info.StartTimeUS, info.Duration, info.DurationUS, info.BitRate,
                               info.Height,    info.Width,       info.PixelFormat, info.FrameRateNum,
                               info.FrameRateDen};
    for (int64_t number : numbers) EXPECT_EQ(number, -1);
    EXPECT_EQ(info.AspectRatio, -1.0f);
  }

  TAVProbe probe;
};

// Library lines logged without a context, as the sink receives them.
class LibraryLogCapture {
 public:
  LibraryLogCapture() {
    TFFLogger::Instance().SetOnLog([this](const void*, uint64_t, int64_t, TLogLevel level, const std::string& text) {
      std::lock_guard guard(lock_);
      lines_.push_back({level, text});
    });
  }
  ~LibraryLogCapture() { TFFLogger::Instance().SetOnLog(nullptr); }
  bool Has(TLogLevel level, const std::string& text) {
    ProcessThreadMessages();
    std::lock_guard guard(lock_);
    for (const auto& line : lines_)
      if (line.first == level && line.second == text) return true;
    return false;
  }

 private:
  std::mutex lock_;
  std::vector<std::pair<TLogLevel, std::string>> lines_;
};

}  // namespace

TEST_F(ProbeTest, CountsStreamsByKind) {
  const struct {
    const char* file;
    int streams, audio, video, subtitle, firstAudio, firstVideo, firstSubtitle;
  } cases[] = {
      {"data_stream.ts", 3, 1, 1, 0, 2, 0, -1},  // video, data, audio
      {"clip.mp4", 2, 1, 1, 0, 1, 0, -1},
      {"clip.mkv", 2, 1, 1, 0, 1, 0, -1},
      {"tone.wav", 1, 1, 0, 0, 0, -1, -1},
      {"video_only.mp4", 1, 0, 1, 0, -1, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(probe.LoadFile(fx::Path(c.file))) << probe.LastErrMsg();
    EXPECT_TRUE(probe.OwnsContext());
    EXPECT_EQ(probe.StreamCount(), c.streams);
    EXPECT_EQ(probe.AudioStreamCount(), c.audio);
    EXPECT_EQ(probe.VideoStreamCount(), c.video);
    EXPECT_EQ(probe.SubtitleStreamCount(), c.subtitle);
    EXPECT_EQ(probe.FirstAudioStream(), c.firstAudio);
    EXPECT_EQ(probe.FirstVideoStream(), c.firstVideo);
    EXPECT_EQ(probe.FirstSubtitleStream(), c.firstSubtitle);
  }
  EXPECT_EQ(probe.ProgramCount(), 0);
  ASSERT_TRUE(probe.LoadFile(fx::Path("data_stream.ts")));
  EXPECT_EQ(probe.ProgramCount(), 1);
}

TEST_F(ProbeTest, DescribesTheVideoStream) {
  ASSERT_TRUE(probe.LoadFile(fx::Path("clip.mp4")));
  TVideoStreamInfo info;
  ASSERT_TRUE(probe.GetVideoStreamInfo(info)) << probe.LastErrMsg();
  EXPECT_EQ(info.Width, 320);
  EXPECT_EQ(info.Height, 240);
  EXPECT_EQ(info.CodecName, "mpeg4(MPEG-4 part 2)");
  EXPECT_EQ(info.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(info.FrameRateNum, 25);
  EXPECT_EQ(info.FrameRateDen, 1);
  EXPECT_FLOAT_EQ(info.AspectRatio, 320.0f / 240.0f);
  EXPECT_EQ(info.StartTimeUS, 0);
  EXPECT_NEAR(info.DurationUS, 2000000, 50000);
  const AVStream* stream = probe.FormatContext()->streams[0];
  EXPECT_EQ(info.Duration, stream->duration);
  EXPECT_EQ(info.DurationUS, ff::av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q));
  EXPECT_GT(info.BitRate, 0);
  EXPECT_EQ(info.Language, "und");  // mp4 marks a stream without language so

  TVideoStreamInfo byIndex;
  ASSERT_TRUE(probe.GetVideoStreamInfo(0, byIndex));
  EXPECT_EQ(byIndex.Width, info.Width);
  EXPECT_EQ(byIndex.DurationUS, info.DurationUS);
}

// A phone's portrait clip: stored 320x240 with a display matrix turning it a quarter.
TEST_F(ProbeTest, TurnedStreamReportsTheUprightPicture) {
  const std::string plain = fx::Dir() + "/probe_upright.mp4", turned = fx::Dir() + "/probe_turned.mov";
  const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 0.2 -c:v mpeg4 '" + plain +
                           "' && (ffmpeg -v error -y -display_rotation 90 -i '" + plain + "' -c copy '" + turned +
                           "' 2>/dev/null || ffmpeg -v error -y -i '" + plain + "' -c copy -metadata:s:v:0 rotate=90 '" +
                           turned + "')";
  ASSERT_EQ(std::system(make.c_str()), 0);
  ASSERT_TRUE(probe.LoadFile(turned)) << probe.LastErrMsg();
  TVideoStreamInfo info;
  ASSERT_TRUE(probe.GetVideoStreamInfo(info));
  EXPECT_TRUE(info.Rotation == 90 || info.Rotation == 270) << info.Rotation;
  EXPECT_EQ(info.Width, 240);
  EXPECT_EQ(info.Height, 320);
  EXPECT_FLOAT_EQ(info.AspectRatio, 240.0f / 320.0f);

  ASSERT_TRUE(probe.LoadFile(plain));
  ASSERT_TRUE(probe.GetVideoStreamInfo(info));
  EXPECT_EQ(info.Rotation, 0);
  EXPECT_EQ(info.Width, 320);
}

TEST_F(ProbeTest, AspectRatioFollowsTheSampleAspect) {
  const struct {
    const char* file;
    float aspect;
  } cases[] = {{"pal_square.mp4", 1.25f}, {"pal_sar16x15.mp4", 720.0f * 16 / (576.0f * 15)}};
  for (const auto& c : cases) {
    ASSERT_TRUE(probe.LoadFile(fx::Path(c.file))) << c.file;
    TVideoStreamInfo info;
    ASSERT_TRUE(probe.GetVideoStreamInfo(info));
    EXPECT_EQ(info.Width, 720);
    EXPECT_EQ(info.Height, 576);
    EXPECT_FLOAT_EQ(info.AspectRatio, c.aspect) << c.file;
  }
}

TEST_F(ProbeTest, UnknownSampleAspectOrHeightGivesZero) {
  ASSERT_TRUE(probe.LoadFile(fx::Path("pal_square.mp4")));
  AVCodecParameters* parameters = probe.FormatContext()->streams[0]->codecpar;
  TVideoStreamInfo info;
  const struct {
    AVRational sar;
    int height;
  } cases[] = {{{0, 1}, 576}, {{1, 0}, 576}, {{0, 0}, 576}, {{1, 1}, 0}};
  for (const auto& c : cases) {
    parameters->sample_aspect_ratio = c.sar;
    parameters->height = c.height;
    ASSERT_TRUE(probe.GetVideoStreamInfo(info));
    EXPECT_EQ(info.AspectRatio, 0.0f) << c.sar.num << "/" << c.sar.den << " height " << c.height;
  }
}

TEST_F(ProbeTest, FileInformationAndTags) {
  fx::FixtureSpec recipe{"video_only.mkv"};  // tags are set below
  recipe.video = fx::VideoSpec{};
  ASSERT_TRUE(probe.LoadFile(fx::Make(recipe)));
  TFileStreamInfo info;
  ASSERT_TRUE(probe.GetFileStreamInfo(info));
  EXPECT_EQ(info.StartTime, 0);
  EXPECT_NEAR(info.Duration, 2000000, 50000);
  EXPECT_EQ(info.Title, "");
  EXPECT_EQ(info.Year, 0);
  EXPECT_EQ(info.Track, 0);
  EXPECT_EQ(info.Timestamp, 0);

  // Tags as today's demuxers report them.
  AVDictionary*& tags = probe.FormatContext()->metadata;
  ff::av_dict_set(&tags, "title", "Sunset", 0);
  ff::av_dict_set(&tags, "artist", "Ana", 0);
  ff::av_dict_set(&tags, "copyright", "(c) Ana", 0);
  ff::av_dict_set(&tags, "comment", "first cut", 0);
  ff::av_dict_set(&tags, "album", "Holidays", 0);
  ff::av_dict_set(&tags, "genre", "Home", 0);
  ff::av_dict_set(&tags, "date", "2009-05-01", 0);
  ff::av_dict_set(&tags, "track", "3/12", 0);
  ff::av_dict_set(&tags, "creation_time", "2010-01-02T03:04:05.000000Z", 0);
  ASSERT_TRUE(probe.GetFileStreamInfo(info));
  EXPECT_EQ(info.Title, "Sunset");
  EXPECT_EQ(info.Author, "Ana");
  EXPECT_EQ(info.Copyright, "(c) Ana");
  EXPECT_EQ(info.Comment, "first cut");
  EXPECT_EQ(info.Album, "Holidays");
  EXPECT_EQ(info.Genre, "Home");
  EXPECT_EQ(info.Year, 2009);
  EXPECT_EQ(info.Track, 3);
  EXPECT_EQ(info.Timestamp, 1262401445LL * 1000000);

  ff::av_dict_set(&tags, "date", nullptr, 0);
  ff::av_dict_set(&tags, "year", "1999", 0);
  ff::av_dict_set(&tags, "AUTHOR", "Ben", 0);  // keys match regardless of case
  ASSERT_TRUE(probe.GetFileStreamInfo(info));
  EXPECT_EQ(info.Year, 1999);
  EXPECT_EQ(info.Author, "Ben");
}

TEST_F(ProbeTest, UnknownDurationGivesMinusOne) {
  fx::FixtureSpec recipe{"unknown_duration.m4v", "m4v"};
  recipe.video = fx::VideoSpec{};
  ASSERT_TRUE(probe.LoadFile(fx::Make(recipe))) << probe.LastErrMsg();
  TFileStreamInfo file;
  ASSERT_TRUE(probe.GetFileStreamInfo(file));
  EXPECT_EQ(file.Duration, -1);
  TVideoStreamInfo video;
  ASSERT_TRUE(probe.GetVideoStreamInfo(video));
  EXPECT_EQ(video.Duration, AV_NOPTS_VALUE);
  EXPECT_EQ(video.DurationUS, -1);
  EXPECT_EQ(video.Width, 320);
}

TEST_F(ProbeTest, VideoStreamErrors) {
  LibraryLogCapture log;
  TVideoStreamInfo info;
  ASSERT_TRUE(probe.LoadFile(fx::Path("tone.wav")));
  EXPECT_FALSE(probe.GetVideoStreamInfo(info));
  EXPECT_EQ(probe.LastErrMsg(), "no video stream.");
  ExpectEmptyVideoInfo(info);
  EXPECT_TRUE(log.Has(llError, "no video stream."));

  ASSERT_TRUE(probe.LoadFile(fx::Path("data_stream.ts")));
  EXPECT_FALSE(probe.GetVideoStreamInfo(3, info));
  EXPECT_EQ(probe.LastErrMsg(), "stream index #3 is invalid.");
  EXPECT_TRUE(log.Has(llError, "stream index #3 is invalid."));
  for (int index : {1, 2}) {
    EXPECT_FALSE(probe.GetVideoStreamInfo(index, info));
    EXPECT_EQ(probe.LastErrMsg(), "stream #" + std::to_string(index) + " is not video stream.");
    ExpectEmptyVideoInfo(info);
  }
  EXPECT_TRUE(log.Has(llError, "stream #2 is not video stream."));
}

TEST_F(ProbeTest, InformationWithoutAFile) {
  LibraryLogCapture log;
  TFileStreamInfo file;
  file.Title = "stale";
  EXPECT_FALSE(probe.GetFileStreamInfo(file));
  EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
  EXPECT_EQ(file.Title, "");
  const int64_t numbers[] = {file.StartTime, file.Duration, file.BitRate, file.Timestamp, file.Year, file.Track};
  for (int64_t number : numbers) EXPECT_EQ(number, -1);
  TVideoStreamInfo video;
  EXPECT_FALSE(probe.GetVideoStreamInfo(video));
  ExpectEmptyVideoInfo(video);
  EXPECT_TRUE(log.Has(llWarning, "file not loaded."));
  ExpectNoFile(probe);
}

TEST_F(ProbeTest, FailedLoadsLeaveNoFile) {
  const std::string missing = fx::ScratchDir("probe_missing") + "/no such.mp4";
  const struct {
    std::string file;
    std::string format;
    std::string message;
  } cases[] = {
      {missing, "", missing + ": no such file or directory"},
      {fx::Path("empty.mp4"), "", fx::Path("empty.mp4") + ": Error while parsing header"},
      {fx::Path("truncated.mp4"), "", fx::Path("truncated.mp4") + ": Error while parsing header"},
      {fx::Path("clip.mp4"), "nosuchformat", "Unknown input format: nosuchformat"},
      {fx::Path("tone.wav"), "mpegts", fx::Path("tone.wav") + ": could not find codec parameters"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + c.format);
    ASSERT_TRUE(probe.LoadFile(fx::Path("clip.mp4")));
    EXPECT_FALSE(probe.LoadFile(c.file, c.format));
    EXPECT_EQ(probe.LastErrMsg(), c.message);
    ExpectNoFile(probe);
  }
  // A later success keeps the old text.
  ASSERT_TRUE(probe.LoadFile(fx::Path("clip.mp4"), "mp4"));
  EXPECT_EQ(probe.FormatName(), "mp4");
  EXPECT_EQ(probe.LastErrMsg(), cases[4].message);
}

TEST_F(ProbeTest, OpensOddNamesAndProtocolLookalikes) {
  ASSERT_TRUE(probe.LoadFile(fx::Path(fx::kOddName))) << probe.LastErrMsg();
  EXPECT_EQ(probe.VideoStreamCount(), 1);
  const std::string dir = fx::ScratchDir("probe_protocol_name");
  const std::string lookalike = dir + "/udp:clip.mp4";
  fs::copy_file(fx::Path("clip.mp4"), lookalike);
  const std::string cwd = fs::current_path();
  fs::current_path(dir);
  const bool loaded = probe.LoadFile("udp:clip.mp4");
  fs::current_path(cwd);
  EXPECT_TRUE(loaded) << probe.LastErrMsg();
  EXPECT_EQ(probe.StreamCount(), 2);
}

TEST_F(ProbeTest, AttachedContextStaysWithItsOwner) {
  AVFormatContext* owned = nullptr;
  ASSERT_EQ(ff::avformat_open_input(&owned, fx::Path("clip.mp4").c_str(), nullptr, nullptr), 0);
  ASSERT_GE(ff::avformat_find_stream_info(owned, nullptr), 0);
  probe.AttachFormatContext(owned);
  EXPECT_FALSE(probe.OwnsContext());
  EXPECT_EQ(probe.FormatContext(), owned);
  EXPECT_EQ(probe.StreamCount(), 2);
  TVideoStreamInfo info;
  EXPECT_TRUE(probe.GetVideoStreamInfo(info));
  probe.AttachFormatContext(nullptr);
  ExpectNoFile(probe);
  // Still open: its streams can be read.
  AVPacket* packet = ff::av_packet_alloc();
  EXPECT_EQ(ff::av_read_frame(owned, packet), 0);
  ff::av_packet_free(&packet);
  ff::avformat_close_input(&owned);
}

TEST_F(ProbeTest, MissingLibrariesThrowAndChangeNothing) {
  ASSERT_TRUE(probe.LoadFile(fx::Path("clip.mp4")));
  const std::string other = fx::Path("tone.wav");  // the fixtures load the libraries again
  FFLoader().UnloadLib(ltSwScale);
  try {
    probe.LoadFile(other);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "LibSwScale not loaded.");
  }
  EXPECT_THROW(probe.AttachFormatContext(nullptr), std::runtime_error);
  FFLoader().LoadLibs(kEncoderLibraries);
  EXPECT_EQ(probe.StreamCount(), 2);
  EXPECT_NE(probe.FormatContext(), nullptr);
}

TEST_F(ProbeTest, SearchesStreamParametersUnderTheCodecLock) {
  const std::string file = fx::Path("clip.mp4");
  std::atomic<bool> loaded = false;
  std::unique_lock held(CodecLock());
  std::thread worker([&] { loaded = probe.LoadFile(file); });
  // A load that does not happen can only be watched for a while.
  EXPECT_FALSE(fx::WaitUntil([&] { return loaded.load(); }, std::chrono::milliseconds(300)))
      << "loaded while another thread held the codec lock";
  held.unlock();
  worker.join();
  EXPECT_TRUE(loaded);
}

TEST(ProbeRepeat, ThousandProbesLeaveNothingOpen) {
  fx::EnsureLibraries();
  const std::string files[] = {fx::Path("clip.mp4"), fx::Path("data_stream.ts"), fx::Path("truncated.mp4"),
                               fx::Path("empty.mp4"), fx::Path("tone.wav")};
  {
    TAVProbe warmUp;  // the first open loads the library's own helpers once
    for (const auto& file : files) warmUp.LoadFile(file);
  }
  const int before = fx::CountOpenFiles();
  TAVProbe reused;
  for (int i = 0; i < 1000; ++i) {
    const std::string& file = files[i % 5];
    if (i % 2) {
      TAVProbe fresh;
      fresh.LoadFile(file);
    } else {
      reused.LoadFile(file);
    }
  }
  reused.CloseFile();
  EXPECT_EQ(fx::CountOpenFiles(), before);
}
