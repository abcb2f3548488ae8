// Keeps a user's files whole: a conversion writes to a hidden partial name in
// the output folder and takes its final name only once it has finished; a
// failed or stopped conversion leaves nothing under the final name.
//
// A partial file is created exclusively (no two runs ever share one), marked
// as this program's with an extended attribute, and kept under an advisory
// lock while it is written, so that a later run can tell the leftovers of a
// killed run from files still being written and from files of the user's.
#pragma once

#include <string>

namespace strella::app {

// The system's reason for an errno met on APath: "the output folder no longer
// exists" when the folder the path lies in is gone, else strerror's text.
std::string FileErrorReason(const std::string& APath, int AErrno);

class TPartialOutput {
 public:
  TPartialOutput() = default;
  ~TPartialOutput();
  TPartialOutput(TPartialOutput&& AOther) noexcept;
  TPartialOutput& operator=(TPartialOutput&& AOther) noexcept;
  TPartialOutput(const TPartialOutput&) = delete;
  TPartialOutput& operator=(const TPartialOutput&) = delete;

  // Creates and locks a new hidden file beside AFinalName with the same
  // extension (the muxer is chosen by it). False with AError set when it cannot.
  bool Create(const std::string& AFinalName, std::string& AError);
  bool Active() const { return fd_ >= 0; }
  // False on a file system that takes no locks: the exclusive name alone keeps runs apart there.
  bool Locked() const { return locked_; }
  const std::string& Name() const { return name_; }
  const std::string& FinalName() const { return final_; }

  // Moves the finished file to its final name. Without AOverwrite an existing
  // file is never replaced: the next free "-N" name after ANumberFrom (the
  // final name when empty) is taken instead. Returns the name used, or empty
  // with AError set (the partial file is then removed).
  std::string Commit(bool AOverwrite, std::string& AError, const std::string& ANumberFrom = "");
  // Removes the partial file; one the engine already removed is no error.
  void Discard();

 private:
  void Release();

  std::string name_;
  std::string final_;
  int fd_ = -1;  // holds the lock while the file is written
  bool locked_ = false;
};

// The hidden partial name for AFinalName with the number ANumber (0: none),
// shortened where needed so that it fits the folder's file-name limit.
std::string PartialOutputName(const std::string& AFinalName, int ANumber = 0);
// True for names PartialOutputName makes (the file name alone).
bool IsPartialOutputName(const std::string& AFileName);

// Removes the partial files in AFolder that this program made and no running
// conversion holds: leftovers of a run that was killed. Returns how many were removed.
int RemoveStalePartials(const std::string& AFolder);

}  // namespace strella::app
