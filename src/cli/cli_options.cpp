#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "app/presets.h"
#include "app/profile_encoders.h"
#include "app/text_utils.h"

namespace strella::cli {

using app::LowerCase;
using app::TDropDown;
using app::Trim;

void AddOptions(CLI::App& AApp, TCliOptions& AOptions) {
  TCliOptions& o = AOptions;
  AApp.add_option("files", o.files, "Media files to convert (or to probe with --probe)");
  AApp.add_option("-o,--output-folder", o.outputFolder, "Folder for the converted files (default: the current folder)");
  AApp.add_option("-p,--profile", o.profile,
                  "Output profile: its name as --list-profiles shows it, or its number 0 to " +
                      std::to_string(app::kProfileCount - 1));
  AApp.add_option("--video-quality", o.videoQuality,
                  "Highest, Higher, Normal, Lower or Lowest (a constant quality where the profile offers one)");
  AApp.add_option("--audio-quality", o.audioQuality, "Highest, Higher, Normal, Lower or Lowest");
  AApp.add_option("--video-codec", o.videoCodec, "Video codec offered by the profile");
  AApp.add_option("--video-bitrate", o.videoBitrate,
                  "Video bitrate offered by the profile (\"1200\" or \"1200 Kbps\"), or its constant quality (\"CRF 23\")");
  AApp.add_option("--size", o.size, "Frame size offered by the profile (\"352x288\", \"Original Size\")");
  AApp.add_option("--frame-rate", o.frameRate, "Frame rate offered by the profile (\"Auto\", \"29.97\")");
  AApp.add_option("--audio-codec", o.audioCodec, "Audio codec offered by the profile");
  AApp.add_option("--audio-bitrate", o.audioBitrate, "Audio bitrate offered by the profile");
  AApp.add_option("--sample-rate", o.sampleRate, "Sample rate offered by the profile (\"44100\")");
  AApp.add_option("--channels", o.channels, "Stereo or Mono, as the profile offers");
  AApp.add_option("--letterbox", o.letterbox, "none or add (default: add)");
  AApp.add_option("--aspect", o.aspect, "auto, 4:3 or 16:9 (default: auto)");
  AApp.add_option("--volume", o.volume, "Output volume 0 to 200 in steps of 20; 100 keeps it, 0 drops the sound");
  AApp.add_option("--loudness", o.loudness,
                  "Normalise the sound to this loudness in LUFS (EBU R128, two passes): -23 broadcast, -16 podcasts");
  AApp.add_option("--preset", o.preset, "Start from the choices of a preset file (the options given beside it override them)");
  AApp.add_option("--save-preset", o.savePreset, "Save the choices the other options make as a preset file, and end");
  AApp.add_flag("--overwrite", o.overwrite, "Replace existing files of the same name (never an input)");
  AApp.add_flag("--list-profiles", o.listProfiles, "List every profile with its choices and end");
  AApp.add_flag("--probe", o.probe, "Show the file list's columns for each file and end");
  AApp.add_option("-j,--jobs", o.jobs, "Files converted at the same time (1 to the number of processors)")
      ->check(CLI::Range(1, app::ProcessorCount()));
  // Given empty (an unset variable in a script), these would quietly mean "all files" or "no report".
  const CLI::Validator notEmpty([](std::string& AValue) { return AValue.empty() ? std::string("is empty") : std::string(); },
                                "NOT EMPTY");
  AApp.add_option("--shard", o.shard,
                  "Convert only the K-th of N parts of the files (\"K/N\", 1 <= K <= N; parts by sorted full path)")
      ->check(notEmpty);
  AApp.add_option("--shard-by", o.shardBy,
                  "count: parts of equal file count (default); size: parts of about equal total size")
      ->check(CLI::IsMember({"count", "size"}))
      ->needs("--shard");
  AApp.add_option("--report", o.report, "Write one JSON object per file, a line each, into this file")->check(notEmpty);
  AApp.add_flag("--skip-existing", o.skipExisting, "Skip files whose output exists already in the output folder");
  AApp.add_flag("--no-verify", o.noVerify,
                "Do not read each output back before it takes its name (by default every output is decoded in full "
                "and fails when a stream is missing, damaged or short)");
  AApp.add_option("--watch", o.watch,
                  "Convert each media file that arrives in this folder (or below it) once it is complete, until stopped")
      ->check(notEmpty)
      ->excludes("files")
      ->excludes("--shard")
      ->excludes("--report")
      ->excludes("--probe");
  AApp.add_flag("-v,--verbose", o.verbose, "Show the conversion log on the error output, each line with its file's name");
  AApp.add_option("--log-level", o.logLevel, "How much the log keeps and -v shows (default: info)")
      ->check(CLI::IsMember({"quiet", "error", "warning", "info", "verbose", "debug"}));
}

int MatchChoice(const TDropDown& AList, const std::string& AGiven) {
  const std::string given = LowerCase(Trim(AGiven));
  for (int i = 0; i < AList.Count(); ++i) {
    if (LowerCase(Trim(AList.Item(i))) == given) return i;
  }
  for (int i = 0; i < AList.Count(); ++i) {
    if (!given.empty() && LowerCase(app::FirstWord(Trim(AList.Item(i)))) == given) return i;
  }
  return -1;
}

namespace {

std::string ChoiceList(const TDropDown& list) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string item = list.Item(i);
    text += (i ? ", " : "") + (item.empty() ? std::string("\"\"") : item);
  }
  return text;
}

// Picks AGiven in AList, or describes why it cannot.
std::string Pick(TDropDown& list, const std::string& option, const std::string& given, const std::string& profile) {
  if (given.empty()) return {};
  if (list.Count() == 0) return option + ": \"" + profile + "\" offers no such choice (an audio format has no video settings)";
  const int index = MatchChoice(list, given);
  if (index < 0)
    return option + " \"" + given + "\" is not offered by \"" + profile + "\". Valid choices: " + ChoiceList(list);
  list.SetItemIndex(index);
  return {};
}

std::string SelectProfile(const std::string& given, app::TSettingsModel& model) {
  const app::Quality* profile = app::MatchProfile(given);
  if (!profile)
    return "--profile \"" + given + "\" names no profile. Valid: a number 0 to " + std::to_string(app::kProfileCount - 1) +
           " or a name as --list-profiles shows it";
  if (std::string reason = app::ProfileUnavailableReason(*profile); !reason.empty())
    return "--profile \"" + std::string(profile->DisplayName) + "\" " + reason;
  model.Controls().ComboOutputFormat->SelectText(std::string(profile->DisplayName));
  model.OutputFormatChanged();
  return {};
}

std::string ApplyPreferences(const TCliOptions& o, app::TSettingsModel& model, app::TPreferences& prefs) {
  const app::TSettingsControls& c = model.Controls();
  if (!o.letterbox.empty()) {
    const std::string value = LowerCase(o.letterbox);
    if (value != "none" && value != "add") return "--letterbox \"" + o.letterbox + "\" is not valid. Valid choices: none, add";
    c.ComboBoxLetterbox->SetItemIndex(value == "none" ? 0 : 1);
  }
  if (std::string error = Pick(*c.ComboBoxAspectRatio, "--aspect", o.aspect, "the aspect list"); !error.empty())
    return error;
  if (o.volume) {
    if (*o.volume < 0 || *o.volume > 200 || *o.volume % 20 != 0)
      return "--volume " + std::to_string(*o.volume) + " is not valid. Valid: 0, 20, 40, ... 200 (100 keeps the volume)";
    prefs.SpinVolume = *o.volume;
  }
  if (o.loudness) {
    if (std::string refusal = app::LoudnessRefusal(*o.loudness); !refusal.empty()) return "--loudness: " + refusal;
    prefs.Loudness = *o.loudness;
  }
  prefs.Overwrite = o.overwrite;
  prefs.VerifyOutputs = !o.noVerify;
  prefs.SimultaneousConversions = o.jobs;
  if (!o.outputFolder.empty()) {
    prefs.OutputFolder = o.outputFolder;
  } else if (char* cwd = ::getcwd(nullptr, 0)) {
    prefs.OutputFolder = cwd;
    std::free(cwd);
  }
  return {};
}

}  // namespace

std::string ApplyOptions(const TCliOptions& AOptions, app::TSettingsModel& AModel, app::TPreferences& APrefs) {
  const TCliOptions& o = AOptions;
  const app::TSettingsControls& c = AModel.Controls();
  if (!o.preset.empty()) {
    try {
      app::ApplyJobSettings(app::ReadPresetFile(o.preset), AModel, APrefs);
    } catch (const app::TPresetError& error) {
      return std::string("--preset ") + error.what();
    }
  }
  if (!o.profile.empty()) {
    if (std::string error = SelectProfile(o.profile, AModel); !error.empty()) return error;
  }
  const std::string profile = Trim(c.ComboOutputFormat->Text());
  struct Step {
    TDropDown* list;
    const char* option;
    const std::string& given;
  };
  const Step steps[] = {{c.ComboVideoQuality, "--video-quality", o.videoQuality},
                        {c.ComboAudioQuality, "--audio-quality", o.audioQuality},
                        {c.ComboVideoCodec, "--video-codec", o.videoCodec},
                        {c.ComboVideoBitrate, "--video-bitrate", o.videoBitrate},
                        {c.ComboVideoSize, "--size", o.size},
                        {c.ComboVideoFrameRate, "--frame-rate", o.frameRate},
                        {c.ComboAudioCodec, "--audio-codec", o.audioCodec},
                        {c.ComboAudioBitrate, "--audio-bitrate", o.audioBitrate},
                        {c.ComboSamplingRate, "--sample-rate", o.sampleRate},
                        {c.ComboAudioChannels, "--channels", o.channels}};
  for (const Step& step : steps) {
    if (std::string error = Pick(*step.list, step.option, step.given, profile); !error.empty()) return error;
    if (step.given.empty()) continue;
    // The same follow-ups as the window's change handlers.
    if (step.list == c.ComboVideoQuality || step.list == c.ComboAudioQuality || step.list == c.ComboVideoBitrate ||
        step.list == c.ComboAudioBitrate)
      AModel.QualityChanged(*step.list);
    if (step.list == c.ComboVideoSize) AModel.VideoSizeChanged(*step.list);
  }
  return ApplyPreferences(o, AModel, APrefs);
}

std::string PrepareOutputFolder(const std::string& AFolder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(AFolder, error);
  if (fs::is_directory(status)) return {};
  if (fs::exists(status)) return "--output-folder \"" + AFolder + "\" exists and is not a folder";
  // A link loop or a parent that cannot be searched: the system's reason, no attempt to create.
  if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
    return "--output-folder \"" + AFolder + "\" cannot be used: " + error.message();
  if (fs::create_directories(AFolder, error)) return {};
  std::error_code again;
  if (fs::is_directory(AFolder, again)) return {};
  return "--output-folder \"" + AFolder + "\" cannot be created: " + error.message();
}

std::string CheckJobReady(const app::TSettingsModel& AModel) {
  const app::TSettingsControls& c = AModel.Controls();
  const std::string profile = Trim(c.ComboOutputFormat->Text());
  struct Needed {
    const TDropDown* list;
    const char* options;
  };
  std::vector<Needed> needed = {{c.ComboAudioBitrate, "--audio-bitrate or --audio-quality"},
                                {c.ComboSamplingRate, "--sample-rate"}};
  if (!AModel.isAudio()) needed.insert(needed.begin(), {c.ComboVideoBitrate, "--video-bitrate or --video-quality"});
  for (const Needed& n : needed) {
    // An empty list (a lossless profile's bitrates) needs no choice.
    if (n.list->ItemIndex() >= 0 || n.list->Count() == 0) continue;
    return "\"" + profile + "\" leaves no choice selected for " + n.options +
           "; choose one. Valid choices: " + ChoiceList(*n.list);
  }
  struct Codec {
    const TDropDown* list;
    std::string encoder;
    const char* what;
  };
  std::vector<Codec> codecs = {{c.ComboAudioCodec, AModel.GetNewAudioCodec(), "audio codec"}};
  if (!AModel.isAudio()) codecs.insert(codecs.begin(), {c.ComboVideoCodec, AModel.GetNewVideoCodec(), "video codec"});
  for (const Codec& codec : codecs) {
    if (std::string message = app::MissingCodecMessage(codec.what, codec.list->Text(), codec.encoder); !message.empty())
      return message;
  }
  return {};
}

int SavePreset(const std::string& AFileName, const app::TSettingsModel& AModel, const app::TPreferences& APrefs) {
  app::JobSettings settings;
  try {
    settings = app::JobSettingsFrom(AModel, APrefs);
  } catch (const app::TJobError& error) {
    std::cerr << "strella-cli: --save-preset: " << error.what() << "\n";
    return 2;
  }
  if (const std::string error = app::WritePresetFile(AFileName, settings); !error.empty()) {
    std::cerr << "strella-cli: --save-preset " << error << "\n";
    return 1;
  }
  std::cout << "Preset saved to " << AFileName << "\n";
  return 0;
}

namespace {

void PrintChoices(std::ostream& out, const char* label, const TDropDown& list) {
  if (list.Count() == 0) return;
  out << "    " << label;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string item = list.Item(i);
    out << (i ? ", " : "") << (item.empty() ? std::string("\"\"") : item) << (i == list.ItemIndex() ? "*" : "");
  }
  if (list.ItemIndex() < 0) out << "  (none preselected)";
  out << "\n";
}

}  // namespace

void ListProfiles(std::ostream& AOut) {
  app::TListSettingsControls lists;
  app::TSettingsModel model(lists.Controls());
  model.Initialize();
  const app::TSettingsControls& c = lists.Controls();
  for (const app::Quality& profile : app::ProfileTable) {
    c.ComboOutputFormat->SelectText(std::string(profile.DisplayName));
    model.SelectOutputFormat();  // also a profile that cannot be chosen shows its choices
    AOut << profile.RowNumber << "  " << profile.DisplayName << "  (." << LowerCase(profile.FormatKey) << ")";
    if (const std::string reason = app::ProfileUnavailableReason(profile); !reason.empty())
      AOut << "  [unavailable: " << reason << "]";
    AOut << "\n";
    PrintChoices(AOut, "video codec:    ", *c.ComboVideoCodec);
    PrintChoices(AOut, "video bitrate:  ", *c.ComboVideoBitrate);
    PrintChoices(AOut, "size:           ", *c.ComboVideoSize);
    PrintChoices(AOut, "frame rate:     ", *c.ComboVideoFrameRate);
    PrintChoices(AOut, "audio codec:    ", *c.ComboAudioCodec);
    PrintChoices(AOut, "audio bitrate:  ", *c.ComboAudioBitrate);
    PrintChoices(AOut, "sample rate:    ", *c.ComboSamplingRate);
    PrintChoices(AOut, "channels:       ", *c.ComboAudioChannels);
  }
  AOut << "Qualities: Highest, Higher, Normal*, Lower, Lowest (they pick the bitrate of the same place;\n"
          "  \"CRF n\" is a constant quality, lower n is better)\n"
          "Letterbox: none, add*   Aspect: auto*, 4:3, 16:9   Volume: 0 to 200 in steps of 20, 100*\n";
}

}  // namespace strella::cli
