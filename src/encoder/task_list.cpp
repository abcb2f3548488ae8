#include "encoder/task_list.h"

#include <stdexcept>

#include "media/text_helpers.h"

namespace strella::encoder {

namespace {

[[noreturn]] void ThrowOutOfBounds(int position) {
  throw std::out_of_range(media::Format("List index out of bounds (%d)", position));
}

}  // namespace

TFFmpegList::~TFFmpegList() { Clear(); }

int TFFmpegList::Add(TTaskRef task) {
  std::lock_guard guard(lock_);
  task->Index = static_cast<int>(tasks_.size());
  task->Serial = next_serial_++;
  tasks_.push_back(std::move(task));
  UpdateCount();
  return tasks_.back()->Index;
}

TTaskRef TFFmpegList::Items(int position) const {
  std::lock_guard guard(lock_);
  if (position < 0 || position >= static_cast<int>(tasks_.size())) ThrowOutOfBounds(position);
  return tasks_[position];
}

int TFFmpegList::PositionOfSerial(uint64_t serial) const {
  std::lock_guard guard(lock_);
  for (size_t i = 0; i < tasks_.size(); ++i)
    if (tasks_[i]->Serial == serial) return static_cast<int>(i);
  return -1;
}

std::vector<TTaskRef> TFFmpegList::Snapshot() const {
  std::lock_guard guard(lock_);
  return tasks_;
}

// Tasks are taken out under the lock and freed outside it: freeing waits for
// a running conversion, whose end may need the list (to start the next task).
void TFFmpegList::Delete(int position) {
  TTaskRef task;
  {
    std::lock_guard guard(lock_);
    if (position < 0 || position >= static_cast<int>(tasks_.size())) ThrowOutOfBounds(position);
    task = std::move(tasks_[position]);
    tasks_.erase(tasks_.begin() + position);
    for (size_t i = position; i < tasks_.size(); ++i) tasks_[i]->Index = static_cast<int>(i);
    UpdateCount();
  }
  Free(std::move(task));
}

void TFFmpegList::Clear() {
  std::vector<TTaskRef> taken;
  {
    std::lock_guard guard(lock_);
    taken.swap(tasks_);
    UpdateCount();
  }
  for (auto& task : taken) Free(std::move(task));
}

void TFFmpegList::Free(TTaskRef task) {
  if (!task) return;
  if (before_free_) before_free_(*task);
  task.reset();
}

}  // namespace strella::encoder
