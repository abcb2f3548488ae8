// A Qt drop-down list seen through the settings model's drop-down interface.
// Selecting from code never raises the change notification; only the user's
// choice does.
#pragma once

#include <QComboBox>
#include <string>

namespace strella::window {

class TComboAdapter {
 public:
  explicit TComboAdapter(QComboBox* combo) : combo_(combo) {}

  void Clear();
  void Add(const std::string& item);
  int Count() const;
  std::string Item(int index) const;
  // An index outside the list leaves nothing selected and the text empty.
  void SetItemIndex(int index);
  int ItemIndex() const;
  std::string Text() const;
  void SetDropDownCount(int count);

  QComboBox* Combo() const { return combo_; }

 private:
  QComboBox* combo_;
};

}  // namespace strella::window
