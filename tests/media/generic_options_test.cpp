#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "media/ff.h"
#include "media/generic_options.h"
#include "media/logger.h"
#include "media/main_thread.h"

using namespace strella::media;

namespace {

class GenericOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    strella::fixtures::EnsureLibraries();
    SetMainThread();
    ASSERT_TRUE(AllocOptionContexts(set_, SWS_BICUBIC));
  }
  void TearDown() override { FreeOptionContexts(set_); }

  int64_t Get(void* object, const char* name) {
    int64_t value = 0;
    ff::av_opt_get_int(object, name, 0, &value);
    return value;
  }

  TOptionContexts set_;
};

TEST_F(GenericOptions, AVideoOptionReachesTheVideoEncoderOnly) {
  ASSERT_TRUE(SetGenericOption(set_, "g", "30"));
  EXPECT_EQ(Get(set_.codec[AVMEDIA_TYPE_VIDEO], "g"), 30);
  EXPECT_NE(Get(set_.codec[AVMEDIA_TYPE_AUDIO], "g"), 30);
  AVCodecContext* video = ff::avcodec_alloc_context3(nullptr);
  AVCodecContext* audio = ff::avcodec_alloc_context3(nullptr);
  ApplyGenericOptions(set_, video, set_.codec[AVMEDIA_TYPE_VIDEO], kOptVideo | kOptEncoding);
  ApplyGenericOptions(set_, audio, set_.codec[AVMEDIA_TYPE_AUDIO], kOptAudio | kOptEncoding);
  EXPECT_EQ(video->gop_size, 30);
  EXPECT_NE(audio->gop_size, 30);
  ff::avcodec_free_context(&video);
  ff::avcodec_free_context(&audio);
}

TEST_F(GenericOptions, PrefixedNamesGoToTheirKind) {
  ASSERT_TRUE(SetGenericOption(set_, "ab", "96000"));
  EXPECT_EQ(Get(set_.codec[AVMEDIA_TYPE_AUDIO], "b"), 96000);
  EXPECT_NE(Get(set_.codec[AVMEDIA_TYPE_VIDEO], "b"), 96000);
  ASSERT_TRUE(SetGenericOption(set_, "vb", "800000"));
  EXPECT_EQ(Get(set_.codec[AVMEDIA_TYPE_VIDEO], "b"), 800000);
  // Today's codec options know "ab" themselves; "vb" falls back to "b".
  EXPECT_EQ(set_.names, (std::vector<std::string>{"ab", "b"}));
}

TEST_F(GenericOptions, ContainerAndScalerOptions) {
  EXPECT_TRUE(SetGenericOption(set_, "packetsize", "2048"));
  EXPECT_EQ(Get(set_.format, "packetsize"), 2048);
  EXPECT_TRUE(SetGenericOption(set_, "sws_flags", "bilinear"));
  EXPECT_EQ(Get(set_.scaler, "sws_flags"), SWS_BILINEAR);
}

TEST_F(GenericOptions, ARefusedValueGivesFalseAndOneLogLine) {
  std::vector<std::string> lines;
  TFFLogger::Instance().SetOnLog([&](const void*, uint64_t, int64_t, TLogLevel level, const std::string& text) {
    if (level == llError) lines.push_back(text);
  });
  EXPECT_FALSE(SetGenericOption(set_, "g", "lots"));
  ProcessThreadMessages();
  TFFLogger::Instance().SetOnLog(nullptr);
  ASSERT_EQ(lines.size(), 1u) << lines[0] << "/" << lines.back();
  EXPECT_NE(lines[0].find("Invalid value \"lots\" for option \"g\""), std::string::npos) << lines[0];
  EXPECT_TRUE(set_.names.empty());
}

TEST_F(GenericOptions, UnknownNamesAndEmptyValuesAreRefused) {
  EXPECT_FALSE(SetGenericOption(set_, "nosuchoption", "1"));
  EXPECT_FALSE(SetGenericOption(set_, "g", "  "));
  EXPECT_FALSE(SetGenericOption(set_, "", "1"));
  EXPECT_TRUE(set_.names.empty());
}

// Options an encoder or muxer defines for itself wait as text and reach only
// the real contexts that define them.
TEST_F(GenericOptions, PrivateOptionsReachTheContextsThatDefineThem) {
  ASSERT_TRUE(SetGenericOption(set_, "crf", "23"));
  ASSERT_TRUE(SetGenericOption(set_, "preset", "veryfast"));
  ASSERT_TRUE(SetGenericOption(set_, "movflags", "+faststart"));
  EXPECT_TRUE(set_.names.empty());
  AVCodecContext* x264 = ff::avcodec_alloc_context3(ff::avcodec_find_encoder_by_name("libx264"));
  AVCodecContext* aac = ff::avcodec_alloc_context3(ff::avcodec_find_encoder_by_name("aac"));
  ApplyGenericOptions(set_, x264, set_.codec[AVMEDIA_TYPE_VIDEO], kOptVideo | kOptEncoding);
  ApplyGenericOptions(set_, aac, set_.codec[AVMEDIA_TYPE_AUDIO], kOptAudio | kOptEncoding);
  double crf = 0;
  ff::av_opt_get_double(x264, "crf", AV_OPT_SEARCH_CHILDREN, &crf);
  EXPECT_EQ(crf, 23);
  uint8_t* preset = nullptr;
  ASSERT_GE(ff::av_opt_get(x264, "preset", AV_OPT_SEARCH_CHILDREN, &preset), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(preset), "veryfast");
  ff::av_free(preset);
  EXPECT_EQ(ff::av_opt_find(aac, "crf", nullptr, 0, AV_OPT_SEARCH_CHILDREN), nullptr);
  AVFormatContext* mp4 = nullptr;
  ASSERT_GE(ff::avformat_alloc_output_context2(&mp4, nullptr, "mp4", nullptr), 0);
  ApplyGenericOptions(set_, mp4, set_.format, kOptEncoding);
  int64_t flags = 0;
  ff::av_opt_get_int(mp4, "movflags", AV_OPT_SEARCH_CHILDREN, &flags);
  EXPECT_NE(flags & (1 << 7), 0) << "faststart";  // FF_MOV_FLAG_FASTSTART
  ff::avformat_free_context(mp4);
  ff::avcodec_free_context(&x264);
  ff::avcodec_free_context(&aac);
}

TEST_F(GenericOptions, DebugRaisesTheLogLevel) {
  const TLogLevel before = TFFLogger::Instance().LogLevel();
  TFFLogger::Instance().SetLogLevel(llInfo);
  ASSERT_TRUE(SetGenericOption(set_, "debug", "pict"));
  EXPECT_EQ(TFFLogger::Instance().LogLevel(), llDebug);
  TFFLogger::Instance().SetLogLevel(before);
}

}  // namespace
