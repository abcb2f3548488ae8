// The user's folders as the desktop names them (XDG user directories).
#pragma once

#include <string>

namespace strella::app {

// The folder offered for outputs on a first start: the user's Videos folder
// from the XDG user folders ($XDG_CONFIG_HOME/user-dirs.dirs, entry
// XDG_VIDEOS_DIR) when it exists, else the home folder.
std::string DefaultOutputFolder();

// The value of XDG_VIDEOS_DIR in the text of a user-dirs.dirs file, with
// $HOME replaced; empty when the entry is missing.
std::string VideosDirFromUserDirs(const std::string& AText, const std::string& AHome);

}  // namespace strella::app
