#include "encoder/task_list.h"

#include <stdexcept>

#include "media/text_helpers.h"

namespace strella::encoder {

TFFmpegList::~TFFmpegList() { Clear(); }

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
  std::lock_guard guard(lock_);
  task->Index = static_cast<int>(tasks_.size());
  tasks_.push_back(std::move(task));
  UpdateCount();
  return tasks_.back()->Index;
}

TFFmpeg& TFFmpegList::Items(int position) {
  std::lock_guard guard(lock_);
  if (position < 0 || position >= static_cast<int>(tasks_.size())) {
    throw std::out_of_range(media::Format("List index out of bounds (%d)", position));
  }
  return *tasks_[position];
}

// Tasks are taken out under the lock and freed outside it: freeing waits for
// a running conversion, whose end may need the list (to start the next task).
void TFFmpegList::Delete(int position) {
  std::unique_ptr<TFFmpeg> task;
  {
    std::lock_guard guard(lock_);
    if (position < 0 || position >= static_cast<int>(tasks_.size())) {
      throw std::out_of_range(media::Format("List index out of bounds (%d)", position));
    }
    task = std::move(tasks_[position]);
    tasks_.erase(tasks_.begin() + position);
    for (size_t i = position; i < tasks_.size(); ++i) tasks_[i]->Index = static_cast<int>(i);
    UpdateCount();
  }
  Free(std::move(task));
}

void TFFmpegList::Clear() {
  std::vector<std::unique_ptr<TFFmpeg>> taken;
  {
    std::lock_guard guard(lock_);
    taken.swap(tasks_);
    UpdateCount();
  }
  for (auto& task : taken) Free(std::move(task));
}

void TFFmpegList::ForEach(const std::function<void(TFFmpeg&)>& visit) {
  std::lock_guard guard(lock_);
  for (auto& task : tasks_) visit(*task);
}

void TFFmpegList::Free(std::unique_ptr<TFFmpeg> task) {
  if (!task) return;
  if (before_free_) before_free_(*task);
  task.reset();
}

}  // namespace strella::encoder
