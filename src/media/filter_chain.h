// Filter graphs of one chain, source to sink, as the audio paths build them:
// owners for the graph and its frames, and the link of a chain written as
// graph text ("volume=2,aformat=...").
#pragma once

#include <memory>
#include <string>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace strella::media {

struct FilterGraphFree {
  void operator()(AVFilterGraph* graph) const;
};
struct FrameFree {
  void operator()(AVFrame* frame) const;
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// Links ASource through the filters of AText to ASink (AText must not be
// empty); false when the text names an unknown filter or option.
bool LinkFilterChain(AVFilterGraph* AGraph, AVFilterContext* ASource, AVFilterContext* ASink, const std::string& AText);

}  // namespace strella::media
