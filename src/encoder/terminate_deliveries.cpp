#include "encoder/terminate_deliveries.h"

#include <vector>

#include "media/main_thread.h"

namespace strella::encoder {

void TTerminateDeliveries::Start(std::function<void()> body) {
  JoinDone();
  auto delivery = std::make_shared<Delivery>();
  std::lock_guard guard(lock_);
  deliveries_.push_back(delivery);
  // The delivery is started under the lock, so the thread's own end-marking
  // waits until the thread object is stored.
  delivery->thread = std::thread([this, delivery, body = std::move(body)] {
    body();
    std::lock_guard done(lock_);
    delivery->done = true;
  });
}

void TTerminateDeliveries::JoinDone() {
  std::vector<std::shared_ptr<Delivery>> done;
  {
    std::lock_guard guard(lock_);
    for (auto it = deliveries_.begin(); it != deliveries_.end();) {
      if ((*it)->done) {
        done.push_back(*it);
        it = deliveries_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& delivery : done) delivery->thread.join();
}

void TTerminateDeliveries::JoinAll() {
  std::list<std::shared_ptr<Delivery>> all;
  {
    std::lock_guard guard(lock_);
    all.swap(deliveries_);
  }
  for (auto& delivery : all) {
    if (delivery->thread.get_id() == std::this_thread::get_id()) {
      delivery->thread.detach();  // a handler that clears the list from its own delivery
    } else {
      media::JoinServingMainThread(delivery->thread);
    }
  }
}

}  // namespace strella::encoder
