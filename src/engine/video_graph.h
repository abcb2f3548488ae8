// The filter graph of one re-encoded video output stream: every change a
// picture goes through between its decoder and its encoder (turning upright,
// deinterlacing, crop, scale, the user's filters, pad, tone mapping, pixel
// format) is an entry of it, built from the job's options.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/ff.h"
#include "media/filter_chain.h"
#include "media/hdr_light.h"

namespace strella::engine {

using TFilterGraphPtr = media::FilterGraphPtr;
using TFramePtr = media::FramePtr;

// What the graph is built from, fixed when the run is set up.
struct TVideoGraphPlan {
  std::string orientation;  // transpose/flip entries that turn the picture upright
  std::string deinterlace;  // the deinterlacer's entry, or empty
  int crop_top = 0, crop_bottom = 0, crop_left = 0, crop_right = 0;  // bands for the first picture size
  int width = 0, height = 0;  // the size the options ask for, within the pads
  int pad_top = 0, pad_bottom = 0, pad_left = 0, pad_right = 0;
  uint8_t pad_colour[3] = {16, 128, 128};  // Y, U, V
  std::string user_filters;  // `vfilters`
  std::string tone_map;      // entries that bring HDR to SDR, or empty
  media::THdrLight hdr_light;  // the source's HDR10 light levels, kept where the output stays HDR
  int sws_flags = 0;
  AVPixelFormat format = AV_PIX_FMT_NONE;  // the encoder's
};

struct TVideoGraph {
  TVideoGraphPlan plan;
  TFilterGraphPtr graph;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  TFramePtr filtered{ff::av_frame_alloc()};
  // The pictures the graph was built for; the first size sets the crop bands.
  int source_width = 0, source_height = 0, source_format = -1;
  int first_width = 0, first_height = 0;
  bool took_picture = false;
};

// What a re-encoded video output stream keeps between pictures.
struct TVideoPath {
  TVideoGraph graph;
  TFramePtr send{ff::av_frame_alloc()};  // reference handed to the encoder
};

}  // namespace strella::engine
