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
  header()->setSectionsMovable(false);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new TGridDelegate(this));
  setContextMenuPolicy(Qt::CustomContextMenu);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
}

QTreeWidgetItem* TFileListView::AppendRow(const QString& caption, const QStringList& columns) {
  auto* item = new QTreeWidgetItem(this);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                 Qt::ItemNeverHasChildren);
  item->setCheckState(fcCaption, Qt::Checked);
  item->setText(fcCaption, caption);
  item->setToolTip(fcCaption, caption);  // a long path shows in full
  for (int i = 0; i < columns.size() && i + 1 < kFileColumnCount; ++i) item->setText(i + 1, columns[i]);
  return item;
}

bool TFileListView::IsChecked(int index) const {
  const QTreeWidgetItem* item = Row(index);
  return item && item->checkState(fcCaption) == Qt::Checked;
}

void TFileListView::SetChecked(int index, bool checked) {
  if (QTreeWidgetItem* item = Row(index))
    item->setCheckState(fcCaption, checked ? Qt::Checked : Qt::Unchecked);
}

void TFileListView::SetAllChecked(bool checked) {
  for (int i = 0; i < RowCount(); ++i) SetChecked(i, checked);
}

void TFileListView::SetColumnText(int index, TFileColumn column, const QString& text) {
  if (QTreeWidgetItem* item = Row(index)) item->setText(column, text);
}

QString TFileListView::ColumnText(int index, TFileColumn column) const {
  const QTreeWidgetItem* item = Row(index);
  return item ? item->text(column) : QString();
}

int TFileListView::SelectedIndex() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
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
