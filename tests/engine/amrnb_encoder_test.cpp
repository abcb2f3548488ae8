// The engine's AMR-NB encoder: mode choice, the frames it gives, its errors,
// and a 1 kHz tone written through the libraries' own amr, 3gp and 3g2
// muxers, judged with ffprobe and decoded back with the libraries' decoder.
#include "engine/amrnb_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <ostream>
#include <sstream>
#include <utility>
#include <mutex>
#include <vector>

#include "media/loader.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

using media::CodecLock;

constexpr double kToneHz = 1000;

std::vector<int16_t> Tone(double seconds, double frequency = kToneHz) {
  std::vector<int16_t> samples(static_cast<size_t>(seconds * kAmrNbSampleRate));
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(16000 * std::sin(2 * M_PI * frequency * i / kAmrNbSampleRate));
  return samples;
}

struct PacketGuard {
  AVPacket* packet = ff::av_packet_alloc();
  ~PacketGuard() { ff::av_packet_free(&packet); }
};

// ---- mode choice ----

struct ModeCase {
  int64_t requested;
  int chosen;
};

TEST(AmrNbEncoder, OpensAtTheNearestMode) {
  fixtures::EnsureLibraries();
  const ModeCase cases[] = {
      {7400, 7400},    // the 3GP profile's preselected 7.4 kbit/s
      {4750, 4750},   {5150, 5150}, {5900, 5900}, {6700, 6700}, {7950, 7950}, {10200, 10200}, {12200, 12200},
      {7000, 6700},    // nearer 6.7 than 7.4
      {9000, 7950},    // nearer 7.95 than 10.2
      {4950, 4750},    // halfway: the lower mode
      {4951, 5150},   {11200, 10200}, {11201, 12200},
      {64000, 12200},  // the engine's usual audio default
      {0, 4750},      {-5, 4750},     {1, 4750},     {INT64_MAX, 12200}, {INT64_MIN, 4750},
  };
  TAmrNbEncoder encoder;
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.requested);
    EXPECT_EQ(AmrNbBitRateOf(AmrNbModeFor(c.requested)), c.chosen);
    ASSERT_TRUE(encoder.Open(c.requested)) << encoder.LastErrMsg();
    EXPECT_EQ(encoder.BitRate(), c.chosen);
    EXPECT_EQ(kAmrNbBitRates[encoder.EncoderMode()], c.chosen);
  }
}

// ---- frames ----

TEST(AmrNbEncoder, GivesOneStorageFramePerCallInEveryMode) {
  fixtures::EnsureLibraries();
  // Storage frame sizes (table-of-contents byte included) of the eight modes.
  const int frameBytes[] = {13, 14, 16, 18, 20, 21, 27, 32};
  const std::vector<int16_t> tone = Tone(0.06);
  PacketGuard p;
  for (size_t mode = 0; mode < kAmrNbBitRates.size(); ++mode) {
    SCOPED_TRACE(kAmrNbBitRates[mode]);
    TAmrNbEncoder encoder;
    ASSERT_TRUE(encoder.Open(kAmrNbBitRates[mode]));
    for (int frame = 0; frame < 3; ++frame) {
      ASSERT_EQ(encoder.Encode(tone.data() + frame * kAmrNbFrameSize, kAmrNbFrameSize, p.packet), 0)
          << encoder.LastErrMsg();
      EXPECT_EQ(p.packet->size, frameBytes[mode]);
      EXPECT_EQ(int{p.packet->data[0]}, static_cast<int>(mode << 3 | 0x04));  // frame type, quality bit set
      EXPECT_EQ(p.packet->pts, frame * kAmrNbFrameSize);
      EXPECT_EQ(p.packet->dts, p.packet->pts);
      EXPECT_EQ(p.packet->duration, kAmrNbFrameSize);
      EXPECT_EQ(av_cmp_q(p.packet->time_base, AVRational{1, 8000}), 0);
      EXPECT_TRUE(p.packet->flags & AV_PKT_FLAG_KEY);
      EXPECT_NE(p.packet->buf, nullptr);  // reference-counted, so a muxer may keep it
    }
    EXPECT_EQ(encoder.NextPts(), 3 * kAmrNbFrameSize);
  }
}

TEST(AmrNbEncoder, PadsAShortLastFrameWithSilence) {
  fixtures::EnsureLibraries();
  std::vector<int16_t> tone = Tone(0.04);
  TAmrNbEncoder shortLast, padded;
  ASSERT_TRUE(shortLast.Open(12200));
  ASSERT_TRUE(padded.Open(12200));
  PacketGuard a, b;
  ASSERT_EQ(shortLast.Encode(tone.data(), kAmrNbFrameSize, a.packet), 0);
  ASSERT_EQ(shortLast.Encode(tone.data() + kAmrNbFrameSize, 100, a.packet), 0) << shortLast.LastErrMsg();
  EXPECT_EQ(a.packet->pts, kAmrNbFrameSize);
  EXPECT_EQ(a.packet->duration, kAmrNbFrameSize);
  EXPECT_EQ(shortLast.NextPts(), 2 * kAmrNbFrameSize);

  std::fill(tone.begin() + kAmrNbFrameSize + 100, tone.end(), int16_t{0});
  ASSERT_EQ(padded.Encode(tone.data(), kAmrNbFrameSize, b.packet), 0);
  ASSERT_EQ(padded.Encode(tone.data() + kAmrNbFrameSize, kAmrNbFrameSize, b.packet), 0);
  ASSERT_EQ(a.packet->size, b.packet->size);
  EXPECT_EQ(std::memcmp(a.packet->data, b.packet->data, a.packet->size), 0);
}

struct FrameGuard {
  AVFrame* frame = ff::av_frame_alloc();
  ~FrameGuard() { ff::av_frame_free(&frame); }
};

void MakeFrame(AVFrame* frame, AVSampleFormat format, int rate, int channels, int samples) {
  ff::av_frame_unref(frame);
  frame->format = format;
  frame->sample_rate = rate;
  frame->nb_samples = samples;
  ff::av_channel_layout_default(&frame->ch_layout, channels);
  ASSERT_EQ(ff::av_frame_get_buffer(frame, 0), 0);
  ff::av_samples_set_silence(frame->extended_data, 0, samples, channels, format);
}

TEST(AmrNbEncoder, TakesFramesWithTheirPtsAndRefusesOtherShapes) {
  fixtures::EnsureLibraries();
  TAmrNbEncoder encoder;
  ASSERT_TRUE(encoder.Open(7400));
  FrameGuard f;
  PacketGuard p;
  ASSERT_NO_FATAL_FAILURE(MakeFrame(f.frame, AV_SAMPLE_FMT_S16, 8000, 1, kAmrNbFrameSize));
  f.frame->pts = 800;
  ASSERT_EQ(encoder.Encode(f.frame, p.packet), 0) << encoder.LastErrMsg();
  EXPECT_EQ(p.packet->pts, 800);
  f.frame->pts = AV_NOPTS_VALUE;  // without a pts the count goes on
  ASSERT_EQ(encoder.Encode(f.frame, p.packet), 0);
  EXPECT_EQ(p.packet->pts, 960);
  ASSERT_NO_FATAL_FAILURE(MakeFrame(f.frame, AV_SAMPLE_FMT_S16P, 8000, 1, 40));  // one plane is the same thing
  ASSERT_EQ(encoder.Encode(f.frame, p.packet), 0);
  EXPECT_EQ(p.packet->pts, 1120);

  struct Shape {
    AVSampleFormat format;
    int rate, channels, samples;
    const char* message;
  };
  const Shape refused[] = {
      {AV_SAMPLE_FMT_S16, 44100, 1, 160, "needs 8000 Hz mono 16-bit samples, not s16 at 44100 Hz in 1 channel(s)"},
      {AV_SAMPLE_FMT_S16, 8000, 2, 160, "needs 8000 Hz mono 16-bit samples, not s16 at 8000 Hz in 2 channel(s)"},
      {AV_SAMPLE_FMT_FLT, 8000, 1, 160, "needs 8000 Hz mono 16-bit samples, not flt at 8000 Hz in 1 channel(s)"},
      {AV_SAMPLE_FMT_S16, 8000, 1, 161, "a frame holds 1 to 160 samples, not 161"},
  };
  for (const Shape& s : refused) {
    SCOPED_TRACE(s.message);
    ASSERT_NO_FATAL_FAILURE(MakeFrame(f.frame, s.format, s.rate, s.channels, s.samples));
    f.frame->pts = 5000;
    EXPECT_EQ(encoder.Encode(f.frame, p.packet), AVERROR(EINVAL));
    EXPECT_NE(encoder.LastErrMsg().find(s.message), std::string::npos) << encoder.LastErrMsg();
    EXPECT_EQ(encoder.NextPts(), 1280);  // a refused frame does not move the clock
  }
  ff::av_frame_unref(f.frame);  // a frame without buffers
  f.frame->format = AV_SAMPLE_FMT_S16;
  f.frame->sample_rate = 8000;
  ff::av_channel_layout_default(&f.frame->ch_layout, 1);
  EXPECT_EQ(encoder.Encode(f.frame, p.packet), AVERROR(EINVAL));
  EXPECT_EQ(encoder.Encode(static_cast<const AVFrame*>(nullptr), p.packet), AVERROR(EINVAL));
  const int16_t sample = 0;
  EXPECT_EQ(encoder.Encode(&sample, 0, p.packet), AVERROR(EINVAL));
}

// ---- errors and closing ----

TEST(AmrNbEncoder, RefusesToEncodeWhileClosedAndReopens) {
  fixtures::EnsureLibraries();
  const std::vector<int16_t> tone = Tone(0.02);
  PacketGuard p;
  TAmrNbEncoder encoder;
  EXPECT_FALSE(encoder.IsOpen());
  EXPECT_EQ(encoder.Encode(tone.data(), kAmrNbFrameSize, p.packet), AVERROR(EINVAL));
  EXPECT_EQ(encoder.LastErrMsg(), "AMR-NB encoder: encoding before the encoder was opened");

  ASSERT_TRUE(encoder.Open(12200));
  ASSERT_EQ(encoder.Encode(tone.data(), kAmrNbFrameSize, p.packet), 0);
  encoder.Close();
  encoder.Close();
  EXPECT_FALSE(encoder.IsOpen());
  EXPECT_EQ(encoder.Encode(tone.data(), kAmrNbFrameSize, p.packet), AVERROR(EINVAL));

  ASSERT_TRUE(encoder.Open(5900));  // a fresh start: time restarts
  ASSERT_TRUE(encoder.Open(4750));  // reopening an open encoder frees the old state (the leak check sees it)
  ASSERT_EQ(encoder.Encode(tone.data(), kAmrNbFrameSize, p.packet), 0);
  EXPECT_EQ(p.packet->pts, 0);
  EXPECT_EQ(p.packet->size, 13);
  EXPECT_TRUE(encoder.LastErrMsg().empty());
}

TEST(AmrNbEncoder, ReportsALibraryThatIsNotLoaded) {
  fixtures::EnsureLibraries();
  media::FFLoader().UnloadLib(media::ltAMRNB);
  EXPECT_FALSE(TAmrNbEncoder::Available());
  TAmrNbEncoder encoder;
  EXPECT_FALSE(encoder.Open(7400));
  EXPECT_EQ(encoder.LastErrMsg(), "AMR-NB encoder: the library libopencore-amrnb is not loaded");
  EXPECT_FALSE(encoder.IsOpen());
  ASSERT_TRUE(media::FFLoader().LoadLib(media::ltAMRNB)) << media::FFLoader().LastErrMsg();
  EXPECT_TRUE(TAmrNbEncoder::Available());
  EXPECT_TRUE(encoder.Open(7400)) << encoder.LastErrMsg();
}

TEST(AmrNbEncoder, KnowsWhetherTheLibrariesHaveTheirOwnEncoder) {
  fixtures::EnsureLibraries();
  // The ffmpeg program runs on the same system libraries as the loader.
  const std::string encoders = RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null");
  ASSERT_NE(encoders.find(" aac "), std::string::npos) << "ffmpeg -encoders gave no list";
  EXPECT_EQ(LibrariesHaveAmrNbEncoder(), encoders.find(" libopencore_amrnb ") != std::string::npos);
}

// ---- through the muxers and back ----

// An output file with the encoder's audio stream and, optionally, an h263
// 176x144 video stream at 15 frames per second; frees everything on exit.
class ToneWriter {
 public:
  ~ToneWriter() {
    if (out_) {
      if (out_->pb && !(out_->oformat->flags & AVFMT_NOFILE)) ff::avio_closep(&out_->pb);
      ff::avformat_free_context(out_);
    }
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ff::avcodec_free_context(&video_);
    }
    ff::av_frame_free(&picture_);
    ff::av_packet_free(&packet_);
  }

  void Write(const std::string& path, int64_t bitRate, bool withVideo, const std::vector<int16_t>& tone) {
    packet_ = ff::av_packet_alloc();
    ASSERT_GE(ff::avformat_alloc_output_context2(&out_, nullptr, nullptr, path.c_str()), 0);
    if (withVideo) {
      ASSERT_NO_FATAL_FAILURE(AddVideo());
    }
    ASSERT_TRUE(audio_.Open(bitRate)) << audio_.LastErrMsg();
    audio_stream_ = ff::avformat_new_stream(out_, nullptr);
    ASSERT_NE(audio_stream_, nullptr);
    audio_.FillCodecParameters(audio_stream_->codecpar);
    audio_stream_->time_base = kAmrNbTimeBase;
    ASSERT_GE(ff::avio_open(&out_->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(ff::avformat_write_header(out_, nullptr), 0);

    const int frames = static_cast<int>((tone.size() + kAmrNbFrameSize - 1) / kAmrNbFrameSize);
    const int pictures = withVideo ? static_cast<int>(tone.size() * 15 / kAmrNbSampleRate) : 0;
    for (int a = 0, v = 0; a < frames || v < pictures;) {
      const bool audioFirst = v >= pictures || (a < frames && a * kAmrNbFrameSize * 15 <= v * kAmrNbSampleRate);
      if (audioFirst) {
        const size_t offset = static_cast<size_t>(a++) * kAmrNbFrameSize;
        const int count = static_cast<int>(std::min<size_t>(kAmrNbFrameSize, tone.size() - offset));
        ASSERT_EQ(audio_.Encode(tone.data() + offset, count, packet_), 0) << audio_.LastErrMsg();
        ASSERT_NO_FATAL_FAILURE(WritePacket(audio_stream_, kAmrNbTimeBase));
      } else {
        ASSERT_NO_FATAL_FAILURE(EncodePicture(v++));
      }
    }
    if (withVideo) {
      ASSERT_NO_FATAL_FAILURE(EncodePicture(-1));
    }
    ASSERT_EQ(ff::av_write_trailer(out_), 0);
  }

 private:
  void AddVideo() {
    const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_H263);
    ASSERT_NE(codec, nullptr);
    video_ = ff::avcodec_alloc_context3(codec);
    video_->width = 176;
    video_->height = 144;
    video_->pix_fmt = AV_PIX_FMT_YUV420P;
    video_->time_base = {1, 15};
    video_->framerate = {15, 1};
    video_->bit_rate = 120000;
    video_->gop_size = 15;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ASSERT_EQ(ff::avcodec_open2(video_, codec, nullptr), 0);
    }
    video_stream_ = ff::avformat_new_stream(out_, nullptr);
    ASSERT_NE(video_stream_, nullptr);
    ASSERT_GE(ff::avcodec_parameters_from_context(video_stream_->codecpar, video_), 0);
    video_stream_->time_base = video_->time_base;
    picture_ = ff::av_frame_alloc();
    picture_->format = video_->pix_fmt;
    picture_->width = video_->width;
    picture_->height = video_->height;
    ASSERT_EQ(ff::av_frame_get_buffer(picture_, 0), 0);
  }

  // A moving ramp; index -1 drains the encoder.
  void EncodePicture(int index) {
    if (index >= 0) {
      ASSERT_EQ(ff::av_frame_make_writable(picture_), 0);
      for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? video_->width / 2 : video_->width, h = plane ? video_->height / 2 : video_->height;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            picture_->data[plane][y * picture_->linesize[plane] + x] =
                static_cast<uint8_t>(plane ? 128 : (x + y + 4 * index) & 0xff);
      }
      picture_->pts = index;
    }
    ASSERT_EQ(ff::avcodec_send_frame(video_, index >= 0 ? picture_ : nullptr), 0);
    int result;
    while ((result = ff::avcodec_receive_packet(video_, packet_)) == 0)
      ASSERT_NO_FATAL_FAILURE(WritePacket(video_stream_, video_->time_base));
    ASSERT_TRUE(result == AVERROR(EAGAIN) || result == AVERROR_EOF) << ff::ErrorText(result);
  }

  void WritePacket(AVStream* stream, AVRational from) {
    packet_->stream_index = stream->index;
    ff::av_packet_rescale_ts(packet_, from, stream->time_base);
    ASSERT_EQ(ff::av_interleaved_write_frame(out_, packet_), 0);
  }

  AVFormatContext* out_ = nullptr;
  TAmrNbEncoder audio_;
  AVStream* audio_stream_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVStream* video_stream_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
};

// Each "key<sep>value" line of ffprobe's output, run on the file with the given options.
std::vector<std::pair<std::string, std::string>> RunProbe(const std::string& options, const std::string& path,
                                                          char separator) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::istringstream out(RunCommand("ffprobe -v error " + options + " " + Quote(path) + " 2>/dev/null"));
  for (std::string line; std::getline(out, line);) {
    const size_t at = line.find(separator);
    if (at != std::string::npos) pairs.emplace_back(line.substr(0, at), line.substr(at + 1));
  }
  return pairs;
}

// ffprobe's view of the streams and the file, as flat keys ("streams.stream.0.codec_name").
std::map<std::string, std::string> ProbeStreams(const std::string& path) {
  std::map<std::string, std::string> values;
  for (auto [key, value] : RunProbe("-show_entries stream=codec_type,codec_name,sample_rate,channels,duration"
                                    ":format=duration -of flat", path, '=')) {
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    values[key] = value;
  }
  return values;
}

// Where ffprobe sees the first audio stream's last packet end, in seconds.
double AudioEndTime(const std::string& path) {
  double end = -1;
  for (const auto& [pts, duration] :
       RunProbe("-select_streams a:0 -show_entries packet=pts_time,duration_time -of csv=p=0", path, ','))
    end = std::max(end, std::stod(pts) + std::stod(duration));
  return end;
}

// The first audio stream of the file, decoded by the libraries to float samples.
class ToneReader {
 public:
  ~ToneReader() {
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ff::avcodec_free_context(&decoder_);
    }
    ff::avformat_close_input(&in_);
    ff::av_frame_free(&frame_);
    ff::av_packet_free(&packet_);
  }

  void Read(const std::string& path, std::vector<float>& samples) {
    frame_ = ff::av_frame_alloc();
    packet_ = ff::av_packet_alloc();
    ASSERT_EQ(ff::avformat_open_input(&in_, path.c_str(), nullptr, nullptr), 0);
    const AVCodec* codec = nullptr;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ASSERT_GE(ff::avformat_find_stream_info(in_, nullptr), 0);
    }
    const int stream = ff::av_find_best_stream(in_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    ASSERT_GE(stream, 0);
    ASSERT_EQ(codec->id, AV_CODEC_ID_AMR_NB);
    decoder_ = ff::avcodec_alloc_context3(codec);
    ASSERT_GE(ff::avcodec_parameters_to_context(decoder_, in_->streams[stream]->codecpar), 0);
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ASSERT_EQ(ff::avcodec_open2(decoder_, codec, nullptr), 0);
    }
    while (ff::av_read_frame(in_, packet_) == 0) {
      if (packet_->stream_index == stream) {
        ASSERT_NO_FATAL_FAILURE(Decode(packet_, samples));
      }
      ff::av_packet_unref(packet_);
    }
    ASSERT_NO_FATAL_FAILURE(Decode(nullptr, samples));
  }

 private:
  void Decode(const AVPacket* packet, std::vector<float>& samples) {
    ASSERT_EQ(ff::avcodec_send_packet(decoder_, packet), 0);
    int result;
    while ((result = ff::avcodec_receive_frame(decoder_, frame_)) == 0) {
      ASSERT_EQ(frame_->ch_layout.nb_channels, 1);
      ASSERT_EQ(frame_->sample_rate, kAmrNbSampleRate);
      ASSERT_TRUE(frame_->format == AV_SAMPLE_FMT_FLT || frame_->format == AV_SAMPLE_FMT_FLTP);
      const float* data = reinterpret_cast<const float*>(frame_->extended_data[0]);
      samples.insert(samples.end(), data, data + frame_->nb_samples);
    }
    ASSERT_TRUE(result == AVERROR(EAGAIN) || result == AVERROR_EOF) << ff::ErrorText(result);
  }

  AVFormatContext* in_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

// The share of the block's energy at one frequency (Goertzel): 1 for a pure
// tone at that frequency, near 0 for one far from it.
double ShareAt(const float* x, size_t n, double frequency) {
  const double coefficient = 2 * std::cos(2 * M_PI * frequency / kAmrNbSampleRate);
  double s1 = 0, s2 = 0, energy = 0;
  for (size_t i = 0; i < n; ++i) {
    const double s0 = x[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
    energy += static_cast<double>(x[i]) * x[i];
  }
  if (energy == 0) return 0;
  return (s1 * s1 + s2 * s2 - coefficient * s1 * s2) / (energy * n / 2);
}

struct MuxCase {
  const char* extension;
  int64_t bitRate;
  bool withVideo;
};

void PrintTo(const MuxCase& c, std::ostream* os) {
  *os << c.extension << " at " << c.bitRate << " bit/s" << (c.withVideo ? " with h263" : "");
}

class AmrNbMux : public ::testing::TestWithParam<MuxCase> {};

TEST_P(AmrNbMux, ToneSurvivesMuxingAndDecoding) {
  const MuxCase c = GetParam();
  fixtures::EnsureLibraries();
  const std::string path = fixtures::ScratchDir("amrnb_mux") + "/tone 1 kHz." + c.extension;
  ASSERT_NO_FATAL_FAILURE(ToneWriter().Write(path, c.bitRate, c.withVideo, Tone(2.0)));

  auto probed = ProbeStreams(path);
  const std::string audio = c.withVideo ? "streams.stream.1." : "streams.stream.0.";
  EXPECT_EQ(probed[audio + "codec_type"], "audio");
  EXPECT_EQ(probed[audio + "codec_name"], "amr_nb");
  EXPECT_EQ(probed[audio + "sample_rate"], "8000");
  EXPECT_EQ(probed[audio + "channels"], "1");
  EXPECT_NEAR(AudioEndTime(path), 2.0, 0.05);
  // A raw .amr file records no duration (ffprobe estimates one from the bit
  // rate); the mp4 family records the stream's.
  if (std::string(c.extension) != "amr") {
    ASSERT_FALSE(probed[audio + "duration"].empty());
    EXPECT_NEAR(std::stod(probed[audio + "duration"]), 2.0, 0.05);
  }
  if (c.withVideo) {
    EXPECT_EQ(probed["streams.stream.0.codec_type"], "video");
    EXPECT_EQ(probed["streams.stream.0.codec_name"], "h263");
  }

  std::vector<float> decoded;
  ASSERT_NO_FATAL_FAILURE(ToneReader().Read(path, decoded));
  EXPECT_NEAR(static_cast<double>(decoded.size()), 2.0 * kAmrNbSampleRate, kAmrNbFrameSize);
  ASSERT_GE(decoded.size(), 12000u);
  const float* middle = decoded.data() + 2000;  // one second, past the codec's start-up
  double energy = 0;
  for (size_t i = 0; i < kAmrNbSampleRate; ++i) energy += middle[i] * middle[i];
  const double rms = std::sqrt(energy / kAmrNbSampleRate);
  EXPECT_GT(rms, 0.15) << "the input's level is 0.35";
  EXPECT_LT(rms, 0.6);
  EXPECT_GT(ShareAt(middle, kAmrNbSampleRate, kToneHz), 0.8);
  EXPECT_LT(ShareAt(middle, kAmrNbSampleRate, 1500), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Containers, AmrNbMux,
                         ::testing::Values(MuxCase{"amr", 12200, false}, MuxCase{"amr", 4750, false},
                                           MuxCase{"3gp", 7400, true}, MuxCase{"3g2", 7400, true},
                                           MuxCase{"3gp", 10200, false}),
                         [](const auto& info) {
                           return std::string(info.param.extension) + "_" + std::to_string(info.param.bitRate) +
                                  (info.param.withVideo ? "_with_h263" : "_audio_only");
                         });

}  // namespace
}  // namespace strella::engine::testing
