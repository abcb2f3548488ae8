#include "app/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/job_builder.h"
#include "media/text_helpers.h"

namespace strella::app {

std::string ExtensionOf(const std::string& APath) {
  const std::string name = media::ExtractFileName(APath);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string NameOutsideOf(const std::string& AName, const std::function<bool(const std::string&)>& ATaken) {
  if (!ATaken(AName)) return AName;
  const std::string extension = ExtensionOf(AName);
  const std::string base = AName.substr(0, AName.size() - extension.size());
  for (int n = 1;; ++n) {
    const std::string name = base + "-" + std::to_string(n) + extension;
    if (!ATaken(name) && ::access(name.c_str(), F_OK) != 0) return name;
  }
}

namespace {

// Renames without replacing: 0, or the errno (EEXIST when the name is taken).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  // File systems without the flag: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  if (::access(to.c_str(), F_OK) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::string PartialOutputName(const std::string& AFinalName) {
  const std::string extension = ExtensionOf(AFinalName);
  const std::string name = media::ExtractFileName(AFinalName);
  const std::string stem = name.substr(0, name.size() - extension.size());
  return UniqueOutputName(media::ExtractFilePath(AFinalName) + "." + stem + ".partial" + extension, extension);
}

std::string CommitOutput(const std::string& APartialName, const std::string& AFinalName, bool AOverwrite,
                         std::string& AError) {
  if (::access(APartialName.c_str(), F_OK) != 0) {
    AError = "The conversion wrote no output file";
    return {};
  }
  if (AOverwrite) {
    if (::rename(APartialName.c_str(), AFinalName.c_str()) == 0) return AFinalName;
    AError = media::Format("Cannot rename the output to \"%s\": %s", AFinalName.c_str(), std::strerror(errno));
    DiscardOutput(APartialName);
    return {};
  }
  std::string name = AFinalName;
  for (;;) {
    const int error = RenameNoReplace(APartialName, name);
    if (error == 0) return name;
    if (error != EEXIST) {
      AError = media::Format("Cannot rename the output to \"%s\": %s", name.c_str(), std::strerror(error));
      DiscardOutput(APartialName);
      return {};
    }
    name = UniqueOutputName(AFinalName, ExtensionOf(AFinalName));
  }
}

void DiscardOutput(const std::string& APartialName) {
  if (!APartialName.empty()) ::unlink(APartialName.c_str());
}

}  // namespace strella::app
