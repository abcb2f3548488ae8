// Runs strella-cli or a peer program through the shell for the tests.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace strella::cli {

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

// The command's exit status and its stdout and stderr together.
inline std::pair<int, std::string> Shell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  std::array<char, 4096> buffer{};
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

inline std::pair<int, std::string> RunCli(const std::vector<std::string>& args) {
  std::string command = Quote(STRELLA_CLI_PROGRAM);
  for (const std::string& arg : args) command += " " + Quote(arg);
  return Shell(command);
}

}  // namespace strella::cli
