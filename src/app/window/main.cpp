// Strella Video Converter: the program with the window.
//   strella [files...]              starts with the files in the list
//   strella --screenshot out.png    saves a picture of the window and ends
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "app/window/main_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Strella Video Converter");
  QApplication::setOrganizationName("Quorvex");

  QStringList files;
  QString screenshot;
  const QStringList args = QApplication::arguments().mid(1);
  for (int i = 0; i < args.size(); ++i) {
    if (args[i] == "--screenshot" && i + 1 < args.size())
      screenshot = args[++i];
    else
      files << args[i];
  }

  strella::window::TForm1 form;
  if (!form.LoadLibraries()) return 1;
  form.LoadSettings();
  form.show();
  form.AddFileNames(files);
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(2500, &form, [&] { QCoreApplication::exit(form.SaveScreenshot(screenshot) ? 0 : 1); });
  }
  return QApplication::exec();
}
