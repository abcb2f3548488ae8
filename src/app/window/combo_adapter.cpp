#include "app/window/combo_adapter.h"

#include <QSignalBlocker>

namespace strella::window {

void TComboAdapter::Clear() {
  const QSignalBlocker quiet(combo_);
  combo_->clear();
}

void TComboAdapter::Add(const std::string& item) {
  const QSignalBlocker quiet(combo_);
  const bool was_empty = combo_->count() == 0;
  combo_->addItem(QString::fromStdString(item));
  // Qt selects the first item added to an empty list; the model has not chosen yet.
  if (was_empty) combo_->setCurrentIndex(-1);
}

int TComboAdapter::Count() const { return combo_->count(); }

std::string TComboAdapter::Item(int index) const {
  return index >= 0 && index < combo_->count() ? combo_->itemText(index).toStdString() : std::string();
}

void TComboAdapter::SetItemIndex(int index) {
  const QSignalBlocker quiet(combo_);
  combo_->setCurrentIndex(index >= 0 && index < combo_->count() ? index : -1);
}

int TComboAdapter::ItemIndex() const { return combo_->currentIndex(); }

}  // namespace strella::window
