// The engine's own AMR-NB encoder on libopencore-amrnb, for the codec name
// "libopencore_amrnb" when the loaded libraries have no encoder by that name
// (Debian's FFmpeg has none). It takes 8000 Hz mono signed 16-bit samples in
// frames of 160 and gives one packet per frame in the storage format (a
// table-of-contents byte, then the speech bits), which is what the amr, 3gp
// and 3g2 muxers store. Packet times are in a 1/8000 time base.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "media/ff.h"

namespace strella::engine {

inline constexpr const char* kAmrNbEncoderName = "libopencore_amrnb";
inline constexpr int kAmrNbSampleRate = 8000;
inline constexpr int kAmrNbFrameSize = 160;  // samples per frame: 20 ms
inline constexpr AVSampleFormat kAmrNbSampleFormat = AV_SAMPLE_FMT_S16;
inline constexpr AVRational kAmrNbTimeBase = {1, kAmrNbSampleRate};

// The bit rates of the eight speech modes, in mode order (4.75 to 12.2 kbit/s).
inline constexpr std::array<int, 8> kAmrNbBitRates = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};

// The mode whose bit rate is nearest to the request (a tie goes to the lower
// mode); requests outside the range get the lowest or the highest mode.
Mode AmrNbModeFor(int64_t bitRate);
int AmrNbBitRateOf(Mode mode);

// True when the loaded codec library has its own encoder named
// "libopencore_amrnb"; the engine then uses that one and not this class.
bool LibrariesHaveAmrNbEncoder();

class TAmrNbEncoder {
 public:
  TAmrNbEncoder() = default;
  ~TAmrNbEncoder();
  TAmrNbEncoder(const TAmrNbEncoder&) = delete;
  TAmrNbEncoder& operator=(const TAmrNbEncoder&) = delete;

  // True when libopencore-amrnb is loaded and its three functions are bound.
  static bool Available();

  // Starts an encoder at the mode nearest to bitRate (see BitRate for the one
  // chosen); with dtx, silence is sent as comfort-noise frames. Reopening
  // closes the previous state first. False with LastErrMsg set on failure.
  bool Open(int64_t bitRate, bool dtx = false);
  bool IsOpen() const { return state_ != nullptr; }
  // The chosen mode's bit rate in bit/s (0 before the first Open).
  int BitRate() const { return bit_rate_; }
  Mode EncoderMode() const { return mode_; }
  const std::string& LastErrMsg() const { return last_err_msg_; }

  // Encodes one frame of 1..160 samples (fewer are padded with silence) into
  // packet, replacing what it held. The packet's pts and dts are the sample
  // count encoded so far, its duration 160, its time base 1/8000.
  // Returns 0, or a negative error code with LastErrMsg set.
  int Encode(const int16_t* samples, int count, AVPacket* packet);
  // The same for a frame of 8000 Hz mono signed 16-bit samples; the frame's
  // pts, when it has one, becomes the packet's and continues the count.
  int Encode(const AVFrame* frame, AVPacket* packet);
  // The pts the next packet gets when its frame has none.
  int64_t NextPts() const { return next_pts_; }

  // The stream parameters the muxer needs: audio, AMR-NB, 8000 Hz, mono,
  // frame size 160 and the chosen bit rate.
  void FillCodecParameters(AVCodecParameters* parameters) const;

  // Frees the library's state; safe to call more than once.
  void Close();

 private:
  int EncodeAt(const int16_t* samples, int count, int64_t pts, AVPacket* packet);
  int Fail(int code, const std::string& message);

  void* state_ = nullptr;
  Mode mode_ = MR122;
  int bit_rate_ = 0;
  int64_t next_pts_ = 0;
  std::string last_err_msg_;
  std::array<int16_t, kAmrNbFrameSize> speech_{};
};

}  // namespace strella::engine
