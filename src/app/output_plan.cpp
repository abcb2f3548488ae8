#include "app/output_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "app/job_builder.h"
#include "app/text_utils.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// "name.ext", "name-1.ext", "name-2.ext", ... as UniqueOutputName counts.
std::string Numbered(const std::string& natural, const std::string& extension, int number) {
  if (number == 0) return natural;
  return natural.substr(0, natural.size() - extension.size()) + "-" + std::to_string(number) + extension;
}

}  // namespace

TOutputPlan::TOutputPlan(const std::vector<std::string>& AInputs, const std::string& AOutputFolder,
                         const std::string& AFormatKey, bool AOverwrite)
    : folder_(media::IncludeTrailingPathDelimiter(Trim(AOutputFolder))),
      extension_("." + LowerCase(AFormatKey)),
      overwrite_(AOverwrite) {
  for (const std::string& input : AInputs) inputs_.push_back(KeyOf(Trim(input)));
}

TOutputPlan::TFileKey TOutputPlan::KeyOf(const std::string& APath) {
  TFileKey key;
  struct stat info {};
  if (::stat(APath.c_str(), &info) == 0) {
    key.exists = true;
    key.device = info.st_dev;
    key.inode = info.st_ino;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(APath, error);
  const std::filesystem::path normal = std::filesystem::weakly_canonical(absolute, error);
  key.path = (error ? absolute.lexically_normal() : normal).string();
  return key;
}

bool TOutputPlan::Same(const TFileKey& A, const TFileKey& B) {
  if (A.exists && B.exists) return A.device == B.device && A.inode == B.inode;
  return A.path == B.path;
}

bool TOutputPlan::Taken(const TFileKey& AKey) const {
  const auto same = [&](const TFileKey& other) { return Same(AKey, other); };
  return std::any_of(inputs_.begin(), inputs_.end(), same) || std::any_of(outputs_.begin(), outputs_.end(), same);
}

TPlannedOutput TOutputPlan::Add(const std::string& AInput, const std::string& ASubfolder) {
  const std::string natural =
      OutputFolderOf(folder_, ASubfolder) + ChangeFileExt(media::ExtractFileName(Trim(AInput)), extension_);
  TPlannedOutput planned;
  planned.NaturalFile = natural;
  for (int number = 0;; ++number) {
    const std::string name = Numbered(natural, extension_, number);
    const TFileKey key = KeyOf(name);
    if (Taken(key)) continue;
    // Overwriting replaces a file of the same name, but never one of the batch's own.
    if (!(overwrite_ && number == 0) && PathExists(name)) continue;
    planned.OutputFile = name;
    outputs_.push_back(key);
    break;
  }
  if (overwrite_ && planned.OutputFile != natural)
    planned.Note = "Written as \"" + media::ExtractFileName(planned.OutputFile) + "\": \"" +
                   media::ExtractFileName(natural) + "\" is an input or another output of this batch";
  return planned;
}

std::vector<TPlannedOutput> PlanOutputs(const std::vector<TFileToAdd>& AInputs, const std::string& AOutputFolder,
                                        const std::string& AFormatKey, bool AOverwrite) {
  std::vector<std::string> paths;
  for (const TFileToAdd& input : AInputs) paths.push_back(input.Path);
  TOutputPlan plan(paths, AOutputFolder, AFormatKey, AOverwrite);
  std::vector<TPlannedOutput> outputs;
  for (const TFileToAdd& input : AInputs) outputs.push_back(plan.Add(input.Path, input.Subfolder));
  return outputs;
}

std::string OutputFolderOf(const std::string& AOutputFolder, const std::string& ASubfolder) {
  const std::string folder = media::IncludeTrailingPathDelimiter(Trim(AOutputFolder));
  return ASubfolder.empty() ? folder : media::IncludeTrailingPathDelimiter(folder + ASubfolder);
}

}  // namespace strella::app
