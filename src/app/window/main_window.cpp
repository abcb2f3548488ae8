#include "app/window/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

#include "app/profile_encoders.h"
#include "app/window/about_box.h"
#include "app/window/dialogs.h"
#include "app/window/glyphs.h"
#include "app/window/qt_settings_store.h"
#include "app/window/preview_controls.h"
#include "app/window/preview_window.h"
#include "app/window/window_thread.h"
#include "media/loader.h"
#include "media/logger.h"

namespace strella::window {
namespace {

constexpr int kClientWidth = 793;
constexpr int kClientHeight = 581;
constexpr int kStatusBarHeight = 22;

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w, int h = 20) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, w, h);
  return label;
}

QComboBox* DropDown(QWidget* parent, const char* name, int x, int y, int w) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(false);  // the user can only pick an item
  combo->setGeometry(x, y, w, 22);
  return combo;
}

QToolButton* LargeButton(QWidget* parent, const char* name, const QString& caption,
                         QStyle::StandardPixmap icon, int x, int w) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(caption);
  button->setIcon(parent->style()->standardIcon(icon));
  button->setIconSize(QSize(24, 24));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);  // flat
  button->setGeometry(x, 6, w, 48);
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  return button;
}

QToolButton* SmallButton(QWidget* parent, const char* name, const QString& hint, const QIcon& icon,
                         int x, int y) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setIcon(icon);
  button->setIconSize(QSize(20, 20));
  button->setAutoRaise(true);
  button->setGeometry(x, y, 34, 30);
  return button;
}

QAction* MenuItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  return action;
}

}  // namespace

QString OpenDialogFilter() {
  // Qt's filter: one entry per line, "description (patterns)"; our patterns
  // are separated by ';' (with the odd blank), Qt's by blanks.
  QStringList entries;
  for (const app::TFileFilter& entry : app::kOpenDialogFilters) {
    QString patterns = QString(entry.Patterns).replace(';', ' ').simplified();
    entries << QString("%1 (%2)").arg(entry.Description, patterns);
  }
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
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  QFont tahoma = font();
  tahoma.setFamilies({"Tahoma", "DejaVu Sans", "Sans Serif"});
  tahoma.setPixelSize(11);
  setFont(tahoma);

  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  central->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  int y = 0;
  for (QWidget* panel : {CreateButtonPanel(central), CreateFormatPanel(central),
                         CreateListPanel(central), CreateSettingsPanel(central)}) {
    panel->move(0, y);
    y += panel->height();
  }
  setCentralWidget(central);
  CreateMenus();
  CreateStatusBar();
  CreatePopupMenus();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);
  TimerPlay = new QTimer(this);
  TimerPlay->setObjectName("TimerPlay");
  TimerPlay->setInterval(1000);

  BindSettings();
  preview_ = new TPreviewControls(*this);
  BindFileList();
  BindPreferences();
  BindBatch();
  FormAbout = new TFormAbout(this);
  // Hints stay up long enough to read a long path.
  for (QWidget* widget : findChildren<QWidget*>()) widget->setToolTipDuration(30000);
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
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
  panel->resize(kClientWidth, 61);
  ButtonOpenDVD = LargeButton(panel, "ButtonOpenDVD", " Add Video", QStyle::SP_DialogOpenButton, 8, 120);
  ButtonRemoveItem =
      LargeButton(panel, "ButtonRemoveItem", "Remove Item", QStyle::SP_TrashIcon, 132, 124);
  ButtonClearList =
      LargeButton(panel, "ButtonClearList", "Clear List", QStyle::SP_DialogResetButton, 260, 112);
  ButtonStop = LargeButton(panel, "ButtonStop", " Stop", QStyle::SP_MediaStop, 540, 100);
  ButtonRipNow = LargeButton(panel, "ButtonRipNow", " Convert Now", QStyle::SP_MediaPlay, 644, 141);
  return panel;
}

QWidget* TForm1::CreateFormatPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel5");
  panel->resize(kClientWidth, 33);
  Caption(panel, "Choose Output Format :", 8, 6, 126);
  ComboOutputFormat = DropDown(panel, "ComboOutputFormat", 136, 5, 273);
  Caption(panel, "Output Folder : ", 420, 6, 84);
  EditOutputFolder = new QLineEdit(panel);
  EditOutputFolder->setObjectName("EditOutputFolder");
  EditOutputFolder->setReadOnly(true);  // the picker and the settings fill it
  EditOutputFolder->setGeometry(504, 5, 248, 22);
  ButtonBrowseForFolder = new QToolButton(panel);
  ButtonBrowseForFolder->setObjectName("ButtonBrowseForFolder");
  ButtonBrowseForFolder->setText("...");
  ButtonBrowseForFolder->setToolTip("Choose the output folder");
  ButtonBrowseForFolder->setGeometry(756, 4, 30, 24);
  connect(ButtonBrowseForFolder, &QToolButton::clicked, this, &TForm1::BrowseForOutputFolder);
  return panel;
}

QWidget* TForm1::CreateListPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel4");
  panel->resize(kClientWidth, 246);
  ListView1 = new TFileListView(panel);
  ListView1->setGeometry(4, 2, kClientWidth - 8, 242);
  return panel;
}

QWidget* TForm1::CreateSettingsPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("Panel6");
  panel->resize(kClientWidth, 219);
  PageControl1 = new QTabWidget(panel);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(4, 4, 306, 211);
  CreateOutputSettingsTab();
  CreateDetailedSettingsTab();
  CreatePreviewPanel(panel);
  CreatePreferencesGroup(panel);
  return panel;
}

void TForm1::CreateOutputSettingsTab() {
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  Caption(TabSheet1, "Video Quality :", 10, 14, 100);
  ComboVideoQuality = DropDown(TabSheet1, "ComboVideoQuality", 112, 13, 178);
  Caption(TabSheet1, "Audio Quality :", 10, 52, 100);
  ComboAudioQuality = DropDown(TabSheet1, "ComboAudioQuality", 112, 51, 178);
  Caption(TabSheet1, "Video Size : ", 10, 90, 100);
  ComboVideoSize1 = DropDown(TabSheet1, "ComboVideoSize1", 112, 89, 178);
  Caption(TabSheet1, "LetterBox : ", 10, 128, 100);
  ComboBoxLetterbox = DropDown(TabSheet1, "ComboBoxLetterbox", 112, 127, 178);
  PageControl1->addTab(TabSheet1, "Output  Settings");
}

void TForm1::CreateDetailedSettingsTab() {
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
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
    const int x = i % 2 == 0 ? 8 : 152;
    const int y = 4 + (i / 2) * 42;
    Caption(TabSheet2, cells[i].label, x, y, 136, 16);
    *cells[i].combo = DropDown(TabSheet2, cells[i].name, x, y + 17, 136);
  }
  PageControl1->addTab(TabSheet2, "Detailed Output Settings");
}

void TForm1::CreatePreviewPanel(QWidget* parent) {
  Panel1 = new QWidget(parent);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(314, 4, 265, 211);
  sPanelPlay = new TPreviewPanel(Panel1);
  sPanelPlay->setGeometry(5, 4, 255, 137);
  sPanelPlay->ShowPlaceholder();
  TrackBar1 = new QSlider(Qt::Horizontal, Panel1);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setGeometry(8, 144, 249, 22);
  TrackBar1->setRange(0, 0);
  // Milliseconds: an arrow key moves five seconds, a page key a minute.
  TrackBar1->setSingleStep(5000);
  TrackBar1->setPageStep(60000);
  QStyle* s = style();
  SpeedButtonPlay = SmallButton(Panel1, "SpeedButtonPlay", "Play", s->standardIcon(QStyle::SP_MediaPlay), 22, 172);
  SpeedButtonPause =
      SmallButton(Panel1, "SpeedButtonPause", "Pause", s->standardIcon(QStyle::SP_MediaPause), 66, 172);
  SpeedButtonStop = SmallButton(Panel1, "SpeedButtonStop", "Stop", s->standardIcon(QStyle::SP_MediaStop), 110, 172);
  SpeedButtonVolume = SmallButton(Panel1, "SpeedButtonVolume", "Adjust volume",
                                  SpeakerGlyph(TSpeakerLevel::Full), 154, 172);
  ButtonSnapshot = SmallButton(Panel1, "ButtonSnapshot", "Take a snapshot", CameraGlyph(), 208, 172);
}

void TForm1::CreatePreferencesGroup(QWidget* parent) {
  GroupBox1 = new QGroupBox(" Preferences ", parent);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(584, 4, 205, 211);
  Caption(GroupBox1, "Video Aspect Ratio :", 10, 24, 185);
  ComboBoxAspectRatio = DropDown(GroupBox1, "ComboBoxAspectRatio", 10, 44, 185);
  Caption(GroupBox1, "Video Output Volume : ", 10, 80, 185);
  SpinVolume = new TArrowSpinBox(GroupBox1);
  SpinVolume->setObjectName("SpinVolume");
  SpinVolume->setRange(0, 200);
  SpinVolume->setSingleStep(20);
  SpinVolume->setValue(100);
  SpinVolume->setToolTip("100 is the original video volume");
  SpinVolume->setGeometry(10, 100, 90, 22);
  CheckBoxOverwriteFile = new QCheckBox("Overwrite file with same name.", GroupBox1);
  CheckBoxOverwriteFile->setObjectName("CheckBoxOverwriteFile");
  CheckBoxOverwriteFile->setGeometry(10, 132, 190, 22);
  Caption(GroupBox1, "Simultaneous conversions :", 10, 162, 185);
  SpinSimultaneous = new QSpinBox(GroupBox1);
  SpinSimultaneous->setObjectName("SpinSimultaneous");
  SpinSimultaneous->setRange(1, app::ProcessorCount());
  SpinSimultaneous->setValue(1);
  SpinSimultaneous->setToolTip("Files converted at the same time, up to the number of processors");
  SpinSimultaneous->setGeometry(10, 182, 90, 22);
}

void TForm1::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  StatusPanel0 = new QLabel(bar);
  StatusPanel0->setObjectName("StatusPanel0");
  StatusPanel0->setFixedWidth(160);
  StatusPanel1 = new QWidget(bar);
  StatusPanel1->setObjectName("StatusPanel1");
  StatusPanel1->setFixedSize(520, kStatusBarHeight - 2);
  // The progress bar lies in the second panel, two pixels narrower than it.
  ProgressBar1 = new QProgressBar(StatusPanel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setGeometry(1, 1, 518, kStatusBarHeight - 4);
  StatusPanel2 = new QLabel("Ready", bar);
  StatusPanel2->setObjectName("StatusPanel2");
  StatusPanel2->setFixedWidth(50);
  bar->addWidget(StatusPanel0);
  bar->addWidget(StatusPanel1);
  bar->addWidget(StatusPanel2);
}

void TForm1::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  QMenu* file = bar->addMenu("File");
  file->setObjectName("File1");
  connect(MenuItem(file, "Exit1", "Exit"), &QAction::triggered, this, &TForm1::Exit);
  QMenu* skin = bar->addMenu("Skin");
  skin->setObjectName("Skin1");
  CreateSkinMenu(skin);
  QMenu* about = bar->addMenu("About");
  about->setObjectName("About1");
  CreateAboutMenu(about);
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
  MenuItem(PopupMenu1, "UnCheckAllItems1", "UnCheck All Items");
  PopupMenu1->addSeparator();
  MenuItem(PopupMenu1, "CheckAllItems1", "Check All Items");
  PopupMenu1->addSeparator();
  MenuItem(PopupMenu1, "RemoveSelectedItem1", "Remove Selected Item");
  MenuItem(PopupMenu1, "ClearAllItems1", "Clear All Items");
  PopupMenu1->addSeparator();
  MenuItem(PopupMenu1, "PreviewSelected1", "Play Selected Item");

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
  CheckSkinMenuItem(skins_.Active() ? skins_.Skin()->Tag : kNoSkinTag);
}

void TForm1::ApplySkinName(const QString& name) {
  if (name.isEmpty() || name == kNoSkinName || !FindSkin(name))
    skins_.SkinOff();
  else
    skins_.SkinOn(name);
  CheckSkinMenuItem(skins_.Active() ? skins_.Skin()->Tag : kNoSkinTag);
}

void TForm1::CheckSkinMenuItem(int tag) {
  for (QAction* action : findChildren<QAction*>())
    if (action->isCheckable() && action->data().isValid() && action->data().toInt() >= kNoSkinTag)
      action->setChecked(action->data().toInt() == tag);
}

void TForm1::OpenHelpFile() {
  const QString path = QString::fromStdString(media::ProgramFolder()) + "help.html";
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
  connect(ComboOutputFormat, &QComboBox::activated, this, [this] { settings_->OutputFormatChanged(); });
  for (QComboBox* combo : {ComboVideoQuality, ComboAudioQuality, ComboVideoBitrate, ComboAudioBitrate})
    connect(combo, &QComboBox::activated, this, [this, combo] { settings_->QualityChanged(AdapterOf(combo)); });
  for (QComboBox* combo : {ComboVideoSize, ComboVideoSize1})
    connect(combo, &QComboBox::activated, this, [this, combo] { settings_->VideoSizeChanged(AdapterOf(combo)); });
}

// Headers of the format list show in bold, separators stay blank lines.
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
  EditOutputFolder->setText(QString::fromStdString(prefs_.OutputFolder));
  CheckBoxOverwriteFile->setChecked(prefs_.Overwrite);
  SpinSimultaneous->setValue(prefs_.SimultaneousConversions);
  PageControl1->setCurrentIndex(window.Tabsheet == 1 ? 0 : 1);
  if (window.FormLeft >= 0 && window.FormTop >= 0) SetRememberedPosition(window.FormLeft, window.FormTop);
}

void TForm1::SaveSettings() {
  TQtSettingsStore store;
  app::TWindowSettings window;
  window.Skin = skins_.SkinName().toStdString();
  window.FormLeft = pos().x();
  window.FormTop = pos().y();
  window.Tabsheet = PageControl1->currentIndex() == 0 ? 1 : 2;
  app::SaveSettings(store, *settings_, prefs_, window);
}

void TForm1::SetRememberedPosition(int left, int top) {
  remembered_ = QPoint(left, top);
  placed_ = false;
  if (isVisible()) PlaceWindow();
}

void TForm1::PlaceWindow() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect desktop = screen->availableVirtualGeometry();
  if (remembered_) {
    // The title bar must be reachable: a strip at the top of the window has
    // to lie on a screen, else the window is centred instead.
    const QRect title(remembered_->x(), remembered_->y(), width(), 30);
    const QRect visible = title.intersected(desktop);
    if (visible.width() >= 100 && visible.height() >= 20) {
      move(*remembered_);
      return;
    }
  }
  move(desktop.center() - QPoint(width() / 2, height() / 2));
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!placed_) {
    placed_ = true;
    PlaceWindow();
  }
}

void TForm1::Exit() {
  exit_requested_ = true;
  close();
  QCoreApplication::exit(0);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // File, Exit ends without keeping anything; closing the window keeps the choices.
  if (!exit_requested_) SaveSettings();
  QMainWindow::closeEvent(event);
}

void TForm1::ShowConversionFrame(const media::TBitmap& bitmap) {
  sPanelPlay->ShowFrame(BitmapImage(bitmap));
}

bool TForm1::SaveScreenshot(const QString& fileName) { return grab().save(fileName); }

}  // namespace strella::window
