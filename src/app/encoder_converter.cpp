#include "app/encoder_converter.h"

#include "encoder/encoder.h"
#include "media/loader.h"

namespace strella::app {

namespace {

// The encoder component behind the batch's converter interface.
class TEncoderConverter : public TConverter {
 public:
  TEncoderConverter() {
    encoder_.OnProgress = [this](int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                                 float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration) {
      if (OnProgress)
        OnProgress(AIndex, AFrameNumber, AFPS, ACurrentDuration, AQuality, ABitRate, ACurrentSize,
                   ATotalOutputDuration);
    };
    encoder_.OnPreviewBitmap = [this](int AIndex, media::TBitmap* ABitmap, int AFrameNumber, int64_t APTS) {
      if (OnPreviewBitmap) OnPreviewBitmap(AIndex, ABitmap, AFrameNumber, APTS);
    };
    encoder_.OnTerminate = [this](int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
      if (OnTerminate) OnTerminate(AIndex, AFinished, AException, AMessage);
    };
  }
  ~TEncoderConverter() override {
    encoder_.StopTasks(true);
    encoder_.ClearTasks();
  }

  bool Load(std::string& AError) {
    if (encoder_.LoadLibraries(media::ProgramFolder())) return true;
    AError = encoder_.LastErrMsg();
    return false;
  }

  void ClearTasks() override { encoder_.ClearTasks(); }
  int AddInput(const std::string& AFileName, TInputOptions& AOptions) override {
    return encoder_.AddInput(AFileName, AOptions);
  }
  bool SetOutput(int AIndex, const std::string& AFileName, TOutputOptions& AOptions) override {
    return encoder_.SetOutput(AIndex, AFileName, AOptions);
  }
  void RemoveTask(int AIndex) override { encoder_.RemoveTask(AIndex); }
  void StartTasks(int AParallelCount) override { encoder_.StartTasks(AParallelCount); }
  void StopTasks(bool AWait) override { encoder_.StopTasks(AWait); }
  void PauseTasks() override { encoder_.PauseTasks(); }
  void ResumeTasks() override { encoder_.ResumeTasks(); }
  void SetPreviewBitmap(bool AValue) override { encoder_.SetPreviewBitmap(AValue && OnPreviewBitmap); }
  std::string LastErrMsg() const override { return encoder_.LastErrMsg(); }
  void SetLogTag(int AIndex, int64_t ATag) override { encoder_.Task(AIndex)->SetLogTag(ATag); }
  std::optional<engine::TVerifiedOutput> VerifiedOutput(int AIndex) override {
    const auto& outputs = engine::VerifiedOutputs(*encoder_.Task(AIndex));
    if (outputs.empty()) return std::nullopt;
    return outputs.front();
  }

 private:
  encoder::TFFmpegEncoder encoder_;
};

}  // namespace

std::unique_ptr<TConverter> CreateEncoderConverter(std::string& AError) {
  auto converter = std::make_unique<TEncoderConverter>();
  if (!converter->Load(AError)) return nullptr;
  return converter;
}

}  // namespace strella::app
