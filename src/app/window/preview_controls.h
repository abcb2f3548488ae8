// The preview's controls: Play, Pause, Stop, the position bar, the volume
// menu and the snapshot, driving the player that draws into sPanelPlay.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "player/player.h"

class QAction;

namespace strella::window {

class TForm1;

// The position bar counts milliseconds, so that any duration up to 24 days
// fits its 32-bit range; the player counts microseconds.
int PositionBarValue(int64_t microseconds);

class TPreviewControls : public QObject {
  Q_OBJECT
 public:
  explicit TPreviewControls(TForm1& form);
  ~TPreviewControls() override;

  void Play();
  void Pause();
  void Stop();
  void Snapshot();
  // Stops playback and waits for it, before a batch starts.
  void StopForConversion();
  // Volume menu choice by tag: 11 mute, 12 half, 13 full.
  void SetVolumeGlyph(int tag);

  player::TFFPlayer& Player() { return player_; }
  bool PreviewPaused() const { return paused_; }
  bool PreviewStopped() const { return stopped_; }
  bool PreviewPlaying() const { return playing_; }

  // Replaced by tests: how the snapshot's sound is made.
  std::function<bool()> PlaySnap;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FileOpened(int64_t duration, int& screenWidth, int& screenHeight);
  void PositionChanged(int64_t pts);
  void StateChanged(player::TPlayState state);
  void TimerPlayTick();
  void ShowTime(int64_t microseconds);
  void SeekToBar();
  void ShowVolumeMenu();
  bool CheckSnapshotFolder(QString& folder);

  TForm1& form_;
  player::TFFPlayer player_;
  bool paused_ = false;
  bool stopped_ = false;
  bool playing_ = false;
  double position_ = 0;  // microseconds, as last reported
};

}  // namespace strella::window
