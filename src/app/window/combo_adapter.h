// A Qt drop-down list seen through the settings model's drop-down interface.
// Selecting from code never raises the change notification; only the user's
// choice does.
#pragma once

#include <QComboBox>
#include <string>

#include "app/drop_down.h"

namespace strella::window {

class TComboAdapter : public app::TDropDown {
 public:
  explicit TComboAdapter(QComboBox* combo) : combo_(combo) {}

  void Clear() override;
  void Add(const std::string& item) override;
  int Count() const override;
  std::string Item(int index) const override;
  // An index outside the list leaves nothing selected and the text empty.
  void SetItemIndex(int index) override;
  int ItemIndex() const override;

  QComboBox* Combo() const { return combo_; }

 private:
  QComboBox* combo_;
};

}  // namespace strella::window
