// Files the program writes for the user (the kept list, presets): written
// whole or not at all, never through a link planted under a temporary name.
#pragma once

#include <string>

namespace strella::app {

// Writes the text to a new file of its own in the same folder (created with
// its parents when missing), flushes it to the disk and renames it over
// AFileName. Empty, or the system's reason.
std::string WriteWholeFile(const std::string& AFileName, const std::string& AText);

}  // namespace strella::app
