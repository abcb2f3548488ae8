#include "media/text_helpers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "media/ff.h"

namespace strella::media {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

namespace {
constexpr char kUnicodePrefix[] = "unicode:utf8:";
constexpr size_t kUnicodePrefixLength = sizeof kUnicodePrefix - 1;
constexpr char kFilePrefix[] = "file:";
constexpr size_t kFilePrefixLength = sizeof kFilePrefix - 1;
}  // namespace

bool NeedsUnicodeURL(const std::string&) { return false; }

std::string FileNameToURL(const std::string& name) {
  // The libraries read a protocol out of any "word:" at the start ("1:2.mp4",
  // "subfile,,...:a.mp4"); an absolute name behind "file:" is only ever a file.
  if (name.empty()) return name;
  const std::string absolute = name[0] == '/' ? name : IncludeTrailingPathDelimiter(GetCurrentDir()) + name;
  return kFilePrefix + absolute;
}

void AddLiteralNameOptions(const std::string& name, AVDictionary** options) {
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ff::av_dict_set(options, "pattern_type", "none", 0);
}

std::string URLToFileName(const std::string& url) {
  if (url.size() > kUnicodePrefixLength && url.compare(0, kUnicodePrefixLength, kUnicodePrefix) == 0)
    return url.substr(kUnicodePrefixLength);
  if (url.compare(0, kFilePrefixLength, kFilePrefix) == 0) return url.substr(kFilePrefixLength);
  return url;
}

std::string OpenErrorText(const std::string& fileName, int code) {
  const char* format = "%s: Error while opening file";
  if (code == AVERROR_DEMUXER_NOT_FOUND || code == AVERROR_MUXER_NOT_FOUND ||
      code == AVERROR_PROTOCOL_NOT_FOUND) {
    format = "%s: Unknown format";
  } else if (code == AVERROR(EDOM)) {
    format =
        "%s: Incorrect image filename syntax.\r\nUse '%%d' to specify the image number:\r\n"
        "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n"
        "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.";
  } else if (code == AVERROR(EINVAL) || code == AVERROR_INVALIDDATA) {
    format = "%s: Error while parsing header";
  } else if (code == AVERROR(ENOMEM)) {
    format = "%s: memory allocation error occurred";
  } else if (code == AVERROR(EIO)) {
    format = "%s: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.";
  } else if (code == AVERROR(ENOENT)) {
    format = "%s: no such file or directory";
  } else if (IsSystemError(code)) {
    // The system's own reason says more than a generic text: "No space left on device".
    return fileName + ": " + ErrorReason(code);
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  return Format(format, fileName.c_str());
#pragma GCC diagnostic pop
}

bool IsSystemError(int code) { return code < 0 && code > -4096; }

std::string ErrorReason(int code) {
  if (IsSystemError(code)) return std::strerror(-code);
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (ff::av_strerror && ff::av_strerror(code, text, sizeof text) == 0) return text;
  return Format("error %d", code);
}

namespace {
std::string Trim(const std::string& s) {
  auto begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  auto end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

std::string DescribeCodec(AVCodecID id, unsigned tag, bool encoder) {
  const AVCodec* codec = nullptr;
  if (ff::avcodec_find_encoder) codec = encoder ? ff::avcodec_find_encoder(id) : ff::avcodec_find_decoder(id);
  if (codec) {
    std::string longName = codec->long_name ? Trim(codec->long_name) : "";
    if (longName.empty()) return codec->name;
    return Format("%s(%s)", codec->name, longName.c_str());
  }
  if (id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  bool printable = true;
  for (int i = 0; i < 4; ++i) {
    unsigned c = (tag >> (8 * i)) & 0xFF;
    if (c < 32 || c > 126) printable = false;
  }
  if (printable) {
    return Format("%c%c%c%c / 0x%04X", tag & 0xFF, (tag >> 8) & 0xFF, (tag >> 16) & 0xFF,
                  (tag >> 24) & 0xFF, tag);
  }
  return Format("0x%04x", tag);
}
}  // namespace

std::string CodecDescription(const AVCodecContext* context, bool encoder) {
  return DescribeCodec(context->codec_id, context->codec_tag, encoder);
}

std::string CodecDescription(const AVCodecParameters* parameters, bool encoder) {
  return DescribeCodec(parameters->codec_id, parameters->codec_tag, encoder);
}

std::string StreamKindName(int kind) {
  static const char* const kNames[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
  if (kind >= 0 && kind < 5) return kNames[kind];
  return "Unknown";
}

void SplitAt(std::string& s, const std::string& delim, bool remove, std::string& left) {
  auto at = s.find(delim);
  if (at == std::string::npos) {
    left = s;
    if (remove) s.clear();
    return;
  }
  left = s.substr(0, at);
  if (remove) s.erase(0, at + delim.size());
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + '/';
}

std::string ExtractFilePath(const std::string& path) {
  auto at = path.rfind('/');
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractFileName(const std::string& path) {
  auto at = path.rfind('/');
  return at == std::string::npos ? path : path.substr(at + 1);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::string GetCurrentDir() {
  std::error_code ec;
  auto dir = std::filesystem::current_path(ec);
  return ec ? std::string() : dir.string();
}

bool SetCurrentDir(const std::string& dir) {
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
  return !ec;
}

std::string GetEnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

std::string ExpandFileName(const std::string& path) {
  std::error_code ec;
  auto full = std::filesystem::absolute(path, ec);
  return ec ? path : full.lexically_normal().string();
}

bool RemoveRegularFile(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(path.c_str()) == 0;
}

int64_t FileSizeW(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) return -1;
  return static_cast<int64_t>(size);
}

}  // namespace strella::media
