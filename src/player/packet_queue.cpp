#include "player/packet_queue.h"

#include "media/ff.h"

namespace strella::player {
namespace {
const char kFlushText[] = "FLUSH";
}

AVPacket* FlushMarker() {
  static AVPacket* marker = [] {
    AVPacket* packet = ff::av_packet_alloc();
    packet->data = reinterpret_cast<uint8_t*>(const_cast<char*>(kFlushText));
    return packet;
  }();
  return marker;
}

bool IsFlushMarker(const AVPacket* packet) {
  return packet && packet->data == reinterpret_cast<const uint8_t*>(kFlushText);
}

void ReleasePacket(AVPacket*& packet) {
  if (!IsFlushMarker(packet)) ff::av_packet_free(&packet);
  packet = nullptr;
}

int TPacketQueue::Put(AVPacket* packet) {
  AVPacket* node = packet;
  if (!IsFlushMarker(packet)) {
    if (packet->data && !packet->buf && ff::av_packet_make_refcounted(packet) < 0) return -1;
    node = ff::av_packet_alloc();
    if (!node) return -1;
    ff::av_packet_move_ref(node, packet);
  }
  {
    std::lock_guard guard(lock_);
    packets_.push_back(node);
    size_ += node->size + kPacketOverhead;
  }
  changed_.notify_one();
  return 0;
}

int TPacketQueue::Get(AVPacket*& packet, bool block) {
  std::unique_lock guard(lock_);
  for (;;) {
    if (abort_) return -1;
    if (!packets_.empty()) {
      packet = packets_.front();
      packets_.pop_front();
      size_ -= packet->size + kPacketOverhead;
      return 1;
    }
    if (!block) return 0;
    changed_.wait(guard);
  }
}

void TPacketQueue::Abort() {
  {
    std::lock_guard guard(lock_);
    abort_ = true;
  }
  changed_.notify_all();
}

void TPacketQueue::Flush() {
  std::lock_guard guard(lock_);
  for (AVPacket*& packet : packets_) ReleasePacket(packet);
  packets_.clear();
  size_ = 0;
}

void TPacketQueue::Reset() {
  Flush();
  std::lock_guard guard(lock_);
  abort_ = false;
}

int TPacketQueue::Count() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(packets_.size());
}

int64_t TPacketQueue::Size() const {
  std::lock_guard guard(lock_);
  return size_;
}

bool TPacketQueue::Aborted() const {
  std::lock_guard guard(lock_);
  return abort_;
}

}  // namespace strella::player
