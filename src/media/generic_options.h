// Options the libraries define on their own codec, container and scaler
// contexts. Names the engine does not know are written into template
// contexts here, remembered, and later copied onto the real decoders,
// encoders, demuxers and muxers a conversion opens.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct SwsContext;

namespace strella::media {

// Library option flag bits used by the callers of ApplyGenericOptions.
inline constexpr int kOptEncoding = 1;
inline constexpr int kOptDecoding = 2;
inline constexpr int kOptAudio = 8;
inline constexpr int kOptVideo = 16;
inline constexpr int kOptSubtitle = 32;

// One template context per stream kind in the library's order (video, audio,
// data, subtitle, attachment), one container context, one scaler context.
inline constexpr int kCodecTemplateCount = 5;

struct TOptionContexts {
  std::vector<std::string> names;  // the library's own names of the options set, in order
  // Options of one encoder's or muxer's own ("crf", "preset", "movflags"):
  // no template can hold them, so their text waits for the real context.
  std::vector<std::pair<std::string, std::string>> private_options;
  AVCodecContext* codec[kCodecTemplateCount] = {};
  AVFormatContext* format = nullptr;
  SwsContext* scaler = nullptr;
};

void InitOptionContexts(TOptionContexts& set);
// False when a context cannot be allocated (the set is then freed again).
bool AllocOptionContexts(TOptionContexts& set, int scalerFlags);
void FreeOptionContexts(TOptionContexts& set);
bool OptionContextsAllocated(const TOptionContexts& set);

// Sets a library option on the matching template(s): the codec templates by
// stream kind, then the container, then the scaler, then for a name starting
// with 'a', 'v' or 's' the rest of the name on the audio, video or subtitle
// template, and last as an option some encoder, decoder, muxer or demuxer
// defines for itself (kept as text). A refused value logs "Invalid value ..."
// and gives false.
bool SetGenericOption(TOptionContexts& set, const std::string& name, const std::string& value);

// Copies each remembered option whose flags contain all of `flags` from the
// template `source` onto `target` (both objects with an AVClass), then sets
// each kept private option that `target` (or its private data) defines with
// those flags; a value the context refuses logs "Invalid value ...".
void ApplyGenericOptions(const TOptionContexts& set, void* target, const void* source, int flags);

}  // namespace strella::media
