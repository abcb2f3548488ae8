// The functions bound from each run-time library, one line per function.
// Each list expands through a caller-supplied macro X(name); the loader binds
// every name of a library's list, and a missing name fails the whole library.
// To use a new function, add it to its library's list; functions only some
// library versions have are listed in media/ff_compat.h.
#pragma once

#include "media/ff_compat.h"

#define STRELLA_AVUTIL_FUNCTIONS(X) \
  X(avutil_version) \
  X(av_malloc) X(av_mallocz) X(av_realloc) X(av_free) X(av_freep) X(av_strdup) \
  X(av_fast_realloc) X(av_strlcpy) X(av_strstart) X(av_strerror) \
  X(av_gcd) X(av_reduce) X(av_rescale) X(av_rescale_rnd) X(av_rescale_q) X(av_rescale_q_rnd) \
  X(av_compare_ts) X(av_find_nearest_q_idx) X(av_d2q) X(av_mul_q) X(av_div_q) X(av_add_q) X(av_sub_q) \
  X(av_fifo_alloc2) X(av_fifo_write) X(av_fifo_read) X(av_fifo_can_read) X(av_fifo_freep2) \
  X(av_audio_fifo_alloc) X(av_audio_fifo_write) X(av_audio_fifo_read) X(av_audio_fifo_size) \
  X(av_audio_fifo_drain) X(av_audio_fifo_free) \
  X(av_log) X(av_vlog) X(av_log_default_callback) X(av_log_get_level) X(av_log_set_callback) \
  X(av_log_set_level) X(av_log_format_line2) X(av_log_set_flags) X(av_default_item_name) \
  X(av_parse_time) X(av_parse_video_size) X(av_parse_video_rate) X(av_parse_color) X(av_parse_ratio) \
  X(av_get_pix_fmt) X(av_get_pix_fmt_name) X(av_get_pix_fmt_string) X(av_pix_fmt_desc_get) \
  X(av_pix_fmt_desc_next) X(av_pix_fmt_desc_get_id) X(av_get_bits_per_pixel) \
  X(av_get_sample_fmt) X(av_get_sample_fmt_name) X(av_get_sample_fmt_string) X(av_get_bytes_per_sample) \
  X(av_sample_fmt_is_planar) X(av_get_packed_sample_fmt) X(av_get_planar_sample_fmt) \
  X(av_samples_alloc) X(av_samples_get_buffer_size) X(av_samples_set_silence) X(av_samples_copy) \
  X(av_samples_alloc_array_and_samples) \
  X(av_channel_layout_default) X(av_channel_layout_from_mask) X(av_channel_layout_from_string) \
  X(av_channel_layout_compare) X(av_channel_layout_copy) X(av_channel_layout_uninit) \
  X(av_channel_layout_describe) X(av_channel_layout_check) \
  X(av_get_picture_type_char) X(av_get_media_type_string) \
  X(av_opt_find) X(av_opt_find2) X(av_opt_next) X(av_opt_set) X(av_opt_set_int) X(av_opt_set_double) \
  X(av_opt_set_q) X(av_opt_set_bin) X(av_opt_get) X(av_opt_get_int) X(av_opt_get_double) \
  X(av_opt_set_defaults) X(av_opt_free) X(av_opt_set_dict) X(av_opt_set_dict2) X(av_opt_child_class_iterate) \
  X(av_int_list_length_for_size) \
  X(av_frame_alloc) X(av_frame_free) X(av_frame_ref) X(av_frame_unref) X(av_frame_move_ref) \
  X(av_frame_clone) X(av_frame_get_buffer) X(av_frame_make_writable) X(av_frame_copy) \
  X(av_frame_copy_props) X(av_frame_get_side_data) X(av_frame_remove_side_data) \
  X(av_image_alloc) X(av_image_fill_arrays) X(av_image_fill_linesizes) X(av_image_get_buffer_size) \
  X(av_image_copy) X(av_image_copy_plane) X(av_image_copy_to_buffer) X(av_image_check_size) \
  X(av_dict_get) X(av_dict_set) X(av_dict_set_int) X(av_dict_copy) X(av_dict_count) X(av_dict_free) \
  X(av_gettime) X(av_gettime_relative) X(av_usleep) \
  X(av_frame_apply_cropping)

#define STRELLA_SWRESAMPLE_FUNCTIONS(X) \
  X(swresample_version) \
  X(swr_alloc) X(swr_alloc_set_opts2) X(swr_init) X(swr_is_initialized) X(swr_close) X(swr_free) \
  X(swr_convert) X(swr_convert_frame) X(swr_config_frame) X(swr_get_delay) X(swr_get_out_samples) \
  X(swr_set_compensation) X(swr_next_pts) X(swr_get_class)

#define STRELLA_SWSCALE_FUNCTIONS(X) \
  X(swscale_version) \
  X(sws_getContext) X(sws_getCachedContext) X(sws_scale) X(sws_scale_frame) X(sws_freeContext) \
  X(sws_alloc_context) X(sws_init_context) X(sws_get_class) X(sws_isSupportedInput) X(sws_isSupportedOutput)

#define STRELLA_AVCODEC_FUNCTIONS(X) \
  X(avcodec_version) \
  X(avcodec_alloc_context3) X(avcodec_free_context) X(avcodec_get_class) \
  X(avcodec_parameters_alloc) X(avcodec_parameters_free) X(avcodec_parameters_copy) \
  X(avcodec_parameters_to_context) X(avcodec_parameters_from_context) \
  X(avcodec_open2) X(avcodec_flush_buffers) \
  X(avcodec_find_decoder) X(avcodec_find_decoder_by_name) X(avcodec_find_encoder) \
  X(avcodec_find_encoder_by_name) X(av_codec_iterate) X(av_codec_is_encoder) X(av_codec_is_decoder) \
  X(avcodec_descriptor_get) X(avcodec_descriptor_get_by_name) X(avcodec_get_name) X(avcodec_string) \
  X(avcodec_get_type) X(avcodec_find_best_pix_fmt_of_list) X(avcodec_profile_name) \
  X(av_get_bits_per_sample) X(av_get_exact_bits_per_sample) X(av_get_audio_frame_duration2) \
  X(avcodec_send_packet) X(avcodec_receive_frame) X(avcodec_send_frame) X(avcodec_receive_packet) \
  X(avcodec_decode_subtitle2) X(avcodec_encode_subtitle) X(avsubtitle_free) \
  X(av_packet_alloc) X(av_packet_free) X(av_packet_ref) X(av_packet_unref) X(av_packet_clone) \
  X(av_packet_move_ref) X(av_packet_copy_props) X(av_packet_rescale_ts) X(av_new_packet) \
  X(av_packet_get_side_data) X(av_packet_new_side_data) X(av_packet_make_refcounted) \
  X(av_bsf_get_by_name) X(av_bsf_alloc) X(av_bsf_init) X(av_bsf_send_packet) X(av_bsf_receive_packet) \
  X(av_bsf_flush) X(av_bsf_free) X(av_bsf_list_parse_str) \
  STRELLA_AVCODEC_VERSIONED_FUNCTIONS(X) STRELLA_AVCODEC_SIDE_DATA_FUNCTIONS(X)

#define STRELLA_AVFORMAT_FUNCTIONS(X) \
  X(avformat_version) \
  X(avformat_alloc_context) X(avformat_free_context) X(avformat_alloc_output_context2) \
  X(avformat_get_class) X(avformat_open_input) X(avformat_close_input) X(avformat_find_stream_info) \
  X(av_find_best_stream) X(av_read_frame) X(av_read_pause) X(av_read_play) X(av_seek_frame) \
  X(avformat_seek_file) X(avformat_flush) X(avformat_new_stream) X(avformat_init_output) \
  X(avformat_write_header) X(av_write_frame) X(av_interleaved_write_frame) X(av_write_trailer) \
  X(av_find_input_format) X(av_guess_format) X(av_guess_codec) X(av_guess_frame_rate) \
  X(av_guess_sample_aspect_ratio) X(av_demuxer_iterate) X(av_muxer_iterate) \
  X(av_codec_get_id) X(av_codec_get_tag) X(av_codec_get_tag2) X(avformat_query_codec) \
  X(avformat_match_stream_specifier) X(av_sdp_create) X(av_dump_format) X(av_filename_number_test) \
  X(av_pkt_dump_log2) \
  X(avio_open) X(avio_open2) X(avio_close) X(avio_closep) X(avio_feof) X(avio_size) X(avio_seek) \
  X(avio_flush) X(avio_check) X(avio_enum_protocols) \
  X(av_index_search_timestamp) \
  STRELLA_AVFORMAT_VERSIONED_FUNCTIONS(X)

#define STRELLA_AVFILTER_FUNCTIONS(X) \
  X(avfilter_version) \
  X(avfilter_get_by_name) X(avfilter_get_class) X(avfilter_graph_alloc) X(avfilter_graph_free) \
  X(avfilter_graph_create_filter) X(avfilter_graph_alloc_filter) X(avfilter_init_str) \
  X(avfilter_init_dict) X(avfilter_link) X(avfilter_graph_parse_ptr) X(avfilter_graph_config) \
  X(avfilter_graph_send_command) X(avfilter_inout_alloc) X(avfilter_inout_free) \
  X(av_buffersrc_add_frame) X(av_buffersrc_add_frame_flags) X(av_buffersrc_close) \
  X(av_buffersrc_parameters_alloc) X(av_buffersrc_parameters_set) \
  X(av_buffersink_get_frame) X(av_buffersink_get_frame_flags) X(av_buffersink_get_w) \
  X(av_buffersink_get_h) X(av_buffersink_get_format) X(av_buffersink_get_time_base) \
  X(av_buffersink_get_frame_rate) X(av_buffersink_get_sample_aspect_ratio)

#define STRELLA_AVDEVICE_FUNCTIONS(X) \
  X(avdevice_version) X(avdevice_register_all)

#define STRELLA_SDL_FUNCTIONS(X) \
  X(SDL_Init) X(SDL_InitSubSystem) X(SDL_QuitSubSystem) X(SDL_Quit) X(SDL_WasInit) X(SDL_GetError) \
  X(SDL_SetHint) X(SDL_GetCurrentAudioDriver) \
  X(SDL_OpenAudioDevice) X(SDL_CloseAudioDevice) X(SDL_PauseAudioDevice) X(SDL_GetAudioDeviceStatus) \
  X(SDL_LockAudioDevice) X(SDL_UnlockAudioDevice) X(SDL_MixAudioFormat) \
  X(SDL_QueueAudio) X(SDL_GetQueuedAudioSize) X(SDL_ClearQueuedAudio)

#define STRELLA_AMRNB_FUNCTIONS(X) \
  X(Encoder_Interface_init) X(Encoder_Interface_exit) X(Encoder_Interface_Encode)

// The C library's twelve stream, formatting and conversion functions, bound
// under their own names so that the slot can be loaded and tested like the others.
#define STRELLA_MYUTIL_FUNCTIONS(X) \
  X(fopen) X(fclose) X(fread) X(fwrite) X(fseek) X(ftell) X(fprintf) X(snprintf) X(vsprintf) \
  X(strtod) X(strtol) X(strtok)
