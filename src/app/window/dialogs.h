// The window's modal dialogs and shell actions behind replaceable functions.
// The program shows real dialogs; tests install functions that record what
// was asked and answer at once, so that a test never blocks on a dialog.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace strella::window {

struct TDialogs {
  // A message box; returns the button pressed.
  std::function<QMessageBox::StandardButton(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons)>
      MessageBox;
  // The folder picker; an empty result means cancelled.
  std::function<QString(QWidget* parent, const QString& headline, const QString& start)>
      BrowseForFolder;
  // The open dialog; the chosen files in the dialog's order, none when cancelled.
  std::function<QStringList(QWidget* parent, const QString& filter)> OpenFiles;
  // Web addresses, "mailto:" addresses and local files in the desktop's program.
  std::function<bool(const QString& url)> OpenUrl;
  // The folder picker of " Add Folder"; empty when cancelled.
  std::function<QString(QWidget* parent, const QString& headline)> OpenFolder;
  // The save dialog; empty when cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& name, const QString& filter)> SaveFile;
  // An open dialog for one file, starting in a folder; empty when cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& start, const QString& filter)> OpenFile;
};

// The dialogs in use; the defaults show the real ones.
TDialogs& Dialogs();
// Puts the real dialogs back.
void ResetDialogs();

// Shorthands for the message boxes the window shows.
void ShowInformation(QWidget* parent, const QString& text);
bool AskYesNo(QWidget* parent, const QString& title, const QString& text);

}  // namespace strella::window
