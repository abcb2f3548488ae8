// The log view: every line of the batch's jobs with its time and file name,
// selectable and copyable, and saved to a text file with "Save..."; the level
// chooses how much of the engine's and the libraries' talk reaches it.
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
  // The text as shown, one line per log line.
  QString Text() const;
  int LineCount() const { return line_count_; }
  // Asks for a file name and writes the text there; false when cancelled or failed.
  bool Save();

  QPlainTextEdit* TextView() const { return text_; }

 private:
  QPlainTextEdit* text_;
  QComboBox* level_;
  int line_count_ = 0;
};

}  // namespace strella::window
