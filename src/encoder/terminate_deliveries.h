// The short-lived threads that deliver OnTerminate in parallel mode, each
// with copies of its own arguments. They are joined (serving the main thread
// meanwhile) when the component clears its tasks or is destroyed, so that no
// thread outlives the run that raised it.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace strella::encoder {

class TTerminateDeliveries {
 public:
  TTerminateDeliveries() = default;
  ~TTerminateDeliveries() { JoinAll(); }
  TTerminateDeliveries(const TTerminateDeliveries&) = delete;
  TTerminateDeliveries& operator=(const TTerminateDeliveries&) = delete;

  // Runs body on a new thread; threads that have ended are joined first.
  void Start(std::function<void()> body);
  // Waits for every delivery thread but the calling one.
  void JoinAll();

 private:
  struct Delivery {
    std::thread thread;
    bool done = false;
  };
  void JoinDone();

  std::mutex lock_;
  std::list<std::shared_ptr<Delivery>> deliveries_;
};

}  // namespace strella::encoder
