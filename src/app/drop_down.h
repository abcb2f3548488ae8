// The drop-down list the settings logic works against. The window adapts its
// combo boxes to it; the command line and the tests use TListDropDown.
#pragma once

#include <string>
#include <vector>

namespace strella::app {

class TDropDown {
 public:
  virtual ~TDropDown() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& AText) = 0;
  virtual int Count() const = 0;
  virtual std::string Item(int AIndex) const = 0;
  // An index outside the list leaves nothing selected and the text empty.
  // Never raises a change notification.
  virtual void SetItemIndex(int AIndex) = 0;
  virtual int ItemIndex() const = 0;
  // The selected item's text, or empty with nothing selected.
  std::string Text() const;
  // Selects the item that equals AText; false (selection unchanged) when none does.
  bool SelectText(const std::string& AText);
  std::vector<std::string> Items() const;
};

// An in-memory drop-down list.
class TListDropDown : public TDropDown {
 public:
  void Clear() override;
  void Add(const std::string& AText) override;
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Item(int AIndex) const override;
  void SetItemIndex(int AIndex) override;
  int ItemIndex() const override { return index_; }

 private:
  std::vector<std::string> items_;
  int index_ = -1;
};

}  // namespace strella::app
