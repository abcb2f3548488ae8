// Decoding and the re-encoding paths (decode.cpp, audio.cpp, video.cpp).
#pragma once

#include "engine/stages.h"

namespace strella::engine {

// Decodes one packet (or drains the decoder when pkt is null) and feeds every
// re-encoded output of the stream; -1 when the decoder refused the data.
int DecodePacket(TCustomFFmpeg& engine, int istIndex, const AVPacket* pkt);

// The re-encoding paths: one decoded frame for one output stream.
void EncodeAudioFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, const AVFrame* frame);
void EncodeVideoFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVFrame* frame);
// Empties the output's queues and its encoder at the end of its input.
void DrainEncoder(TCustomFFmpeg& engine, TOutputStreamRec& ost);
// Frees what the paths keep per output stream.
void FreePathState(TOutputStreamRec& ost);

}  // namespace strella::engine
