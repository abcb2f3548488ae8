// Form1's batch: Convert Now, Stop, the queue timer, the preferences the jobs
// read, and the converter's events reaching the controls.
#include <QMessageBox>

#include <QTimer>

#include "app/encoder_converter.h"
#include "app/session_list.h"
#include "media/logger.h"
#include "app/window/dialogs.h"
#include "app/window/log_view.h"
#include "app/window/preview_window.h"
#include "media/bitmap.h"
#include "app/window/main_window.h"
#include "app/window/preview_controls.h"

namespace strella::window {

void TForm1::BindPreferences() {
  connect(EditOutputFolder, &QLineEdit::textChanged, this, [this](const QString& text) {
    prefs_.OutputFolder = text.toStdString();
    EditOutputFolder->setToolTip(text);  // a long folder shows in full
  });
  connect(CheckBoxOverwriteFile, &QCheckBox::toggled, this, [this](bool on) { prefs_.Overwrite = on; });
  connect(CheckBoxKeepFolders, &QCheckBox::toggled, this, [this](bool on) { prefs_.KeepFolderStructure = on; });
  connect(CheckBoxVerifyOutputs, &QCheckBox::toggled, this, [this](bool on) { prefs_.VerifyOutputs = on; });
  connect(SpinVolume, &QSpinBox::valueChanged, this, [this](int value) { prefs_.SpinVolume = value; });
  connect(ComboLoudness, &QComboBox::currentIndexChanged, this, [this](int index) {
    const QVariant target = ComboLoudness->itemData(index);
    prefs_.Loudness = target.isValid() ? std::optional<int>(target.toInt()) : std::nullopt;
  });
  connect(SpinSimultaneous, &QSpinBox::valueChanged, this,
          [this](int value) { prefs_.SimultaneousConversions = value; });
  prefs_.OutputFolder = EditOutputFolder->text().toStdString();
  prefs_.Overwrite = CheckBoxOverwriteFile->isChecked();
  prefs_.KeepFolderStructure = CheckBoxKeepFolders->isChecked();
  prefs_.VerifyOutputs = CheckBoxVerifyOutputs->isChecked();
  prefs_.SpinVolume = SpinVolume->value();
  prefs_.SimultaneousConversions = SpinSimultaneous->value();
}

void TForm1::ShowLoudness() {
  int index = 0;
  if (prefs_.Loudness) {
    index = ComboLoudness->findData(*prefs_.Loudness);
    if (index < 0) {
      ComboLoudness->addItem(QString("%1 LUFS").arg(*prefs_.Loudness), *prefs_.Loudness);
      index = ComboLoudness->count() - 1;
    }
  }
  ComboLoudness->setCurrentIndex(index);
}

namespace {

std::unique_ptr<app::TConverter> MakeConverter(std::string& error) {
  if (ConverterFactory()) return ConverterFactory()();
  return app::CreateEncoderConverter(error);
}

}  // namespace

void TForm1::BindBatch() {
  batch_view_ = std::make_unique<TWindowBatchView>(*this);
  converter_ = MakeConverter(converter_error_);
  if (converter_) {
    queue_ = std::make_unique<app::TBatchQueue>(files_, *settings_, prefs_, *converter_, *batch_view_);
    queue_->MakeConverter = MakeConverter;
    // Encoded frames of the selected running row (else the first running row) are drawn over the
    // preview, unless the user plays a file there meanwhile.
    queue_->OnPreviewBitmap = [this](int, media::TBitmap* bitmap, int, int64_t) {
      if (!bitmap || preview_->PreviewPlaying()) return;
      sPanelPlay->ShowFrame(BitmapImage(*bitmap).copy());  // the bitmap is the converter's, valid for this call only
    };
  }
  connect(ButtonRipNow, &QToolButton::clicked, this, &TForm1::ConvertNow);
  connect(ButtonStop, &QToolButton::clicked, this, &TForm1::StopConversions);
  connect(Timer1, &QTimer::timeout, this, [this] {
    if (queue_) queue_->Tick();
  });
}

void TForm1::ConvertNow() {
  if (!queue_) {
    ShowInformation(this, "Cannot convert: " + QString::fromStdString(converter_error_));
    return;
  }
  queue_->ConvertNow();
}

void TForm1::StopConversions() {
  if (queue_) queue_->Stop();
}

// Every line of the jobs reaches the view while it is open; opened later, it
// shows what was logged so far.
void TForm1::BindLog() {
  connect(ButtonLog, &QToolButton::clicked, this, &TForm1::ShowLog);
  if (!queue_) return;
  queue_->JobLog.OnLine = [this](const app::TJobLogLine& line) {
    if (log_view_) log_view_->Append(line);
  };
}

void TForm1::ShowLog() {
  if (!log_view_) {
    log_view_ = new TLogView(this);
    if (queue_) log_view_->SetLines(queue_->JobLog.Lines());
  }
  log_view_->show();
  log_view_->raise();
  log_view_->activateWindow();
}

void TForm1::SetStatusText(const QString& text) { StatusPanel2->SetFullText(text); }

void TForm1::ClearConverterTasks() {
  if (converter_ && !Converting()) converter_->ClearTasks();
}

void TForm1::RestoreSession() {
  session_ = std::make_unique<app::TSessionList>();
  std::string error;
  const int restored = session_->Restore(files_, error);
  if (!error.empty()) {
    media::Log(this, media::llWarning, error);
    StatusPanel0->setText(QString::fromStdString(error));
    StatusPanel0->setToolTip(QString::fromStdString(error));
  }
  if (restored == 0) return;
  // The rows convert to the format chosen now: their Output column says so, whatever the last session showed.
  files_.SetOutputColumn(settings_->CurrentFormatKey);
  const std::string message = app::RestoredMessage(restored);
  media::Log(this, media::llInfo, message);
  StatusPanel0->setText(QString::fromStdString(error.empty() ? message : message + ". " + error));
  SaveSessionSoon();  // rows that were converting are saved as stopped
}

// Changes that come together are written once, when the window thread is next free.
void TForm1::SaveSessionSoon() {
  if (!session_ || session_save_pending_) return;
  session_save_pending_ = true;
  QTimer::singleShot(0, this, [this] {
    session_save_pending_ = false;
    std::string error;
    if (!session_->Save(files_, [this](int row) { return queue_ && queue_->IsRunning(row); }, error))
      media::Log(this, media::llWarning, error);
  });
}

}  // namespace strella::window
