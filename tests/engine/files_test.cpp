// What opening files does to the engine: the input's properties taken over
// as defaults, seeking and offsets, and the streams and settings an output gets.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/engine_state.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("files") + "/" + name; }

TEST(InputFile, TakesOverThePictureAndSoundProperties) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("pal_square.mp4")));
  const TOptionValues& o = run.engine->State().opt;
  EXPECT_EQ(o.frame_width, 720);
  EXPECT_EQ(o.frame_height, 576);
  EXPECT_NEAR(o.frame_aspect_ratio, 1.25, 1e-6);
  EXPECT_EQ(o.frame_pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(o.frame_rate.num / o.frame_rate.den, 25);
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("pal_sar16x15.mp4")));
  EXPECT_NEAR(o.frame_aspect_ratio, 720.0 * 16 / 15 / 576, 1e-4);
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("tone.wav")));
  EXPECT_EQ(o.audio_sample_rate, 44100);
  EXPECT_EQ(o.audio_channels, 2);
  EXPECT_EQ(o.audio_sample_fmt, AV_SAMPLE_FMT_S16);
}

TEST(InputFile, StartTimeSeeksThisInputOnlyAndSetsItsOffset) {
  EngineRun run;
  run.Options({{"ss", "1"}, {"vcodec", "mpeg4"}});
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  const TEngineState& s = run.engine->State();
  EXPECT_EQ(s.opt.start_time, 0);
  EXPECT_TRUE(s.opt.video_codec_name.empty());  // per-file values are reset
  EXPECT_EQ(s.input_files_ts_offset[0], -1000000 - s.input_files[0].ctx->start_time);
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mkv")));
  EXPECT_EQ(s.input_files_ts_offset[1], -s.input_files[1].ctx->start_time);
}

TEST(InputFile, TotalDurationIsTheLongestInput) {
  EngineRun run;
  const std::string longer = fixtures::Make({"four_seconds.mp4", "", 4.0, fixtures::VideoSpec{}, std::nullopt});
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  ASSERT_TRUE(run.engine->AddInputFile(longer));
  EXPECT_NEAR(run.engine->TotalDuration(), 4000, 50);
}

// A copy of clip.avi whose video header claims 65535x65535 pictures of a
// codec nobody decodes, so the claimed size reaches the engine as it is.
std::string ImpossibleSizeAvi() {
  std::ifstream in(fixtures::Path("clip.avi"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  };
  const size_t header = bytes.find("strh"), format = bytes.find("strf");
  EXPECT_NE(format, std::string::npos);
  bytes.replace(header + 12, 4, "ZZZZ");      // the stream's handler
  put32(format + 12, 65535);                   // biWidth
  put32(format + 16, 65535);                   // biHeight
  bytes.replace(format + 24, 4, "ZZZZ");      // biCompression
  const std::string name = Scratch("impossible_size.avi");
  std::ofstream(name, std::ios::binary) << bytes;
  return name;
}

TEST(InputFile, AnImpossiblePictureSizeIsTakenWithoutOverflow) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(ImpossibleSizeAvi()));
  const TOptionValues& o = run.engine->State().opt;
  EXPECT_EQ(o.frame_width, 65535);
  EXPECT_EQ(o.frame_height, 65535);
  EXPECT_NEAR(o.frame_aspect_ratio, 1.0, 1e-6);
}

TEST(OutputFile, StreamsFollowWhatTheInputsHave) {
  EngineRun videoOnly;
  ASSERT_TRUE(videoOnly.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  ASSERT_GT(videoOnly.engine->AddOutputFile(Scratch("v.mp4")), 0);
  const auto& streams = videoOnly.engine->State().output_slots[0]->streams;
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].enc->codec_type, AVMEDIA_TYPE_VIDEO);

  EngineRun noVideo;
  ASSERT_TRUE(noVideo.engine->AddInputFile(fixtures::Path("clip.mp4")));
  noVideo.Options({{"vn", "1"}});
  ASSERT_GT(noVideo.engine->AddOutputFile(Scratch("a.mp4")), 0);
  const auto& audio = noVideo.engine->State().output_slots[0]->streams;
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(audio[0].enc->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST(OutputFile, GlobalHeadersFollowTheFormatAndVglobal) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  ASSERT_GT(run.engine->AddOutputFile(Scratch("g.mp4")), 0);
  const auto& mp4 = run.engine->State().output_slots[0]->streams;
  EXPECT_TRUE(mp4[0].enc->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
  EXPECT_TRUE(mp4[1].enc->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
  run.Options({{"vglobal", "2"}});
  ASSERT_GT(run.engine->AddOutputFile(Scratch("g2.mp4")), 0);
  const auto& local = run.engine->State().output_slots[1]->streams;
  EXPECT_FALSE(local[0].enc->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
  EXPECT_TRUE(local[0].enc->flags2 & AV_CODEC_FLAG2_LOCAL_HEADER);
}

TEST(OutputFile, PaddedSizeAspectOverridesAndMetadata) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  run.Options({{"s", "640x480"}, {"aspect", "4:3"}, {"padtop", "8"}, {"padbottom", "8"},
               {"rc_override", "0,100,2/101,200,-50"}, {"metadata", "title=a"}, {"metadata", "title=b"}});
  ASSERT_GT(run.engine->AddOutputFile(Scratch("p.mkv")), 0);
  const TOutputFile& file = *run.engine->State().output_slots[0];
  const AVCodecContext* enc = file.streams[0].enc;
  EXPECT_EQ(enc->width, 640);
  EXPECT_EQ(enc->height, 496);
  EXPECT_EQ(enc->sample_aspect_ratio.num, 31);
  EXPECT_EQ(enc->sample_aspect_ratio.den, 30);
  ASSERT_EQ(enc->rc_override_count, 2);
  EXPECT_EQ(enc->rc_override[0].qscale, 2);
  EXPECT_EQ(enc->rc_override[1].end_frame, 200);
  EXPECT_FLOAT_EQ(enc->rc_override[1].quality_factor, 0.5f);
  const AVDictionaryEntry* title = ff::av_dict_get(file.ctx->metadata, "title", nullptr, 0);
  ASSERT_NE(title, nullptr);
  EXPECT_STREQ(title->value, "a");
}

TEST(OutputFile, ABadOverrideListIsRefused) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  run.Options({{"rc_override", "0,100"}});
  EXPECT_EQ(run.engine->AddOutputFile(Scratch("bad.mkv")), -1);
  EXPECT_EQ(run.engine->LastErrMsg(), "new_video_stream fail: error parsing rc_override");
}

}  // namespace
}  // namespace strella::engine::testing
