// A converter for tests of the batch that need no encoder.
#pragma once

#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/converter.h"
#include "media/main_thread.h"

namespace strella::app {

// Stands in for the encoder: each job runs on a thread of its own, writes its
// output, reports progress and ends as scripted. Like the encoder, it posts its
// notices to the main thread, and those of a job it has cleared are dropped;
// the list's final notice comes before the task's own here, to show the batch
// does not depend on their order.
class TScriptedConverter : public TConverter {
 public:
  enum TOutcome { toFinish, toRaise, toWaitForStop, toWaitForRelease };

  ~TScriptedConverter() override {
    events_->Close();
    Join();
  }

  void ClearTasks() override {
    Join();
    std::lock_guard guard(lock_);
    events_ = std::make_unique<media::TMainThreadMailbox>();
    task_ = false;
  }
  int AddInput(const std::string& AFileName, TInputOptions&) override {
    inputs.push_back(AFileName);
    if (AFileName.find("unreadable") != std::string::npos) {
      last_error_ = "no such file or directory";
      return -1;
    }
    task_ = true;
    return 0;
  }
  bool SetOutput(int, const std::string& AFileName, TOutputOptions& AOptions) override {
    outputName = AFileName;
    outputs.push_back(AOptions);
    return true;
  }
  void RemoveTask(int) override { task_ = false; }
  void StartTasks(int) override {
    if (startThrows) throw std::runtime_error("Cannot start a conversion thread");
    if (!task_) return;
    task_ = false;
    stop_ = released_ = false;
    worker_ = std::thread([this, outcome = outcome, name = outputName] { Run(outcome, name); });
  }
  void StopTasks(bool) override {
    {
      std::lock_guard guard(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    Join();
  }
  // A job waiting for its release finishes.
  void Release() {
    {
      std::lock_guard guard(lock_);
      released_ = true;
    }
    wake_.notify_all();
  }
  void PauseTasks() override { ++pauses; }
  void ResumeTasks() override { ++resumes; }
  void SetPreviewBitmap(bool) override {}
  std::string LastErrMsg() const override { return last_error_; }

  TOutcome outcome = toFinish;
  int totalDuration = 2000;
  std::string outputName;
  std::vector<std::string> inputs;
  std::vector<TOutputOptions> outputs;
  int pauses = 0, resumes = 0;
  bool startThrows = false;

 private:
  void Run(TOutcome outcome, const std::string& name) {
    std::ofstream(name) << "converted";
    Post([this] {
      if (OnProgress) OnProgress(0, 25, 25, 1000, 2.0f, 300.0f, 1234567, totalDuration);
    });
    bool stopped = false;
    if (outcome == toWaitForStop) {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [this] { return stop_; });
      stopped = true;
    } else if (outcome == toWaitForRelease) {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [this] { return stop_ || released_; });
      stopped = !released_;
    }
    const bool raised = outcome == toRaise;
    Post([this] { OnTerminate(-1, true, false, ""); });
    Post([this, stopped, raised] {
      OnTerminate(0, !stopped && !raised, raised, raised ? "Error while encoding" : "");
    });
  }
  void Post(std::function<void()> call) {
    std::lock_guard guard(lock_);
    events_->Post(std::move(call));
  }
  void Join() {
    if (worker_.joinable()) worker_.join();
  }

  bool task_ = false;
  std::string last_error_;
  std::thread worker_;
  std::mutex lock_;
  std::unique_ptr<media::TMainThreadMailbox> events_ = std::make_unique<media::TMainThreadMailbox>();  // under lock_
  std::condition_variable wake_;
  bool stop_ = false;
  bool released_ = false;
};

}  // namespace strella::app
