// The reader thread: opens the file, chooses and opens the streams, then
// demultiplexes into the packet queues, serving seek requests and feeding
// empty packets at the end so that the video decoder gives out what it holds.
#include <algorithm>
#include <cstring>

#include "media/ff.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/text_helpers.h"
#include "player/playback.h"

namespace strella::player {
namespace {

// Interrupts blocking library I/O once the playback is being closed.
int InterruptCallback(void* opaque) {
  return static_cast<TPlayback*>(opaque)->AbortRequest.load() ? 1 : 0;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool IsCaptureDevice(const char* name) {
  return std::strcmp(name, "vfwcap") == 0 || std::strcmp(name, "video4linux2,v4l2") == 0;
}

// Whether the demuxer's index holds no key picture of the video at or after
// the target (microseconds): the last stretch of the file, or no index at all.
bool NoKeyPictureFollows(const TPlayback& playback, int64_t target) {
  AVStream* stream = playback.VideoStream;
  if (!stream) return false;
  const int64_t time = ff::av_rescale_q(target, AV_TIME_BASE_Q, stream->time_base);
  return ff::av_index_search_timestamp(stream, time, 0) < 0;
}

void PutEmptyVideoPacket(TPlayback& playback) {
  AVPacket* packet = ff::av_packet_alloc();
  if (!packet) return;
  packet->stream_index = playback.VideoIndex;
  playback.VideoQueue.Put(packet);
  ff::av_packet_free(&packet);
}

}  // namespace

void TPipeline::ReaderThread(TPlayback& playback) {
  const bool opened = OpenInput(playback);
  if (opened) {
    playback.OpenState = osRunning;
    ReadLoop(playback);
    while (!playback.AbortRequest) Sleep(100);
  }
  // Closing.
  if (playback.OpenState != osRunning) playback.OpenState = osFailed;
  if (playback.Demuxer) {
    CloseStream(playback, playback.AudioIndex);
    CloseStream(playback, playback.VideoIndex);
    ff::avformat_close_input(&playback.Demuxer);
  }
  if (!opened) playback.Events.Post({peQuit});
  if (playback.OpenState == osFailed) playback.OpenState = osFailedClosed;
}

bool TPipeline::OpenInput(TPlayback& playback) {
  TCustomPlayer& player = playback.Owner;
  AVFormatContext* demuxer = ff::avformat_alloc_context();
  if (!demuxer) {
    player.last_err_msg_ = media::OpenErrorText(playback.FileName, AVERROR(ENOMEM));
    return false;
  }
  demuxer->interrupt_callback.callback = InterruptCallback;
  demuxer->interrupt_callback.opaque = &playback;
  AVDictionary* options = nullptr;
  // Only raw and capture inputs read the picture size; others ignore it.
  if (playback.FrameWidth > 0 && playback.FrameHeight > 0)
    ff::av_dict_set(&options, "video_size", media::Format("%dx%d", playback.FrameWidth, playback.FrameHeight).c_str(), 0);
  media::AddLiteralNameOptions(playback.FileName, &options);
  const int opened = ff::avformat_open_input(&demuxer, media::FileNameToURL(playback.FileName).c_str(), nullptr, &options);
  ff::av_dict_free(&options);
  if (opened < 0) {
    player.last_err_msg_ = media::OpenErrorText(playback.FileName, opened);
    return false;
  }
  playback.Demuxer = demuxer;
  int found;
  {
    std::lock_guard guard(media::CodecLock());
    found = ff::avformat_find_stream_info(demuxer, nullptr);
  }
  if (found < 0) {
    player.last_err_msg_ = media::Format("%s: could not find codec parameters", playback.FileName.c_str());
    return false;
  }
  if (demuxer->pb) demuxer->pb->eof_reached = 0;
  playback.IsImage2 = std::strcmp(demuxer->iformat->name, "image2") == 0;
  playback.IsCapture = IsCaptureDevice(demuxer->iformat->name);
  ChooseStreams(playback);
  if (playback.AudioIndex < 0 && playback.VideoIndex < 0) {
    player.last_err_msg_ = media::Format("%s: could not open codecs, no stream to play.", playback.FileName.c_str());
    return false;
  }
  return true;
}

void TPipeline::ChooseStreams(TPlayback& playback) {
  AVFormatContext* demuxer = playback.Demuxer;
  int audio = -1, video = -1;
  for (unsigned i = 0; i < demuxer->nb_streams; ++i) {
    AVStream* stream = demuxer->streams[i];
    stream->discard = AVDISCARD_ALL;
    const AVMediaType type = stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO && audio < 0 && !playback.DisableAudio) audio = static_cast<int>(i);
    // A cover picture is one still image, not a video to play: its single
    // picture would pin the position at 0. The waveform is shown instead.
    const bool coverPicture = stream->disposition & AV_DISPOSITION_ATTACHED_PIC;
    if (type == AVMEDIA_TYPE_VIDEO && video < 0 && !playback.DisableVideo && !coverPicture)
      video = static_cast<int>(i);
  }
  if (audio >= 0) OpenStream(playback, audio);
  if (video >= 0) OpenStream(playback, video);
  if (playback.VideoIndex < 0 && !playback.DisableDisplay) playback.ShowWaveform = true;
}

void TPipeline::ReadLoop(TPlayback& playback) {
  AVFormatContext* demuxer = playback.Demuxer;
  AVPacket* packet = ff::av_packet_alloc();
  while (packet && !playback.AbortRequest) {
    if (playback.Paused != playback.LastPaused) {
      playback.LastPaused = playback.Paused;
      if (playback.LastPaused)
        ff::av_read_pause(demuxer);
      else
        ff::av_read_play(demuxer);
    }
    if (playback.SeekPending) ExecuteSeek(playback);
    if (playback.AudioQueue.Size() > kAudioQueueLimit || playback.VideoQueue.Size() > kVideoQueueLimit) {
      Sleep(10);
      continue;
    }
    if (playback.EndOfFile) {
      if (playback.VideoIndex >= 0) PutEmptyVideoPacket(playback);
      Sleep(10);
      continue;
    }
    playback.Reading = true;
    const int result = ff::av_read_frame(demuxer, packet);
    playback.Reading = false;
    if (result < 0) {
      if (!playback.IsImage2 && !playback.EndReported) {
        media::Log(&playback.Owner, media::llError, media::Format("%s: error or end of file", playback.FileName.c_str()));
        playback.EndReported = true;
      }
      if (result == AVERROR_EOF) playback.EndOfFile = true;
      if (demuxer->pb && demuxer->pb->error) break;
      // At the end the empty packets follow at once, so the last pictures are not held back.
      if (!playback.EndOfFile) Sleep(100);
      continue;
    }
    if (packet->stream_index == playback.AudioIndex)
      playback.AudioQueue.Put(packet);
    else if (packet->stream_index == playback.VideoIndex)
      playback.VideoQueue.Put(packet);
    ff::av_packet_unref(packet);
  }
  ff::av_packet_free(&packet);
}

void TPipeline::RequestSeek(TPlayback& playback, int64_t target, int64_t relative, int flags) {
  {
    std::lock_guard guard(playback.SeekLock);
    if (playback.SeekPending) return;  // one request at a time; a later one is dropped
    playback.SeekTarget = target;
    playback.SeekRelative = relative;
    playback.SeekFlags = flags;
    playback.SeekPending = true;
  }
  // While paused, the pictures still coming from the old position are let
  // go unseen, so that the decoder gets on to the new one.
  std::lock_guard guard(playback.PictureLock);
  playback.DropUntilFlush = true;
}

void TPipeline::ExecuteSeek(TPlayback& playback) {
  int64_t target, relative;
  int flags;
  {
    std::lock_guard guard(playback.SeekLock);
    target = playback.SeekTarget;
    relative = playback.SeekRelative;
    flags = playback.SeekFlags;
  }
  const int64_t lowest = relative > 0 ? target - relative + 2 : INT64_MIN;
  int64_t highest = relative < 0 ? target - relative - 2 : INT64_MAX;
  // A seek that may land on any picture lands, behind the last key picture,
  // on pictures that cannot be decoded without it: nothing would be shown
  // and the position would stay where it was. There the seek goes back to
  // that key picture instead, so that the last pictures play.
  const bool byTime = !(flags & (AVSEEK_FLAG_BYTE | AVSEEK_FLAG_FRAME));
  if (byTime && (flags & AVSEEK_FLAG_ANY) && NoKeyPictureFollows(playback, target)) {
    flags &= ~AVSEEK_FLAG_ANY;
    highest = std::min(highest, target);
  }
  if (ff::avformat_seek_file(playback.Demuxer, -1, lowest, target, highest, flags) < 0) {
    media::Log(&playback.Owner, media::llError, media::Format("%s: error while seeking", playback.FileName.c_str()));
    std::lock_guard guard(playback.PictureLock);
    playback.DropUntilFlush = false;  // no new position comes
  } else {
    if (playback.AudioIndex >= 0) {
      playback.AudioQueue.Flush();
      playback.AudioQueue.Put(FlushMarker());
    }
    if (playback.VideoIndex >= 0) {
      playback.VideoQueue.Flush();
      playback.VideoQueue.Put(FlushMarker());
    }
  }
  std::lock_guard guard(playback.SeekLock);
  playback.EndReported = false;
  playback.SeekPending = false;
  playback.EndOfFile = false;
}

}  // namespace strella::player
