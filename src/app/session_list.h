// The file list kept between runs: every change is written to a file in the
// user's state folder (a temporary file renamed over the last one, so a crash
// or a power cut leaves either the old list or the new one). The next start
// reads it back; rows that were converting come back as stopped, and the
// partial files they left are removed.
#pragma once

#include <functional>
#include <string>

#include "app/file_list.h"

namespace strella::app {

// $XDG_STATE_HOME (else ~/.local/state) + "/Quorvex/Strella Video Converter/file-list.json".
std::string SessionFileName();

class TSessionList {
 public:
  explicit TSessionList(std::string AFileName = SessionFileName()) : file_name_(std::move(AFileName)) {}

  // Appends the saved rows to AList; returns how many. A missing file is no
  // error; an unreadable one restores nothing and says why in AError.
  int Restore(TFileList& AList, std::string& AError);
  // Writes the rows (AConverting tells which run now); an empty list removes
  // the file. False with AError when it cannot be written.
  bool Save(const TFileList& AList, const std::function<bool(int)>& AConverting, std::string& AError);

  const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
  std::string last_written_;  // the text of the last save, so an unchanged list is not written again
};

// "Restored N files from the last session"
std::string RestoredMessage(int ACount);

}  // namespace strella::app
