// Which files the list takes: the extensions the loaded libraries read, and
// folders turned into the media files inside them.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace strella::app {

// Lower-case extensions without the dot: every extension the loaded demuxers
// list (text, subtitle, playlist and still-picture readers left out) and the
// common media extensions the libraries recognise by content. Needs the
// libraries loaded; without them, the common extensions only.
std::set<std::string> ReadableExtensions();
// "*.avi *.mkv ..." in name order.
std::string ExtensionPatterns(const std::set<std::string>& AExtensions);
// The extension of a path, lower-case, without the dot ("" when it has none).
std::string LowerCaseExtension(const std::string& APath);

// A path to add: a file the user named, or one found in a folder the user named.
struct TFileToAdd {
  std::string Path;
  bool FromFolder = false;  // one found in a folder: skipped, not listed, when it cannot be read
  // Where it lies below the folder the user named ("", "a", "a/b"): where its
  // output goes below the output folder when the folder structure is kept.
  std::string Subfolder;
};

struct TExpandedPaths {
  std::vector<TFileToAdd> Files;
  int IgnoredInFolders = 0;  // files in the folders without a media extension
};

// Files stay as named; a folder gives the files with one of the extensions
// inside it and its subfolders, in name order (each folder's files before
// its subfolders'), each with the subfolder it lies in.
TExpandedPaths ExpandFolders(const std::vector<std::string>& APaths, const std::set<std::string>& AExtensions);

}  // namespace strella::app
