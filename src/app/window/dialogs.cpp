#include "app/window/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace strella::window {
namespace {

QMessageBox::StandardButton RealMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString RealBrowseForFolder(QWidget* parent, const QString& headline, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, headline, start, QFileDialog::ShowDirsOnly);
}

QStringList RealOpenFiles(QWidget* parent, const QString& filter) {
  // Qt's open dialog offers several files, insists that they exist and can be
  // resized; it has no read-only box to hide.
  return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
}

bool RealOpenUrl(const QString& url) {
  return QDesktopServices::openUrl(QUrl(url));
}

QString RealOpenFolder(QWidget* parent, const QString& headline) {
  return QFileDialog::getExistingDirectory(parent, headline, QString(), QFileDialog::ShowDirsOnly);
}

QString RealSaveFile(QWidget* parent, const QString& title, const QString& name, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, title, name, filter);
}

QString RealOpenFile(QWidget* parent, const QString& title, const QString& start, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, start, filter);
}

TDialogs RealDialogs() {
  return TDialogs{RealMessageBox, RealBrowseForFolder, RealOpenFiles, RealOpenUrl,
                  RealOpenFolder, RealSaveFile,        RealOpenFile};
}

}  // namespace

TDialogs& Dialogs() {
  static TDialogs dialogs = RealDialogs();
  return dialogs;
}

void ResetDialogs() { Dialogs() = RealDialogs(); }

void ShowInformation(QWidget* parent, const QString& text) {
  // The messages keep their Windows line ends; a label wants plain ones.
  QString shown = text;
  shown.replace("\n\r", "\n");
  Dialogs().MessageBox(parent, QMessageBox::Information, "Information", shown, QMessageBox::Ok);
}

bool AskYesNo(QWidget* parent, const QString& title, const QString& text) {
  return Dialogs().MessageBox(parent, QMessageBox::Question, title, text,
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace strella::window
