// A queue of demuxed packets between the reader and one decoder. The flush
// marker asks the decoder behind the queue to drop its buffered state; it is
// recognised by its data pointer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

namespace strella::player {

// The process-wide flush marker (its data points at the constant "FLUSH").
AVPacket* FlushMarker();
bool IsFlushMarker(const AVPacket* packet);
// Frees a packet taken from a queue; the flush marker is left alone.
void ReleasePacket(AVPacket*& packet);

class TPacketQueue {
 public:
  // Bookkeeping counted per packet on top of its payload, so that many tiny
  // packets still fill the reader's byte limits.
  static constexpr int kPacketOverhead = 72;

  TPacketQueue() = default;
  ~TPacketQueue() { Flush(); }
  TPacketQueue(const TPacketQueue&) = delete;
  TPacketQueue& operator=(const TPacketQueue&) = delete;

  // Takes the packet's contents (the caller's packet is left blank); the
  // data is made to belong to the queue. -1 when that fails.
  int Put(AVPacket* packet);
  // 1 with a packet (the caller releases it), 0 when empty and not blocking,
  // -1 once aborted.
  int Get(AVPacket*& packet, bool block);
  void Abort();
  // Frees every queued packet; the abort request stays.
  void Flush();
  // Back to an empty, running queue (a stream opened again).
  void Reset();

  int Count() const;
  int64_t Size() const;  // payload bytes plus the overhead of each packet
  bool Aborted() const;

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<AVPacket*> packets_;
  int64_t size_ = 0;
  bool abort_ = false;
};

}  // namespace strella::player
