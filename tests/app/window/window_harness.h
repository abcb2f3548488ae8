// Shared set-up of the window tests: one QApplication per test process,
// settings in a fresh XDG_CONFIG_HOME, and dialogs that answer at once and
// record what they were asked.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace strella::window::test {

struct TShownMessage {
  QMessageBox::Icon icon;
  QString title;
  QString text;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the event loop until done() or the timeout (ms) passes.
  static bool WaitFor(const std::function<bool()>& done, int timeout_ms = 20000);

  std::string config_home_;
  std::vector<TShownMessage> messages_;
  std::deque<QMessageBox::StandardButton> answers_;  // for questions; default No
  QStringList folder_answers_;                       // for the folder picker; default cancel
  std::vector<QStringList> open_answers_;            // for the open dialog
  QStringList opened_urls_;
  QString last_filter_;
  QString save_answer_;     // for the save dialog; default cancel
  QString open_file_answer_;  // for the one-file open dialog; default cancel
  QStringList folder_picks_;  // for " Add Folder"; default cancel
  QString last_headline_;
};

// The QApplication of this process, made on first use.
QApplication& App();

}  // namespace strella::window::test
