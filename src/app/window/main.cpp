// Strella Video Converter: the program with the window.
//   strella [files...]                  starts with the files in the list
//   strella --output-folder DIR ...     converts into DIR (kept like a folder chosen in the window)
//   strella --convert files...          starts the batch once the files are listed
//   strella --profile NAME ...          converts to that profile (its name as the format list shows it, or its number)
//   strella --jobs N ...                converts N files at the same time (1 to the number of processors)
//   strella --screenshot out.png ...    saves a picture of the window after a few seconds and ends
//   strella --help                      prints these lines and ends (no display needed)
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <optional>

#include "app/output_file.h"
#include "app/profile_catalogue.h"
#include "app/profile_encoders.h"
#include "app/settings_model.h"
#include "app/text_utils.h"
#include "app/window/main_window.h"

namespace {

constexpr char kUsage[] =
    "Strella Video Converter, the batch audio and video converter with a window\n"
    "Usage: strella [OPTIONS] [files...]\n"
    "\n"
    "Positionals:\n"
    "  files                       Media files to add to the list\n"
    "\n"
    "Options:\n"
    "  -h,--help                   Print this help message and exit\n"
    "  --output-folder DIR         Convert into DIR (kept like a folder chosen in the window)\n"
    "  --convert                   Start the batch once the files are listed\n"
    "  --profile NAME              Convert to that profile: its name as the format list shows it, or its number\n"
    "  --jobs N                    Convert N files at the same time (1 to the number of processors)\n"
    "  --screenshot FILE           Save a picture of the window after a few seconds and end\n"
    "\n"
    "strella-cli runs the same batch without a window.\n";

// Answered before the window's toolkit starts, so that it needs no display.
bool AskedForHelp(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  return false;
}

struct TCommandLine {
  QStringList files;
  QString output_folder;
  QString screenshot;
  const strella::app::Quality* profile = nullptr;
  std::optional<int> jobs;
  bool convert = false;
  std::string error;  // why the line cannot be followed
};

// The profile as strella-cli -p names it, if the loaded libraries can make it.
void TakeProfile(const QString& given, TCommandLine& line) {
  line.profile = strella::app::MatchProfile(given.toStdString());
  if (!line.profile) {
    line.error = "--profile \"" + given.toStdString() + "\" names no profile: give its name as the format list shows it, or its number 0 to " +
                 std::to_string(strella::app::kProfileCount - 1);
  } else if (std::string reason = strella::app::ProfileUnavailableReason(*line.profile); !reason.empty()) {
    line.error = "--profile \"" + std::string(line.profile->DisplayName) + "\" " + reason;
  }
}

void TakeJobs(const QString& given, TCommandLine& line) {
  const auto jobs = strella::app::ParseWhole(given.toStdString());
  const int most = strella::app::ProcessorCount();
  if (!jobs || *jobs < 1 || *jobs > most)
    line.error = "--jobs \"" + given.toStdString() + "\": give a number from 1 to " + std::to_string(most);
  else
    line.jobs = static_cast<int>(*jobs);
}

TCommandLine ParseCommandLine() {
  TCommandLine line;
  const QStringList args = QApplication::arguments().mid(1);
  for (int i = 0; i < args.size(); ++i) {
    const bool valued = i + 1 < args.size();
    if (args[i] == "--screenshot" && valued)
      line.screenshot = args[++i];
    else if (args[i] == "--output-folder" && valued)
      line.output_folder = args[++i];
    else if (args[i] == "--profile" && valued)
      TakeProfile(args[++i], line);
    else if (args[i] == "--jobs" && valued)
      TakeJobs(args[++i], line);
    else if (args[i] == "--convert")
      line.convert = true;
    else
      line.files << args[i];
  }
  return line;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (AskedForHelp(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Strella Video Converter");
  QApplication::setOrganizationName("Quorvex");
  strella::window::TForm1 form;
  if (!form.LoadLibraries()) return 1;
  // Read once the libraries are loaded: whether a profile can be made depends on them.
  const TCommandLine line = ParseCommandLine();
  if (!line.error.empty()) {
    std::fprintf(stderr, "%s\n", line.error.c_str());
    return 2;
  }
  form.LoadSettings();
  if (!line.output_folder.isEmpty()) form.EditOutputFolder->setText(line.output_folder);
  if (line.profile) form.SelectProfile(*line.profile);
  if (line.jobs) form.SpinSimultaneous->setValue(*line.jobs);
  // Partial files that no running conversion holds are what a killed run left.
  strella::app::RemoveStalePartials(form.EditOutputFolder->text().trimmed().toStdString());
  form.show();
  form.RestoreSession();
  form.AddFileNames(line.files);

  QTimer start_batch;
  if (line.convert) {
    // The batch starts once every file is listed.
    start_batch.setInterval(100);
    QObject::connect(&start_batch, &QTimer::timeout, &form, [&] {
      if (form.Files().AddingFiles()) return;
      start_batch.stop();
      form.ConvertNow();
    });
    start_batch.start();
  }
  if (!line.screenshot.isEmpty()) {
    QTimer::singleShot(3000, &form, [&] { QCoreApplication::exit(form.SaveScreenshot(line.screenshot) ? 0 : 1); });
  }
  return QApplication::exec();
}
