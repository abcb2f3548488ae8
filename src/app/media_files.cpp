#include "app/media_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/text_utils.h"
#include "media/ff.h"
#include "media/loader.h"

namespace strella::app {
namespace {

// Recognised by content or by a demuxer whose own list leaves them out.
const char* const kCommonExtensions[] = {
    "3g2", "3gp", "aac", "ac3", "aif", "aiff", "amr", "ape", "asf", "au",  "avi",  "dat", "dif", "dts",
    "dv",  "eac3", "f4v", "flac", "flv", "gif", "m1v", "m2t", "m2ts", "m2v", "m4a", "m4b", "m4v", "mj2",
    "mjpeg", "mjpg", "mka", "mkv", "mod", "mov", "mp2", "mp3", "mp4", "mpa", "mpe", "mpeg", "mpg", "mts",
    "mxf", "nut", "oga", "ogg", "ogm", "ogv", "opus", "qt", "ra", "ram", "rm", "rmvb", "spx", "swf",
    "tod", "ts", "vob", "wav", "weba", "webm", "wma", "wmv", "wv"};

// Readers of text, subtitles, playlists, pictures and headerless raw data:
// their files are no batch input (raw data cannot even be probed).
bool IsNonMediaDemuxer(const std::string& name) {
  static const char* const kNames[] = {"tty", "srt", "ass", "webvtt", "subviewer", "subviewer1", "microdvd",
                                       "mpl2", "mpsub", "pjs", "realtext", "sami", "stl", "jacosub", "vplayer",
                                       "lrc", "scc", "sup", "hls", "concat", "ffmetadata", "data", "bin",
                                       "image2", "image2pipe", "aqtitle", "dvbsub", "dvbtxt", "pgssub",
                                       "vobsub", "sbg", "mcc", "bitpacked", "rawvideo", "v210", "v210x",
                                       "s16le", "s8", "u16le", "u8", "alaw", "mulaw"};
  if (name.find("_pipe") != std::string::npos) return true;  // still-picture readers
  return std::find_if(std::begin(kNames), std::end(kNames), [&](const char* n) { return name == n; }) !=
         std::end(kNames);
}

void AddDemuxerExtensions(std::set<std::string>& extensions) {
  if (!ff::av_demuxer_iterate) return;
  void* opaque = nullptr;
  while (const AVInputFormat* format = ff::av_demuxer_iterate(&opaque)) {
    if (!format->extensions || IsNonMediaDemuxer(format->name)) continue;
    for (const std::string& ext : SplitText(format->extensions, ','))
      if (!Trim(ext).empty()) extensions.insert(LowerCase(Trim(ext)));
  }
}

bool NameLess(const std::filesystem::path& a, const std::filesystem::path& b) {
  return a.filename().string() < b.filename().string();
}

void CollectFolder(const std::filesystem::path& folder, const std::filesystem::path& subfolder,
                   const std::set<std::string>& extensions, TExpandedPaths& result) {
  std::vector<std::filesystem::path> files, folders;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code kind;
    if (it->is_symlink(kind) && it->is_directory(kind)) continue;  // a link back up would never end
    if (it->is_directory(kind))
      folders.push_back(it->path());
    else if (it->is_regular_file(kind))
      files.push_back(it->path());
  }
  std::sort(files.begin(), files.end(), NameLess);
  std::sort(folders.begin(), folders.end(), NameLess);
  for (const auto& file : files) {
    if (extensions.count(LowerCaseExtension(file.string())))
      result.Files.push_back({file.string(), true, subfolder.string()});
    else
      ++result.IgnoredInFolders;
  }
  for (const auto& sub : folders) CollectFolder(sub, subfolder / sub.filename(), extensions, result);
}

}  // namespace

std::set<std::string> ReadableExtensions() {
  std::set<std::string> extensions(std::begin(kCommonExtensions), std::end(kCommonExtensions));
  AddDemuxerExtensions(extensions);
  return extensions;
}

std::string ExtensionPatterns(const std::set<std::string>& AExtensions) {
  std::string patterns;
  for (const std::string& ext : AExtensions) patterns += (patterns.empty() ? "*." : " *.") + ext;
  return patterns;
}

std::string LowerCaseExtension(const std::string& APath) {
  const std::filesystem::path path(APath);
  const std::string ext = path.extension().string();
  return ext.size() > 1 ? LowerCase(ext.substr(1)) : std::string();
}

TExpandedPaths ExpandFolders(const std::vector<std::string>& APaths, const std::set<std::string>& AExtensions) {
  TExpandedPaths result;
  for (const std::string& path : APaths) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
      CollectFolder(path, {}, AExtensions, result);
    else
      result.Files.push_back({path, false});
  }
  return result;
}

}  // namespace strella::app
