// Turns one row of the file list and the current settings into one job: the
// output name, the input and output option records and the letterbox that
// keeps the picture's proportions inside the chosen frame size.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/job_options.h"
#include "app/job_settings.h"
#include "app/settings_model.h"

namespace strella::app {

// A name that does not exist yet: APath with AExtension, else with "-1", "-2", ... before it.
std::string UniqueOutputName(const std::string& APath, const std::string& AExtension);
// The path with its file name's extension replaced (appended when it has none).
std::string ChangeFileExt(const std::string& APath, const std::string& AExtension);
// True when both names lead to the same existing file.
bool SameFile(const std::string& A, const std::string& B);

struct TLetterboxState {
  std::string SourceSize;
  std::string TargetSize;
  std::string TargetAspect;
  double LetterboxPad = 0;
  std::string LetterboxWidth;
  std::string LetterboxHeight;
  std::string LetterboxSize;
};

enum TLetterboxResult { lbNone = 0, lbLeftRight = 1, lbTopBottom = 2 };

// ASourceSize is the row's Size column, ATargetSize the text of ComboVideoSize,
// ASampleAspect the shape of the source's pixels: the picture is fitted as it
// is shown (width x sample aspect), and every size asked for is even, as the
// 4:2:0 encoders need. "Original Size" keeps the shown shape through
// TargetAspect.
int LetterBox(TLetterboxState& AState, const std::string& ASourceSize, const std::string& ATargetSize,
              double ASampleAspect = 1.0);
// The source's average frame rate as the "r" option takes it ("30000/1001"),
// the usual rates exactly; "25" when the rate is unknown or implausible.
std::string SourceFrameRate(int ANum, int ADen);
// The padded cases for a source ratio ARatio inside a ADw x ADh frame.
void PadTopBottom(TLetterboxState& AState, double ARatio, double ADw, double ADh);
void PadLeftRight(TLetterboxState& AState, double ARatio, double ADw, double ADh);

struct TRipCheck {
  bool Ok = true;
  std::string Message;
  bool OpenFolderPicker = false;
};
TRipCheck CheckBeforeRip(const TFileList& AList, const std::string& AOutputFolder);

struct TJob {
  std::string InputFile;
  std::string OutputFile;  // the final name
  TInputOptions Input;
  TOutputOptions Output;
  // What the row should show although the job may succeed: tracks left out.
  std::vector<std::string> Notes;
};

// The output name for an input: never the input itself.
std::string OutputFileFor(const std::string& AInputFile, const std::string& AOutputFolder,
                          const std::string& AFormatKey, bool AOverwrite);
// Both records for one row from settings already checked; throws TJobError
// when the row cannot make a job (an input that is no regular file).
TJob BuildJob(const TFileRow& ARow, const JobSettings& ASettings, const TPreferences& APrefs);
// The same, reading and checking the settings lists first (one row alone).
TJob BuildJob(const TFileRow& ARow, const TSettingsModel& ASettings, const TPreferences& APrefs);

inline constexpr int kUnknownDurationLimitMS = 36000000;  // ten hours

}  // namespace strella::app
