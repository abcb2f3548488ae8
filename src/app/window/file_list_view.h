// ListView1: the checkable, multi-column file list. Draws grid lines, shows
// a long path in full as a tooltip and accepts files dropped onto it.
#pragma once

#include <QStringList>
#include <QTreeWidget>

namespace strella::window {

// Column indexes: the caption column, then the six texts of a row.
enum TFileColumn {
  fcCaption,
  fcSize,
  fcDuration,
  fcOutput,
  fcTimeRemaining,
  fcProgress,
  fcFrames,
  kFileColumnCount
};

class TFileListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFileListView(QWidget* parent);

  // Appends a checked row: caption and the six column texts.
  QTreeWidgetItem* AppendRow(const QString& caption, const QStringList& columns);
  int RowCount() const { return topLevelItemCount(); }
  QTreeWidgetItem* Row(int index) const { return topLevelItem(index); }
  bool IsChecked(int index) const;
  void SetChecked(int index, bool checked);
  void SetAllChecked(bool checked);
  void SetColumnText(int index, TFileColumn column, const QString& text);
  QString ColumnText(int index, TFileColumn column) const;
  // The selected row's index, -1 when none.
  int SelectedIndex() const;

 signals:
  // Local files dropped onto the list, in the drop's order.
  void FilesDropped(const QStringList& files);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace strella::window
