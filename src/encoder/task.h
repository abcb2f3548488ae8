// One conversion task: an engine instance that owns one input and one output
// file, with copies of the option records it was configured from.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "encoder/option_records.h"
#include "engine/engine.h"

namespace strella::encoder {

class TFFmpeg : public engine::TCustomFFmpeg {
 public:
  TFFmpeg();
  ~TFFmpeg() override;

  // Feeds the lines of text that belong to pass to the option dispatcher.
  void ParseExtOptions(const std::string& text, TExtOptionsPass pass);
  // The input record, before the input is opened: general pass, then the fields.
  void ApplyInputOptions();
  // The output record, before the output is opened: target, general pass,
  // the fields, preset pass.
  void ApplyOutputOptions();

  // Position in the task list (AIndex of every event); written under the list's lock.
  std::atomic<int> Index{-1};
  uint64_t Serial = 0;  // names the task for the whole life of its list
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;
};

}  // namespace strella::encoder
