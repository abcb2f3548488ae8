// What the batch needs of the encoder component: a task list for one job at a
// time and its progress and terminate events. The encoder adapter implements
// it; the tests drive the batch through a scripted one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/job_options.h"
#include "encoder/events.h"
#include "engine/verify_output.h"

namespace strella::app {

using TProgressEvent = std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration,
                                          float AQuality, float ABitRate, int64_t ACurrentSize,
                                          int ATotalOutputDuration)>;
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;

class TConverter {
 public:
  virtual ~TConverter() = default;
  virtual void ClearTasks() = 0;
  // A task index, or -1 with the reason in LastErrMsg.
  virtual int AddInput(const std::string& AFileName, TInputOptions& AOptions) = 0;
  virtual bool SetOutput(int AIndex, const std::string& AFileName, TOutputOptions& AOptions) = 0;
  virtual void RemoveTask(int AIndex) = 0;
  // With a positive count the tasks run on worker threads and the call returns at once.
  virtual void StartTasks(int AParallelCount) = 0;
  virtual void StopTasks(bool AWait) = 0;
  virtual void PauseTasks() = 0;
  virtual void ResumeTasks() = 0;
  virtual void SetPreviewBitmap(bool AValue) = 0;
  virtual std::string LastErrMsg() const = 0;
  // The log tag the task's conversion thread carries, so its lines find their row.
  virtual void SetLogTag(int /*AIndex*/, int64_t /*ATag*/) {}
  // What reading the task's finished output back found; empty when it was not verified.
  virtual std::optional<engine::TVerifiedOutput> VerifiedOutput(int /*AIndex*/) { return std::nullopt; }

  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;
  // Encoded pictures for the preview area, on the main thread; without a
  // handler the converter makes none.
  encoder::TPreviewBitmapEvent OnPreviewBitmap;
};

}  // namespace strella::app
