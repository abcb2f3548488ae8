#include "app/job_builder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "app/output_plan.h"
#include "app/profile_encoders.h"
#include "app/text_utils.h"
#include "app/track_plan.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where the file name's extension starts, or npos; a leading dot starts no extension.
size_t ExtensionStart(const std::string& path) {
  const size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
  const size_t dot = path.rfind('.');
  return dot == std::string::npos || dot <= nameStart ? std::string::npos : dot;
}

std::string RemoveFileExt(const std::string& path) { return path.substr(0, ExtensionStart(path)); }

// "WxH" as two non-zero decimal numbers.
bool ParseSize(const std::string& size, double& width, double& height) {
  const size_t x = size.find('x');
  if (x == std::string::npos) return false;
  const auto w = ParseDecimal(Trim(size.substr(0, x)));
  const auto h = ParseDecimal(Trim(size.substr(x + 1)));
  if (!w || !h || *w == 0 || *h == 0) return false;
  width = *w;
  height = *h;
  return true;
}

// "352x288 (cif)" -> "352x288".
std::string CutSizeSuffix(const std::string& size) {
  const size_t bracket = size.find('(');
  if (bracket == std::string::npos) return size;
  const size_t blank = size.rfind(' ', bracket);
  return size.substr(0, blank == std::string::npos ? bracket : blank);
}

// Makes an odd whole number even: up when it ends in 1, otherwise down.
long long MakeEven(long long n) {
  if (n % 2 == 0) return n;
  return n % 10 == 1 ? n + 1 : n - 1;
}

long long PadFor(double frame, long long picture) {
  long long p = std::llabs(static_cast<long long>(frame) - picture) / 2;
  return p % 2 == 0 ? p : p - 1;
}

std::string Whole(double value) { return media::Format("%lld", static_cast<long long>(value)); }

// An odd picture size loses its last column or row; never below 2.
double EvenSize(double n) {
  const auto whole = static_cast<long long>(n);
  return static_cast<double>(std::max(2LL, whole - whole % 2));
}

std::string AspectText(double ratio) { return media::Format("%.15g", ratio).substr(0, 6); }

struct TKnownRate {
  int num, den;
};
constexpr TKnownRate kKnownRates[] = {{24000, 1001}, {24, 1},      {25, 1},      {30000, 1001}, {30, 1},
                                      {48, 1},       {50, 1},      {60000, 1001}, {60, 1},       {15, 1},
                                      {12, 1},       {10, 1},      {100, 1},     {120, 1}};

}  // namespace

std::string ChangeFileExt(const std::string& APath, const std::string& AExtension) {
  return RemoveFileExt(APath) + AExtension;
}

std::string UniqueOutputName(const std::string& APath, const std::string& AExtension) {
  const std::string base = RemoveFileExt(APath);
  std::string name = base + AExtension;
  for (int n = 1; PathExists(name); ++n) name = base + "-" + std::to_string(n) + AExtension;
  return name;
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat a {}, b {};
  if (::stat(A.c_str(), &a) != 0 || ::stat(B.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void PadTopBottom(TLetterboxState& AState, double ARatio, double ADw, double ADh) {
  const long long n = MakeEven(static_cast<long long>(std::trunc(ADw / ARatio)));
  const long long p = PadFor(ADh, n);
  AState.LetterboxPad = static_cast<double>(p);
  AState.LetterboxWidth = Whole(ADw);
  AState.LetterboxHeight = Whole(ADh - 2.0 * static_cast<double>(p));
  AState.LetterboxSize = AState.LetterboxWidth + "x" + AState.LetterboxHeight;
}

void PadLeftRight(TLetterboxState& AState, double ARatio, double ADw, double ADh) {
  const long long n = MakeEven(static_cast<long long>(std::trunc(ARatio * ADh)));
  const long long p = PadFor(ADw, n);
  AState.LetterboxPad = static_cast<double>(p);
  AState.LetterboxWidth = Whole(ADw - 2.0 * static_cast<double>(p));
  AState.LetterboxHeight = Whole(ADh);
  AState.LetterboxSize = AState.LetterboxWidth + "x" + AState.LetterboxHeight;
}

int LetterBox(TLetterboxState& AState, const std::string& ASourceSize, const std::string& ATargetSize,
              double ASampleAspect) {
  AState.LetterboxPad = 0;
  AState.SourceSize = ASourceSize;
  AState.TargetSize = LowerCase(Trim(ATargetSize));
  const bool targetIsSource = AState.TargetSize == "original size";
  if (targetIsSource) AState.TargetSize = AState.SourceSize;
  // Cut before the source is read, so a file without video still gets a plain "WxH".
  AState.TargetSize = CutSizeSuffix(AState.TargetSize);
  AState.LetterboxSize = AState.SourceSize;

  double sw = 0, sh = 0, dw = 0, dh = 0;
  if (!ParseSize(AState.SourceSize, sw, sh) || !ParseSize(AState.TargetSize, dw, dh)) return lbNone;
  const double ratio = sw * (ASampleAspect > 0 ? ASampleAspect : 1.0) / sh;
  if (targetIsSource) {
    // The stored size, made even, shown at the source's shape.
    AState.TargetSize = AState.LetterboxSize = Whole(EvenSize(sw)) + "x" + Whole(EvenSize(sh));
    AState.TargetAspect = AspectText(ratio);
    return lbNone;
  }
  AState.TargetAspect = AspectText(dw / dh);

  const double height = dw / ratio;
  if (height > dh) {
    PadLeftRight(AState, ratio, dw, dh);
    return lbLeftRight;
  }
  if (height < dh) {
    PadTopBottom(AState, ratio, dw, dh);
    return lbTopBottom;
  }
  AState.LetterboxSize = AState.TargetSize;
  return lbNone;
}

std::string SourceFrameRate(int ANum, int ADen) {
  if (ANum <= 0 || ADen <= 0) return "25";
  const double fps = static_cast<double>(ANum) / ADen;
  // Containers that time every packet on a millisecond clock report rates like 1000/1.
  if (fps < 1 || fps > 120) return "25";
  for (const TKnownRate& rate : kKnownRates) {
    if (std::fabs(fps - static_cast<double>(rate.num) / rate.den) < 0.005)
      return rate.den == 1 ? std::to_string(rate.num) : media::Format("%d/%d", rate.num, rate.den);
  }
  // A variable rate's average: to a thousandth, which every encoder's clock can hold.
  const long long thousandths = std::llround(fps * 1000);
  const long long common = std::gcd(thousandths, 1000LL);
  return media::Format("%lld/%lld", thousandths / common, 1000 / common);
}

TRipCheck CheckBeforeRip(const TFileList& AList, const std::string& AOutputFolder) {
  if (AList.Count() == 0) return {false, "Please Add Files To Convert!", false};
  if (AOutputFolder.empty()) return {false, "Please select an output folder!", true};
  const std::string folder = Trim(AOutputFolder);
  if (!IsDirectory(folder))
    return {false,
            "The output folder \"" + AOutputFolder +
                "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.",
            true};
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return {false,
            "The output folder \"" + AOutputFolder +
                "\"\n\rcannot be written to!\n\rPlease choose a new output folder.",
            true};
  if (!AList.AnyChecked()) return {false, "Please check the items that you want to convert!", false};
  return {};
}

std::string OutputFileFor(const std::string& AInputFile, const std::string& AOutputFolder,
                          const std::string& AFormatKey, bool AOverwrite) {
  const std::string extension = "." + LowerCase(AFormatKey);
  const std::string name = media::IncludeTrailingPathDelimiter(AOutputFolder) +
                           ChangeFileExt(media::ExtractFileName(AInputFile), extension);
  // Overwriting never reaches the input itself: it then gets a name of its own.
  if (AOverwrite && !SameFile(name, AInputFile)) return name;
  return UniqueOutputName(name, extension);
}

namespace {

// "Auto" keeps the source's rate; the engine moves it to the nearest rate an
// encoder lists, if it lists any.
std::string FrameRateOf(TFrameRate rate, const TFileRow& row) {
  return rate.IsSource() ? SourceFrameRate(row.Probe.FrameRateNum, row.Probe.FrameRateDen) : FrameRateText(rate);
}

std::string AspectOf(TAspect aspect, const TLetterboxState& letterbox) {
  if (aspect == TAspect::Ratio4x3) return "1.3333";
  if (aspect == TAspect::Ratio16x9) return "1.7777";
  return letterbox.TargetAspect;
}

// Adds option lines ("name=value" each) to those the record hands the engine.
void AddOptionLines(TOutputOptions& out, std::string_view lines) {
  if (lines.empty()) return;
  if (!out.ExtOptions.empty()) out.ExtOptions += "\n";
  out.ExtOptions += lines;
}

// A constant quality sets the encoder's quality; otherwise the bit rate.
void FillVideoRate(TOutputOptions& out, TRateControl rate) {
  if (rate.IsQuality()) {
    AddOptionLines(out, "crf=" + std::to_string(rate.Quality));
    return;
  }
  out.VideoBitrate = rate.BitRate;
}

// Containers that time each picture on its own.
bool HoldsVariableFrameRate(std::string_view formatKey) {
  const std::string key = LowerCase(std::string(formatKey));
  return key == "mp4" || key == "mkv" || key == "webm" || key == "mov";
}

// "Auto" on a source with pictures at irregular times keeps their times
// (variable rate) where the container can: none is dropped or repeated.
bool KeepsPictureTimes(const JobSettings& settings, const TFileRow& row) {
  return settings.FrameRate.IsSource() && row.Probe.VariableFrameRate &&
         HoldsVariableFrameRate(settings.Profile->FormatKey);
}

std::string SizeText(const std::optional<TFrameSize>& size) {
  return size ? std::to_string(size->Width) + "x" + std::to_string(size->Height) : "Original Size";
}

void FillVideo(TOutputOptions& out, const TFileRow& row, const JobSettings& settings) {
  out.VideoCodec = settings.VideoCodec.Encoder;
  out.VideoTag = std::string(settings.Profile->CodecTag);
  TLetterboxState letterbox;
  const TProbeResult& probe = row.Probe;
  const double sampleAspect =
      probe.SampleAspectNum > 0 && probe.SampleAspectDen > 0 ? double(probe.SampleAspectNum) / probe.SampleAspectDen : 1.0;
  const int result = LetterBox(letterbox, FrameSizeText(probe), SizeText(settings.FrameSize), sampleAspect);
  out.FrameSize = Trim(letterbox.LetterboxSize);
  const int pad = static_cast<int>(RoundHalfEven(letterbox.LetterboxPad));
  if (result == lbLeftRight) out.PadLeft = out.PadRight = pad;
  if (result == lbTopBottom) out.PadTop = out.PadBottom = pad;
  if (!settings.Letterbox) {
    out.FrameSize = Trim(letterbox.TargetSize);
    out.PadTop = out.PadBottom = out.PadLeft = out.PadRight = 0;
  }
  out.FrameAspectRatio = AspectOf(settings.Aspect, letterbox);
  out.FrameRate = FrameRateOf(settings.FrameRate, row);
  if (KeepsPictureTimes(settings, row)) AddOptionLines(out, "vsync=2");
  out.DisableVideo = false;
  FillVideoRate(out, settings.VideoRate);
}

void FillAudio(TOutputOptions& out, const JobSettings& settings) {
  out.AudioCodec = settings.AudioCodec.Encoder;
  if (settings.AudioBitrate) out.AudioBitrate = *settings.AudioBitrate;
  out.AudioSampleRate = settings.SampleRate;
  out.AudioChannels = settings.Profile->Has(kMonoOnly) ? 1 : settings.Channels;
  out.AudioVolume = SpinToVolume(settings.Volume);
  out.AudioLoudness = settings.Loudness;
  if (out.AudioVolume == 0) out.DisableAudio = true;
}

// Ogg files hold no picture stream: a cover goes into the sound's tags.
bool KeepsCoverAsComment(const Quality& profile) { return profile.FormatKey == "OPUS"; }

int FirstCoverPicture(const std::vector<media::TTrackInfo>& tracks) {
  for (const media::TTrackInfo& track : tracks)
    if (track.Kind == media::TTrackKind::Video && track.AttachedPicture) return track.Index;
  return -1;
}

void AddMap(TOutputOptions& out, int AStream) { AddOptionLines(out, "map=0:" + std::to_string(AStream)); }

// The engine's output streams come as the picture, the first sound track and
// the first subtitle, then the streams "newaudio" and "newsubtitle" add (with
// their encoder as the value), each mapped in that order to its source.
void MapTracks(TJob& job, const TFileRow& row, const JobSettings& settings) {
  TOutputOptions& out = job.Output;
  TTrackNeeds needs;
  needs.Video = !out.DisableVideo && !settings.AudioOnly();
  needs.Cover = !out.DisableVideo && settings.AudioOnly();
  needs.Audio = !out.DisableAudio;
  TTrackPlan plan = PlanTracks(row.Probe.Tracks, *settings.Profile, needs);
  if (plan.Video >= 0) AddMap(out, plan.Video);
  if (!plan.Audio.empty()) AddMap(out, plan.Audio.front());
  if (plan.Subtitles.empty()) {
    out.DisableSubtitle = true;
  } else {
    out.SubtitleCodec = plan.Subtitles.front().Codec;
    AddMap(out, plan.Subtitles.front().Index);
  }
  for (size_t i = 1; i < plan.Audio.size(); ++i) {
    AddOptionLines(out, "newaudio=" + out.AudioCodec);
    AddMap(out, plan.Audio[i]);
  }
  for (size_t i = 1; i < plan.Subtitles.size(); ++i) {
    AddOptionLines(out, "newsubtitle=" + plan.Subtitles[i].Codec);
    AddMap(out, plan.Subtitles[i].Index);
  }
  job.Notes = std::move(plan.Notes);
  if (settings.AudioOnly() && settings.Profile->Has(kKeepsCoverArt) && KeepsCoverAsComment(*settings.Profile))
    if (const int cover = FirstCoverPicture(row.Probe.Tracks); cover >= 0 && !out.DisableAudio)
      AddOptionLines(out, "picture_comment=0:" + std::to_string(cover));
}

}  // namespace

TJob BuildJob(const TFileRow& ARow, const JobSettings& ASettings, const TPreferences& APrefs) {
  TJob job;
  job.InputFile = Trim(ARow.Caption);
  if (const std::string refusal = InputRefusal(job.InputFile); !refusal.empty())
    throw TJobError(job.InputFile + ": " + refusal);
  const Quality& profile = *ASettings.Profile;
  job.OutputFile = OutputFileFor(job.InputFile, OutputFolderOf(APrefs.OutputFolder, ARow.OutputSubfolder),
                                 std::string(profile.FormatKey), APrefs.Overwrite);
  ResetInputOptions(job.Input);
  job.Input.FileName = job.InputFile;
  ResetOutputOptions(job.Output);
  if (!ASettings.AudioOnly()) {
    FillVideo(job.Output, ARow, ASettings);
  } else if (profile.Has(kKeepsCoverArt) && ARow.Probe.CoverArt && !KeepsCoverAsComment(profile)) {
    job.Output.VideoCodec = "copy";  // the cover picture, as it is
  } else {
    job.Output.DisableVideo = true;
  }
  FillAudio(job.Output, ASettings);
  // A row restored from a list that kept no tracks leaves the choice to the engine.
  if (!ARow.Probe.Tracks.empty()) MapTracks(job, ARow, ASettings);
  // The input's tags (title, artist, album, date, track, creation time) go to
  // the output; each muxer stores those its format can hold.
  AddOptionLines(job.Output, "map_meta_data=0:0");
  AddOptionLines(job.Output, profile.EncoderOptions);
  if (APrefs.VerifyOutputs) AddOptionLines(job.Output, "verify=1");
  if (!ARow.Probe.DurationKnown()) job.Output.RecordingTimeMS = kUnknownDurationLimitMS;
  return job;
}

TJob BuildJob(const TFileRow& ARow, const TSettingsModel& ASettings, const TPreferences& APrefs) {
  const JobSettings settings = JobSettingsFrom(ASettings, APrefs);
  ValidateJobSettings(settings);
  return BuildJob(ARow, settings, APrefs);
}

}  // namespace strella::app
