// Which streams of a source an output keeps, in the output's order: the
// picture, the sound tracks (the one marked default first), the subtitles in
// the kind the container holds, and a note for each track left out.
#pragma once

#include <string>
#include <vector>

#include "app/profile_catalogue.h"
#include "media/probe.h"

namespace strella::app {

struct TKeptSubtitle {
  int Index = -1;     // the source stream
  std::string Codec;  // the encoder that makes the container's kind, or "copy"
};

struct TTrackPlan {
  int Video = -1;           // the source stream of the picture (or cover); -1 for none
  std::vector<int> Audio;   // source streams, the default one first
  std::vector<TKeptSubtitle> Subtitles;
  std::vector<std::string> Notes;  // one per track left out, for the row
};

// What the tracks need besides the profile: whether the output has a picture
// (a video profile, or a cover an audio profile keeps) and sound at all.
struct TTrackNeeds {
  bool Video = false;
  bool Cover = false;
  bool Audio = false;
};

// Video profiles keep every subtitle track their container can hold; the
// modern ones every sound track too, the others the default one.
TTrackPlan PlanTracks(const std::vector<media::TTrackInfo>& ATracks, const Quality& AProfile, TTrackNeeds ANeeds);

// "Audio track 2 (fra, "Commentary")": the kind, its number among its kind and what the file says of it.
std::string TrackName(const std::vector<media::TTrackInfo>& ATracks, const media::TTrackInfo& ATrack);

}  // namespace strella::app
