#include "app/window/main_window.h"

#include <QActionGroup>
#include <QBoxLayout>
#include <QGridLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

#include "app/media_files.h"
#include "app/profile_encoders.h"
#include "app/user_folders.h"
#include "app/window_placement.h"
#include "app/window/about_box.h"
#include "app/window/dialogs.h"
#include "app/window/glyphs.h"
#include "app/window/log_view.h"
#include "app/window/qt_settings_store.h"
#include "app/window/preview_controls.h"
#include "app/window/preview_window.h"
#include "app/window/window_thread.h"
#include "media/loader.h"
#include "media/logger.h"

namespace strella::window {
namespace {

QLabel* Caption(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  return label;
}

QComboBox* DropDown(QWidget* parent, const char* name, int minimumWidth) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(false);  // the user can only pick an item
  combo->setMinimumWidth(minimumWidth);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  return combo;
}

QToolButton* LargeButton(QWidget* parent, const char* name, const QString& caption, TGlyph glyph) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(caption);
  button->setIcon(ButtonGlyph(glyph));
  button->setProperty("glyph", static_cast<int>(glyph));
  button->setIconSize(QSize(24, 24));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);  // flat
  button->setMinimumHeight(44);
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  return button;
}

QToolButton* SmallButton(QWidget* parent, const char* name, const QString& hint, const QIcon& icon) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setIcon(icon);
  button->setIconSize(QSize(20, 20));
  button->setAutoRaise(true);
  button->setFixedSize(34, 30);
  return button;
}

QAction* MenuItem(QMenu* menu, const char* name, const QString& caption,
                  const QKeySequence& shortcut = QKeySequence()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

QHBoxLayout* Row(QWidget* panel, int margin = 4) {
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(margin, 2, margin, 2);
  row->setSpacing(6);
  return row;
}

}  // namespace

QString OpenDialogFilter() {
  // Qt's filter: one entry per line, "description (patterns)". "All Supported
  // Files" lists what the loaded libraries read; the named entries follow,
  // then every file.
  QStringList entries;
  entries << QString("All Supported Files (%1)")
                 .arg(QString::fromStdString(app::ExtensionPatterns(app::ReadableExtensions())));
  for (const app::TFileFilter& entry : app::kOpenDialogFilters) {
    if (entry.Description == std::string_view("All Supported Files")) continue;
    QString patterns = QString(entry.Patterns).replace(';', ' ').simplified();
    entries << QString("%1 (%2)").arg(entry.Description, patterns);
  }
  entries << "All files (*)";
  return entries.join(";;");
}

TArrowSpinBox::TArrowSpinBox(QWidget* parent) : QSpinBox(parent) {
  lineEdit()->setReadOnly(true);
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  InstallMainThreadWakeup();
  InstallPreviewWindowFactory();
  setWindowTitle(kMainCaption);
  setWindowIcon(ProgramIcon());
  // The window's font for every control, kept by every skin.
  QFont tahoma = QApplication::font();
  tahoma.setFamilies({"Tahoma", "DejaVu Sans", "Sans Serif"});
  tahoma.setPixelSize(11);
  setFont(tahoma);
  skins_.SetFont(tahoma);

  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(CreateButtonPanel(central));
  column->addWidget(CreateFormatPanel(central));
  // The list takes two thirds of the height, the preview beside the settings
  // the rest (the box gives heights in proportion, each at least its minimum).
  column->addWidget(CreateListPanel(central), 2);
  column->addWidget(CreateSettingsPanel(central), 1);
  setCentralWidget(central);
  CreateMenus();
  CreateStatusBar();
  CreatePopupMenus();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);
  TimerPlay = new QTimer(this);
  TimerPlay->setObjectName("TimerPlay");
  TimerPlay->setInterval(250);  // the time readout moves four times a second

  BindSettings();
  preview_ = new TPreviewControls(*this);
  BindFileList();
  BindPreferences();
  BindBatch();
  BindLog();
  BindSettingsSaving();
  FormAbout = new TFormAbout(this);
  // Hints stay up long enough to read a long path.
  for (QWidget* widget : findChildren<QWidget*>()) widget->setToolTipDuration(30000);
  FitMinimumSizeToScreen();
  resize(minimumSize());
  ShowGlyphs();
  // Without a remembered position the window starts centred.
  PlaceWindow();
}

// A batch still running when the window goes is stopped (its partial output
// is discarded), and the worker adding files is waited for, before the
// controls they report to are gone.
TForm1::~TForm1() {
  if (queue_ && queue_->Running()) queue_->StopAll();
  files_.WaitForAdding();
  files_.OnChanged = nullptr;
  files_.OnAddingFinished = nullptr;
  if (queue_) queue_->JobLog.OnLine = nullptr;
  // The list as it is now, so that a clean exit with an empty list leaves nothing to restore.
  if (session_) {
    std::string error;
    if (!session_->Save(files_, nullptr, error)) media::Log(this, media::llWarning, error);
  }
  queue_.reset();
  // The preview stops its player and lets go of the controls while they are
  // still the window's.
  delete preview_;
  preview_ = nullptr;
}

QWidget* TForm1::CreateButtonPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel3");
  panel->setFixedHeight(61);
  QHBoxLayout* row = Row(panel, 8);
  ButtonOpenDVD = LargeButton(panel, "ButtonOpenDVD", " Add Video", TGlyph::Add);
  ButtonOpenDVD->setToolTip("Add video and audio files, or a folder of them (Ctrl+O)");
  ButtonRemoveItem = LargeButton(panel, "ButtonRemoveItem", "Remove Item", TGlyph::Remove);
  ButtonRemoveItem->setToolTip("Remove the selected rows (Delete)");
  ButtonClearList = LargeButton(panel, "ButtonClearList", "Clear List", TGlyph::Clear);
  ButtonStop = LargeButton(panel, "ButtonStop", " Stop", TGlyph::Stop);
  ButtonRipNow = LargeButton(panel, "ButtonRipNow", " Convert Now", TGlyph::Convert);
  for (QToolButton* button : {ButtonOpenDVD, ButtonRemoveItem, ButtonClearList}) row->addWidget(button);
  row->addStretch(1);
  row->addWidget(ButtonStop);
  row->addWidget(ButtonRipNow);
  return panel;
}

QWidget* TForm1::CreateFormatPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel5");
  panel->setFixedHeight(33);
  QHBoxLayout* row = Row(panel, 8);
  row->addWidget(Caption(panel, "Choose Output Format :"));
  ComboOutputFormat = DropDown(panel, "ComboOutputFormat", 273);
  row->addWidget(ComboOutputFormat, 1);
  row->addSpacing(8);
  row->addWidget(Caption(panel, "Output Folder : "));
  EditOutputFolder = new QLineEdit(panel);
  EditOutputFolder->setObjectName("EditOutputFolder");
  EditOutputFolder->setPlaceholderText("Type, paste or choose a folder");
  EditOutputFolder->setMinimumWidth(180);
  row->addWidget(EditOutputFolder, 1);
  ButtonBrowseForFolder = new QToolButton(panel);
  ButtonBrowseForFolder->setObjectName("ButtonBrowseForFolder");
  ButtonBrowseForFolder->setText("...");
  ButtonBrowseForFolder->setToolTip("Choose the output folder");
  ButtonBrowseForFolder->setFixedSize(30, 24);
  row->addWidget(ButtonBrowseForFolder);
  connect(ButtonBrowseForFolder, &QToolButton::clicked, this, &TForm1::BrowseForOutputFolder);
  return panel;
}

QWidget* TForm1::CreateListPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel4");
  panel->setMinimumHeight(120);
  panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  auto* box = new QVBoxLayout(panel);
  box->setContentsMargins(4, 2, 4, 2);
  ListView1 = new TFileListView(panel);
  box->addWidget(ListView1);
  return panel;
}

QWidget* TForm1::CreateSettingsPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel6");
  panel->setMinimumHeight(219);
  panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  QHBoxLayout* row = Row(panel, 4);
  PageControl1 = new QTabWidget(panel);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  CreateOutputSettingsTab();
  CreateDetailedSettingsTab();
  CreatePreviewPanel(panel);
  CreatePreferencesGroup(panel);
  row->addWidget(PageControl1, 0, Qt::AlignTop);
  row->addWidget(Panel1, 1);
  row->addWidget(PreferencesScroller(panel));
  return panel;
}

// The preferences scroll rather than squeeze when the window is short (a small
// screen, a large scale factor): every entry keeps the height it needs.
QScrollArea* TForm1::PreferencesScroller(QWidget* parent) {
  auto* scroll = new QScrollArea(parent);
  scroll->setObjectName("ScrollPreferences");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidgetResizable(true);
  scroll->setWidget(GroupBox1);
  scroll->viewport()->setAutoFillBackground(false);
  scroll->setMinimumWidth(GroupBox1->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
  scroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  return scroll;
}

void TForm1::CreateOutputSettingsTab() {
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  auto* grid = new QGridLayout(TabSheet1);
  grid->setContentsMargins(10, 10, 10, 10);
  grid->setVerticalSpacing(14);
  struct Cell {
    const char* label;
    const char* name;
    QComboBox** combo;
  };
  const Cell cells[] = {{"Video Quality :", "ComboVideoQuality", &ComboVideoQuality},
                        {"Audio Quality :", "ComboAudioQuality", &ComboAudioQuality},
                        {"Video Size : ", "ComboVideoSize1", &ComboVideoSize1},
                        {"LetterBox : ", "ComboBoxLetterbox", &ComboBoxLetterbox}};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(Caption(TabSheet1, cells[i].label), i, 0);
    *cells[i].combo = DropDown(TabSheet1, cells[i].name, 150);
    grid->addWidget(*cells[i].combo, i, 1);
  }
  grid->setRowStretch(4, 1);
  PageControl1->addTab(TabSheet1, "Output  Settings");
}

void TForm1::CreateDetailedSettingsTab() {
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  auto* grid = new QGridLayout(TabSheet2);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(1);
  struct Cell {
    const char* label;
    const char* name;
    QComboBox** combo;
  };
  const Cell cells[] = {
      {"Video Codec : ", "ComboVideoCodec", &ComboVideoCodec},
      {"Audio Codec : ", "ComboAudioCodec", &ComboAudioCodec},
      {"Video Bitrate : ", "ComboVideoBitrate", &ComboVideoBitrate},
      {"Audio Bitrate : ", "ComboAudioBitrate", &ComboAudioBitrate},
      {"Video Size : ", "ComboVideoSize", &ComboVideoSize},
      {"Sampling Rate : ", "ComboSamplingRate", &ComboSamplingRate},
      {"Framerate :", "ComboVideoFrameRate", &ComboVideoFrameRate},
      {"Audio Channels : ", "ComboAudioChannels", &ComboAudioChannels},
  };
  // Video on the left, audio on the right; a caption above each list.
  for (int i = 0; i < 8; ++i) {
    const int column = i % 2, row = (i / 2) * 2;
    grid->addWidget(Caption(TabSheet2, cells[i].label), row, column);
    *cells[i].combo = DropDown(TabSheet2, cells[i].name, 126);
    grid->addWidget(*cells[i].combo, row + 1, column);
  }
  grid->setRowStretch(8, 1);
  PageControl1->addTab(TabSheet2, "Detailed Output Settings");
}

void TForm1::CreatePreviewPanel(QWidget* parent) {
  Panel1 = new QWidget(parent);
  Panel1->setObjectName("Panel1");
  auto* box = new QVBoxLayout(Panel1);
  box->setContentsMargins(4, 4, 4, 0);
  box->setSpacing(3);
  sPanelPlay = new TPreviewPanel(Panel1);
  sPanelPlay->setMinimumSize(255, 137);
  sPanelPlay->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  box->addWidget(sPanelPlay, 1);
  auto* bar = new QHBoxLayout;
  TrackBar1 = new TPositionBar(Panel1);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setMinimumWidth(120);
  TrackBar1->setRange(0, 0);
  // Milliseconds: an arrow key moves five seconds, a page key a minute.
  TrackBar1->setSingleStep(5000);
  TrackBar1->setPageStep(60000);
  TimeReadout = new QLabel("0:00 / 0:00", Panel1);
  TimeReadout->setObjectName("TimeReadout");
  TimeReadout->setMinimumWidth(TimeReadout->fontMetrics().horizontalAdvance("00:00:00 / 00:00:00"));
  TimeReadout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar->addWidget(TrackBar1, 1);
  bar->addWidget(TimeReadout);
  box->addLayout(bar);
  auto* buttons = new QHBoxLayout;
  SpeedButtonPlay = SmallButton(Panel1, "SpeedButtonPlay", "Play (Enter)", ButtonGlyph(TGlyph::Play));
  SpeedButtonPause = SmallButton(Panel1, "SpeedButtonPause", "Pause", ButtonGlyph(TGlyph::Pause));
  SpeedButtonStop = SmallButton(Panel1, "SpeedButtonStop", "Stop", ButtonGlyph(TGlyph::Stop));
  SpeedButtonPlay->setProperty("glyph", static_cast<int>(TGlyph::Play));
  SpeedButtonPause->setProperty("glyph", static_cast<int>(TGlyph::Pause));
  SpeedButtonStop->setProperty("glyph", static_cast<int>(TGlyph::Stop));
  SpeedButtonVolume = SmallButton(Panel1, "SpeedButtonVolume", "Adjust volume", SpeakerGlyph(TSpeakerLevel::Full));
  ButtonSnapshot = SmallButton(Panel1, "ButtonSnapshot", "Take a snapshot", CameraGlyph());
  buttons->addStretch(1);
  for (QToolButton* b : {SpeedButtonPlay, SpeedButtonPause, SpeedButtonStop, SpeedButtonVolume, ButtonSnapshot})
    buttons->addWidget(b);
  buttons->addStretch(1);
  box->addLayout(buttons);
}

void TForm1::CreatePreferencesGroup(QWidget* parent) {
  GroupBox1 = new QGroupBox(" Preferences ", parent);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setMinimumWidth(205);
  GroupBox1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  auto* box = new QVBoxLayout(GroupBox1);
  // Narrow side margins leave room for the scroll bar within the window's smallest width.
  box->setContentsMargins(4, 14, 2, 8);
  box->setSpacing(4);
  box->addWidget(Caption(GroupBox1, "Video Aspect Ratio :"));
  ComboBoxAspectRatio = DropDown(GroupBox1, "ComboBoxAspectRatio", 160);
  box->addWidget(ComboBoxAspectRatio);
  box->addSpacing(6);
  box->addWidget(Caption(GroupBox1, "Video Output Volume : "));
  SpinVolume = new TArrowSpinBox(GroupBox1);
  SpinVolume->setObjectName("SpinVolume");
  SpinVolume->setRange(0, 200);
  SpinVolume->setSingleStep(20);
  SpinVolume->setValue(100);
  SpinVolume->setToolTip("100 is the original video volume");
  SpinVolume->setFixedWidth(90);
  box->addWidget(SpinVolume);
  box->addSpacing(6);
  box->addWidget(Caption(GroupBox1, "Loudness (EBU R128) :"));
  ComboLoudness = new QComboBox(GroupBox1);
  ComboLoudness->setObjectName("ComboLoudness");
  ComboLoudness->addItem("As it is");
  ComboLoudness->addItem("-23 LUFS (broadcast)", -23);
  ComboLoudness->addItem("-16 LUFS (podcast)", -16);
  ComboLoudness->addItem("-14 LUFS (streaming)", -14);
  ComboLoudness->setToolTip("Measures each file's sound, then brings it to this loudness");
  ComboLoudness->setFixedWidth(160);
  box->addWidget(ComboLoudness);
  box->addSpacing(8);
  CheckBoxOverwriteFile = new QCheckBox("Overwrite file with same name.", GroupBox1);
  CheckBoxOverwriteFile->setObjectName("CheckBoxOverwriteFile");
  box->addWidget(CheckBoxOverwriteFile);
  CheckBoxKeepFolders = new QCheckBox("Keep folder structure", GroupBox1);
  CheckBoxKeepFolders->setObjectName("CheckBoxKeepFolders");
  CheckBoxKeepFolders->setToolTip("Files of an added folder go into the same subfolders of the output folder");
  box->addWidget(CheckBoxKeepFolders);
  CheckBoxVerifyOutputs = new QCheckBox("Verify outputs", GroupBox1);
  CheckBoxVerifyOutputs->setObjectName("CheckBoxVerifyOutputs");
  CheckBoxVerifyOutputs->setToolTip(
      "Each output is read back and decoded in full before it takes its name: a file with a stream missing, "
      "damaged or cut short fails");
  box->addWidget(CheckBoxVerifyOutputs);
  box->addSpacing(6);
  box->addWidget(Caption(GroupBox1, "Simultaneous conversions :"));
  SpinSimultaneous = new QSpinBox(GroupBox1);
  SpinSimultaneous->setObjectName("SpinSimultaneous");
  SpinSimultaneous->setRange(1, app::ProcessorCount());
  SpinSimultaneous->setValue(1);
  SpinSimultaneous->setToolTip("Files converted at the same time, up to the number of processors");
  SpinSimultaneous->setFixedWidth(90);
  box->addWidget(SpinSimultaneous);
  box->addStretch(1);
}

void TForm1::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  ButtonLog = new QToolButton(bar);
  ButtonLog->setObjectName("ButtonLog");
  ButtonLog->setText("Log");
  ButtonLog->setToolTip("Show the log of the conversions (Ctrl+L)");
  ButtonLog->setIcon(ButtonGlyph(TGlyph::Log));
  ButtonLog->setProperty("glyph", static_cast<int>(TGlyph::Log));
  ButtonLog->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ButtonLog->setAutoRaise(true);
  ButtonLog->setIconSize(QSize(14, 14));
  StatusPanel0 = new QLabel(bar);
  StatusPanel0->setObjectName("StatusPanel0");
  StatusPanel0->setMinimumWidth(160);
  StatusPanel1 = new QWidget(bar);
  StatusPanel1->setObjectName("StatusPanel1");
  StatusPanel1->setMinimumWidth(200);
  auto* holder = new QHBoxLayout(StatusPanel1);
  // The progress bar lies in the second panel, two pixels narrower than it.
  holder->setContentsMargins(1, 1, 1, 1);
  ProgressBar1 = new QProgressBar(StatusPanel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setMaximumHeight(16);
  holder->addWidget(ProgressBar1);
  StatusPanel2 = new TElidedLabel(bar);
  StatusPanel2->setObjectName("StatusPanel2");
  StatusPanel2->SetFullText("Ready");
  bar->addWidget(ButtonLog);
  bar->addWidget(StatusPanel0);
  bar->addWidget(StatusPanel1, 3);
  bar->addWidget(StatusPanel2, 2);
}

void TForm1::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  QMenu* file = bar->addMenu("File");
  file->setObjectName("File1");
  connect(MenuItem(file, "AddVideo1", "Add Video...", QKeySequence::Open), &QAction::triggered, this,
          &TForm1::AddVideo);
  connect(MenuItem(file, "AddFolder1", "Add Folder...", QKeySequence("Ctrl+Shift+O")), &QAction::triggered, this,
          &TForm1::AddFolder);
  file->addSeparator();
  connect(MenuItem(file, "SavePreset1", "Save Preset...", QKeySequence("Ctrl+Shift+S")), &QAction::triggered, this, &TForm1::SavePreset);
  connect(MenuItem(file, "LoadPreset1", "Load Preset...", QKeySequence()), &QAction::triggered, this, &TForm1::LoadPreset);
  file->addSeparator();
  connect(MenuItem(file, "Exit1", "Exit", QKeySequence("Ctrl+Q")), &QAction::triggered, this, &TForm1::Exit);
  QMenu* edit = bar->addMenu("Edit");
  edit->setObjectName("Edit1");
  CreateListActions();
  for (const char* name : {"SelectAll1", "RemoveSelectedItem1", "ClearAllItems1", "-", "CheckAllItems1",
                           "UnCheckAllItems1", "-", "PreviewSelected1"}) {
    if (name == std::string_view("-"))
      edit->addSeparator();
    else
      edit->addAction(findChild<QAction*>(name));
  }
  QMenu* view = bar->addMenu("View");
  view->setObjectName("View1");
  connect(MenuItem(view, "ShowLog1", "Log", QKeySequence("Ctrl+L")), &QAction::triggered, this, &TForm1::ShowLog);
  QMenu* skin = bar->addMenu("Skin");
  skin->setObjectName("Skin1");
  CreateSkinMenu(skin);
  QMenu* about = bar->addMenu("About");
  about->setObjectName("About1");
  CreateAboutMenu(about);
}

// The list's commands, shared by the Edit menu and the list's context menu.
// Delete and Enter act while the list has the focus; the others anywhere in
// the window (a text field keeps its own Ctrl+A).
void TForm1::CreateListActions() {
  struct Item {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    bool listOnly;
  };
  for (const Item& item : {Item{"SelectAll1", "Select All", QKeySequence::SelectAll, false},
                           Item{"RemoveSelectedItem1", "Remove Selected Item", QKeySequence(Qt::Key_Delete), true},
                           Item{"ClearAllItems1", "Clear All Items", {}, false},
                           Item{"CheckAllItems1", "Check All Items", {}, false},
                           Item{"UnCheckAllItems1", "UnCheck All Items", {}, false},
                           Item{"PreviewSelected1", "Play Selected Item", QKeySequence(Qt::Key_Return), true}}) {
    auto* action = new QAction(item.caption, this);
    action->setObjectName(item.name);
    action->setShortcut(item.shortcut);
    if (item.listOnly) {
      action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      ListView1->addAction(action);
    } else {
      addAction(action);
    }
  }
}

void TForm1::CreateSkinMenu(QMenu* menu) {
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  auto add = [&](const char* name, const QString& caption, int tag) {
    QAction* item = MenuItem(menu, name, caption);
    item->setCheckable(true);
    item->setData(tag);
    group->addAction(item);
    connect(item, &QAction::triggered, this, [this, tag] { ChooseSkin(tag); });
  };
  add("NoSkin1", "No Skin", kNoSkinTag);
  menu->addSeparator();
  for (const TSkin& skin : Skins()) add(skin.MenuItem.toLatin1().constData(), skin.Caption, skin.Tag);
  CheckSkinMenuItem(kNoSkinTag);
}

void TForm1::CreateAboutMenu(QMenu* menu) {
  connect(MenuItem(menu, "OpenHelpFile1", "Open Help File"), &QAction::triggered, this,
          &TForm1::OpenHelpFile);
  menu->addSeparator();
  connect(MenuItem(menu, "VisitTolvaneSoftwareWebsite1", "Visit Our Website"), &QAction::triggered,
          this, [] { Dialogs().OpenUrl(kWebSiteUrl); });
  connect(MenuItem(menu, "EmailSupportDepartment1", "Email Support Department"),
          &QAction::triggered, this, [] { Dialogs().OpenUrl(kSupportMailUrl); });
  menu->addSeparator();
  connect(MenuItem(menu, "About3", "About"), &QAction::triggered, this,
          [this] { FormAbout->ShowModal(); });
}

void TForm1::CreatePopupMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  for (const char* name : {"UnCheckAllItems1", "-", "CheckAllItems1", "-", "RemoveSelectedItem1", "ClearAllItems1",
                           "-", "PreviewSelected1"}) {
    if (name == std::string_view("-"))
      PopupMenu1->addSeparator();
    else
      PopupMenu1->addAction(findChild<QAction*>(name));
  }

  PopupMenuVolume = new QMenu(this);
  PopupMenuVolume->setObjectName("PopupMenuVolume");
  struct Item {
    const char* name;
    const char* caption;
    int tag;
    TSpeakerLevel level;
  };
  for (const Item& item : {Item{"Mute1", "Mute", 11, TSpeakerLevel::Mute},
                           Item{"HalfVolume1", "Half Volume", 12, TSpeakerLevel::Half},
                           Item{"FullVolume1", "Full Volume", 13, TSpeakerLevel::Full}}) {
    QAction* action = MenuItem(PopupMenuVolume, item.name, item.caption);
    action->setData(item.tag);
    action->setIcon(SpeakerGlyph(item.level));
  }
}

void TForm1::ChooseSkin(int tag) {
  const TSkin* skin = FindSkinByTag(tag);
  if (skin)
    skins_.SkinOn(skin->Name);
  else
    skins_.SkinOff();
  SkinChanged();
}

void TForm1::ApplySkinName(const QString& name) {
  if (name.isEmpty() || name == kNoSkinName || !FindSkin(name))
    skins_.SkinOff();
  else
    skins_.SkinOn(name);
  SkinChanged();
}

void TForm1::SkinChanged() {
  CheckSkinMenuItem(skins_.Active() ? skins_.Skin()->Tag : kNoSkinTag);
  ShowGlyphs();
  SaveSettingsSoon();
}

// The glyphs are drawn in the skin's caption colour, so that they stay
// visible on dark buttons as on light ones.
void TForm1::ShowGlyphs() {
  const QColor ink = skins_.Ink();
  for (QToolButton* button : findChildren<QToolButton*>()) {
    const QVariant glyph = button->property("glyph");
    if (glyph.isValid()) button->setIcon(ButtonGlyph(static_cast<TGlyph>(glyph.toInt()), ink));
  }
  const int volume = SpeedButtonVolume->property("volumeTag").isValid()
                         ? SpeedButtonVolume->property("volumeTag").toInt() : 13;
  SpeedButtonVolume->setIcon(SpeakerGlyph(SpeakerLevelOfTag(volume), ink));
  ButtonSnapshot->setIcon(CameraGlyph(ink));
  for (QAction* item : PopupMenuVolume->actions())
    item->setIcon(SpeakerGlyph(SpeakerLevelOfTag(item->data().toInt()), ink));
}

bool TForm1::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  switch (event->type()) {
    case QEvent::Expose:
    case QEvent::WindowActivate:
    case QEvent::Move:
    case QEvent::Resize:
      PlaceAgainOnceFramed();
      break;
    default:
      break;
  }
  if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange) {
    if (!following_desktop_) {  // the skin's own change of the application does not come back here
      following_desktop_ = true;
      skins_.DesktopChanged();
      ShowGlyphs();
      following_desktop_ = false;
    }
  }
  return handled;
}

void TForm1::CheckSkinMenuItem(int tag) {
  for (QAction* action : findChildren<QAction*>())
    if (action->isCheckable() && action->data().isValid() && action->data().toInt() >= kNoSkinTag)
      action->setChecked(action->data().toInt() == tag);
}

// Next to the program in a build tree, in the data folder once installed.
QString HelpFilePath() {
  const QString folder = QString::fromStdString(media::ProgramFolder());
  const QString beside = folder + "help.html";
  const QString installed = folder + STRELLA_INSTALLED_DATA_FROM_PROGRAM "/help.html";
  return QFile::exists(beside) || !QFile::exists(installed) ? beside : installed;
}

void TForm1::OpenHelpFile() {
  const QString path = HelpFilePath();
  if (!QFile::exists(path)) {
    ShowInformation(this, QString("The help file \"%1\" cannot be found. Please re-install this "
                                  "software.").arg(path));
    return;
  }
  Dialogs().OpenUrl(QUrl::fromLocalFile(path).toString());
}

QString MissingFolderText(const QString& folder) {
  return QString("The output folder \"%1\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.")
      .arg(folder);
}

void TForm1::BrowseForOutputFolder() {
  if (Converting()) return;
  const QString folder =
      Dialogs().BrowseForFolder(this, kOutputFolderHeadline, EditOutputFolder->text().trimmed());
  if (!folder.isEmpty()) EditOutputFolder->setText(folder.trimmed());
}

TComboAdapter& TForm1::AdapterOf(QComboBox* combo) {
  for (const auto& adapter : adapters_)
    if (adapter->Combo() == combo) return *adapter;
  adapters_.push_back(std::make_unique<TComboAdapter>(combo));
  return *adapters_.back();
}

void TForm1::BindSettings() {
  app::TSettingsControls c;
  c.ComboOutputFormat = &AdapterOf(ComboOutputFormat);
  c.ComboVideoQuality = &AdapterOf(ComboVideoQuality);
  c.ComboAudioQuality = &AdapterOf(ComboAudioQuality);
  c.ComboVideoSize1 = &AdapterOf(ComboVideoSize1);
  c.ComboBoxLetterbox = &AdapterOf(ComboBoxLetterbox);
  c.ComboVideoCodec = &AdapterOf(ComboVideoCodec);
  c.ComboVideoBitrate = &AdapterOf(ComboVideoBitrate);
  c.ComboVideoSize = &AdapterOf(ComboVideoSize);
  c.ComboVideoFrameRate = &AdapterOf(ComboVideoFrameRate);
  c.ComboAudioCodec = &AdapterOf(ComboAudioCodec);
  c.ComboAudioBitrate = &AdapterOf(ComboAudioBitrate);
  c.ComboSamplingRate = &AdapterOf(ComboSamplingRate);
  c.ComboAudioChannels = &AdapterOf(ComboAudioChannels);
  c.ComboBoxAspectRatio = &AdapterOf(ComboBoxAspectRatio);
  settings_ = std::make_unique<app::TSettingsModel>(c);
  settings_->OnFormatKeyChanged = [this](const std::string& key) { files_.SetOutputColumn(key); };
  settings_->Initialize();
  MarkFormatHeaders();
  MarkUnavailableProfiles();
  ComboOutputFormat->setMaxVisibleItems(36);

  // Only the user's choice (activated) runs the handlers; choices made from
  // code go through the adapters without notifications.
  FillPresetEntries();
  connect(ComboOutputFormat, &QComboBox::activated, this, &TForm1::OutputFormatActivated);
  for (QComboBox* combo : {ComboVideoQuality, ComboAudioQuality, ComboVideoBitrate, ComboAudioBitrate})
    connect(combo, &QComboBox::activated, this, [this, combo] { settings_->QualityChanged(AdapterOf(combo)); });
  for (QComboBox* combo : {ComboVideoSize, ComboVideoSize1})
    connect(combo, &QComboBox::activated, this, [this, combo] { settings_->VideoSizeChanged(AdapterOf(combo)); });
}

// Headers of the format list show in bold, separators stay blank lines.
void TForm1::SelectProfile(const app::Quality& AProfile) {
  const int index = ComboOutputFormat->findText(QString::fromStdString(std::string(AProfile.DisplayName)));
  if (index < 0) return;
  ComboOutputFormat->setCurrentIndex(index);
  settings_->OutputFormatChanged();
  SaveSettingsSoon();
}

void TForm1::MarkFormatHeaders() {
  QFont bold = ComboOutputFormat->font();
  bold.setBold(true);
  for (int i = 0; i < ComboOutputFormat->count(); ++i)
    if (ComboOutputFormat->itemText(i).contains("---")) ComboOutputFormat->setItemData(i, bold, Qt::FontRole);
}

void TForm1::MarkUnavailableProfiles() {
  auto* entries = qobject_cast<QStandardItemModel*>(ComboOutputFormat->model());
  for (int i = 0; entries && i < ComboOutputFormat->count(); ++i) {
    const app::Quality* profile = app::FindProfile(ComboOutputFormat->itemText(i).toStdString());
    if (!profile) continue;
    const std::string reason = app::ProfileUnavailableReason(*profile);
    entries->item(i)->setEnabled(reason.empty());
    ComboOutputFormat->setItemData(i, reason.empty() ? QVariant() : QVariant(QString::fromStdString(reason)),
                                   Qt::ToolTipRole);
  }
}

bool TForm1::LoadLibraries() {
  media::FFLoader().SetLibraryPath(media::ProgramFolder());
  if (media::FFLoader().LoadLibs(media::kEncoderLibraries)) {
    app::LookUpProfileEncoders(app::LoadedEncoders());
    MarkUnavailableProfiles();
    return true;
  }
  media::Log(this, media::llError, media::FFLoader().LastErrMsg());
  ShowInformation(this, "Some files are missing. Please re-install this software");
  return false;
}

void TForm1::LoadSettings() {
  TQtSettingsStore store;
  app::TWindowSettings window;
  app::LoadSettings(store, *settings_, prefs_, window);
  ApplySkinName(QString::fromStdString(window.Skin));
  // An empty folder would only earn "Please select an output folder!": offer the Videos folder.
  if (prefs_.OutputFolder.empty()) prefs_.OutputFolder = app::DefaultOutputFolder();
  EditOutputFolder->setText(QString::fromStdString(prefs_.OutputFolder));
  CheckBoxOverwriteFile->setChecked(prefs_.Overwrite);
  CheckBoxKeepFolders->setChecked(prefs_.KeepFolderStructure);
  CheckBoxVerifyOutputs->setChecked(prefs_.VerifyOutputs);
  SpinVolume->setValue(prefs_.SpinVolume);
  ShowLoudness();
  SpinSimultaneous->setValue(prefs_.SimultaneousConversions);
  PageControl1->setCurrentIndex(window.Tabsheet == 1 ? 0 : 1);
  if (window.FormLeft >= 0 && window.FormTop >= 0) {
    const QSize size = window.FormWidth > 0 && window.FormHeight > 0 ? QSize(window.FormWidth, window.FormHeight)
                                                                    : this->size();
    SetRememberedGeometry(QRect(QPoint(window.FormLeft, window.FormTop), size), window.Maximized);
  }
  settings_loaded_ = true;
}

// Every control the user sets a choice with; the format list's own handlers
// and the model's follow-up changes run before the deferred save.
void TForm1::BindSettingsSaving() {
  settings_save_timer_ = new QTimer(this);
  settings_save_timer_->setObjectName("SettingsSaveTimer");
  settings_save_timer_->setSingleShot(true);
  // Changes that come together (a drag of the window, typing a folder) are written once.
  settings_save_timer_->setInterval(200);
  connect(settings_save_timer_, &QTimer::timeout, this, [this] { SaveSettings(); });
  for (QComboBox* combo : findChildren<QComboBox*>())
    connect(combo, &QComboBox::activated, this, &TForm1::SaveSettingsSoon);
  connect(EditOutputFolder, &QLineEdit::textChanged, this, &TForm1::SaveSettingsSoon);
  connect(CheckBoxOverwriteFile, &QCheckBox::toggled, this, &TForm1::SaveSettingsSoon);
  for (QSpinBox* spin : {static_cast<QSpinBox*>(SpinVolume), SpinSimultaneous})
    connect(spin, &QSpinBox::valueChanged, this, &TForm1::SaveSettingsSoon);
  connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::SaveSettingsSoon);
}

void TForm1::SaveSettingsSoon() {
  if (settings_loaded_ && settings_save_timer_) settings_save_timer_->start();
}

bool TForm1::SettingsSavePending() const { return settings_save_timer_ && settings_save_timer_->isActive(); }

void TForm1::SaveSettings() {
  if (settings_save_timer_) settings_save_timer_->stop();
  TQtSettingsStore store;
  app::TWindowSettings window;
  window.Skin = skins_.SkinName().toStdString();
  // A maximized window keeps the frame it had before, to go back to.
  const QRect frame = normal_frame_.isValid() ? normal_frame_ : QRect(pos(), size());
  window.FormLeft = frame.left();
  window.FormTop = frame.top();
  window.FormWidth = frame.width();
  window.FormHeight = frame.height();
  window.Maximized = isMaximized();
  window.Tabsheet = PageControl1->currentIndex() == 0 ? 1 : 2;
  app::SaveSettings(store, *settings_, prefs_, window);
}

void TForm1::SetRememberedPosition(int left, int top) { SetRememberedGeometry(QRect(QPoint(left, top), size()), false); }

void TForm1::SetRememberedGeometry(const QRect& frame, bool maximized) {
  remembered_ = frame;
  remembered_maximized_ = maximized;
  placed_ = false;
  if (isVisible()) PlaceWindow();
}

// The frame position and the window's size; a frame whose title bar is not
// wholly on an available screen is moved onto the nearest one, a window
// without a remembered place is centred.
void TForm1::PlaceWindow() {
  QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary) return;
  if (!remembered_) {
    const QRect desktop = primary->availableGeometry();
    move(desktop.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    awaiting_frame_ = isVisible() && geometry() == frameGeometry();
    WatchForFrame();
    return;
  }
  std::vector<app::TRect> screens;
  auto add = [&](QScreen* screen) {
    const QRect r = screen->availableGeometry();
    screens.push_back({r.x(), r.y(), r.width(), r.height()});
  };
  add(primary);
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != primary) add(screen);
  // The frame's margins are known once the window manager has framed the window.
  const QMargins margins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
  const int title = std::max(margins.top(), 24);
  const QSize wanted = remembered_->size().expandedTo(minimumSize());
  const app::TRect frame{remembered_->x(), remembered_->y(), wanted.width() + margins.left() + margins.right(),
                         wanted.height() + margins.top() + margins.bottom()};
  const app::TRect placed = app::PlaceFrame(frame, screens, title);
  resize(QSize(placed.Width - margins.left() - margins.right(), placed.Height - margins.top() - margins.bottom())
             .expandedTo(minimumSize()));
  move(placed.Left, placed.Top);
  // Before the window manager has framed the window the position lands on
  // the client area, a title bar's height too low; once framed it is set again.
  awaiting_frame_ = isVisible() && margins.isNull();
  WatchForFrame();
  if (remembered_maximized_) showMaximized();
}

// Framing sends the window no event of its own: looked for ten times a
// second, for fifteen seconds at most (a busy desktop may frame it late; a
// platform without frames never does).
void TForm1::WatchForFrame() {
  if (!awaiting_frame_) return;
  auto* watch = new QTimer(this);
  watch->setInterval(100);
  connect(watch, &QTimer::timeout, this, [this, watch, ticks = 0]() mutable {
    PlaceAgainOnceFramed();
    if (awaiting_frame_ && ++ticks < 150) return;
    watch->stop();
    watch->deleteLater();
  });
  watch->start();
}

// The natural smallest size, less where the screen is smaller (a large scale
// factor on a small screen): the list and the settings then give up their
// spare height, and the frame with its title bar still fits on the screen.
void TForm1::FitMinimumSizeToScreen() {
  QSize smallest(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize room = screen->availableGeometry().size() - QSize(kFrameAllowance, kFrameAllowance + kTitleAllowance);
    smallest = smallest.boundedTo(room);
  }
  setMinimumSize(smallest);
}

void TForm1::PlaceAgainOnceFramed() {
  if (!awaiting_frame_ || geometry() == frameGeometry()) return;
  awaiting_frame_ = false;
  PlaceWindow();
}

void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  KeepNormalFrame();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  KeepNormalFrame();
}

void TForm1::KeepNormalFrame() {
  if (isVisible() && !isMaximized() && !isMinimized() && !isFullScreen()) normal_frame_ = QRect(pos(), size());
  if (isVisible()) SaveSettingsSoon();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!placed_) {
    placed_ = true;
    PlaceWindow();
  }
}

void TForm1::Exit() {
  // A change made just now is kept like every other.
  if (SettingsSavePending()) SaveSettings();
  exit_requested_ = true;
  close();
  QCoreApplication::exit(0);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // A running batch is not thrown away unasked: the question of Stop, and
  // "No" keeps converting.
  if (!exit_requested_ && !ConfirmCloseDuringBatch()) {
    event->ignore();
    return;
  }
  // File, Exit has kept what was pending; closing the window keeps the frame as it is now.
  if (!exit_requested_) SaveSettings();
  if (log_view_) log_view_->close();
  QMainWindow::closeEvent(event);
}

bool TForm1::ConfirmCloseDuringBatch() {
  if (!queue_ || !queue_->Running()) return true;
  if (Busy()) {
    queue_->Stop();  // pauses, asks, and on "Yes" stops and cleans up
    return !queue_->Running();
  }
  // Between two jobs: nothing to pause.
  if (!AskYesNo(this, "Confirmation", "Stop all conversions?")) return false;
  Timer1->stop();
  queue_->StoppedByUser = true;
  return true;
}

void TForm1::ShowConversionFrame(const media::TBitmap& bitmap) {
  sPanelPlay->ShowFrame(BitmapImage(bitmap));
}

bool TForm1::SaveScreenshot(const QString& fileName) { return grab().save(fileName); }

}  // namespace strella::window
