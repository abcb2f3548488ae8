// The media probe: opens a media file (or describes one someone else opened)
// and answers what streams it has, its file-level timing, bit rate and tags,
// and the parameters of one video stream. The encoder component and the file
// list use it to fill the frame-size and duration columns; the player attaches
// one to the file it plays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;

namespace strella::media {

// File-level information. Numbers are -1 and texts empty while no file is open.
struct TFileStreamInfo {
  int64_t StartTime = -1;  // microseconds; -1 when unknown
  int64_t Duration = -1;   // microseconds; -1 when unknown
  int64_t BitRate = -1;    // bit/s as the demuxer reports it (0 when unknown)
  int64_t Timestamp = -1;  // the "creation_time" tag in microseconds since 1970 (0 when absent)
  int Year = -1;           // from the "date" or "year" tag (0 when absent)
  int Track = -1;          // from the "track" tag (0 when absent)
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

// One video stream. Height stands before Width; a frame size is shown as Width "x" Height.
// Sizes and aspects are those of the upright picture: a stream stored turned
// (Rotation, from its display matrix) reports them with the sides swapped.
struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;     // decoder-side codec description
  int64_t StartTime = -1;    // in the stream's time base, as reported (AV_NOPTS_VALUE when unknown)
  int64_t StartTimeUS = -1;  // microseconds; -1 when unknown
  int64_t Duration = -1;     // in the stream's time base, as reported (AV_NOPTS_VALUE when unknown)
  int64_t DurationUS = -1;   // microseconds; -1 when unknown
  int64_t BitRate = -1;
  int Height = -1;
  int Width = -1;
  float AspectRatio = -1.0f;  // display aspect; 0 when the sample aspect or the height is unknown
  int PixelFormat = -1;       // the library's pixel format number
  int FrameRateNum = -1;      // the stream's real base frame rate
  int FrameRateDen = -1;
  bool AttachedPicture = false;  // a still picture such as an album cover, not a moving video
  int AverageFrameRateNum = 0;  // frames over the stream's duration; 0 when unknown
  int AverageFrameRateDen = 1;
  int SampleAspectNum = 0;      // the container's pixel shape, else the codec's; 0 when unknown
  int SampleAspectDen = 1;
  int Rotation = 0;  // degrees clockwise the stored picture is turned when shown: 0, 90, 180, 270
};

// One stream of a file as a converter chooses among them: what it is, what
// the file says of it, and whether it can be decoded at all.
enum class TTrackKind { Video, Audio, Subtitle, Other };
struct TTrackInfo {
  int Index = -1;  // the stream's number in the file
  TTrackKind Kind = TTrackKind::Other;
  std::string CodecName;  // the library's short name ("aac", "subrip", "hdmv_pgs_subtitle")
  std::string Language;   // the "language" tag ("fra"); empty when absent
  std::string Title;      // the "title" tag ("Commentary"); empty when absent
  bool Default = false;   // marked as the one to play
  bool AttachedPicture = false;  // a cover picture, not a moving video
  bool BitmapSubtitle = false;   // pictures (PGS, VobSub, DVB), not text
  bool Decodable = false;        // the loaded libraries have a decoder for it
  int Channels = 0;              // audio only
  bool operator==(const TTrackInfo&) const = default;
};

// The kind of a stream of the library's media type (AVMediaType).
TTrackKind TrackKindOf(int ACodecType);

// Holds the whole behaviour. Failures give false and keep their reason in
// LastErrMsg (a later success does not clear it); a probe whose libraries are
// not loaded throws std::runtime_error and changes nothing.
class TCustomAVProbe {
 public:
  TCustomAVProbe();
  virtual ~TCustomAVProbe();
  TCustomAVProbe(const TCustomAVProbe&) = delete;
  TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

  // Opens AFileName (a UTF-8 path) and reads its stream parameters; an empty
  // AFormatName lets the library detect the format.
  bool LoadFile(const std::string& AFileName, const std::string& AFormatName = "");
  // Describes a context someone else opened and keeps open; null just closes.
  virtual void AttachFormatContext(AVFormatContext* AContext);
  // Forgets the current file, closing it when the probe opened it.
  virtual void CloseFile();

  // The information calls give false (and fill nothing) without a file or a
  // suitable stream.
  bool GetFileStreamInfo(TFileStreamInfo& AInfo);
  // The first video stream.
  bool GetVideoStreamInfo(TVideoStreamInfo& AInfo);
  // The given stream; a negative index means the first video stream.
  bool GetVideoStreamInfo(int AStreamIndex, TVideoStreamInfo& AInfo);

  // Every stream of the file in its order; empty without a file.
  std::vector<TTrackInfo> Tracks() const;

  // The pictures per second of a video stream, from the times of its first
  // packets: for files that state no usable rate (a millisecond clock and no
  // frame count). Reads the file on, so only for a file the probe opened
  // itself; false when too few packets carry a time.
  bool MeasureFrameRate(int AStreamIndex, int& ANum, int& ADen);

  AVFormatContext* FormatContext() const { return format_context_; }
  bool OwnsContext() const { return owns_context_; }
  const std::string& LastErrMsg() const { return last_err_msg_; }
  const std::string& FormatName() const { return format_name_; }
  int StreamCount() const { return stream_count_; }
  int ProgramCount() const { return program_count_; }
  int AudioStreamCount() const { return audio_stream_count_; }
  int VideoStreamCount() const { return video_stream_count_; }
  int SubtitleStreamCount() const { return subtitle_stream_count_; }
  int FirstAudioStream() const { return first_audio_stream_; }
  // How long the file really lasts, in microseconds: read packet by packet to
  // its end, where a header's claim says nothing of a file cut short. -1 when
  // no packet carries a time.
  int64_t MeasureDurationUS();
  int FirstVideoStream() const { return first_video_stream_; }
  int FirstSubtitleStream() const { return first_subtitle_stream_; }

 private:
  static void CheckLibraries();
  bool OpenInput(const std::string& fileName, const std::string& formatName);
  bool FindStreamParameters(const std::string& fileName);
  void CountStreams();
  bool RequireFile();
  bool Fail(int libraryLogLevel, const std::string& message);

  AVFormatContext* format_context_ = nullptr;
  bool owns_context_ = false;
  std::string last_err_msg_;
  std::string format_name_;
  int stream_count_ = -1;
  int program_count_ = -1;
  int audio_stream_count_ = -1;
  int video_stream_count_ = -1;
  int subtitle_stream_count_ = -1;
  int first_audio_stream_ = -1;
  int first_video_stream_ = -1;
  int first_subtitle_stream_ = -1;
};

// The probe the other components create.
class TAVProbe : public TCustomAVProbe {
 public:
  TAVProbe() = default;
  ~TAVProbe() override;
  void CloseFile() override;
};

}  // namespace strella::media
