#include "window_harness.h"

#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/window/dialogs.h"
#include "fixtures.h"

namespace strella::window::test {

namespace {

// The window tests never need a display: Qt's offscreen platform, with one
// screen of 1280x1024 so that a window can grow beyond its smallest size.
void UseOffscreenScreen() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::string(platform) != "offscreen") return;
  const std::string config = fixtures::ScratchDir("window_screens") + "/screens.json";
  std::ofstream(config) << R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
                           R"( "logicalDpi": 96, "logicalBpi": 96, "dpr": 1}]})";
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
}

}  // namespace

QApplication& App() {
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    UseOffscreenScreen();
    return new QApplication(argc, argv);
  }();
  return *app;
}

void WindowTest::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  config_home_ = fixtures::ScratchDir(std::string("window_") + info->test_suite_name() + "_" + info->name());
  setenv("XDG_CONFIG_HOME", config_home_.c_str(), 1);
  setenv("XDG_STATE_HOME", (config_home_ + "/state").c_str(), 1);
  App();
  TDialogs& dialogs = Dialogs();
  dialogs.MessageBox = [this](QWidget*, QMessageBox::Icon icon, const QString& title,
                              const QString& text, QMessageBox::StandardButtons buttons) {
    messages_.push_back({icon, title, text});
    if (!(buttons & QMessageBox::Yes)) return QMessageBox::Ok;
    if (answers_.empty()) return QMessageBox::No;
    const QMessageBox::StandardButton answer = answers_.front();
    answers_.pop_front();
    return answer;
  };
  dialogs.BrowseForFolder = [this](QWidget*, const QString& headline, const QString&) {
    last_headline_ = headline;
    return folder_answers_.isEmpty() ? QString() : folder_answers_.takeFirst();
  };
  dialogs.OpenFiles = [this](QWidget*, const QString& filter) {
    last_filter_ = filter;
    if (open_answers_.empty()) return QStringList();
    QStringList files = open_answers_.front();
    open_answers_.erase(open_answers_.begin());
    return files;
  };
  dialogs.SaveFile = [this](QWidget*, const QString&, const QString&, const QString&) { return save_answer_; };
  dialogs.OpenFile = [this](QWidget*, const QString&, const QString&, const QString&) { return open_file_answer_; };
  dialogs.OpenFolder = [this](QWidget*, const QString&) {
    return folder_picks_.isEmpty() ? QString() : folder_picks_.takeFirst();
  };
  dialogs.OpenUrl = [this](const QString& url) {
    opened_urls_ << url;
    return true;
  };
}

void WindowTest::TearDown() { ResetDialogs(); }

bool WindowTest::WaitFor(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace strella::window::test

// Fontconfig, under Qt's font database, keeps a few allocations for the life
// of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
