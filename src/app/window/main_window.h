// Form1: the main window. Builds the controls with the names and captions the
// application's logic refers to, and binds them to that logic: settings,
// file list, batch queue, preview and the settings kept between runs.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <optional>
#include <vector>

#include "app/file_list.h"
#include "app/presets.h"
#include "app/profile_catalogue.h"
#include "app/batch_queue.h"
#include "app/session_list.h"
#include "app/settings_model.h"
#include "app/window/batch_view.h"
#include "app/window/combo_adapter.h"
#include "app/window/file_list_view.h"
#include "app/window/preview_panel.h"
#include "app/window/skins.h"
#include "app/window/widgets.h"

namespace strella::media {
class TBitmap;
}

namespace strella::window {

class TFormAbout;
class TLogView;
class TPreviewControls;

// The smallest client area (menu bar not counted): the window never gets smaller.
inline constexpr int kClientWidth = 793;
inline constexpr int kClientHeight = 581;
// What a window manager's frame may take around the client area, title bar apart, and the title bar.
inline constexpr int kFrameAllowance = 8;
inline constexpr int kTitleAllowance = 32;

// SpinVolume: its value changes with the arrows only.
class TArrowSpinBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit TArrowSpinBox(QWidget* parent);
};

inline const char* const kMainCaption = "Strella Video Converter";
inline const char* const kOutputFolderHeadline = "Please choose your output folder: ";

// The message for an output folder that is not there.
QString MissingFolderText(const QString& folder);

// The filter of the open dialog, entries as "description (patterns)".
QString OpenDialogFilter();

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Start-up after the window is created: false when the libraries are
  // missing (the message has been shown and the program must end).
  bool LoadLibraries();
  // The choices of the last run; a first run gets the defaults, written back.
  void LoadSettings();
  // Profiles whose encoder the loaded libraries lack (as last looked up) are
  // shown disabled, their reason as the entry's tooltip.
  void MarkUnavailableProfiles();
  // Puts the last session's list back and keeps the list saved from now on.
  void RestoreSession();
  // Keeps the choices for the next run. Once LoadSettings has run, every
  // change of a choice, the skin or the window's frame is kept this way
  // shortly after it is made, so a crash or File > Exit loses none.
  void SaveSettings();
  // True while a change is waiting to be kept.
  bool SettingsSavePending() const;

  // Where the window goes when it first shows: the frame's top-left corner
  // and the window's size, moved onto a screen when its title bar is not on one.
  void SetRememberedPosition(int left, int top);
  void SetRememberedGeometry(const QRect& frame, bool maximized);

  // The Skin menu's choice by tag: 50 switches skinning off, 51 to 57 on.
  void ChooseSkin(int tag);
  // Switches to the skin kept under that name ("No Skin" or a skin's name).
  void ApplySkinName(const QString& name);
  TSkinManager& SkinManager() { return skins_; }
  // Draws the buttons' glyphs in the colour of the skin's captions.
  void ShowGlyphs();

  // Exit from the File menu: ends at once; the choices were kept as they changed.
  void Exit();
  bool ExitRequested() const { return exit_requested_; }

  app::TSettingsModel& Settings() { return *settings_; }
  // The drop-down interface of one of the settings lists.
  TComboAdapter& AdapterOf(QComboBox* combo);

  app::TFileList& Files() { return files_; }
  app::TPreferences& Preferences() { return prefs_; }
  // " Add Video": the open dialog, then the chosen files are added.
  void AddVideo();
  // Adds files as " Add Video" does after its dialog (drops, the command line).
  // A folder's media files, found in it and its subfolders, are added.
  bool AddFileNames(const QStringList& files);
  // " Add Folder": a folder picker, then the media files in the folder.
  void AddFolder();
  // File > Save Preset... and Load Preset...: the choices as a preset file.
  void SavePreset();
  void LoadPreset();
  // Selects the preset's profile and choices; a preset that cannot be used is
  // refused with its reason and changes nothing. False when refused.
  bool LoadPresetFile(const QString& file);
  // The "My Presets" group at the end of the format list, from the preset folder.
  void FillPresetEntries();
  // Removes every selected row; the row after them is selected next.
  void RemoveSelectedItem();
  void ClearAllItems();

  // Queue state the other controls consult.
  bool Busy() const { return queue_ && queue_->Busy; }
  bool JobStarted() const { return queue_ && queue_->JobStarted; }
  bool Converting() const { return Busy() || JobStarted(); }
  app::TBatchQueue* Queue() { return queue_.get(); }
  TWindowBatchView& BatchView() { return *batch_view_; }
  // " Convert Now" and " Stop".
  void ConvertNow();
  // Picks the profile in the format list as a user would.
  void SelectProfile(const app::Quality& AProfile);
  void StopConversions();
  // The row the user selected last and its file, for the preview.
  int SelectedRow() const { return selected_row_; }
  QString PreviewFile() const { return preview_file_; }
  // The output-folder picker; does nothing while a job runs.
  void BrowseForOutputFolder();
  TPreviewControls& Preview() { return *preview_; }
  // A frame of the running conversion, drawn stretched over the preview panel.
  void ShowConversionFrame(const media::TBitmap& bitmap);

  // Saves a picture of the window to a file; for the documentation.
  bool SaveScreenshot(const QString& fileName);

  // The log view (View, Log and the Log button); made on first use.
  void ShowLog();
  TLogView* LogView() const { return log_view_; }
  // Text of the third status-bar panel: "Ready", what runs, what was added.
  void SetStatusText(const QString& text);
  QString StatusText() const { return StatusPanel2->FullText(); }

  // --- controls, named as the logic names them -----------------------------
  QToolButton* ButtonOpenDVD;
  QToolButton* ButtonRemoveItem;
  QToolButton* ButtonClearList;
  QToolButton* ButtonStop;
  QToolButton* ButtonRipNow;
  QComboBox* ComboOutputFormat;
  QLineEdit* EditOutputFolder;
  QToolButton* ButtonBrowseForFolder;
  TFileListView* ListView1;
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QComboBox* ComboVideoQuality;
  QComboBox* ComboAudioQuality;
  QComboBox* ComboVideoSize1;
  QComboBox* ComboBoxLetterbox;
  QComboBox* ComboVideoCodec;
  QComboBox* ComboVideoBitrate;
  QComboBox* ComboVideoSize;
  QComboBox* ComboVideoFrameRate;
  QComboBox* ComboAudioCodec;
  QComboBox* ComboAudioBitrate;
  QComboBox* ComboSamplingRate;
  QComboBox* ComboAudioChannels;
  QWidget* Panel1;
  TPreviewPanel* sPanelPlay;
  TPositionBar* TrackBar1;
  QLabel* TimeReadout;  // "0:12 / 1:30" beside the position bar
  QToolButton* SpeedButtonPlay;
  QToolButton* SpeedButtonPause;
  QToolButton* SpeedButtonStop;
  QToolButton* SpeedButtonVolume;
  QToolButton* ButtonSnapshot;
  QGroupBox* GroupBox1;
  QComboBox* ComboBoxAspectRatio;
  TArrowSpinBox* SpinVolume;
  QComboBox* ComboLoudness;  // item data: the LUFS target, none for "As it is"
  QCheckBox* CheckBoxOverwriteFile;
  QCheckBox* CheckBoxKeepFolders;
  QCheckBox* CheckBoxVerifyOutputs;
  QSpinBox* SpinSimultaneous;
  QLabel* StatusPanel0;  // first status-bar panel: output size during a job
  QWidget* StatusPanel1;  // second panel: holds the progress bar
  TElidedLabel* StatusPanel2;  // third panel: "Ready" or what runs
  QToolButton* ButtonLog;      // opens the log view
  QProgressBar* ProgressBar1;
  QMenu* PopupMenu1;
  QMenu* PopupMenuVolume;
  QTimer* Timer1;
  QTimer* TimerPlay;
  TFormAbout* FormAbout;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateMenus();
  void CreateListActions();
  void CreateSkinMenu(QMenu* menu);
  void CreateAboutMenu(QMenu* menu);
  QWidget* CreateButtonPanel(QWidget* parent);
  QWidget* CreateFormatPanel(QWidget* parent);
  QWidget* CreateListPanel(QWidget* parent);
  QWidget* CreateSettingsPanel(QWidget* parent);
  void CreateOutputSettingsTab();
  void CreateDetailedSettingsTab();
  void CreatePreviewPanel(QWidget* parent);
  void CreatePreferencesGroup(QWidget* parent);
  QScrollArea* PreferencesScroller(QWidget* parent);
  // Selects prefs_.Loudness in ComboLoudness, adding a preset's own target.
  void ShowLoudness();
  void CreateStatusBar();
  void CreatePopupMenus();
  void CheckSkinMenuItem(int tag);
  void PlaceWindow();
  void PlaceAgainOnceFramed();
  void WatchForFrame();
  void FitMinimumSizeToScreen();
  void KeepNormalFrame();
  bool ConfirmCloseDuringBatch();
  void SkinChanged();
  void BindSettings();
  void MarkFormatHeaders();
  void OutputFormatActivated(int index);

  void OpenHelpFile();
  void ListSelectionChanged();
  void BindFileList();
  void FilesChanged(int row);
  void ShowListMenu(const QPoint& at);
  void BindPreferences();
  void BindBatch();
  void BindLog();
  void AddingFinished(int added, int skipped);
  void SelectRowAfterRemoval(int row);
  void ClearConverterTasks();
  void SaveSessionSoon();
  void BindSettingsSaving();
  void SaveSettingsSoon();

  app::TFileList files_;
  app::TPreferences prefs_;
  std::vector<std::unique_ptr<TComboAdapter>> adapters_;
  std::unique_ptr<app::TSettingsModel> settings_;
  TPreviewControls* preview_ = nullptr;
  std::unique_ptr<app::TConverter> converter_;
  std::string converter_error_;
  std::unique_ptr<TWindowBatchView> batch_view_;
  std::unique_ptr<app::TBatchQueue> queue_;
  std::unique_ptr<app::TSessionList> session_;  // set once the last session's list is restored
  bool session_save_pending_ = false;
  QTimer* settings_save_timer_ = nullptr;
  bool settings_loaded_ = false;  // nothing is kept before the kept choices are read
  int selected_row_ = -1;
  QString preview_file_;
  TSkinManager skins_;
  std::optional<QRect> remembered_;
  bool remembered_maximized_ = false;
  QRect normal_frame_;  // position and size while not maximized
  bool placed_ = false;
  bool awaiting_frame_ = false;  // placed before the window manager framed the window
  bool following_desktop_ = false;
  TLogView* log_view_ = nullptr;
  std::vector<app::TPresetEntry> preset_entries_;  // the format list's last entries, in order
  int first_preset_entry_ = -1;                     // where they start; -1 with none
  int folder_ignored_ = 0;  // files without a media extension in the folders being added
  int already_listed_ = 0;  // files being added that the list holds already
  bool exit_requested_ = false;
};

}  // namespace strella::window
