// ListView1: the checkable, multi-column file list. Draws grid lines, shows
// a long path in full as a tooltip and accepts files dropped onto it.
#pragma once

#include <QStringList>
#include <QTreeWidget>
#include <vector>

#include "app/file_list.h"

namespace strella::window {

// The caption column comes first, then the six texts of a row.
inline constexpr int kCaptionColumn = 0;
inline constexpr int kFileColumnCount = 7;
inline constexpr int ViewColumn(app::TFileColumn column) { return column + 1; }

class TFileListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFileListView(QWidget* parent);

  // Appends a checked row: caption and the six column texts.
  QTreeWidgetItem* AppendRow(const QString& caption, const QStringList& columns);
  // Makes the rows show the model's rows (ARow: that row only, -1: all of them).
  void ShowRows(const app::TFileList& list, int row);
  int RowCount() const { return topLevelItemCount(); }
  QTreeWidgetItem* Row(int index) const { return topLevelItem(index); }
  bool IsChecked(int index) const;
  void SetChecked(int index, bool checked);
  void SetAllChecked(bool checked);
  void SetColumnText(int index, app::TFileColumn column, const QString& text);
  QString ColumnText(int index, app::TFileColumn column) const;
  // The selected row's index (the first of several), -1 when none.
  int SelectedIndex() const;
  // Every selected row, in list order.
  std::vector<int> SelectedIndexes() const;
  // The row with the focus mark, -1 when none.
  int CurrentIndex() const;

 signals:
  // Local files dropped onto the list, in the drop's order.
  void FilesDropped(const QStringList& files);
  // The user checked or unchecked a row.
  void RowChecked(int index, bool checked);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void ShowRow(const app::TFileRow& row, QTreeWidgetItem* item);
  bool showing_ = false;
};

}  // namespace strella::window
