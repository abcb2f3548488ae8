#include "scripted_converter.h"

#include <fstream>

#include "media/main_thread.h"

namespace strella::window::test {

TScriptedConverter::~TScriptedConverter() {
  events_->Close();
  StopTasks(true);
}

void TScriptedConverter::ClearTasks() {
  Join();
  events_ = std::make_unique<media::TMainThreadMailbox>();  // a cleared job's notices are not delivered
  std::lock_guard guard(lock_);
  input_.clear();
  output_.clear();
}

int TScriptedConverter::AddInput(const std::string& AFileName, app::TInputOptions&) {
  if (AFileName.find("bad") != std::string::npos) return -1;
  std::lock_guard guard(lock_);
  input_ = AFileName;
  inputs_.push_back(AFileName);
  return 0;
}

bool TScriptedConverter::SetOutput(int, const std::string& AFileName, app::TOutputOptions&) {
  std::lock_guard guard(lock_);
  output_ = AFileName;
  return true;
}

void TScriptedConverter::RemoveTask(int) {
  std::lock_guard guard(lock_);
  input_.clear();
}

void TScriptedConverter::StartTasks(int) {
  Join();
  std::string input, output;
  {
    std::lock_guard guard(lock_);
    if (input_.empty()) return;
    input = input_;
    output = output_;
    stop_ = released_ = false;
  }
  running_ = true;
  worker_ = std::thread([this, input, output] { Run(input, output); });
}

void TScriptedConverter::Run(std::string input, std::string output) {
  Post([this] {
    if (OnProgress) OnProgress(0, 25, 25, 1000, 3.0f, 400.0f, 1234567, 2000);
  });
  const bool hold = input.find("hold") != std::string::npos;
  bool stopped = false;
  {
    std::unique_lock guard(lock_);
    if (hold) wake_.wait(guard, [this] { return released_ || stop_; });
    stopped = stop_;
  }
  if (!stopped) {
    std::ofstream(output) << "converted " << input;
    Post([this] {
      if (OnProgress) OnProgress(0, 50, 25, 2000, 3.0f, 400.0f, 2345678, 2000);
    });
  }
  const bool crash = input.find("crash") != std::string::npos;
  running_ = false;
  Post([this, stopped, crash] {
    if (OnTerminate) OnTerminate(0, !stopped && !crash, crash, crash ? "scripted crash" : "");
    if (OnTerminate) OnTerminate(-1, true, false, "");
  });
}

// Like the encoder: notices reach the main thread through its inbox, in order.
void TScriptedConverter::Post(std::function<void()> call) {
  std::lock_guard guard(lock_);
  events_->Post(std::move(call));
}

void TScriptedConverter::Release() {
  std::lock_guard guard(lock_);
  released_ = true;
  wake_.notify_all();
}

void TScriptedConverter::StopTasks(bool AWait) {
  {
    std::lock_guard guard(lock_);
    stop_ = true;
    wake_.notify_all();
  }
  if (AWait) Join();
}

void TScriptedConverter::PauseTasks() { ++pauses_; }
void TScriptedConverter::ResumeTasks() { ++resumes_; }

std::vector<std::string> TScriptedConverter::Inputs() const {
  std::lock_guard guard(lock_);
  return inputs_;
}

void TScriptedConverter::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace strella::window::test
