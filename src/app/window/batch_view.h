// What the batch shows on Form1: messages, the stop question, the settings
// locked during a batch, the progress bar, the status text and the window
// title with the batch's overall progress.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/batch_queue.h"
#include "app/converter.h"

namespace strella::window {

class TForm1;

// Makes the converter the window's batch runs on; tests install a scripted one.
using TConverterFactory = std::function<std::unique_ptr<app::TConverter>()>;
TConverterFactory& ConverterFactory();

class TWindowBatchView : public app::TBatchView {
 public:
  explicit TWindowBatchView(TForm1& form) : form_(form) {}

  void ShowInformation(const std::string& AText) override;
  bool ConfirmStop() override;
  bool ConfirmConvertAgain(int ADone, int AOthers) override;
  void BrowseForFolder() override;
  void SetSettingsEnabled(bool AEnabled) override;
  void SetProgressBar(int APosition) override;
  void SetStatusText(const std::string& AText) override;
  void FocusRow(int ARow) override;
  void StopPreview() override;
  void SetTimerEnabled(bool AEnabled) override;
  void TickSoon() override;

  // The batch's progress over all its rows, 0 to 100; -1 outside a batch.
  int OverallPercent() const { return overall_; }

 private:
  void ShowOverall();
  std::vector<int> BatchRows() const;

  TForm1& form_;
  std::vector<int> taken_;  // rows of this batch taken so far, in order
  int overall_ = -1;
};

}  // namespace strella::window
