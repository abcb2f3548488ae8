#include "app/window/preview_controls.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <limits>

#include "app/job_builder.h"
#include "app/text_utils.h"
#include "app/window/dialogs.h"
#include "app/window/glyphs.h"
#include "app/window/main_window.h"
#include "app/window/snap_sound.h"
#include "media/bitmap.h"
#include "media/loader.h"

namespace strella::window {

int PositionBarValue(int64_t microseconds) {
  if (microseconds <= 0) return 0;
  const int64_t ms = microseconds / 1000;
  return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

TPreviewControls::TPreviewControls(TForm1& form) : QObject(&form), form_(form) {
  PlaySnap = [] { return PlaySnapSound(); };
  // The player delivers its events on the window thread.
  player_.SetOnFileOpen([this](void*, int64_t duration, int, int, int& screen_width, int& screen_height) {
    FileOpened(duration, screen_width, screen_height);
  });
  player_.SetOnPosition([this](void*, int64_t pts) { PositionChanged(pts); });
  player_.SetOnState([this](void*, player::TPlayState state) { StateChanged(state); });

  connect(form.SpeedButtonPlay, &QToolButton::clicked, this, &TPreviewControls::Play);
  connect(form.SpeedButtonPause, &QToolButton::clicked, this, &TPreviewControls::Pause);
  connect(form.SpeedButtonStop, &QToolButton::clicked, this, &TPreviewControls::Stop);
  connect(form.ButtonSnapshot, &QToolButton::clicked, this, &TPreviewControls::Snapshot);
  connect(form.SpeedButtonVolume, &QToolButton::clicked, this, &TPreviewControls::ShowVolumeMenu);
  for (QAction* item : form.PopupMenuVolume->actions())
    connect(item, &QAction::triggered, this, [this, item] { SetVolumeGlyph(item->data().toInt()); });
  connect(form.TimerPlay, &QTimer::timeout, this, &TPreviewControls::TimerPlayTick);
  form.TrackBar1->installEventFilter(this);
}

TPreviewControls::~TPreviewControls() {
  form_.TrackBar1->removeEventFilter(this);
  player_.Stop(true);
  player_.SetOnFileOpen(nullptr);
  player_.SetOnPosition(nullptr);
  player_.SetOnState(nullptr);
}

void TPreviewControls::Play() {
  if (form_.SelectedRow() < 0) return;
  if (!player_.LibrariesLoaded() && !player_.LoadLibraries(media::ProgramFolder())) {
    ShowInformation(&form_, QString::fromStdString(player_.LastErrMsg()));
    return;
  }
  stopped_ = false;
  if (paused_) {
    player_.TogglePause();
    paused_ = false;
    form_.TimerPlay->start();
    playing_ = true;
    return;
  }
  player_.Stop(true);
  form_.sPanelPlay->HidePlaceholder();
  form_.TrackBar1->setMaximum(0);  // the file's duration arrives with OnFileOpen
  form_.TrackBar1->setValue(0);
  position_ = 0;
  form_.TimerPlay->start();
  if (player_.Open(form_.PreviewFile().toStdString(), form_.sPanelPlay)) {
    playing_ = true;
  } else {
    form_.TimerPlay->stop();
    form_.sPanelPlay->ShowPlaceholder();
    ShowInformation(&form_, QString::fromStdString(player_.LastErrMsg()));
  }
}

void TPreviewControls::Pause() {
  // With nothing playing there is nothing to pause; a "paused" flag set then
  // would make the next Play resume nothing instead of opening the file.
  if (stopped_ || !playing_) return;
  if (!paused_) {
    form_.TimerPlay->stop();
    paused_ = true;
    player_.TogglePause();
  } else {
    player_.TogglePause();
    paused_ = false;
    form_.TimerPlay->start();
    playing_ = true;
  }
}

void TPreviewControls::Stop() {
  paused_ = false;
  stopped_ = true;
  player_.Stop(true);
  form_.TimerPlay->stop();
  form_.sPanelPlay->ShowPlaceholder();
  playing_ = false;
}

void TPreviewControls::StopForConversion() {
  player_.Stop(true);
  form_.TimerPlay->stop();
  paused_ = false;
  playing_ = false;
  form_.sPanelPlay->ShowPlaceholder();  // until the batch's first frame arrives
}

// The picture fills the whole video area; the bar spans the file.
void TPreviewControls::FileOpened(int64_t duration, int& screenWidth, int& screenHeight) {
  form_.sPanelPlay->GetClientSize(screenWidth, screenHeight);
  // An unknown duration leaves the bar at 0: there is nothing to seek along.
  form_.TrackBar1->setMaximum(PositionBarValue(duration));
  ShowTime(static_cast<int64_t>(position_));
}

void TPreviewControls::PositionChanged(int64_t pts) {
  if (pts < 0 || form_.TrackBar1->maximum() <= 0) return;
  position_ = static_cast<double>(pts);
  if (paused_) TimerPlayTick();  // a seek while paused moves the readout too
}

void TPreviewControls::StateChanged(player::TPlayState state) {
  if (state != player::psEnd) return;
  player_.Stop(false);
  form_.TimerPlay->stop();
  form_.sPanelPlay->ShowPlaceholder();
  playing_ = false;
}

void TPreviewControls::TimerPlayTick() {
  form_.TrackBar1->setValue(PositionBarValue(static_cast<int64_t>(position_)));
  ShowTime(static_cast<int64_t>(position_));
}

// "0:12 / 1:30": the position and the file's duration.
void TPreviewControls::ShowTime(int64_t microseconds) {
  form_.TimeReadout->setText(QString::fromStdString(app::FormatClock(microseconds / 1000) + " / " +
                                                    app::FormatClock(form_.TrackBar1->maximum())));
}

namespace {

// The keys with which a slider moves: the bar seeks once the key is let go.
bool MovesTheBar(const QEvent* event) {
  switch (static_cast<const QKeyEvent*>(event)->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
      return true;
    default:
      return false;
  }
}

}  // namespace

// Pressing on the bar (a mouse button or a moving key) holds it still under
// the hand; releasing it seeks there.
bool TPreviewControls::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_.TrackBar1 && form_.TrackBar1->isEnabled()) {
    const QEvent::Type type = event->type();
    const bool key = type == QEvent::KeyPress || type == QEvent::KeyRelease;
    if (key && (!MovesTheBar(event) || static_cast<QKeyEvent*>(event)->isAutoRepeat()))
      return QObject::eventFilter(watched, event);
    if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress) {
      form_.TimerPlay->stop();
    } else if (type == QEvent::MouseButtonRelease || type == QEvent::KeyRelease) {
      SeekToBar();
    }
  }
  return QObject::eventFilter(watched, event);
}

void TPreviewControls::SeekToBar() {
  const int64_t target = static_cast<int64_t>(form_.TrackBar1->value()) * 1000;
  player_.Seek(target);
  position_ = static_cast<double>(target);
  ShowTime(target);
  if (playing_ && !paused_) form_.TimerPlay->start();
}

void TPreviewControls::ShowVolumeMenu() {
  if (form_.JobStarted()) return;
  const QPoint corner = form_.SpeedButtonVolume->mapToGlobal(QPoint(0, 0));
  form_.PopupMenuVolume->popup(corner - QPoint(40, 40));
}

void TPreviewControls::SetVolumeGlyph(int tag) {
  struct Choice {
    int tag;
    player::TAudioVolume volume;
    TSpeakerLevel glyph;
  };
  for (const Choice& c : {Choice{11, 0, TSpeakerLevel::Mute}, Choice{12, 64, TSpeakerLevel::Half},
                          Choice{13, 128, TSpeakerLevel::Full}}) {
    if (c.tag != tag) continue;
    player_.SetAudioVolume(c.volume);
    form_.SpeedButtonVolume->setProperty("volumeTag", tag);
    form_.SpeedButtonVolume->setIcon(SpeakerGlyph(c.glyph, form_.SkinManager().Ink()));
    form_.update();
  }
}

bool TPreviewControls::CheckSnapshotFolder(QString& folder) {
  folder = form_.EditOutputFolder->text();
  if (folder.isEmpty()) {
    ShowInformation(&form_, "Please select an output folder!");
    form_.BrowseForOutputFolder();
    return false;
  }
  if (!QFileInfo(folder.trimmed()).isDir()) {
    ShowInformation(&form_, MissingFolderText(folder));
    form_.BrowseForOutputFolder();
    return false;
  }
  folder = folder.trimmed();
  return true;
}

void TPreviewControls::Snapshot() {
  if (form_.Busy() || form_.SelectedRow() < 0 || !playing_) return;
  QString folder;
  if (!CheckSnapshotFolder(folder)) return;
  const QString base = QDir(folder).filePath(QFileInfo(form_.PreviewFile()).fileName());
  const QString file_name = QString::fromStdString(app::UniqueOutputName(base.toStdString(), ".bmp"));

  const player::TPlayerBitmap& frame = player_.CurrentFrame();
  media::TBitmap copy(frame.Width(), frame.Height());
  for (int row = 0; row < frame.Height(); ++row)
    std::copy_n(frame.ScanLine(row), 3 * frame.Width(), copy.ScanLine(row));
  if (copy.Width() <= 0) {
    ShowInformation(&form_, "There is no picture to take a snapshot of: the file has no video.");
    return;
  }
  const bool pause_for_save = !paused_;
  if (pause_for_save) player_.TogglePause();
  PlaySnap();
  if (!copy.SaveToFile(file_name.toStdString()))
    ShowInformation(&form_, QString::fromStdString(copy.LastErrMsg()));
  if (pause_for_save) player_.TogglePause();
}

}  // namespace strella::window
