// strella-cli: converts media files in a batch without a window, with the
// profiles, settings and queue of the converter.
#include <CLI/CLI.hpp>

#include <signal.h>

#include <csignal>
#include <iostream>

#include "app/encoder_converter.h"
#include "app/media_files.h"
#include "app/output_plan.h"
#include "app/profile_encoders.h"
#include "cli/cli_batch.h"
#include "cli/cli_farm.h"
#include "cli/cli_options.h"
#include "cli/cli_watch.h"
#include "media/loader.h"
#include "media/logger.h"

namespace {

// Ctrl-C, a closed terminal and the SIGTERM of kill, timeout or a service
// manager stop the batch as the window's Stop does. More signals during that
// stop change nothing (timeout signals the child and then its group); only
// once the stop has removed the partial files does a third one end the program.
void OnStopSignal(int ASignal) {
  if (!strella::cli::RequestStop(ASignal)) return;
  std::signal(ASignal, SIG_DFL);
  ::raise(ASignal);
}

void CatchStopSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

// Loads the libraries and looks up which profiles their encoders serve.
bool LoadLibraries() {
  auto& loader = strella::media::FFLoader();
  if (loader.LoadLibs(strella::media::kEncoderLibraries)) {
    strella::app::LookUpProfileEncoders(strella::app::LoadedEncoders());
    return true;
  }
  std::cerr << "strella-cli: Some files are missing. Please re-install this software\n" << loader.LastErrMsg() << "\n";
  return false;
}

// The files named, with the media files inside the folders named (their
// subfolders mirrored below the output folder); says how many other files the folders held.
std::vector<strella::app::TFileToAdd> ExpandFolders(const std::vector<std::string>& AFiles) {
  using namespace strella;
  app::TExpandedPaths expanded = app::ExpandFolders(AFiles, app::ReadableExtensions());
  if (expanded.IgnoredInFolders > 0)
    std::cout << "note: " << expanded.IgnoredInFolders << " files in the folders given are not media files; left out\n";
  return std::move(expanded.Files);
}

std::vector<std::string> PathsOf(const std::vector<strella::app::TFileToAdd>& AFiles) {
  std::vector<std::string> paths;
  for (const strella::app::TFileToAdd& file : AFiles) paths.push_back(file.Path);
  return paths;
}

int Run(int argc, char** argv) {
  using namespace strella;
  CLI::App cliApp{"Strella Video Converter, the batch without a window"};
  cli::TCliOptions options;
  cli::AddOptions(cliApp, options);
  try {
    cliApp.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help ends with 0; every usage error with 2, as a choice the profile lacks does.
    return cliApp.exit(error) == 0 ? 0 : 2;
  }

  if (!LoadLibraries()) return 3;
  if (options.listProfiles) {
    cli::ListProfiles(std::cout);
    return 0;
  }
  app::TListSettingsControls lists;
  app::TSettingsModel model(lists.Controls());
  model.Initialize();
  lists.Controls().ComboOutputFormat->SetItemIndex(app::kDefaultFormatEntry);
  model.OutputFormatChanged();
  app::TPreferences prefs;
  if (const std::string error = cli::ApplyOptions(options, model, prefs); !error.empty()) {
    std::cerr << "strella-cli: " << error << "\n";
    return 2;
  }
  if (!options.savePreset.empty()) return cli::SavePreset(options.savePreset, model, prefs);
  if (options.files.empty() && options.watch.empty()) {
    std::cout << cliApp.help();
    return 0;
  }
  std::vector<app::TFileToAdd> inputs = ExpandFolders(options.files);
  if (inputs.empty() && options.watch.empty()) {
    std::cout << "Nothing to convert: the folders given hold no media files.\n";
    return 0;
  }
  if (!options.report.empty()) {
    if (const std::string problem = cli::ReportFileProblem(options.report, PathsOf(inputs), {}); !problem.empty()) {
      std::cerr << "strella-cli: " << problem << "\n";
      return 1;
    }
  }
  if (!options.shard.empty()) {
    std::optional<cli::TShard> shard = cli::ParseShard(options.shard);
    if (shard) shard->BySize = options.shardBy == "size";
    if (!shard) {
      std::cerr << "strella-cli: --shard \"" << options.shard << "\" is not valid. Valid: K/N with 1 <= K <= N\n";
      return 2;
    }
    inputs = cli::SelectShard(inputs, *shard);
    if (inputs.empty()) {
      // More parts than files: this part has nothing to do, which is no failure.
      std::cout << "Nothing to convert in part " << options.shard << ".\n";
      if (!options.report.empty()) {
        std::string error;
        if (!cli::WriteReportFile(options.report, app::TFileList{}, {}, error)) std::cerr << "strella-cli: " << error << "\n";
      }
      return 0;
    }
  }
  media::TFFLogger::Instance().SetLogLevelByName(options.logLevel);
  if (options.probe) return cli::ProbeFiles(PathsOf(inputs), model.CurrentFormatKey, std::cout);

  if (const std::string error = cli::CheckJobReady(model); !error.empty()) {
    std::cerr << "strella-cli: " << error << "\n";
    return 2;
  }
  if (const std::string error = cli::PrepareOutputFolder(prefs.OutputFolder); !error.empty()) {
    std::cerr << "strella-cli: " << error << "\n";
    return 1;
  }
  if (!options.report.empty()) {
    std::vector<std::string> outputs;
    for (const app::TPlannedOutput& planned :
         app::PlanOutputs(inputs, prefs.OutputFolder, model.CurrentFormatKey, prefs.Overwrite))
      outputs.push_back(planned.OutputFile);
    if (const std::string problem = cli::ReportFileProblem(options.report, PathsOf(inputs), outputs); !problem.empty()) {
      std::cerr << "strella-cli: " << problem << "\n";
      return 1;
    }
  }
  std::string error;
  const std::unique_ptr<app::TConverter> converter = app::CreateEncoderConverter(error);
  if (!converter) {
    std::cerr << "strella-cli: " << error << "\n";
    return 3;
  }
  CatchStopSignals();
  cli::TBatchOptions batch;
  batch.skipExisting = options.skipExisting;
  batch.reportFile = options.report;
  batch.makeConverter = [](std::string& AError) { return app::CreateEncoderConverter(AError); };
  batch.verboseLog = options.verbose ? &std::cerr : nullptr;
  const int status = options.watch.empty()
                         ? cli::RunBatch(inputs, model, prefs, *converter, std::cout, batch)
                         : cli::WatchFolder({options.watch}, model, prefs, *converter, std::cout, batch);
  // Stopped by a signal: the shell's convention for a program that signal ended.
  if (const int signal = cli::StopSignal()) return 128 + signal;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Whatever the system refuses on the way ends the run with its reason, never with an abort.
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "strella-cli: " << error.what() << "\n";
    return 1;
  }
}
