// The frame converter: pictures of any format into the 24-bit bitmap and,
// for the custom hook, the painted bitmap back into the picture.
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "media/frame_converter.h"

using namespace strella::media;

namespace {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { ff::av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// A frame with rows padded to 64 bytes, wider than the bitmap's rows.
FramePtr MakeFrame(AVPixelFormat format, int width, int height) {
  FramePtr frame(ff::av_frame_alloc());
  frame->format = format;
  frame->width = width;
  frame->height = height;
  EXPECT_EQ(ff::av_frame_get_buffer(frame.get(), 64), 0);
  return frame;
}

// Limited-range YUV of one colour over the whole picture.
FramePtr SolidYuv(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
  FramePtr frame = MakeFrame(AV_PIX_FMT_YUV420P, width, height);
  for (int row = 0; row < height; ++row) memset(frame->data[0] + row * frame->linesize[0], y, width);
  for (int row = 0; row < height / 2; ++row) {
    memset(frame->data[1] + row * frame->linesize[1], u, width / 2);
    memset(frame->data[2] + row * frame->linesize[2], v, width / 2);
  }
  return frame;
}

void ExpectBitmapColour(const TBitmap& bitmap, int b, int g, int r) {
  for (int y : {0, bitmap.Height() / 2, bitmap.Height() - 1}) {
    for (int x : {0, bitmap.Width() - 1}) {
      const uint8_t* pixel = bitmap.ScanLine(y) + 3 * x;
      EXPECT_NEAR(pixel[0], b, 2) << x << "," << y;
      EXPECT_NEAR(pixel[1], g, 2) << x << "," << y;
      EXPECT_NEAR(pixel[2], r, 2) << x << "," << y;
    }
  }
}

class FrameConverterTest : public ::testing::Test {
 protected:
  void SetUp() override { strella::fixtures::EnsureLibraries(); }
  TFrameConverter converter;
};

}  // namespace

TEST_F(FrameConverterTest, BgrPictureIsCopiedWithoutScaling) {
  FramePtr frame = MakeFrame(AV_PIX_FMT_BGR24, 7, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 21; ++x) frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(y * 21 + x);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_BGR24, 3, 7));
  EXPECT_EQ(converter.Scaler, nullptr);
  EXPECT_EQ(converter.Buffer, nullptr);
  EXPECT_EQ(converter.Current.data[0], frame->data[0]);
  const TBitmap& bitmap = *converter.Bitmap;
  ASSERT_EQ(bitmap.Width(), 7);
  ASSERT_EQ(bitmap.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 21; ++x) ASSERT_EQ(bitmap.ScanLine(y)[x], y * 21 + x) << x << "," << y;

  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_BGR24, 3, 7, true));
  EXPECT_NE(converter.Scaler, nullptr) << "the player's variant always scales";
  EXPECT_EQ(converter.Current.data[0], converter.Buffer);
  EXPECT_EQ(bitmap.ScanLine(2)[20], 62);
}

TEST_F(FrameConverterTest, YuvColoursArriveAsBgr) {
  const struct {
    uint8_t y, u, v;
    int b, g, r;
  } cases[] = {{235, 128, 128, 255, 255, 255}, {16, 128, 128, 0, 0, 0}, {81, 90, 240, 0, 0, 255}};
  for (auto c : cases) {
    FramePtr frame = SolidYuv(16, 8, c.y, c.u, c.v);
    ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, 16));
    ExpectBitmapColour(*converter.Bitmap, c.b, c.g, c.r);
  }
}

TEST_F(FrameConverterTest, SmallerPictureReusesTheBuffer) {
  FramePtr large = SolidYuv(640, 480, 235, 128, 128);
  FramePtr small = SolidYuv(320, 240, 16, 128, 128);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(large.get()), AV_PIX_FMT_YUV420P, 480, 640));
  const uint8_t* buffer = converter.Buffer;
  EXPECT_EQ(converter.BufferSize, 640 * 480 * 3);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(small.get()), AV_PIX_FMT_YUV420P, 240, 320));
  EXPECT_EQ(converter.Buffer, buffer);
  EXPECT_EQ(converter.BufferSize, 640 * 480 * 3);
  EXPECT_EQ(converter.Bitmap->Width(), 320);
  EXPECT_EQ(converter.Bitmap->Height(), 240);
  ExpectBitmapColour(*converter.Bitmap, 0, 0, 0);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(large.get()), AV_PIX_FMT_YUV420P, 480, 640));
  ExpectBitmapColour(*converter.Bitmap, 255, 255, 255);
}

TEST_F(FrameConverterTest, PaintedBitmapGoesBackIntoThePicture) {
  // A YUV picture: the bitmap is scaled back with the reverse context.
  FramePtr yuv = SolidYuv(32, 16, 16, 128, 128);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(yuv.get()), AV_PIX_FMT_YUV420P, 16, 32));
  TBitmap& bitmap = *converter.Bitmap;
  for (int y = 0; y < 16; ++y) memset(bitmap.ScanLine(y), 255, 32 * 3);
  ASSERT_TRUE(ConvertFromBitmap(converter, PictureOf(yuv.get()), AV_PIX_FMT_YUV420P, 16, 32));
  EXPECT_NE(converter.ReverseScaler, nullptr);
  EXPECT_NEAR(yuv->data[0][5 * yuv->linesize[0] + 9], 235, 2);
  EXPECT_NEAR(yuv->data[1][3 * yuv->linesize[1] + 4], 128, 2);

  // A BGR picture is painted on directly.
  ResetConverter(converter);
  FramePtr bgr = MakeFrame(AV_PIX_FMT_BGR24, 5, 2);
  memset(bgr->data[0], 0, bgr->linesize[0] * 2);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(bgr.get()), AV_PIX_FMT_BGR24, 2, 5));
  converter.Bitmap->ScanLine(1)[14] = 77;
  ASSERT_TRUE(ConvertFromBitmap(converter, PictureOf(bgr.get()), AV_PIX_FMT_BGR24, 2, 5));
  EXPECT_EQ(converter.ReverseScaler, nullptr);
  EXPECT_EQ(bgr->data[0][bgr->linesize[0] + 14], 77);
  EXPECT_EQ(bgr->data[0][bgr->linesize[0] + 15], 0) << "nothing beyond the row is written";

  EXPECT_FALSE(ConvertFromBitmap(converter, PictureOf(bgr.get()), AV_PIX_FMT_BGR24, 4, 5)) << "another size";
}

TEST_F(FrameConverterTest, FailuresGiveFalse) {
  FramePtr frame = SolidYuv(16, 8, 16, 128, 128);
  EXPECT_FALSE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 0, 16));
  EXPECT_FALSE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, -1));
  // A hardware format has no scaler.
  EXPECT_FALSE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_VAAPI, 8, 16));
  EXPECT_EQ(converter.Scaler, nullptr);
  EXPECT_FALSE(ConvertFromBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, 16))
      << "nothing was converted";
  TFrameConverter fresh;
  EXPECT_FALSE(ConvertFromBitmap(fresh, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, 16));
}

TEST_F(FrameConverterTest, ResetFreesEverything) {
  FramePtr frame = SolidYuv(16, 8, 16, 128, 128);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, 16));
  ASSERT_TRUE(ConvertFromBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, 16));
  ResetConverter(converter);
  EXPECT_EQ(converter.Bitmap, nullptr);
  EXPECT_EQ(converter.Buffer, nullptr);
  EXPECT_EQ(converter.BufferSize, 0);
  EXPECT_EQ(converter.Destination.data[0], nullptr);
  EXPECT_EQ(converter.Current.data[0], nullptr);
  EXPECT_EQ(converter.Scaler, nullptr);
  EXPECT_EQ(converter.ReverseScaler, nullptr);
  EXPECT_EQ(converter.DestinationFormat, AV_PIX_FMT_BGR24);
  ASSERT_TRUE(ConvertToBitmap(converter, PictureOf(frame.get()), AV_PIX_FMT_YUV420P, 8, 16));
}
