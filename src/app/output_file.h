// Keeps a user's files whole: a conversion writes to a hidden partial name in
// the output folder and takes its final name only once it has finished; a
// failed or stopped conversion leaves nothing under the final name.
#pragma once

#include <functional>
#include <string>

namespace strella::app {

// The file name's extension with its dot ("" when it has none).
std::string ExtensionOf(const std::string& APath);

// AName unless ATaken says it is taken; else the first "-N" name beside it
// that is neither taken nor an existing file: jobs running at once never share an output.
std::string NameOutsideOf(const std::string& AName, const std::function<bool(const std::string&)>& ATaken);

// A hidden name beside AFinalName with the same extension (the muxer is chosen by it).
std::string PartialOutputName(const std::string& AFinalName);

// Moves the finished partial file to its final name. Without AOverwrite an
// existing file is never replaced: the next free "-N" name is taken instead.
// Returns the name used, or empty with AError set.
std::string CommitOutput(const std::string& APartialName, const std::string& AFinalName, bool AOverwrite,
                         std::string& AError);

// Removes a partial file; a file the engine already removed is no error.
void DiscardOutput(const std::string& APartialName);

}  // namespace strella::app
