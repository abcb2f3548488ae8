// The encoder's queued tasks. Every access locks, works and unlocks; the lock
// is never held while a task converts. The list owns its tasks.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "encoder/task.h"

namespace strella::encoder {

class TFFmpegList {
 public:
  TFFmpegList() = default;
  ~TFFmpegList();
  TFFmpegList(const TFFmpegList&) = delete;
  TFFmpegList& operator=(const TFFmpegList&) = delete;

  // Appends; the task's Index becomes its position, which is returned.
  int Add(std::unique_ptr<TFFmpeg> task);
  // Throws std::out_of_range "List index out of bounds (%d)".
  TFFmpeg& Items(int position);
  // The cached count: readable without the lock, from any thread.
  int Count() const { return count_.load(); }
  // Removes the task at position, renumbers the later ones and frees it.
  void Delete(int position);
  // Frees every task in list order and empties the list.
  void Clear();

  // Runs visit on every task in list order, under the list lock.
  void ForEach(const std::function<void(TFFmpeg&)>& visit);

  // Called on each task before it is freed (stops it and waits for its thread).
  void SetBeforeFree(std::function<void(TFFmpeg&)> beforeFree) {
    before_free_ = std::move(beforeFree);
  }

 private:
  void UpdateCount() { count_.store(static_cast<int>(tasks_.size())); }
  void Free(std::unique_ptr<TFFmpeg> task);

  // Recursive: a preview handler served on the main thread while it stops
  // all tasks may look a task up.
  std::recursive_mutex lock_;
  std::vector<std::unique_ptr<TFFmpeg>> tasks_;
  std::atomic<int> count_{0};
  std::function<void(TFFmpeg&)> before_free_;
};

}  // namespace strella::encoder
