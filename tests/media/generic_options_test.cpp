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
  TFFLogger::Instance().SetOnLog([&](const void*, uint64_t, TLogLevel level, const std::string& text) {
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

TEST_F(GenericOptions, DebugRaisesTheLogLevel) {
  const TLogLevel before = TFFLogger::Instance().LogLevel();
  TFFLogger::Instance().SetLogLevel(llInfo);
  ASSERT_TRUE(SetGenericOption(set_, "debug", "pict"));
  EXPECT_EQ(TFFLogger::Instance().LogLevel(), llDebug);
  TFFLogger::Instance().SetLogLevel(before);
}

}  // namespace
