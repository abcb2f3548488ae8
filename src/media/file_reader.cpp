#include "media/file_reader.h"

#include <mutex>

#include "media/ff.h"
#include "media/loader.h"
#include "media/text_helpers.h"

namespace strella::media {

void InputClose::operator()(AVFormatContext* context) const { ff::avformat_close_input(&context); }

void DecoderFree::operator()(AVCodecContext* context) const {
  std::lock_guard guard(CodecLock());
  ff::avcodec_free_context(&context);
}

void PacketFree::operator()(AVPacket* packet) const { ff::av_packet_free(&packet); }

InputPtr OpenFileHeader(const std::string& AFileName, std::string& AError) {
  AVFormatContext* context = nullptr;
  AVDictionary* options = nullptr;
  AddLiteralNameOptions(AFileName, &options);
  const int result = ff::avformat_open_input(&context, FileNameToURL(AFileName).c_str(), nullptr, &options);
  ff::av_dict_free(&options);
  if (result < 0) {
    AError = ff::ErrorText(result);
    return nullptr;
  }
  return InputPtr(context);
}

InputPtr OpenInputFile(const std::string& AFileName, std::string& AError) {
  InputPtr input = OpenFileHeader(AFileName, AError);
  if (!input) {
    AError = AFileName + ": " + AError;
    return nullptr;
  }
  int found;
  {
    std::lock_guard guard(CodecLock());
    found = ff::avformat_find_stream_info(input.get(), nullptr);
  }
  if (found < 0) {
    AError = AFileName + ": " + ff::ErrorText(found);
    return nullptr;
  }
  return input;
}

DecoderPtr OpenStreamDecoder(const AVStream* AStream, std::string& AError) {
  const char* kind = ff::av_get_media_type_string(AStream->codecpar->codec_type);
  const std::string what = std::string("the ") + (kind ? kind : "stream");
  const AVCodec* codec = ff::avcodec_find_decoder(AStream->codecpar->codec_id);
  DecoderPtr decoder(codec ? ff::avcodec_alloc_context3(codec) : nullptr);
  if (!decoder) {
    AError = "no decoder for " + what;
    return nullptr;
  }
  int result = ff::avcodec_parameters_to_context(decoder.get(), AStream->codecpar);
  // Without it the decoder cannot place the samples an encoder's delay skips, and says so.
  decoder->pkt_timebase = AStream->time_base;
  if (result >= 0) {
    std::lock_guard guard(CodecLock());
    result = ff::avcodec_open2(decoder.get(), codec, nullptr);
  }
  if (result < 0) {
    AError = what + " cannot be decoded: " + ff::ErrorText(result);
    return nullptr;
  }
  return decoder;
}

}  // namespace strella::media
