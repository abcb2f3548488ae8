#include "app/window/log_view.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QStringList>
#include <QPushButton>
#include <QSaveFile>

#include "app/window/dialogs.h"
#include "media/logger.h"

namespace strella::window {

TLogView::TLogView(QWidget* parent) : QDialog(parent) {
  setObjectName("LogView");
  setWindowTitle("Log - Strella Video Converter");
  setModal(false);
  resize(760, 420);
  auto* column = new QVBoxLayout(this);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName("LogText");
  text_->setReadOnly(true);  // selectable and copyable, not editable
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setPlaceholderText("The lines of the conversions appear here: the libraries' messages, substitutions, "
                            "warnings and each job's result.");
  column->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  // The level of the engine's and the libraries' lines that reach the log.
  buttons->addWidget(new QLabel("Log level :", this));
  level_ = new QComboBox(this);
  level_->setObjectName("ComboLogLevel");
  for (const char* name : {"error", "warning", "info", "verbose", "debug"}) level_->addItem(name);
  level_->setCurrentIndex(std::clamp(static_cast<int>(media::TFFLogger::Instance().LogLevel()) - media::llError, 0, 4));
  connect(level_, &QComboBox::activated, this, [this] {
    media::TFFLogger::Instance().SetLogLevel(ShownLevel());
    ShowKeptLines();
  });
  buttons->addWidget(level_);
  buttons->addSpacing(12);
  auto* copy = new QPushButton("Copy All", this);
  copy->setObjectName("ButtonCopyLog");
  auto* save = new QPushButton("Save...", this);
  save->setObjectName("ButtonSaveLog");
  auto* close = new QPushButton("Close", this);
  close->setObjectName("ButtonCloseLog");
  buttons->addWidget(copy);
  buttons->addWidget(save);
  buttons->addStretch(1);
  buttons->addWidget(close);
  column->addLayout(buttons);
  connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(Text()); });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

media::TLogLevel TLogView::ShownLevel() const {
  return static_cast<media::TLogLevel>(media::llError + level_->currentIndex());
}

void TLogView::SetLines(const std::vector<app::TJobLogLine>& lines) {
  lines_ = lines;
  ShowKeptLines();
}

void TLogView::ShowKeptLines() {
  text_->clear();
  line_count_ = 0;
  const media::TLogLevel shown = ShownLevel();
  QStringList texts;
  for (const app::TJobLogLine& line : lines_) {
    if (line.Level > shown) continue;
    texts << QString::fromStdString(app::FormatJobLogLine(line));
    ++line_count_;
  }
  if (!texts.isEmpty()) text_->setPlainText(texts.join('\n'));
}

void TLogView::Append(const app::TJobLogLine& line) {
  lines_.push_back(line);
  if (line.Level > ShownLevel()) return;
  text_->appendPlainText(QString::fromStdString(app::FormatJobLogLine(line)));
  ++line_count_;
}

QString TLogView::Text() const { return text_->toPlainText(); }

bool TLogView::Save() {
  const QString file = Dialogs().SaveFile(this, "Save the log", "strella-log.txt", "Text files (*.txt);;All files (*)");
  if (file.isEmpty()) return false;
  QSaveFile out(file);
  const QByteArray text = (Text() + "\n").toUtf8();
  if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
    ShowInformation(this, QString("The log could not be saved to \"%1\": %2").arg(file, out.errorString()));
    return false;
  }
  return true;
}

}  // namespace strella::window
