#include "app/window/batch_view.h"

#include <QMenu>
#include <cstdlib>
#include <QMenuBar>

#include "app/batch_summary.h"

#include "app/window/dialogs.h"
#include "app/window/main_window.h"
#include "app/window/preview_controls.h"

namespace strella::window {

TConverterFactory& ConverterFactory() {
  static TConverterFactory factory;
  return factory;
}

void TWindowBatchView::ShowInformation(const std::string& AText) {
  window::ShowInformation(&form_, QString::fromStdString(AText));
}

bool TWindowBatchView::ConfirmStop() {
  return AskYesNo(&form_, "Confirmation", "Stop all conversions?");
}

// Yes converts the done rows again; No converts the others only (nothing when there are none).
bool TWindowBatchView::ConfirmConvertAgain(int ADone, int AOthers) {
  const QString files = ADone == 1 ? "1 checked file is" : QString("%1 checked files are").arg(ADone);
  const QString rest = AOthers == 0 ? QString("No leaves them as they are.")
                                    : QString("No converts only the %1 not converted yet.").arg(AOthers);
  return AskYesNo(&form_, "Convert Again?", files + " converted already (\"Done\"). Convert them again?\n\n" + rest);
}

void TWindowBatchView::BrowseForFolder() { form_.BrowseForOutputFolder(); }

// DisableSettings and EnableSettings.
void TWindowBatchView::SetSettingsEnabled(bool AEnabled) {
  for (QWidget* control : {static_cast<QWidget*>(form_.PageControl1), static_cast<QWidget*>(form_.GroupBox1),
                           static_cast<QWidget*>(form_.ComboOutputFormat), static_cast<QWidget*>(form_.ButtonRemoveItem),
                           static_cast<QWidget*>(form_.ButtonClearList), static_cast<QWidget*>(form_.ButtonRipNow)})
    control->setEnabled(AEnabled);
  // Adding files and playing one in the preview stay open during a batch.
  // The View menu stays: the log is worth reading while a batch runs.
  for (QAction* menu : form_.menuBar()->actions())
    if (menu->menu() && menu->menu()->objectName() != "View1") menu->setEnabled(AEnabled);
  if (AEnabled) {
    form_.ProgressBar1->setValue(0);
    form_.StatusPanel0->clear();
    form_.SetStatusText("Ready");
    form_.setWindowTitle(kMainCaption);
    if (form_.sPanelPlay->HasFrame()) form_.sPanelPlay->ShowPlaceholder();  // the batch's last frame goes
    taken_.clear();
    overall_ = -1;
  }
}

void TWindowBatchView::SetProgressBar(int APosition) {
  form_.ProgressBar1->setValue(std::clamp(APosition, 0, 100));
  if (form_.Converting()) ShowOverall();
}

void TWindowBatchView::SetStatusText(const std::string& AText) {
  form_.StatusPanel0->setText(QString::fromStdString(AText));
}

// The row gets the focus mark and is scrolled into view; the selection stays.
// A newly taken row is named in the status bar with its place in the batch.
void TWindowBatchView::FocusRow(int ARow) {
  QTreeWidgetItem* item = form_.ListView1->Row(ARow);
  if (!item) return;
  const QModelIndex index = form_.ListView1->indexFromItem(item);
  form_.ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  form_.ListView1->scrollToItem(item);
  // Rows are taken in list order; with several running the focus also goes back to an earlier one.
  if (taken_.empty() || ARow > taken_.back()) {
    taken_.push_back(ARow);
    const std::vector<int> rows = BatchRows();
    form_.SetStatusText(QString::fromStdString(app::ConvertingText(
        static_cast<int>(taken_.size()), static_cast<int>(rows.size()), form_.Files().Row(ARow).Caption)));
  }
}

void TWindowBatchView::StopPreview() { form_.Preview().StopForConversion(); }

void TWindowBatchView::SetTimerEnabled(bool AEnabled) {
  if (AEnabled)
    form_.Timer1->start();
  else
    form_.Timer1->stop();
}

void TWindowBatchView::TickSoon() {
  QTimer::singleShot(0, &form_, [this] {
    if (form_.Queue()) form_.Queue()->Tick();
  });
}

// Rows taken so far plus the checked rows still ahead make the batch.
std::vector<int> TWindowBatchView::BatchRows() const {
  std::vector<int> rows = taken_;
  const app::TFileList& files = form_.Files();
  const int last = taken_.empty() ? -1 : taken_.back();
  for (int row = last + 1; row < files.Count(); ++row)
    if (files.Row(row).Checked) rows.push_back(row);
  return rows;
}

// The title shows how far through the batch its rows have come, each row
// weighing with its duration: an ended row counts whole, a running one (or
// several, converting at once) with the percentage of its Progress column.
void TWindowBatchView::ShowOverall() {
  if (taken_.empty()) return;
  std::vector<app::TBatchShare> shares;
  const app::TFileList& files = form_.Files();
  for (int row : BatchRows()) {
    const app::TFileRow& file = files.Row(row);
    int percent = 0;
    if (file.Status == app::TRowStatus::Converting)
      percent = file.Percent;
    else if (file.Status != app::TRowStatus::Waiting && std::find(taken_.begin(), taken_.end(), row) != taken_.end())
      percent = 100;  // Done, Fail, Failed, Abort
    std::optional<int64_t> durationMS;
    if (file.Probe.DurationKnown()) durationMS = file.Probe.DurationUS / 1000;
    shares.push_back({durationMS, percent});
  }
  overall_ = app::BatchPercent(shares);
  form_.setWindowTitle(QString("%1% - %2").arg(overall_).arg(kMainCaption));
}

}  // namespace strella::window
