#include "encoder/task.h"

#include "engine/presets_targets.h"

namespace strella::encoder {

TFFmpeg::TFFmpeg() {
  ResetInputOptions(InputOptions);
  ResetOutputOptions(OutputOptions);
}

// The end notice reads this task's own fields, so the run ends while they live.
TFFmpeg::~TFFmpeg() { StopAndWaitForEnd(); }

void TFFmpeg::ParseExtOptions(const std::string& text, TExtOptionsPass pass) {
  for (const auto& [name, value] : SplitExtOptions(text)) {
    if (PassOfOption(name) == pass) ParseOption(name, value);
  }
}

void TFFmpeg::ApplyInputOptions() {
  ParseExtOptions(InputOptions.ExtOptions, epGeneral);
  ApplySteps(*this, InputFieldSteps(InputOptions));
}

void TFFmpeg::ApplyOutputOptions() {
  const std::string target = TargetName(OutputOptions.Target);
  if (!target.empty()) {
    engine::ApplyTarget(*this, target, TargetNormName(OutputOptions.TargetNorm),
                        TargetDefaultNormName(OutputOptions.TargetDefaultNorm));
  }
  ParseExtOptions(OutputOptions.ExtOptions, epGeneral);
  ApplySteps(*this, OutputFieldSteps(OutputOptions));
  ParseExtOptions(OutputOptions.ExtOptions, epPreset);
}

}  // namespace strella::encoder
