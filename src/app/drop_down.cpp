#include "app/drop_down.h"

namespace strella::app {

std::string TDropDown::Text() const {
  const int index = ItemIndex();
  return index >= 0 && index < Count() ? Item(index) : std::string();
}

bool TDropDown::SelectText(const std::string& AText) {
  for (int i = 0; i < Count(); ++i) {
    if (Item(i) == AText) {
      SetItemIndex(i);
      return true;
    }
  }
  return false;
}

std::vector<std::string> TDropDown::Items() const {
  std::vector<std::string> items;
  for (int i = 0; i < Count(); ++i) items.push_back(Item(i));
  return items;
}

void TListDropDown::Clear() {
  items_.clear();
  index_ = -1;
}

void TListDropDown::Add(const std::string& AText) { items_.push_back(AText); }

std::string TListDropDown::Item(int AIndex) const {
  return AIndex >= 0 && AIndex < Count() ? items_[static_cast<size_t>(AIndex)] : std::string();
}

void TListDropDown::SetItemIndex(int AIndex) { index_ = AIndex >= 0 && AIndex < Count() ? AIndex : -1; }

}  // namespace strella::app
