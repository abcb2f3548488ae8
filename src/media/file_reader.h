// A media file opened for reading on its own, apart from any conversion, and
// a decoder for one of its streams: what the measuring passes (loudness, the
// light levels of HDR pictures) read files with.
#pragma once

#include <memory>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;
struct AVStream;

namespace strella::media {

struct InputClose {
  void operator()(AVFormatContext* context) const;
};
struct DecoderFree {
  void operator()(AVCodecContext* context) const;
};
struct PacketFree {
  void operator()(AVPacket* packet) const;
};
using InputPtr = std::unique_ptr<AVFormatContext, InputClose>;
using DecoderPtr = std::unique_ptr<AVCodecContext, DecoderFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// The file opened under its own name (never read as a pattern or a
// protocol), its header read and nothing more; null with the library's
// reason in AError.
InputPtr OpenFileHeader(const std::string& AFileName, std::string& AError);

// The file opened under its own name (never read as a pattern or a
// protocol) with its streams found; null with the reason in AError.
InputPtr OpenInputFile(const std::string& AFileName, std::string& AError);

// An opened decoder for AStream; null with the reason in AError.
DecoderPtr OpenStreamDecoder(const AVStream* AStream, std::string& AError);

}  // namespace strella::media
