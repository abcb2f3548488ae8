// Value conversions and the option handlers with real logic. The dispatcher
// (options_table.cpp) maps names to them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "media/ff.h"

namespace strella::engine {

// Value kinds: raise FFmpegException with the conversion message on failure.
int32_t IntValue(const std::string& value);
int64_t Int64Value(const std::string& value);
float FloatValue(const std::string& value);
inline bool FlagValue(const std::string& value) { return value != "0"; }

// Raises "Missing =" or appends; used by `metadata`.
void OptMetadata(TCustomFFmpeg& engine, const std::string& value);

void OptFormat(TCustomFFmpeg& engine, const std::string& value);
void OptTime(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
void OptMap(TCustomFFmpeg& engine, const std::string& value);
// "file:stream" of the input picture AddPictureComments writes.
void OptPictureComment(TCustomFFmpeg& engine, const std::string& value);
void OptMapMetaData(TCustomFFmpeg& engine, const std::string& value);
void OptInputTsScale(TCustomFFmpeg& engine, const std::string& value);
void OptBitrate(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
void OptFrameRate(TCustomFFmpeg& engine, const std::string& value);
void OptFrameSize(TCustomFFmpeg& engine, const std::string& value);
void OptFrameAspectRatio(TCustomFFmpeg& engine, const std::string& value);
void OptPixelFormat(TCustomFFmpeg& engine, const std::string& value);
void OptSampleFormat(TCustomFFmpeg& engine, const std::string& value);
void OptCrop(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
void OptPadColor(TCustomFFmpeg& engine, const std::string& value);
void OptQScale(TCustomFFmpeg& engine, const std::string& value);
void OptCodec(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
void OptCodecTag(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
void OptPass(TCustomFFmpeg& engine, const std::string& value);
void OptVStats(TCustomFFmpeg& engine);
void OptVStatsFile(TCustomFFmpeg& engine, const std::string& value);
void OptVideoHook(TCustomFFmpeg& engine, const std::string& value);
void OptMatrix(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
void OptBitstreamFilter(TCustomFFmpeg& engine, const std::string& name, const std::string& value);
// A further stream on the last output file; a value names its encoder (or
// "copy") as vcodec, acodec or scodec would.
void OptNewStream(TCustomFFmpeg& engine, const std::string& name, const std::string& value);

// Pad colour (red in the low byte) to luma, blue- and red-difference chroma.
void PadColorToYUV(uint32_t color, uint8_t yuv[3]);

// Best fraction with both terms at most `limit` for a positive value.
AVRational BestFraction(double value, int limit);

}  // namespace strella::engine
