// Form1's file list: adding files (dialog, folders, drops, command line),
// removing, checking, the context menu and the selection the preview plays.
#include <QAction>
#include <QFileInfo>

#include "app/media_files.h"
#include "app/window/dialogs.h"
#include "app/window/main_window.h"
#include "app/window/preview_controls.h"

namespace strella::window {

void TForm1::BindFileList() {
  files_.OnChanged = [this](int row) { FilesChanged(row); };
  files_.OnAddingFinished = [this](int added, int skipped) { AddingFinished(added, skipped); };
  connect(ListView1, &TFileListView::RowChecked, this,
          [this](int row, bool checked) {
            if (row >= 0 && row < files_.Count()) files_.SetChecked(row, checked);
          });
  connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::ListSelectionChanged);
  connect(ListView1, &QTreeWidget::currentItemChanged, this, &TForm1::ListSelectionChanged);
  connect(ListView1, &TFileListView::FilesDropped, this, [this](const QStringList& files) { AddFileNames(files); });
  // A double-click plays the row.
  connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    ListView1->setCurrentItem(item);
    ListSelectionChanged();
    preview_->Play();
  });
  connect(ListView1, &QWidget::customContextMenuRequested, this, &TForm1::ShowListMenu);
  connect(ButtonOpenDVD, &QToolButton::clicked, this, &TForm1::AddVideo);
  connect(ButtonRemoveItem, &QToolButton::clicked, this, &TForm1::RemoveSelectedItem);
  connect(ButtonClearList, &QToolButton::clicked, this, &TForm1::ClearAllItems);
  auto item = [this](const char* name) { return findChild<QAction*>(name); };
  connect(item("UnCheckAllItems1"), &QAction::triggered, this, [this] { files_.CheckAll(false); });
  connect(item("CheckAllItems1"), &QAction::triggered, this, [this] { files_.CheckAll(true); });
  connect(item("RemoveSelectedItem1"), &QAction::triggered, this, &TForm1::RemoveSelectedItem);
  connect(item("ClearAllItems1"), &QAction::triggered, this, &TForm1::ClearAllItems);
  connect(item("SelectAll1"), &QAction::triggered, this, [this] {
    ListView1->setFocus();
    ListView1->selectAll();
  });
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

// Files may be added during a batch too: checked rows it has not reached yet join it.
void TForm1::AddVideo() {
  if (files_.AddingFiles()) return;
  const QStringList files = Dialogs().OpenFiles(this, OpenDialogFilter());
  if (files.isEmpty()) return;
  AddFileNames(files);
}

void TForm1::AddFolder() {
  if (files_.AddingFiles()) return;
  const QString folder = Dialogs().OpenFolder(this, "Add the media files of a folder and its subfolders");
  if (folder.isEmpty()) return;
  AddFileNames({folder});
}

bool TForm1::AddFileNames(const QStringList& files) {
  if (files.isEmpty()) return false;
  if (files_.AddingFiles()) {
    ShowInformation(this, "Files are still being added. Please add these files when that has finished.");
    return false;
  }
  std::vector<std::string> paths;
  for (const QString& file : files) paths.push_back(file.toStdString());
  app::TExpandedPaths expanded = app::ExpandFolders(paths, app::ReadableExtensions());
  folder_ignored_ = expanded.IgnoredInFolders;
  const bool found = !expanded.Files.empty();
  already_listed_ = app::DropListedFiles(expanded.Files, files_);
  if (expanded.Files.empty()) {
    SetStatusText(found ? QString("Skipped %1 %2 already in the list").arg(already_listed_).arg(already_listed_ == 1 ? "file" : "files")
                        : QString("No media files found (%1 other files)").arg(folder_ignored_));
    return false;
  }
  if (!prefs_.KeepFolderStructure)
    for (app::TFileToAdd& file : expanded.Files) file.Subfolder.clear();
  if (!Converting()) {  // a running batch keeps its rows' results
    ClearConverterTasks();
    // Rows already converted stay "Done": Convert Now goes on with the others.
    files_.ClearColumns({app::fcProgress, app::fcFrames},
                        [](const app::TFileRow& row) { return row.Status != app::TRowStatus::Done; });
  }
  SetStatusText(QString("Adding %1 files...").arg(expanded.Files.size()));
  return files_.AddFiles(std::move(expanded.Files), app::CreateMediaProbe(),
                         [this] { return settings_->CurrentFormatKey; });
}

// What the adding did, in the status bar: the count of files of the folders
// that could not be read (they are in the log), and of those that are no media.
void TForm1::AddingFinished(int added, int skipped) {
  QString text = QString("Added %1 %2").arg(added).arg(added == 1 ? "file" : "files");
  if (skipped > 0) text += QString(", skipped %1 that could not be read").arg(skipped);
  if (already_listed_ > 0) text += QString(", skipped %1 already in the list").arg(already_listed_);
  if (folder_ignored_ > 0) text += QString(", ignored %1 that are not media").arg(folder_ignored_);
  folder_ignored_ = already_listed_ = 0;
  if (!Converting()) SetStatusText(text);
}

void TForm1::RemoveSelectedItem() {
  if (Converting()) return;
  std::vector<int> rows = ListView1->SelectedIndexes();
  if (rows.empty() && selected_row_ >= 0 && selected_row_ < files_.Count()) rows.push_back(selected_row_);
  if (rows.empty()) return;
  // From the bottom up, so the indexes still to remove stay valid.
  std::sort(rows.rbegin(), rows.rend());
  for (int row : rows) files_.Remove(row);
  SelectRowAfterRemoval(rows.back());
}

// The row that took the place of the first removed one (or the new last row)
// is selected, so that Remove Item again removes what the list shows selected.
void TForm1::SelectRowAfterRemoval(int row) {
  selected_row_ = -1;
  preview_file_.clear();
  ListView1->clearSelection();
  if (files_.Count() == 0) return;
  QTreeWidgetItem* next = ListView1->Row(std::min(row, files_.Count() - 1));
  ListView1->setCurrentItem(next);
  next->setSelected(true);
  ListSelectionChanged();
}

void TForm1::ClearAllItems() {
  if (Converting()) return;
  selected_row_ = -1;
  preview_file_.clear();
  files_.Clear();
}

void TForm1::ListSelectionChanged() {
  int row = ListView1->CurrentIndex();
  if (row < 0 || !ListView1->Row(row)->isSelected()) row = ListView1->SelectedIndex();
  if (queue_) queue_->PreviewRow = row;  // a running row's frames show while it is selected
  if (row < 0 || row >= files_.Count()) return;
  selected_row_ = row;
  preview_file_ = QString::fromStdString(files_.Row(row).Caption);
}

}  // namespace strella::window
