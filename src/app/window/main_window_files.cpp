// Form1's file list: adding files (dialog, drops, command line), removing,
// checking, the context menu and the selection the preview plays.
#include <QAction>

#include "app/window/dialogs.h"
#include "app/window/main_window.h"
#include "app/window/preview_controls.h"

namespace strella::window {

void TForm1::BindFileList() {
  files_.OnChanged = [this](int row) { FilesChanged(row); };
  connect(ListView1, &TFileListView::RowChecked, this,
          [this](int row, bool checked) {
            if (row >= 0 && row < files_.Count()) files_.SetChecked(row, checked);
          });
  connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::ListSelectionChanged);
  connect(ListView1, &TFileListView::FilesDropped, this, [this](const QStringList& files) {
    if (Converting()) return;  // the list takes no new files during a batch
    AddFileNames(files);
  });
  connect(ListView1, &QWidget::customContextMenuRequested, this, &TForm1::ShowListMenu);
  connect(ButtonOpenDVD, &QToolButton::clicked, this, &TForm1::AddVideo);
  connect(ButtonRemoveItem, &QToolButton::clicked, this, &TForm1::RemoveSelectedItem);
  connect(ButtonClearList, &QToolButton::clicked, this, &TForm1::ClearAllItems);
  auto item = [this](const char* name) { return PopupMenu1->findChild<QAction*>(name); };
  connect(item("UnCheckAllItems1"), &QAction::triggered, this, [this] { files_.CheckAll(false); });
  connect(item("CheckAllItems1"), &QAction::triggered, this, [this] { files_.CheckAll(true); });
  connect(item("RemoveSelectedItem1"), &QAction::triggered, this, &TForm1::RemoveSelectedItem);
  connect(item("ClearAllItems1"), &QAction::triggered, this, &TForm1::ClearAllItems);
  connect(item("PreviewSelected1"), &QAction::triggered, this, [this] { preview_->Play(); });
}

void TForm1::FilesChanged(int row) {
  SaveSessionSoon();
  const int shown = ListView1->RowCount();
  ListView1->ShowRows(files_, row);
  // Each added row shows at once, scrolled into view.
  if (files_.Count() > shown && files_.Count() > 0) ListView1->scrollToItem(ListView1->Row(files_.Count() - 1));
  if (selected_row_ >= files_.Count()) {
    selected_row_ = -1;
    preview_file_.clear();
  }
}

void TForm1::ShowListMenu(const QPoint& at) {
  if (Converting()) return;  // the context menu does not open during a batch
  PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
}

void TForm1::AddVideo() {
  if (files_.AddingFiles() || Busy()) return;
  const QStringList files = Dialogs().OpenFiles(this, OpenDialogFilter());
  if (files.isEmpty()) return;
  AddFileNames(files);
}

bool TForm1::AddFileNames(const QStringList& files) {
  if (files.isEmpty() || Busy()) return false;
  if (files_.AddingFiles()) {
    ShowInformation(this, "Files are still being added. Please add these files when that has finished.");
    return false;
  }
  ClearConverterTasks();
  files_.ClearColumns({app::fcProgress, app::fcFrames});
  std::vector<std::string> names;
  for (const QString& file : files) names.push_back(file.toStdString());
  return files_.AddFiles(std::move(names), app::CreateMediaProbe(),
                         [this] { return settings_->CurrentFormatKey; });
}

void TForm1::RemoveSelectedItem() {
  if (Converting() || selected_row_ < 0 || selected_row_ >= files_.Count()) return;
  const int row = selected_row_;
  selected_row_ = -1;
  preview_file_.clear();
  files_.Remove(row);
}

void TForm1::ClearAllItems() {
  if (Converting()) return;
  selected_row_ = -1;
  preview_file_.clear();
  files_.Clear();
}

void TForm1::ListSelectionChanged() {
  const int row = ListView1->SelectedIndex();
  if (queue_) queue_->PreviewRow = row;  // a running row's frames show while it is selected
  if (Busy()) return;
  if (row < 0 || row >= files_.Count()) return;
  selected_row_ = row;
  preview_file_ = QString::fromStdString(files_.Row(row).Caption);
}

}  // namespace strella::window
