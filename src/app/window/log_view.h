// The log view: every line of the batch's jobs with its time and file name,
// selectable and copyable, and saved to a text file with "Save..."; the level
// chooses how much of the engine's and the libraries' talk reaches it, and
// the view shows the lines of that level and the more severe ones only.
#pragma once

#include <QDialog>
#include <vector>

#include "app/job_log.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace strella::window {

class TLogView : public QDialog {
  Q_OBJECT
 public:
  explicit TLogView(QWidget* parent);

  // Shows these lines instead of the ones shown.
  void SetLines(const std::vector<app::TJobLogLine>& lines);
  void Append(const app::TJobLogLine& line);
  // The text as shown, one line per log line shown.
  QString Text() const;
  // The lines shown at the chosen level.
  int LineCount() const { return line_count_; }
  // Asks for a file name and writes the text there; false when cancelled or failed.
  bool Save();

  QPlainTextEdit* TextView() const { return text_; }

 private:
  media::TLogLevel ShownLevel() const;
  void ShowKeptLines();

  QPlainTextEdit* text_;
  QComboBox* level_;
  std::vector<app::TJobLogLine> lines_;  // every line received, whatever the level shown
  int line_count_ = 0;
};

}  // namespace strella::window
