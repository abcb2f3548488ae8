// Helpers of the engine tests: running an engine on files and judging the
// results with ffprobe, a peer program.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "fixtures.h"
#include "media/logger.h"
#include "media/main_thread.h"

namespace strella::engine::testing {

struct ProbedStream {
  std::string kind;   // "video", "audio", ...
  std::string codec;  // codec name
};

struct ProbeResult {
  bool ok = false;
  double duration = 0;  // seconds, of the container
  std::vector<ProbedStream> streams;
};

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  pclose(pipe);
  return output;
}

inline ProbeResult Probe(const std::string& file) {
  ProbeResult result;
  const std::string out = RunCommand("ffprobe -v error -show_entries stream=codec_type,codec_name:format=duration "
                                     "-of default=nw=1 " + Quote(file) + " 2>/dev/null");
  size_t pos = 0;
  while (pos < out.size()) {
    size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") result.streams.push_back({"", value});
    else if (key == "codec_type" && !result.streams.empty()) result.streams.back().kind = value;
    else if (key == "duration" && value != "N/A") {
      result.duration = std::stod(value);
      result.ok = true;
    }
  }
  if (!result.streams.empty()) result.ok = true;
  return result;
}

// ffprobe's entries of the first stream of a kind ("v" or "a"), comma-separated; empty without one.
inline std::string StreamInfo(const std::string& file, const std::string& kind, const std::string& entries) {
  std::string out = RunCommand("ffprobe -v error -select_streams " + kind + ":0 -show_entries stream=" + entries +
                               " -of csv=p=0 " + Quote(file) + " 2>/dev/null");
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

// Seconds of the first packet of the stream kind ("v" or "a"), and whether it is a key frame.
inline std::pair<double, bool> FirstPacket(const std::string& file, const std::string& kind) {
  const std::string out = RunCommand("ffprobe -v error -select_streams " + kind +
                                     ":0 -show_entries packet=pts_time,flags -read_intervals %+#1 -of csv=p=0 " +
                                     Quote(file) + " 2>/dev/null");
  const size_t comma = out.find(',');
  if (comma == std::string::npos) return {-1, false};
  return {std::stod(out.substr(0, comma)), out.find('K', comma) != std::string::npos};
}

// The log lines that contain a text, collected while this lives on the
// test's thread; the handler goes before the lines do.
class LogLines {
 public:
  explicit LogLines(std::string needle) : needle_(std::move(needle)) {
    media::SetMainThread();
    media::TFFLogger::Instance().SetOnLog([this](const void*, uint64_t, int64_t, media::TLogLevel, const std::string& text) {
      if (text.find(needle_) != std::string::npos) lines_.push_back(text);
    });
  }
  ~LogLines() { media::TFFLogger::Instance().SetOnLog(nullptr); }
  LogLines(const LogLines&) = delete;
  LogLines& operator=(const LogLines&) = delete;

  const std::vector<std::string>& Lines() {
    media::ProcessThreadMessages();
    return lines_;
  }

 private:
  std::string needle_;
  std::vector<std::string> lines_;
};

// An engine reset and ready for options, with its terminate notifications counted.
struct EngineRun {
  std::unique_ptr<TCustomFFmpeg> engine = std::make_unique<TCustomFFmpeg>();
  int terminations = 0;

  EngineRun() {
    fixtures::EnsureLibraries();
    engine->Reset();
    engine->SetVerbosity(-1);
    engine->TerminateCallback = [this](TCustomFFmpeg*) { ++terminations; };
  }
  void Options(const std::vector<std::pair<std::string, std::string>>& options) {
    for (const auto& [name, value] : options) engine->ParseOption(name, value);
  }
  // Runs on the calling thread; true when the run finished without error.
  bool Run() {
    engine->StartConvert(false);
    return engine->Finished() && !engine->ErrorFlag();
  }
};

// Converts input into output with the options on the calling thread; fails
// the test (use ASSERT_NO_FATAL_FAILURE) when any step is refused.
inline void ConvertWithOptions(const std::string& input,
                               const std::vector<std::pair<std::string, std::string>>& options,
                               const std::string& output) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(input)) << run.engine->LastErrMsg();
  run.Options(options);
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
}

}  // namespace strella::engine::testing
