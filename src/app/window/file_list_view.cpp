#include "app/window/file_list_view.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QUrl>

namespace strella::window {
namespace {

// Draws the cell and its right and bottom grid lines.
class TGridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }
};

// The row's story for its tooltip: where the output went, why it failed
// (with a pointer to the log), and the notes of its last conversion.
QString RowTip(const app::TFileRow& row) {
  QStringList lines;
  if (!row.Message.empty()) lines << QString::fromStdString(row.Message);
  if (app::RowFailed(row.Status) || row.Status == app::TRowStatus::Unreadable)
    lines << "The log (View, Log) has the details.";
  else if (!row.OutputFile.empty())
    lines << "Output: " + QString::fromStdString(row.OutputFile);
  for (const std::string& note : row.Notes) lines << QString::fromStdString(note);
  return lines.join("\n");
}

QStringList LocalFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

}  // namespace

TFileListView::TFileListView(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("ListView1");
  setColumnCount(kFileColumnCount);
  setHeaderLabels({"Video Files ", "Size", "Duration", "Output", "Time Remaining", "Progress",
                   "Frames"});
  const int widths[kFileColumnCount] = {230, 90, 80, 80, 115, 90, 80};
  for (int column = 0; column < kFileColumnCount; ++column) setColumnWidth(column, widths[column]);
  header()->setStretchLastSection(false);
  // A wider window gives the room to the file names.
  header()->setSectionResizeMode(kCaptionColumn, QHeaderView::Stretch);
  header()->setMinimumSectionSize(40);
  header()->setSectionsMovable(false);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new TGridDelegate(this));
  setContextMenuPolicy(Qt::CustomContextMenu);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (showing_ || column != kCaptionColumn) return;
    emit RowChecked(indexOfTopLevelItem(item), item->checkState(kCaptionColumn) == Qt::Checked);
  });
}

QTreeWidgetItem* TFileListView::AppendRow(const QString& caption, const QStringList& columns) {
  auto* item = new QTreeWidgetItem(this);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                 Qt::ItemNeverHasChildren);
  item->setCheckState(kCaptionColumn, Qt::Checked);
  item->setText(kCaptionColumn, caption);
  item->setToolTip(kCaptionColumn, caption);  // a long path shows in full
  for (int i = 0; i < columns.size() && i + 1 < kFileColumnCount; ++i) item->setText(i + 1, columns[i]);
  return item;
}

bool TFileListView::IsChecked(int index) const {
  const QTreeWidgetItem* item = Row(index);
  return item && item->checkState(kCaptionColumn) == Qt::Checked;
}

void TFileListView::SetChecked(int index, bool checked) {
  if (QTreeWidgetItem* item = Row(index))
    item->setCheckState(kCaptionColumn, checked ? Qt::Checked : Qt::Unchecked);
}

void TFileListView::SetAllChecked(bool checked) {
  for (int i = 0; i < RowCount(); ++i) SetChecked(i, checked);
}

void TFileListView::SetColumnText(int index, app::TFileColumn column, const QString& text) {
  if (QTreeWidgetItem* item = Row(index)) item->setText(ViewColumn(column), text);
}

QString TFileListView::ColumnText(int index, app::TFileColumn column) const {
  const QTreeWidgetItem* item = Row(index);
  return item ? item->text(ViewColumn(column)) : QString();
}

void TFileListView::ShowRow(const app::TFileRow& row, QTreeWidgetItem* item) {
  const QString caption = QString::fromStdString(row.Caption);
  item->setText(kCaptionColumn, caption);
  // A long path shows in full as a tooltip, with the reason of a failure.
  const QString tip = RowTip(row);
  item->setToolTip(kCaptionColumn, tip.isEmpty() ? caption : caption + "\n" + tip);
  item->setCheckState(kCaptionColumn, row.Checked ? Qt::Checked : Qt::Unchecked);
  for (int c = 0; c < kFileColumnCount - 1; ++c)
    item->setText(c + 1, QString::fromStdString(app::ColumnText(row, static_cast<app::TFileColumn>(c))));
  // A file that cannot be read says why in the row itself.
  if (row.Status == app::TRowStatus::Unreadable && !row.Message.empty())
    item->setText(ViewColumn(app::fcProgress),
                  "Error: " + QString::fromStdString(app::ReasonFirst(row.Message, row.Caption)));
  for (int c = 1; c < kFileColumnCount; ++c) item->setToolTip(c, tip);
}

void TFileListView::ShowRows(const app::TFileList& list, int row) {
  showing_ = true;
  if (row >= 0 && row < list.Count() && row < RowCount()) {
    ShowRow(list.Row(row), Row(row));
  } else if (row >= 0 && row == RowCount() && list.Count() == row + 1) {
    ShowRow(list.Row(row), AppendRow(QString(), {}));  // the row just added
  } else {
    while (RowCount() > list.Count()) delete takeTopLevelItem(RowCount() - 1);
    while (RowCount() < list.Count()) AppendRow(QString(), {});
    for (int i = 0; i < list.Count(); ++i) ShowRow(list.Row(i), Row(i));
  }
  showing_ = false;
}

int TFileListView::SelectedIndex() const {
  const std::vector<int> rows = SelectedIndexes();
  return rows.empty() ? -1 : rows.front();
}

std::vector<int> TFileListView::SelectedIndexes() const {
  std::vector<int> rows;
  for (QTreeWidgetItem* item : selectedItems()) rows.push_back(indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  return rows;
}

int TFileListView::CurrentIndex() const {
  QTreeWidgetItem* item = currentItem();
  return item ? indexOfTopLevelItem(item) : -1;
}

void TFileListView::dragEnterEvent(QDragEnterEvent* event) {
  if (isEnabled() && !LocalFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* event) {
  if (isEnabled() && !LocalFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListView::dropEvent(QDropEvent* event) {
  const QStringList files = LocalFiles(event->mimeData());
  if (files.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  emit FilesDropped(files);
}

}  // namespace strella::window
