// A cover for formats that hold no picture stream: Ogg files (Opus, Vorbis)
// keep it as a METADATA_BLOCK_PICTURE comment, a FLAC picture block in base64.
#include <vector>

#include "engine/stages.h"

namespace strella::engine {
namespace {

using media::Format;

constexpr uint32_t kFrontCover = 3;

void PutBigEndian(std::vector<uint8_t>& block, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) block.push_back(static_cast<uint8_t>(value >> shift));
}

// The picture's MIME type; empty for a kind picture readers do not take.
std::string MimeType(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_MJPEG: return "image/jpeg";
    case AV_CODEC_ID_PNG: return "image/png";
    case AV_CODEC_ID_BMP: return "image/bmp";
    case AV_CODEC_ID_GIF: return "image/gif";
    default: return "";
  }
}

// Type, MIME type, an empty description, size, depth, colours and the bytes.
std::vector<uint8_t> PictureBlock(const std::string& mime, const AVCodecParameters& picture, const AVPacket& data) {
  std::vector<uint8_t> block;
  PutBigEndian(block, kFrontCover);
  PutBigEndian(block, static_cast<uint32_t>(mime.size()));
  block.insert(block.end(), mime.begin(), mime.end());
  PutBigEndian(block, 0);
  PutBigEndian(block, static_cast<uint32_t>(picture.width));
  PutBigEndian(block, static_cast<uint32_t>(picture.height));
  PutBigEndian(block, 24);
  PutBigEndian(block, 0);
  PutBigEndian(block, static_cast<uint32_t>(data.size));
  block.insert(block.end(), data.data, data.data + data.size);
  return block;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group = uint32_t{bytes[i]} << 16 | (left > 1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (left > 2 ? uint32_t{bytes[i + 2]} : 0);
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += left > 1 ? kDigits[group >> 6 & 63] : '=';
    text += left > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

}  // namespace

void AddPictureComments(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  const int file = s.opt.picture_comment_file, stream = s.opt.picture_comment_stream;
  if (file < 0) return;
  if (file >= static_cast<int>(s.input_files.size()) ||
      stream < 0 || stream >= static_cast<int>(s.input_files[file].ctx->nb_streams))
    throw FFmpegException(Format("Could not find input stream #%d.%d", file, stream));
  const AVStream* source = s.input_files[file].ctx->streams[stream];
  const std::string mime = MimeType(source->codecpar->codec_id);
  if (!(source->disposition & AV_DISPOSITION_ATTACHED_PIC) || source->attached_pic.size <= 0 || mime.empty()) {
    EngineLog(engine, media::llWarning,
              Format("Input stream #%d.%d is no cover picture a tag can hold; the output has no cover", file, stream));
    return;
  }
  const std::string comment = Base64(PictureBlock(mime, *source->codecpar, source->attached_pic));
  const size_t files = s.join ? 1 : s.output_slots.size();
  for (size_t k = 0; k < files; ++k)
    for (TOutputStreamSetup& out : s.output_slots[k]->streams)
      if (out.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
        ff::av_dict_set(&out.st->metadata, "METADATA_BLOCK_PICTURE", comment.c_str(), 0);
}

}  // namespace strella::engine
