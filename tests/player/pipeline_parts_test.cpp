// The pipeline's small rules: picture placement, the packet queue and the
// seek flags as views of one integer.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "player/packet_queue.h"
#include "player/playback.h"
#include "player/player.h"

namespace strella::player {
namespace {

struct PlacementCase {
  const char* name;
  float aspect;
  int areaWidth, areaHeight, pictureWidth, pictureHeight, sarNum, sarDen;
  TPlacement expected;
};

TEST(PlacePicture, FollowsTheAspectRule) {
  const PlacementCase cases[] = {
      {"PAL 16/15 from the stream", 0, 640, 480, 720, 576, 16, 15, {0, 0, 640, 480}},
      {"forced 1.7777 letterboxes", 1.7777f, 640, 480, 720, 576, 16, 15, {0, 60, 640, 360}},
      {"-1 fills the area", -1, 640, 480, 720, 576, 16, 15, {0, 0, 640, 480}},
      {"-1 fills a wide area", -1, 800, 200, 320, 240, 1, 1, {0, 0, 800, 200}},
      {"unknown aspect counts as square", 0, 640, 480, 320, 180, 0, 1, {0, 60, 640, 360}},
      {"tall picture is pillarboxed", 0, 640, 480, 240, 320, 1, 1, {140, 0, 360, 480}},
  };
  for (const PlacementCase& c : cases) {
    const TPlacement p =
        PlacePicture(c.aspect, c.areaWidth, c.areaHeight, c.pictureWidth, c.pictureHeight, c.sarNum, c.sarDen, 0, 1);
    EXPECT_EQ(p.X, c.expected.X) << c.name;
    EXPECT_EQ(p.Y, c.expected.Y) << c.name;
    EXPECT_EQ(p.Width, c.expected.Width) << c.name;
    EXPECT_EQ(p.Height, c.expected.Height) << c.name;
  }
}

TEST(PlacePicture, DecoderAspectServesWhenTheStreamHasNone) {
  const TPlacement p = PlacePicture(0, 640, 480, 720, 576, 0, 1, 64, 45);  // 16:9 PAL
  EXPECT_EQ(p.Width, 640);
  EXPECT_EQ(p.Height, 360);
}

TEST(PacketQueue, CountsBytesFlushesAndAborts) {
  fixtures::EnsureLibraries();
  TPacketQueue queue;
  AVPacket* packet = ff::av_packet_alloc();
  ASSERT_EQ(ff::av_new_packet(packet, 1000), 0);
  ASSERT_EQ(queue.Put(packet), 0);
  EXPECT_EQ(packet->size, 0) << "the queue takes the packet's contents";
  ASSERT_EQ(queue.Put(FlushMarker()), 0);
  EXPECT_EQ(queue.Count(), 2);
  EXPECT_EQ(queue.Size(), 1000 + 2 * TPacketQueue::kPacketOverhead);

  AVPacket* taken = nullptr;
  ASSERT_EQ(queue.Get(taken, false), 1);
  EXPECT_EQ(taken->size, 1000);
  ReleasePacket(taken);
  ASSERT_EQ(queue.Get(taken, false), 1);
  EXPECT_TRUE(IsFlushMarker(taken));
  ReleasePacket(taken);
  EXPECT_EQ(queue.Get(taken, false), 0);
  EXPECT_EQ(queue.Size(), 0);

  ASSERT_EQ(ff::av_new_packet(packet, 10), 0);
  queue.Put(packet);
  queue.Flush();
  EXPECT_EQ(queue.Count(), 0);
  std::thread waiter([&] { EXPECT_EQ(queue.Get(taken, true), -1); });
  // Nothing shows that the waiter is blocked inside Get: the pause gives it
  // the time to get there, so that Abort has a waiter to wake. Were it late,
  // Get would still see the abort and return -1.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  queue.Abort();
  waiter.join();
  ff::av_packet_free(&packet);
}

TEST(FFPlayer, SeekFlagsAreViewsOfOneInteger) {
  TFFPlayer player;
  EXPECT_TRUE(player.SeekToAny());
  EXPECT_FALSE(player.SeekBackware());
  EXPECT_FALSE(player.SeekByByte());
  EXPECT_FALSE(player.SeekByFrame());
  player.SetSeekBackware(true);
  player.SetSeekByFrame(true);
  player.SetSeekToAny(false);
  EXPECT_TRUE(player.SeekBackware());
  EXPECT_TRUE(player.SeekByFrame());
  EXPECT_FALSE(player.SeekToAny());
  EXPECT_FALSE(player.SeekByByte());
  EXPECT_EQ(player.Version(), "1.3");
  EXPECT_EQ(player.AudioVolume(), 128);
  player.SetAudioVolume(200);
  EXPECT_EQ(player.AudioVolume(), 128);
}

TEST(FFPlayer, OpenWithoutLibrariesFails) {
  // This process never loads the libraries.
  TFFPlayer player;
  ASSERT_FALSE(player.LibrariesLoaded());
  EXPECT_FALSE(player.Open("/nonexistent.mp4", nullptr));
  EXPECT_EQ(player.LastErrMsg(), "libav or libsdl not loaded.");
  int64_t pts = 0;
  const media::TBitmap& frame = player.GetCurrentFrame(pts);
  EXPECT_EQ(frame.Width(), 0);
  EXPECT_EQ(frame.Height(), 0);
  EXPECT_EQ(pts, -1);
}

}  // namespace
}  // namespace strella::player
