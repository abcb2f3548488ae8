#include "app/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <regex>
#include <utility>

#include "app/job_builder.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace {

constexpr char kPartialMark[] = ".partial";
// Set on every partial file this program creates: the cleaner removes only
// files that carry it, never a user's file that merely has such a name.
constexpr char kOwnerAttribute[] = "user.strella.partial";

void MarkAsOurs(int fd) { ::fsetxattr(fd, kOwnerAttribute, "1", 1, 0); }

bool MarkedAsOurs(int fd) {
  char value = 0;
  return ::fgetxattr(fd, kOwnerAttribute, &value, 1) == 1 && value == '1';
}

// File systems that take no locks (NFS without its lock daemon, some FUSE mounts).
bool LocksUnsupported(int error) { return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS; }

std::string ExtensionOf(const std::string& path) {
  const std::string name = media::ExtractFileName(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string FolderOf(const std::string& path) {
  const std::string folder = media::ExtractFilePath(path);
  return folder.empty() ? std::string(".") : folder;
}

void SyncFolderOf(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

size_t NameLimit(const std::string& folder) {
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
}

// Cuts TEXT to at most BYTES without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True when FD is still the file at PATH (a cleaner may have removed it before we locked it).
bool StillNamed(int fd, const std::string& path) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && SameInode(held, named);
}

// Renames without replacing: 0, or the errno (EEXIST when the name is taken).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  // File systems without the flag: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  return errno;
}

std::string RenameError(const std::string& to, int error) {
  return media::Format("Cannot rename the output to \"%s\": %s", to.c_str(), FileErrorReason(to, error).c_str());
}

}  // namespace

std::string FileErrorReason(const std::string& APath, int AErrno) {
  if (AErrno == ENOENT && !IsFolder(FolderOf(APath))) return "the output folder no longer exists";
  return std::strerror(AErrno);
}

std::string PartialOutputName(const std::string& AFinalName, int ANumber) {
  const std::string extension = ExtensionOf(AFinalName);
  const std::string folder = media::ExtractFilePath(AFinalName);
  const std::string name = media::ExtractFileName(AFinalName);
  const std::string suffix = std::string(kPartialMark) + (ANumber > 0 ? "-" + std::to_string(ANumber) : "") + extension;
  const size_t limit = NameLimit(FolderOf(AFinalName));
  const size_t room = limit > suffix.size() + 1 ? limit - suffix.size() - 1 : 0;
  const std::string stem = CutUtf8(name.substr(0, name.size() - extension.size()), room);
  return folder + "." + stem + suffix;
}

bool IsPartialOutputName(const std::string& AFileName) {
  static const std::regex pattern(R"(^\..*\.partial(-[0-9]+)?(\.[^./]*)?$)");
  return std::regex_match(AFileName, pattern);
}

TPartialOutput::~TPartialOutput() { Discard(); }

TPartialOutput::TPartialOutput(TPartialOutput&& AOther) noexcept
    : name_(std::move(AOther.name_)),
      final_(std::move(AOther.final_)),
      fd_(std::exchange(AOther.fd_, -1)),
      locked_(std::exchange(AOther.locked_, false)) {}

TPartialOutput& TPartialOutput::operator=(TPartialOutput&& AOther) noexcept {
  if (this != &AOther) {
    Discard();
    name_ = std::move(AOther.name_);
    final_ = std::move(AOther.final_);
    fd_ = std::exchange(AOther.fd_, -1);
    locked_ = std::exchange(AOther.locked_, false);
  }
  return *this;
}

bool TPartialOutput::Create(const std::string& AFinalName, std::string& AError) {
  Discard();
  // Found before converting, not at the final rename after all the work.
  const std::string finalName = media::ExtractFileName(AFinalName);
  if (const size_t limit = NameLimit(FolderOf(AFinalName)); finalName.size() > limit) {
    AError = media::Format("Cannot create the output file \"%s\": its name is %zu bytes long, the folder allows %zu",
                           AFinalName.c_str(), finalName.size(), limit);
    return false;
  }
  int number = 0;
  for (int attempt = 0; attempt < 100000; ++attempt) {
    const std::string name = PartialOutputName(AFinalName, number);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
      ++number;
      continue;
    }
    if (fd < 0) {
      AError = media::Format("Cannot create the output file \"%s\": %s", AFinalName.c_str(),
                             FileErrorReason(name, errno).c_str());
      return false;
    }
    MarkAsOurs(fd);
    const bool locked = ::flock(fd, LOCK_EX) == 0;
    const int lockError = errno;
    if (!locked && !LocksUnsupported(lockError)) {
      if (StillNamed(fd, name)) ::unlink(name.c_str());
      ::close(fd);
      AError = media::Format("Cannot lock the output file \"%s\": %s", name.c_str(), std::strerror(lockError));
      return false;
    }
    // A cleaner that took the file before us removes it and lets go: try again then.
    if (!StillNamed(fd, name)) {
      ::close(fd);
      continue;
    }
    name_ = name;
    final_ = AFinalName;
    fd_ = fd;
    locked_ = locked;
    return true;
  }
  AError = media::Format("Cannot create the output file \"%s\": no free temporary name", AFinalName.c_str());
  return false;
}

std::string TPartialOutput::Commit(bool AOverwrite, std::string& AError, const std::string& ANumberFrom) {
  if (!Active()) {
    AError = "The conversion wrote no output file";
    return {};
  }
  struct stat info {};
  if (::lstat(name_.c_str(), &info) != 0) {
    const int error = errno;
    AError = error == ENOENT && IsFolder(FolderOf(name_)) ? "The conversion wrote no output file"
                                                          : "The output was lost: " + FileErrorReason(name_, error);
    Discard();
    return {};
  }
  // The data reaches the disk before the name says the file is complete.
  if (::fsync(fd_) != 0 && errno != EINVAL) {
    AError = "Cannot write the output: " + FileErrorReason(name_, errno);
    Discard();
    return {};
  }
  std::string target = final_;
  for (;;) {
    const int error = AOverwrite ? (::rename(name_.c_str(), target.c_str()) == 0 ? 0 : errno)
                                 : RenameNoReplace(name_, target);
    if (error == 0) break;
    if (AOverwrite || error != EEXIST) {
      AError = RenameError(target, error);
      Discard();
      return {};
    }
    const std::string& base = ANumberFrom.empty() ? final_ : ANumberFrom;
    target = UniqueOutputName(base, ExtensionOf(base));
  }
  name_.clear();
  Release();
  SyncFolderOf(target);
  return target;
}

void TPartialOutput::Discard() {
  if (!name_.empty()) ::unlink(name_.c_str());
  name_.clear();
  Release();
}

void TPartialOutput::Release() {
  if (fd_ >= 0) ::close(fd_);  // lets go of the lock
  fd_ = -1;
  locked_ = false;
  final_.clear();
}

int RemoveStalePartials(const std::string& AFolder) {
  DIR* dir = ::opendir(AFolder.c_str());
  if (!dir) return 0;
  int removed = 0;
  const std::string folder = media::IncludeTrailingPathDelimiter(AFolder);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsPartialOutputName(entry->d_name)) continue;
    const std::string path = folder + entry->d_name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    // Only files this program made; held by a live run when the lock is taken;
    // removed only while we hold the lock ourselves.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && MarkedAsOurs(fd) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        StillNamed(fd, path) && ::unlink(path.c_str()) == 0)
      ++removed;
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

}  // namespace strella::app
