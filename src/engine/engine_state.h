// The engine's option values, file tables and run records. Private to the
// engine's stages (src/engine); the public face is engine.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/amrnb_encoder.h"
#include "engine/engine.h"
#include "engine/verify_output.h"
#include "media/ff.h"
#include "media/frame_converter.h"
#include "media/frame_hooks.h"
#include "media/generic_options.h"
#include "media/previewer.h"

namespace strella::engine {

inline constexpr int64_t kNoRecordingTime = INT64_MAX;
inline constexpr int kNoFrameLimit = 2147483647;
inline constexpr int kDefaultOutputBufferSize = 262144;
inline constexpr int kScalerBicubic = 4;

// Every value an option sets, with its default (SetDefaults puts them back).
struct TOptionValues {
  const AVInputFormat* file_iformat = nullptr;   // f (per file)
  const AVOutputFormat* file_oformat = nullptr;  // f (per file)
  bool pgmyuv = false;
  int frame_width = 0, frame_height = 0;  // s
  float frame_aspect_ratio = 0;           // aspect
  int frame_pix_fmt = -1;                 // pix_fmt
  int audio_sample_fmt = -1;              // sample_fmt
  int frame_padtop = 0, frame_padbottom = 0, frame_padleft = 0, frame_padright = 0;
  uint8_t padcolor[3] = {16, 128, 128};
  int frame_topBand = 0, frame_bottomBand = 0, frame_leftBand = 0, frame_rightBand = 0;
  int max_frames[5] = {kNoFrameLimit, kNoFrameLimit, kNoFrameLimit, kNoFrameLimit, kNoFrameLimit};
  AVRational frame_rate = {0, 0};  // r
  float video_qscale = 0;
  std::vector<uint16_t> intra_matrix, inter_matrix;  // empty: none
  std::string video_rc_override_string;
  bool has_rc_override = false;
  bool video_disable = false, audio_disable = false, subtitle_disable = false;
  int video_discard = 0;  // vdt
  std::string video_codec_name, audio_codec_name, subtitle_codec_name;
  uint32_t video_codec_tag = 0, audio_codec_tag = 0, subtitle_codec_tag = 0;
  bool same_quality = false, do_deinterlace = false, intra_only = false, do_psnr = false;
  bool qp_hist = false;
  int top_field_first = -1;
  int me_threshold = 0;
  int intra_dc_precision = 8;
  bool loop_input = false;
  int loop_output = -1;
  std::string vfilters;
  int audio_sample_rate = 44100;
  int audio_channels = 2;
  uint64_t channel_layout = 0;
  float audio_qscale = -99999.0f;
  std::string audio_language, subtitle_language;
  float mux_preload = 0.5f, mux_max_delay = 0.7f;
  int64_t recording_time = kNoRecordingTime;  // t, microseconds
  int64_t start_time = 0;                     // ss, microseconds
  int64_t rec_timestamp = 0;                  // timestamp, seconds
  int64_t input_ts_offset = 0;                // itsoffset, microseconds
  bool do_pkt_dump = false, do_hex_dump = false;
  int do_pass = 0;
  std::string pass_logfilename_prefix;
  bool video_stream_copy = false, audio_stream_copy = false, subtitle_stream_copy = false;
  int video_sync_method = -1;
  int audio_sync_method = 0;
  float audio_drift_threshold = 0.1f;
  bool copy_ts = false;
  bool opt_shortest = false;
  int video_global_header = 0;
  std::string vstats_filename;
  int opt_programid = 0;
  int copy_initial_nonkeyframes = 0;
  bool rate_emu = false;
  int video_channel = 0;
  std::string video_standard;
  int audio_volume = 256;
  std::string afilters;  // af: the user's audio filters, after the volume
  bool normalise_loudness = false;  // loudness: two passes of EBU R128 to loudness_target (LUFS)
  double loudness_target = -23;
  bool exit_on_error = false;
  bool using_vhook = false;
  int verbose = 1;
  int thread_count = 0;  // automatic: one per core
  bool input_sync = false;
  int64_t limit_filesize = 0;
  bool force_fps = false;
  float dts_delta_threshold = 10.0f;
  // Formats without discontinuities: a time stamp this many seconds off its
  // stream's course is a fault of the file and is not followed.
  float dts_error_threshold = 30.0f;
  int sws_flags = kScalerBicubic;
  // picture_comment: the input stream whose attached picture goes into the
  // output's sound streams as a picture comment (-1: none).
  int picture_comment_file = -1, picture_comment_stream = -1;
  bool verify_output = false;  // verify: each output is read back in full before the run ends well
};

// One opened input: demuxer and one decoder context per stream.
struct TInputFile {
  AVFormatContext* ctx = nullptr;
  std::string file_name;
  std::vector<AVCodecContext*> decoders;  // per stream; parameters from codecpar
};

// What an output stream was created with, until the run picks it up.
struct TOutputStreamSetup {
  AVStream* st = nullptr;
  AVCodecContext* enc = nullptr;  // parameters of the stream (and its encoder when re-encoding)
  const AVCodec* codec = nullptr; // encoder chosen by name, or none
  bool copy = false;
  // Our own AMR-NB encoder, for "libopencore_amrnb" when the libraries have none.
  bool own_amrnb = false;
  std::unique_ptr<TAmrNbEncoder> amrnb;
  std::vector<std::string> bsf_names;
  std::vector<AVBSFContext*> bsfs;  // made at set-up from bsf_names
  std::string stats_in;  // pass-2 statistics text
  int64_t last_pts = AV_NOPTS_VALUE;  // last written pts in the stream's time base
  int64_t last_dts = AV_NOPTS_VALUE;
  int64_t packets_written = 0;
};

struct TOutputFile {
  AVFormatContext* ctx = nullptr;
  std::string file_name;
  std::vector<TOutputStreamSetup> streams;
  AVDictionary* muxer_options = nullptr;
  bool header_written = false;
};

struct TInputFileRec {
  bool eof_reached = false;
  int ist_index = 0;
  int nb_streams = 0;
};

struct TInputStreamRec {
  int file_index = 0;
  int index = 0;
  AVStream* st = nullptr;
  AVCodecContext* dec = nullptr;
  bool discard = true;
  bool decoding_needed = false;
  int64_t start = 0;
  int64_t next_pts = AV_NOPTS_VALUE;
  int64_t pts = 0;
  bool is_start = true;
  bool flushed = false;
  float quality = 0;
};

struct TAudioPath;  // audio.cpp
struct TVideoPath;  // video_graph.h

// What a run gave one output stream, in the input's microseconds: the
// pictures' starts and end, the sound's length. The output must hold as much.
struct TGivenMedia {
  int64_t frames = 0;
  int64_t first_us = INT64_MAX;       // the first picture's start
  int64_t last_start_us = INT64_MIN;  // the last picture's start
  int64_t end_us = INT64_MIN;         // the last picture's end
  int64_t sound_us = 0;
};

struct TOutputStreamRec {
  int file_index = 0;
  int index = 0;
  int source_index = 0;
  AVStream* st = nullptr;
  TOutputStreamSetup* setup = nullptr;  // shared by the sets of join mode
  bool encoding_needed = false;
  int frame_number = 0;
  int sync_ist = 0;
  bool audio_resample = false;
  int64_t sync_opts = 0;
  FILE* logfile = nullptr;
  float quality = 0;            // the encoder's last quantiser
  int64_t last_error[3] = {};   // the encoder's last frame: squared errors of Y, U, V (PSNR)
  int64_t total_error[3] = {};  // summed over the run
  int last_packet_size = 0;     // bytes of the encoder's last packet
  char last_picture_type = '?';
  TAudioPath* audio = nullptr;  // freed by FreePathState
  TVideoPath* video = nullptr;
  TGivenMedia given;  // for `verify`
};

struct TEngineState {
  TOptionValues opt;
  media::TOptionContexts option_contexts;

  // Input side.
  std::vector<TInputFile> input_files;
  int64_t input_files_ts_offset[MAX_FILE_COUNT] = {};
  double input_files_ts_scale[MAX_FILE_COUNT][MAX_STREAMS] = {};
  std::vector<const AVCodec*> input_codecs;  // one per opened input stream

  // Output side. In join mode output_slots repeats output file 0.
  std::vector<std::unique_ptr<TOutputFile>> output_owned;
  std::vector<TOutputFile*> output_slots;

  std::vector<TStreamMapRec> stream_maps;
  std::vector<TMetaDataMapRec> meta_data_maps;
  std::vector<std::string> pending_bsfs[3];  // video, audio, subtitle
  std::vector<std::pair<std::string, std::string>> pending_metadata;

  bool join = false;

  // Run tables and counters.
  std::vector<TInputFileRec> file_table;
  std::vector<TInputStreamRec> ist_table;
  std::vector<TOutputStreamRec> ost_table;
  int join_set_size = 0;
  int64_t video_size = 0, audio_size = 0, extra_size = 0;
  int nb_frames_dup = 0, nb_frames_drop = 0;
  int64_t timer_start = 0;
  // Seconds of output beyond which the run stops as broken (0: no bound, the inputs' length is unknown).
  double output_time_limit = 0;
  int64_t last_report_time = 0;
  int output_buffer_size = kDefaultOutputBufferSize;
  AVPacket* copy_packet = nullptr;   // reused for every copied packet
  std::vector<uint8_t> subtitle_out;  // encoded subtitle, reused for every one
  AVPacket* read_packet = nullptr;   // reused for every packet read
  AVFrame* decoded_frame = nullptr;  // reused for every decoded frame
  std::vector<bool> no_packet;       // per input file: said "try again" since the last read

  // Opened codecs, closed by RunConvert whatever way the run ended.
  // Each entry is the owner's slot, so a close frees the context and clears the slot.
  std::list<AVCodecContext**> opened_encoders, opened_decoders;

  // Frame hooks and preview.
  std::vector<THookRange> hook_ranges;
  size_t hook_range_index = 0;
  THookAction hook_action = haContinue;
  int picture_counter = 0;
  media::TFrameHookList hooks;  // `vhook` modules
  AVFrame* hook_picture = nullptr;  // working copy for deinterlacing and hooks
  std::unique_ptr<media::TFrameConverter> hook_converter = std::make_unique<media::TFrameConverter>();
  std::unique_ptr<media::TFrameConverter> preview_converter = std::make_unique<media::TFrameConverter>();
  std::unique_ptr<media::TPreviewer> previewer;
  int64_t last_preview_time = 0;
  FILE* vstats_file = nullptr;  // `vstats`: opened on first use
  std::vector<TVerifiedOutput> verified_outputs;  // of the last run, with `verify`
};

}  // namespace strella::engine
