// The engine's pipeline stages, one file each: input.cpp, output.cpp,
// setup.cpp, packet.cpp, transcode_loop.cpp, progress.cpp, options_table.cpp,
// option_handlers.cpp. Each works on the engine's state (engine_state.h).
#pragma once

#include <string>

#include "engine/engine.h"
#include "engine/engine_state.h"
#include "media/logger.h"
#include "media/text_helpers.h"

namespace strella::engine {

// Pause and stop as the main loop sees them.
struct TEngineAccess {
  static void WaitWhilePaused(TCustomFFmpeg& engine) { engine.WaitWhilePaused(); }
};

inline void EngineLog(const TCustomFFmpeg& engine, media::TLogLevel level, const std::string& text) {
  media::Log(&engine, level, text);
}

// input.cpp
bool OpenInputFile(TCustomFFmpeg& engine, const std::string& fileName, std::string& error);
void BuildInputTables(TEngineState& state);
void CloseInputFiles(TEngineState& state);

// output.cpp
int OpenOutputFile(TCustomFFmpeg& engine, const std::string& fileName, bool join, std::string& error);
void NewVideoStream(TCustomFFmpeg& engine, TOutputFile& file);
void NewAudioStream(TCustomFFmpeg& engine, TOutputFile& file);
void NewSubtitleStream(TCustomFFmpeg& engine, TOutputFile& file);
void CloseOutputFiles(TEngineState& state);

// setup.cpp
void SetUpTranscode(TCustomFFmpeg& engine);
void CloseCodecs(TEngineState& state);
void CloseOpenedCodecs(TEngineState& state);
void ReopenEncoders(TCustomFFmpeg& engine);
void FreeRunTables(TEngineState& state);
double OutputTime(const TOutputStreamRec& ost);
// Raises when AOutputTime (seconds) runs far past the inputs' known length:
// broken time stamps would otherwise write on and fill the disk.
void CheckOutputTime(const TEngineState& s, double AOutputTime);

// picture_comment.cpp
// Writes the picture the `picture_comment` option names into the tags of each
// output sound stream, as Ogg files keep a cover.
void AddPictureComments(TCustomFFmpeg& engine);

// packet.cpp
int ProcessPacket(TCustomFFmpeg& engine, int istIndex, const AVPacket* packet);
void WritePacket(TCustomFFmpeg& engine, TOutputStreamRec& ost, AVPacket* packet);

// transcode_loop.cpp
void Transcode(TCustomFFmpeg& engine);

// verify_output.cpp
// Counts a picture or sound frame (decoded or copied) the run gives the output stream; ist's clock spans it.
void NoteGivenFrame(TOutputStreamRec& ost, const TInputStreamRec& ist);
// With `verify`: reads every output back, removes one that fails and raises the reason.
void VerifyOutputs(TCustomFFmpeg& engine);

// progress.cpp
void ReportProgress(TCustomFFmpeg& engine, bool isLast);

// option_handlers.cpp
void FreeOptionValues(TEngineState& state);

}  // namespace strella::engine
