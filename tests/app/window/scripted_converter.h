// A converter for the window's batch tests: each job "runs" on a worker
// thread, reports the progress the test scripts and ends as scripted, with
// the threads and event delivery of the real encoder component.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/converter.h"
#include "media/main_thread.h"

namespace strella::window::test {

class TScriptedConverter : public app::TConverter {
 public:
  ~TScriptedConverter() override;

  void ClearTasks() override;
  int AddInput(const std::string& AFileName, app::TInputOptions& AOptions) override;
  bool SetOutput(int AIndex, const std::string& AFileName, app::TOutputOptions& AOptions) override;
  void RemoveTask(int AIndex) override;
  void StartTasks(int AParallelCount) override;
  void StopTasks(bool AWait) override;
  void PauseTasks() override;
  void ResumeTasks() override;
  void SetPreviewBitmap(bool AValue) override { preview_bitmap_ = AValue; }
  std::string LastErrMsg() const override { return "scripted failure"; }

  // Script: a job whose input name contains "hold" waits for Release() (or a
  // stop) after its first progress report; "crash" ends with an exception.
  void Release();

  std::vector<std::string> Inputs() const;
  int PauseCount() const { return pauses_; }
  int ResumeCount() const { return resumes_; }
  bool PreviewBitmap() const { return preview_bitmap_; }
  bool Running() const { return running_; }

 private:
  void Run(std::string input, std::string output);
  void Post(std::function<void()> call);
  void Join();

  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::vector<std::string> inputs_;
  std::string input_, output_;
  std::thread worker_;
  bool released_ = false;
  bool stop_ = false;
  std::atomic<bool> running_{false};
  std::atomic<int> pauses_{0}, resumes_{0};
  std::atomic<bool> preview_bitmap_{false};
  std::unique_ptr<media::TMainThreadMailbox> events_ = std::make_unique<media::TMainThreadMailbox>();  // under lock_
};

}  // namespace strella::window::test
