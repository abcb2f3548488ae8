#include "media/filter_chain.h"

#include "media/ff.h"

namespace strella::media {

void FilterGraphFree::operator()(AVFilterGraph* graph) const { ff::avfilter_graph_free(&graph); }
void FrameFree::operator()(AVFrame* frame) const { ff::av_frame_free(&frame); }

bool LinkFilterChain(AVFilterGraph* AGraph, AVFilterContext* ASource, AVFilterContext* ASink, const std::string& AText) {
  AVFilterInOut* outputs = ff::avfilter_inout_alloc();
  AVFilterInOut* inputs = ff::avfilter_inout_alloc();
  bool ok = outputs && inputs;
  if (ok) {
    outputs->name = ff::av_strdup("in");
    outputs->filter_ctx = ASource;
    inputs->name = ff::av_strdup("out");
    inputs->filter_ctx = ASink;
    ok = ff::avfilter_graph_parse_ptr(AGraph, AText.c_str(), &inputs, &outputs, nullptr) >= 0;
  }
  ff::avfilter_inout_free(&inputs);
  ff::avfilter_inout_free(&outputs);
  return ok;
}

}  // namespace strella::media
