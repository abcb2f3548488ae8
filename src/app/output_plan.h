// Where each row of a batch writes, decided before the batch starts: no
// output may be any input of the batch and no two rows may share an output,
// whatever the overwrite setting says.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "app/media_files.h"

namespace strella::app {

struct TPlannedOutput {
  std::string OutputFile;
  // The name before any "-N": where a name taken meanwhile counts on from.
  std::string NaturalFile;
  // Why the row does not get the name overwriting would give it; empty when it does.
  std::string Note;
};

class TOutputPlan {
 public:
  // AInputs are every input of the batch, the rows that will not run included.
  TOutputPlan(const std::vector<std::string>& AInputs, const std::string& AOutputFolder, const std::string& AFormatKey,
              bool AOverwrite);
  // The output of AInput, in ASubfolder of the output folder when one is
  // given; each call reserves the name it gives.
  TPlannedOutput Add(const std::string& AInput, const std::string& ASubfolder = "");

 private:
  struct TFileKey {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;  // absolute and normalised
  };
  static TFileKey KeyOf(const std::string& APath);
  static bool Same(const TFileKey& A, const TFileKey& B);
  bool Taken(const TFileKey& AKey) const;

  std::vector<TFileKey> inputs_;
  std::vector<TFileKey> outputs_;
  std::string folder_;
  std::string extension_;
  bool overwrite_;
};

// The outputs of AInputs in order, all of them planned together.
std::vector<TPlannedOutput> PlanOutputs(const std::vector<TFileToAdd>& AInputs, const std::string& AOutputFolder,
                                        const std::string& AFormatKey, bool AOverwrite);

// The folder a row's output goes to: ASubfolder below the output folder, with a trailing "/".
std::string OutputFolderOf(const std::string& AOutputFolder, const std::string& ASubfolder);

}  // namespace strella::app
