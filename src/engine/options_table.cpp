// The option dispatcher: every option name the engine knows, in the order of
// its table, and the value each one sets. Unknown names go to the libraries'
// own option tables.
#include <string_view>

#include "engine/option_handlers.h"
#include "engine/stages.h"

namespace strella::engine {

bool CallPresetOptionHandler(TCustomFFmpeg& engine, const std::string& name, const std::string& value);

namespace {

using Handler = void (*)(TCustomFFmpeg&, const std::string& name, const std::string& value);

struct TOptionDef {
  std::string_view name;
  Handler handle;
};

TOptionValues& Opt(TCustomFFmpeg& e) { return e.State().opt; }

void DoNothing(TCustomFFmpeg& e, const std::string& name, const std::string&) {
  EngineLog(e, media::llInfo, "Do nothing: option - " + name);
}

void Refused(TCustomFFmpeg&, const std::string& name, const std::string&) {
  throw FFmpegException("TODO: option - " + name);
}

void Preset(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
  if (!CallPresetOptionHandler(e, name, value)) throw FFmpegException("TODO: option - " + name);
}

void PadSize(TCustomFFmpeg& e, const std::string& name, const std::string& v) {
  const int size = IntValue(v);
  if (size < 0) return;
  // Chroma planes have half the rows and columns: an odd band would shift them against the luma.
  if (size % 2 != 0) throw FFmpegException("Frame size must be a multiple of 2");
  TOptionValues& o = Opt(e);
  (name == "padtop" ? o.frame_padtop : name == "padbottom" ? o.frame_padbottom
   : name == "padleft" ? o.frame_padleft : o.frame_padright) = size;
}

#define INT_OPTION(field) [](TCustomFFmpeg& e, const std::string&, const std::string& v) { Opt(e).field = IntValue(v); }
#define FLAG_OPTION(field) [](TCustomFFmpeg& e, const std::string&, const std::string& v) { Opt(e).field = FlagValue(v); }
#define FLOAT_OPTION(field) [](TCustomFFmpeg& e, const std::string&, const std::string& v) { Opt(e).field = FloatValue(v); }
#define TEXT_OPTION(field) [](TCustomFFmpeg& e, const std::string&, const std::string& v) { Opt(e).field = v; }
#define ALWAYS_ON(field) [](TCustomFFmpeg& e, const std::string&, const std::string&) { Opt(e).field = true; }

const TOptionDef kOptions[] = {
    {"L", DoNothing},
    {"h", DoNothing},
    {"version", DoNothing},
    {"formats", DoNothing},
    {"f", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptFormat(e, v); }},
    {"i", DoNothing},
    {"y", DoNothing},
    {"map", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptMap(e, v); }},
    {"map_meta_data", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptMapMetaData(e, v); }},
    {"picture_comment", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptPictureComment(e, v); }},
    {"t", OptTime},
    {"fs", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { Opt(e).limit_filesize = Int64Value(v); }},
    {"ss", OptTime},
    {"itsoffset", OptTime},
    {"itsscale", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptInputTsScale(e, v); }},
    {"timestamp", OptTime},
    {"metadata", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptMetadata(e, v); }},
    {"dframes", INT_OPTION(max_frames[AVMEDIA_TYPE_DATA])},
    {"benchmark", DoNothing},
    {"dump", FLAG_OPTION(do_pkt_dump)},
    {"hex", FLAG_OPTION(do_hex_dump)},
    {"re", FLAG_OPTION(rate_emu)},
    {"loop_input", FLAG_OPTION(loop_input)},
    {"loop_output", INT_OPTION(loop_output)},
    {"v", INT_OPTION(verbose)},
    {"loglevel",
     [](TCustomFFmpeg&, const std::string&, const std::string& v) {
       try {
         media::TFFLogger::Instance().SetLogLevelByName(v);
       } catch (const std::exception&) {
         throw FFmpegException(media::Format("Invalid log level \"%s\"", v.c_str()));
       }
     }},
    {"target", Preset},
    {"threads", Refused},
    {"vsync", INT_OPTION(video_sync_method)},
    {"async", INT_OPTION(audio_sync_method)},
    {"adrift_threshold", FLOAT_OPTION(audio_drift_threshold)},
    {"vglobal", INT_OPTION(video_global_header)},
    {"copyts", ALWAYS_ON(copy_ts)},
    {"shortest", FLAG_OPTION(opt_shortest)},
    {"dts_delta_threshold", FLOAT_OPTION(dts_delta_threshold)},
    {"dts_error_threshold", FLOAT_OPTION(dts_error_threshold)},
    {"programid", INT_OPTION(opt_programid)},
    {"xerror", ALWAYS_ON(exit_on_error)},
    {"copyinkf", INT_OPTION(copy_initial_nonkeyframes)},
    {"b", OptBitrate},
    {"vb", OptBitrate},
    {"vframes", INT_OPTION(max_frames[AVMEDIA_TYPE_VIDEO])},
    {"r", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptFrameRate(e, v); }},
    {"s", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptFrameSize(e, v); }},
    {"aspect", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptFrameAspectRatio(e, v); }},
    {"pix_fmt", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptPixelFormat(e, v); }},
    {"croptop", OptCrop},
    {"cropbottom", OptCrop},
    {"cropleft", OptCrop},
    {"cropright", OptCrop},
    {"padtop", PadSize},
    {"padbottom", PadSize},
    {"padleft", PadSize},
    {"padright", PadSize},
    {"padcolor", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptPadColor(e, v); }},
    {"intra", FLAG_OPTION(intra_only)},
    {"vn", FLAG_OPTION(video_disable)},
    {"vdt", INT_OPTION(video_discard)},
    {"qscale", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptQScale(e, v); }},
    {"rc_override",
     [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
       Opt(e).video_rc_override_string = v;
       Opt(e).has_rc_override = true;
     }},
    {"vcodec", OptCodec},
    {"me_threshold", INT_OPTION(me_threshold)},
    {"sameq", FLAG_OPTION(same_quality)},
    {"pass", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptPass(e, v); }},
    {"passlogfile", TEXT_OPTION(pass_logfilename_prefix)},
    {"deinterlace", FLAG_OPTION(do_deinterlace)},
    {"psnr", FLAG_OPTION(do_psnr)},
    {"vstats", [](TCustomFFmpeg& e, const std::string&, const std::string&) { OptVStats(e); }},
    {"vstats_file", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptVStatsFile(e, v); }},
    {"vhook", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptVideoHook(e, v); }},
    {"vfilters",
     [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
       if (!v.empty()) Opt(e).vfilters = v;
     }},
    {"intra_matrix", OptMatrix},
    {"inter_matrix", OptMatrix},
    {"top", INT_OPTION(top_field_first)},
    {"dc", INT_OPTION(intra_dc_precision)},
    {"vtag", OptCodecTag},
    {"newvideo", OptNewStream},
    {"qphist", FLAG_OPTION(qp_hist)},
    {"force_fps", FLAG_OPTION(force_fps)},
    {"ab", OptBitrate},
    {"aframes", INT_OPTION(max_frames[AVMEDIA_TYPE_AUDIO])},
    {"aq", FLOAT_OPTION(audio_qscale)},
    {"ar",
     [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
       if (const int rate = IntValue(v); rate > 0) Opt(e).audio_sample_rate = rate;
     }},
    {"ac",
     [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
       if (const int channels = IntValue(v); channels > 0) Opt(e).audio_channels = channels;
     }},
    {"an", FLAG_OPTION(audio_disable)},
    {"acodec", OptCodec},
    {"atag", OptCodecTag},
    {"vol", INT_OPTION(audio_volume)},
    {"af", TEXT_OPTION(afilters)},
    {"loudness",
     [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
       const double target = FloatValue(v);
       if (target < -70 || target > -5) throw FFmpegException("The loudness " + v + " is not -70 to -5 LUFS");
       Opt(e).loudness_target = target;
       Opt(e).normalise_loudness = true;
     }},
    {"verify", FLAG_OPTION(verify_output)},
    {"newaudio", OptNewStream},
    {"alang", TEXT_OPTION(audio_language)},
    {"sample_fmt", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { OptSampleFormat(e, v); }},
    {"sn", FLAG_OPTION(subtitle_disable)},
    {"scodec", OptCodec},
    {"newsubtitle", OptNewStream},
    {"slang", TEXT_OPTION(subtitle_language)},
    {"stag", OptCodecTag},
    {"vc", INT_OPTION(video_channel)},
    {"tvstd", TEXT_OPTION(video_standard)},
    {"isync", FLAG_OPTION(input_sync)},
    {"muxdelay", FLOAT_OPTION(mux_max_delay)},
    {"muxpreload", FLOAT_OPTION(mux_preload)},
    {"absf", OptBitstreamFilter},
    {"vbsf", OptBitstreamFilter},
    {"sbsf", OptBitstreamFilter},
    {"apre", Preset},
    {"vpre", Preset},
    {"spre", Preset},
};

#undef INT_OPTION
#undef FLAG_OPTION
#undef FLOAT_OPTION
#undef TEXT_OPTION
#undef ALWAYS_ON

}  // namespace

void TCustomFFmpeg::ParseOption(const std::string& name, const std::string& value) {
  for (const TOptionDef& option : kOptions) {
    if (option.name == name) {
      option.handle(*this, name, value);
      return;
    }
  }
  SetGenericOption(name, value);
}

}  // namespace strella::engine
