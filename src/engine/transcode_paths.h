// Decoding and the re-encoding paths (decode.cpp, audio.cpp, video.cpp).
#pragma once

#include <functional>

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
// The filter graph of a re-encoded video output stream (video_graph.cpp):
// planned and built at set-up, which settles the encoder's size, pixel format
// and colour tags (raising "Error opening filters!"); then each picture (or
// null at the end) goes through it and every filtered picture to `encode`.
void ConfigureVideoGraph(TCustomFFmpeg& engine, TInputStreamRec& ist, TOutputStreamRec& ost);
// Adds what the output stream's container stores about its pictures (HDR10's
// light levels); after the stream's parameters are taken from its encoder.
void DescribeVideoStream(const TOutputStreamRec& ost);
void FilterVideoFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVFrame* frame,
                      const std::function<void(AVFrame*)>& encode);
// Variable frame rate (vsync 2): the encoder counts in the source stream's
// time base, so that each picture keeps its own time, where the codec allows.
void CountInSourceTime(TOutputStreamRec& ost, const TInputStreamRec& ist);
// Encodes what the video graph still holds at the end of its input.
void FlushVideoPath(TCustomFFmpeg& engine, TOutputStreamRec& ost);

// Deinterlacing and frame hooks before a decoded picture goes to the
// outputs; returns the picture to use (the hook buffer or the frame itself).
AVFrame* PreprocessVideoFrame(TCustomFFmpeg& engine, TInputStreamRec& ist, AVFrame* frame);
// Shows an encoded picture through the preview-bitmap callback or the
// preview window, at most once per preview interval.
void PreviewPicture(TCustomFFmpeg& engine, const AVFrame* picture, int64_t pts, AVRational timeBase);

// Sleeps while the stream is ahead of real time (`re`).
void PaceToRealTime(const TEngineState& s, const TInputStreamRec& ist);
// Frees what the paths keep per output stream.
void FreePathState(TOutputStreamRec& ost);
void FreeAudioPath(TOutputStreamRec& ost);
// Ends the audio graph's input and encodes what it still holds (the
// resampler's last samples, a short last frame).
void FlushAudioQueue(TCustomFFmpeg& engine, TOutputStreamRec& ost);
// With `loudness`: notes the source's and the written output's loudness.
void NoteLoudness(TCustomFFmpeg& engine, TOutputStreamRec& ost);
void FreeVideoPath(TOutputStreamRec& ost);
// Sends one frame (or null to drain) to the encoder and writes every packet
// it gives; returns the encoder-time pts of the last packet, or AV_NOPTS_VALUE
// when none came out.
int64_t EncodeAndWrite(TCustomFFmpeg& engine, TOutputStreamRec& ost, const AVFrame* frame);

}  // namespace strella::engine
