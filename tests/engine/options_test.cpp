// The option dispatcher and its handlers: values stored, kinds converted and
// every message a user can reach through an option.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/engine_state.h"
#include "media/logger.h"
#include "media/main_thread.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

struct Refusal {
  const char* label;
  std::vector<std::pair<std::string, std::string>> before;  // options set first
  std::string name, value, message;
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class OptionRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(OptionRefusal, RaisesItsMessage) {
  const Refusal& c = GetParam();
  EngineRun run;
  run.Options(c.before);
  try {
    run.engine->ParseOption(c.name, c.value);
    FAIL() << c.name << "=" << c.value << " was accepted";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(std::string(e.what()), c.message);
  }
}

std::string SixtyThree() {
  std::string text;
  for (int i = 0; i < 63; ++i) text += (i ? "," : "") + std::to_string(i + 1);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OptionRefusal,
    ::testing::Values(
        Refusal{"VerbosityNotAnInteger", {}, "v", "abc", "'abc' is not a valid integer value"},
        Refusal{"SampleRateEmpty", {}, "ar", "", "'' is not a valid integer value"},
        Refusal{"AudioQualityNotANumber", {}, "aq", "1,5x", "'1,5x' is not a valid floating point value"},
        Refusal{"ThreadsNotImplemented", {}, "threads", "2", "TODO: option - threads"},
        Refusal{"UnknownFormat", {}, "f", "nosuchformat", "Unknown input or output format: nosuchformat"},
        Refusal{"DurationNotATime", {}, "t", "abc", "Invalid duration specification for t: abc"},
        Refusal{"TimestampNotADate", {}, "timestamp", "abc", "Invalid date specification for timestamp: abc"},
        Refusal{"TimeScaleStreamIndexTooHigh", {}, "itsscale", "25:1.5", "stream index over MAX_STREAMS(20)"},
        Refusal{"MetadataWithoutEquals", {}, "metadata", "title", "Missing ="},
        Refusal{"FrameRateNotARate", {}, "r", "fast", "Incorrect frame rate"},
        Refusal{"FrameSizeNotASize", {}, "s", "big", "Incorrect frame size"},
        Refusal{"FrameSizeOdd", {}, "s", "641x480", "Frame size must be a multiple of 2"},
        Refusal{"PadTopOdd", {}, "padtop", "45", "Frame size must be a multiple of 2"},
        Refusal{"PadRightOdd", {}, "padright", "7", "Frame size must be a multiple of 2"},
        Refusal{"AspectOverZero", {}, "aspect", "4:0", "Incorrect aspect ratio specification."},
        Refusal{"AspectZero", {}, "aspect", "0", "Incorrect aspect ratio specification."},
        Refusal{"UnknownPixelFormat", {}, "pix_fmt", "nosuchformat", "Unknown pixel format requested: nosuchformat"},
        Refusal{"CropBeyondTheHeight", {{"s", "640x480"}, {"croptop", "10"}}, "croptop", "470",
                "Vertical crop dimensions are outside the range of the original image.\n"
                "Remember to crop first and scale second."},
        Refusal{"CropBeyondTheWidth", {}, "cropleft", "0",
                "Horizontal crop dimensions are outside the range of the original image.\n"
                "Remember to crop first and scale second."},
        Refusal{"QScaleZero", {}, "qscale", "0", "qscale must be > 0.0 and <= 255"},
        Refusal{"QScaleAbove255", {}, "qscale", "256", "qscale must be > 0.0 and <= 255"},
        Refusal{"VideoTagOfThreeCharacters", {}, "vtag", "DIV", "video tag parameter must be 4 chars"},
        Refusal{"AudioTagOfFiveCharacters", {}, "atag", "abcde", "audio tag parameter must be 4 chars"},
        Refusal{"SubtitleTagOfOneCharacter", {}, "stag", "x", "subtitle tag parameter must be 4 chars"},
        Refusal{"PassThree", {}, "pass", "3", "pass number can be only 1 or 2"},
        Refusal{"MissingHookModule", {}, "vhook", "/nonexistent/hook.so -x",
                "Failed to add video hook function: /nonexistent/hook.so -x"},
        Refusal{"IntraMatrixShortOfOne", {}, "intra_matrix", SixtyThree(),
                "Syntax error in matrix \"" + SixtyThree() + "\" at coeff 62"},
        Refusal{"UnknownBitstreamFilter", {}, "vbsf", "nosuchfilter=1", "Unknown bitstream filter nosuchfilter"},
        Refusal{"NewVideoWithoutOutput", {}, "newvideo", "", "At least one output file must be specified"},
        Refusal{"NewAudioWithoutOutput", {}, "newaudio", "", "At least one output file must be specified"},
        Refusal{"NewSubtitleWithoutOutput", {}, "newsubtitle", "", "At least one output file must be specified"},
        Refusal{"UnknownLogLevel", {}, "loglevel", "loud", "Invalid log level \"loud\""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OptionTables, RefuseMoreMapsThanTheirTables) {
  EngineRun run;
  for (int i = 0; i < MAX_STREAM_SLOTS; ++i) run.engine->ParseOption("map", "0.0");
  EXPECT_THROW(run.engine->ParseOption("map", "0.0"), FFmpegException);
  EXPECT_EQ(run.engine->State().stream_maps.size(), static_cast<size_t>(MAX_STREAM_SLOTS));
  for (int i = 0; i < MAX_FILE_COUNT; ++i) run.engine->ParseOption("map_meta_data", "0:0");
  try {
    run.engine->ParseOption("map_meta_data", "0:0");
    FAIL();
  } catch (const FFmpegException& e) {
    EXPECT_EQ(std::string(e.what()), "Too many metadata maps: at most 20 are allowed");
  }
}

TEST(OptionValues, DefaultsOfAFreshEngine) {
  EngineRun run;
  const TOptionValues& o = run.engine->State().opt;
  EXPECT_EQ(o.thread_count, 0);
  EXPECT_EQ(o.audio_sample_rate, 44100);
  EXPECT_EQ(o.audio_channels, 2);
  EXPECT_EQ(o.recording_time, INT64_MAX);
  EXPECT_EQ(o.padcolor[0], 16);
  EXPECT_EQ(o.audio_volume, 256);
  EXPECT_EQ(o.video_sync_method, -1);
  EXPECT_FLOAT_EQ(o.mux_preload, 0.5f);
  EXPECT_FLOAT_EQ(o.mux_max_delay, 0.7f);
  EXPECT_FLOAT_EQ(o.dts_delta_threshold, 10.0f);
  EXPECT_EQ(o.intra_dc_precision, 8);
  EXPECT_EQ(o.max_frames[0], 2147483647);
  EXPECT_EQ(run.engine->ReportInterval(), 500000);
  EXPECT_EQ(run.engine->PreviewInterval(), 100000);
  EXPECT_EQ(run.engine->TotalDuration(), -1);
}

TEST(OptionValues, KindsAndHandlersStoreWhatTheySay) {
  EngineRun run;
  TCustomFFmpeg& e = *run.engine;
  const TOptionValues& o = e.State().opt;
  e.ParseOption("vn", "");
  EXPECT_TRUE(o.video_disable);
  e.ParseOption("vn", "0");
  EXPECT_FALSE(o.video_disable);
  e.ParseOption("copyts", "0");
  EXPECT_TRUE(o.copy_ts);
  e.ParseOption("ar", "0");
  EXPECT_EQ(o.audio_sample_rate, 44100);
  e.ParseOption("vol", "-5");
  EXPECT_EQ(o.audio_volume, -5);
  e.ParseOption("v", "$1F");
  EXPECT_EQ(o.verbose, 31);
  e.ParseOption("fs", " 0x10");
  EXPECT_EQ(o.limit_filesize, 16);
  e.ParseOption("t", "00:01:30");
  EXPECT_EQ(o.recording_time, 90000000);
  EXPECT_EQ(e.TotalDuration(), 90000);
  e.ParseOption("t", "0");
  EXPECT_EQ(o.recording_time, 90000000);
  e.ParseOption("timestamp", "1970-01-02T00:00:00Z");
  EXPECT_EQ(o.rec_timestamp, 86400);
  e.ParseOption("s", "640x480");
  e.ParseOption("croptop", "10");
  EXPECT_EQ(o.frame_height, 470);
  EXPECT_EQ(o.frame_topBand, 10);
  e.ParseOption("croptop", "-1");
  EXPECT_EQ(o.frame_topBand, 10);
  e.ParseOption("aspect", "16:9");
  EXPECT_NEAR(o.frame_aspect_ratio, 16.0 / 9, 1e-4);
  e.ParseOption("padcolor", "255");
  EXPECT_EQ(o.padcolor[0], 76);
  EXPECT_EQ(o.padcolor[1], 85);
  EXPECT_EQ(o.padcolor[2], 255);
  e.ParseOption("padcolor", "16777215");
  EXPECT_EQ(o.padcolor[0], 255);
  EXPECT_EQ(o.padcolor[1], 128);
  EXPECT_EQ(o.padcolor[2], 128);
  e.ParseOption("padtop", "-4");
  EXPECT_EQ(o.frame_padtop, 0);
  e.ParseOption("vtag", "DIVX");
  EXPECT_EQ(o.video_codec_tag, static_cast<uint32_t>('D' | 'I' << 8 | 'V' << 16 | 'X' << 24));
  e.ParseOption("vcodec", "mpeg4");
  e.ParseOption("vcodec", "copy");
  EXPECT_TRUE(o.video_stream_copy);
  EXPECT_TRUE(o.video_codec_name.empty());
  e.ParseOption("vcodec", "mpeg4");
  EXPECT_TRUE(o.video_stream_copy);
  EXPECT_EQ(o.video_codec_name, "mpeg4");
  e.ParseOption("itsscale", "1:1.5");
  EXPECT_DOUBLE_EQ(e.State().input_files_ts_scale[0][1], 1.5);
  e.ParseOption("metadata", "title=a=b");
  ASSERT_EQ(e.State().pending_metadata.size(), 1u);
  EXPECT_EQ(e.State().pending_metadata[0].second, "a=b");
  e.ParseOption("pix_fmt", "yuv422p");
  EXPECT_EQ(o.frame_pix_fmt, AV_PIX_FMT_YUV422P);
  e.ParseOption("r", "ntsc");
  EXPECT_EQ(o.frame_rate.num, 30000);
  e.ParseOption("vbsf", "h264_mp4toannexb=whatever");
  EXPECT_EQ(e.State().pending_bsfs[0].back(), "h264_mp4toannexb");
  std::string matrix;
  for (int i = 0; i < 64; ++i) matrix += (i ? "," : "") + std::to_string(i + 1);
  e.ParseOption("inter_matrix", matrix);
  EXPECT_EQ(o.inter_matrix[63], 64);
  e.ParseOption("VCODEC", "mp2");  // not the codec option: names are case-sensitive
  EXPECT_EQ(o.video_codec_name, "mpeg4");
  e.ParseOption("nosuchoption", "1");
}

TEST(OptionValues, MapsReadTheirNumbers) {
  EngineRun run;
  run.Options({{"map", "0.1"}, {"map", "1.0:0.2"}, {"map", "0x1.2"}, {"map_meta_data", "1:0"}});
  const auto& maps = run.engine->State().stream_maps;
  ASSERT_EQ(maps.size(), 3u);
  EXPECT_EQ(std::vector<int>({maps[0].file_index, maps[0].stream_index, maps[0].sync_file_index, maps[0].sync_stream_index}),
            std::vector<int>({0, 1, 0, 1}));
  EXPECT_EQ(std::vector<int>({maps[1].file_index, maps[1].stream_index, maps[1].sync_file_index, maps[1].sync_stream_index}),
            std::vector<int>({1, 0, 0, 2}));
  EXPECT_EQ(std::vector<int>({maps[2].file_index, maps[2].stream_index, maps[2].sync_file_index, maps[2].sync_stream_index}),
            std::vector<int>({1, 2, 1, 2}));
  EXPECT_EQ(run.engine->State().meta_data_maps[0].out_file, 1);
}

TEST(OptionValues, IgnoredOptionsLogAndChangeNothing) {
  media::SetMainThread();
  std::vector<std::string> lines;
  media::TFFLogger::Instance().SetOnLog(
      [&](const void*, uint64_t, int64_t, media::TLogLevel level, const std::string& text) {
        if (level == media::llInfo) lines.push_back(text);
      });
  EngineRun run;
  run.engine->ParseOption("benchmark", "1");
  media::ProcessThreadMessages();
  media::TFFLogger::Instance().SetOnLog(nullptr);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Do nothing: option - benchmark"), lines.end());
}

TEST(OptionValues, LowBitRateWarns) {
  media::SetMainThread();
  std::vector<std::string> warnings;
  media::TFFLogger::Instance().SetOnLog(
      [&](const void*, uint64_t, int64_t, media::TLogLevel level, const std::string& text) {
        if (level == media::llWarning) warnings.push_back(text);
      });
  EngineRun run;
  run.engine->ParseOption("ab", "64");
  run.engine->ParseOption("vb", "800000");
  media::ProcessThreadMessages();
  media::TFFLogger::Instance().SetOnLog(nullptr);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
  const auto& templates = run.engine->State().option_contexts;
  int64_t audio = 0, video = 0;
  ff::av_opt_get_int(templates.codec[AVMEDIA_TYPE_AUDIO], "b", 0, &audio);
  ff::av_opt_get_int(templates.codec[AVMEDIA_TYPE_VIDEO], "b", 0, &video);
  EXPECT_EQ(audio, 64);
  EXPECT_EQ(video, 800000);
}

TEST(OptionValues, TypedSettersOfTheRecords) {
  EngineRun run;
  TCustomFFmpeg& e = *run.engine;
  try {
    e.SetInputFormat("nosuchformat");
    FAIL();
  } catch (const FFmpegException& x) {
    EXPECT_EQ(std::string(x.what()), "Unknown input format: nosuchformat");
  }
  try {
    e.SetOutputFormat("nosuchformat");
    FAIL();
  } catch (const FFmpegException& x) {
    EXPECT_EQ(std::string(x.what()), "Unknown output format: nosuchformat");
  }
  e.SetStartTime(0);
  EXPECT_EQ(e.State().opt.start_time, 0);
  e.SetStartTime(2000000);
  EXPECT_EQ(e.State().opt.start_time, 2000000);
  e.SetRecordingTimeMS(60000);
  EXPECT_EQ(e.State().opt.recording_time, 60000000);
  EXPECT_EQ(e.TotalDuration(), 60000);
  e.SetHookRanges({{5000000, 10000000}, {0, 2000000}});
  EXPECT_EQ(e.State().hook_ranges[0].end, 2000000);
}

}  // namespace
}  // namespace strella::engine::testing
