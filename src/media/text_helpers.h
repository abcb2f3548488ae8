// File names for the libraries, error and codec texts, and small string and
// path helpers shared by the media layer.
#pragma once

#include <cstdint>
#include <string>

struct AVCodecContext;
struct AVCodecParameters;
struct AVDictionary;

namespace strella::media {

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Linux names are UTF-8 already, so no name needs the "unicode:" form.
bool NeedsUnicodeURL(const std::string& name);
// The text to hand the libraries for a file name: the name itself, or
// "file:" + name when the text before its first ':' would be read as a protocol.
std::string FileNameToURL(const std::string& name);
// Adds to AOptions what makes the libraries read an existing file as that
// one file: an image name such as "p%03d.jpg" is otherwise a sequence pattern
// to them. A name that is no file keeps its pattern (a caller's sequence).
void AddLiteralNameOptions(const std::string& name, AVDictionary** options);
// The reverse: strips the "file:" we added and decodes "unicode:utf8:" names.
std::string URLToFileName(const std::string& url);

// The user-facing text for a library error code met while opening a file.
std::string OpenErrorText(const std::string& fileName, int code);
// True for a code that carries an errno (AVERROR(ENOSPC) and the like).
bool IsSystemError(int code);
// The system's or the libraries' text for an error code.
std::string ErrorReason(int code);

// "mpeg4(MPEG-4 part 2)" and the like, for stream reports.
std::string CodecDescription(const AVCodecContext* context, bool encoder);
std::string CodecDescription(const AVCodecParameters* parameters, bool encoder);

// 0 "Video", 1 "Audio", 2 "Data", 3 "Subtitle", 4 "Attachment", else "Unknown".
std::string StreamKindName(int kind);

// Cuts S at the first ADelim: ALeft gets the text before it; with ARemove,
// S keeps the text after it. Without the delimiter ALeft gets all of S.
void SplitAt(std::string& s, const std::string& delim, bool remove, std::string& left);

std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // up to and including the last '/'
std::string ExtractFileName(const std::string& path);  // after the last '/'
bool FileExists(const std::string& path);              // exists and is not a folder
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& dir);
std::string GetEnvironmentVariable(const std::string& name);
std::string ExpandFileName(const std::string& path);
// Removes PATH only when it is a regular file: an output named "/dev/null" or
// another device is never deleted. True when a file was removed.
bool RemoveRegularFile(const std::string& path);
// Size of an existing file in bytes (64-bit: files over 2 GiB are real), -1 if there is none.
int64_t FileSizeW(const std::string& path);

}  // namespace strella::media
