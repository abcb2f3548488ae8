#include "app/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace strella::app {

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string WriteWholeFile(const std::string& AFileName, const std::string& AText) {
  namespace fs = std::filesystem;
  const fs::path target(AFileName);
  const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
  std::error_code ec;
  fs::create_directories(folder, ec);
  // mkostemp creates a new file (O_EXCL): a name planted in the folder is never followed.
  std::string temporary = folder + "/." + target.filename().string() + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  const bool ok = WriteAll(fd, AText) && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (ok && ::rename(temporary.c_str(), AFileName.c_str()) == 0) return {};
  const std::string reason = std::strerror(ok ? errno : error);
  ::unlink(temporary.c_str());
  return reason;
}

}  // namespace strella::app
