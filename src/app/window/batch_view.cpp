#include "app/window/batch_view.h"

#include <QMenuBar>

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

void TWindowBatchView::BrowseForFolder() { form_.BrowseForOutputFolder(); }

// DisableSettings and EnableSettings.
void TWindowBatchView::SetSettingsEnabled(bool AEnabled) {
  for (QWidget* control : {static_cast<QWidget*>(form_.PageControl1), static_cast<QWidget*>(form_.GroupBox1),
                           static_cast<QWidget*>(form_.ComboOutputFormat), static_cast<QWidget*>(form_.ButtonRemoveItem),
                           static_cast<QWidget*>(form_.ButtonClearList), static_cast<QWidget*>(form_.ButtonOpenDVD),
                           static_cast<QWidget*>(form_.ButtonRipNow), static_cast<QWidget*>(form_.TrackBar1)})
    control->setEnabled(AEnabled);
  for (QAction* menu : form_.menuBar()->actions()) menu->setEnabled(AEnabled);
  if (AEnabled) {
    form_.ProgressBar1->setValue(0);
    form_.StatusPanel0->clear();
    form_.setWindowTitle(kMainCaption);
    if (form_.sPanelPlay->HasFrame()) form_.sPanelPlay->ShowPlaceholder();  // the batch's last frame goes
    jobs_taken_ = 0;
    last_row_ = -1;
    overall_ = -1;
  }
}

void TWindowBatchView::SetProgressBar(int APosition) {
  form_.ProgressBar1->setValue(std::clamp(APosition, 0, 100));
  if (form_.Converting()) ShowOverall(std::clamp(APosition, 0, 100));
}

void TWindowBatchView::SetStatusText(const std::string& AText) {
  form_.StatusPanel0->setText(QString::fromStdString(AText));
}

// The row gets the focus mark and is scrolled into view; the selection stays.
void TWindowBatchView::FocusRow(int ARow) {
  QTreeWidgetItem* item = form_.ListView1->Row(ARow);
  if (!item) return;
  const QModelIndex index = form_.ListView1->indexFromItem(item);
  form_.ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  form_.ListView1->scrollToItem(item);
  // Rows are taken in list order; with several running the focus also goes back to an earlier one.
  if (ARow > last_row_) {
    last_row_ = ARow;
    ++jobs_taken_;
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

// Rows taken so far plus the checked rows still ahead make the batch; the
// title shows how far through it the running row has come.
void TWindowBatchView::ShowOverall(int rowPercent) {
  if (jobs_taken_ <= 0) return;
  const app::TFileList& files = form_.Files();
  int ahead = 0;
  for (int row = last_row_ + 1; row < files.Count(); ++row) ahead += files.Row(row).Checked ? 1 : 0;
  const int total = jobs_taken_ + ahead;
  overall_ = ((jobs_taken_ - 1) * 100 + rowPercent) / total;
  form_.setWindowTitle(QString("%1% - %2").arg(overall_).arg(kMainCaption));
}

}  // namespace strella::window
