// The encoder's queued tasks. Every access locks, works and unlocks; the lock
// is never held while a task converts, stops or is freed. Tasks are shared:
// whoever looks one up keeps it alive for as long as it holds it, even when
// the list lets go of it meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "encoder/task.h"

namespace strella::encoder {

using TTaskRef = std::shared_ptr<TFFmpeg>;

class TFFmpegList {
 public:
  TFFmpegList() = default;
  ~TFFmpegList();
  TFFmpegList(const TFFmpegList&) = delete;
  TFFmpegList& operator=(const TFFmpegList&) = delete;

  // Appends; the task's Index becomes its position, which is returned, and it
  // gets a serial number no other task of the list ever had.
  int Add(TTaskRef task);
  // Throws std::out_of_range "List index out of bounds (%d)".
  TTaskRef Items(int position) const;
  // The task's position now, or -1 when it has left the list.
  int PositionOfSerial(uint64_t serial) const;
  // The cached count: readable without the lock, from any thread.
  int Count() const { return count_.load(); }
  // Removes the task at position, renumbers the later ones and frees it.
  void Delete(int position);
  // Frees every task in list order and empties the list.
  void Clear();
  // The tasks in list order, as they are now.
  std::vector<TTaskRef> Snapshot() const;

  // Called on each task before the list lets go of it (stops it and waits
  // for its thread), outside the lock.
  void SetBeforeFree(std::function<void(TFFmpeg&)> beforeFree) {
    before_free_ = std::move(beforeFree);
  }

 private:
  void UpdateCount() { count_.store(static_cast<int>(tasks_.size())); }
  void Free(TTaskRef task);

  mutable std::mutex lock_;
  std::vector<TTaskRef> tasks_;
  uint64_t next_serial_ = 1;
  std::atomic<int> count_{0};
  std::function<void(TFFmpeg&)> before_free_;
};

}  // namespace strella::encoder
