// Runs strella-cli or a peer program through the shell for the tests.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.h"

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

// strella-cli started in the background, its stdout and stderr going to ALog; -1 when it cannot start.
inline pid_t SpawnCli(const std::vector<std::string>& args, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> all = {STRELLA_CLI_PROGRAM};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// A 60 s 720p clip: long enough to stop a run while it writes.
inline fixtures::FixtureSpec LongClipRecipe() {
  fixtures::FixtureSpec recipe;
  recipe.file_name = "long_720p.mp4";
  recipe.duration = 60;
  recipe.video = fixtures::VideoSpec{1280, 720, 25, 1, 1, 1, "mpeg4", 2000000};
  recipe.audio = fixtures::AudioSpec{};
  return recipe;
}

}  // namespace strella::cli
