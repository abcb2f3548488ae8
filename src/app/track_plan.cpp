#include "app/track_plan.h"

#include <algorithm>
#include <set>

namespace strella::app {

namespace {

using media::TTrackInfo;
using media::TTrackKind;

// The subtitles a container holds: text in its own kind (copied when the
// source has it already) and the picture kinds it copies.
struct TSubtitleRoom {
  std::string TextCodec;               // empty: no text subtitles
  std::set<std::string> TextCopied;    // text kinds kept as they are
  std::set<std::string> PictureKinds;  // bitmap kinds kept as they are
};

TSubtitleRoom SubtitleRoomOf(std::string_view AFormatKey) {
  if (AFormatKey == "MKV")
    return {"ass", {"subrip", "ass", "ssa", "webvtt"}, {"hdmv_pgs_subtitle", "dvd_subtitle", "dvb_subtitle"}};
  if (AFormatKey == "WEBM") return {"webvtt", {"webvtt"}, {}};
  if (AFormatKey == "MP4" || AFormatKey == "MOV" || AFormatKey == "3GP" || AFormatKey == "3G2")
    return {"mov_text", {"mov_text"}, {}};
  return {};
}

bool IsModernVideo(const Quality& profile) { return profile.Group == pgModernVideo; }

std::vector<const TTrackInfo*> TracksOf(const std::vector<TTrackInfo>& tracks, TTrackKind kind) {
  std::vector<const TTrackInfo*> found;
  for (const TTrackInfo& track : tracks)
    if (track.Kind == kind) found.push_back(&track);
  return found;
}

// The picture: for a cover the first attached picture; else the first
// moving video, or a still picture where the source has nothing else.
int ChooseVideo(const std::vector<TTrackInfo>& tracks, bool cover) {
  const std::vector<const TTrackInfo*> video = TracksOf(tracks, TTrackKind::Video);
  for (const TTrackInfo* track : video)
    if (track->AttachedPicture == cover) return track->Index;
  return cover || video.empty() ? -1 : video.front()->Index;
}

// The sound tracks in the order the output gets them: those marked default
// first, the rest in the file's order; tracks no decoder reads go last.
std::vector<const TTrackInfo*> AudioInPlayOrder(const std::vector<TTrackInfo>& tracks) {
  std::vector<const TTrackInfo*> audio = TracksOf(tracks, TTrackKind::Audio);
  std::stable_sort(audio.begin(), audio.end(), [](const TTrackInfo* a, const TTrackInfo* b) {
    if (a->Decodable != b->Decodable) return a->Decodable;
    return a->Default && !b->Default;
  });
  return audio;
}

void PlanAudio(const std::vector<TTrackInfo>& tracks, const Quality& profile, TTrackPlan& plan) {
  const bool keepAll = IsModernVideo(profile);
  for (const TTrackInfo* track : AudioInPlayOrder(tracks)) {
    if (plan.Audio.empty()) {
      plan.Audio.push_back(track->Index);
    } else if (!track->Decodable) {
      plan.Notes.push_back(TrackName(tracks, *track) + " left out: the installed FFmpeg cannot decode " +
                           track->CodecName);
    } else if (keepAll) {
      plan.Audio.push_back(track->Index);
    } else {
      plan.Notes.push_back(TrackName(tracks, *track) + " left out: this format keeps one");
    }
  }
}

// Why the container cannot take the subtitle as it is or converted; empty when it can.
std::string SubtitleRefusal(const TTrackInfo& track, const TSubtitleRoom& room, std::string& codec) {
  if (track.BitmapSubtitle) {
    if (room.PictureKinds.count(track.CodecName)) {
      codec = "copy";
      return {};
    }
    return room.TextCodec.empty() ? "this format holds no subtitles" : "this format holds text subtitles only";
  }
  if (room.TextCodec.empty()) return "this format holds no subtitles";
  if (room.TextCopied.count(track.CodecName)) {
    codec = "copy";
    return {};
  }
  if (!track.Decodable) return "the installed FFmpeg cannot decode " + track.CodecName;
  codec = room.TextCodec;
  return {};
}

void PlanSubtitles(const std::vector<TTrackInfo>& tracks, const Quality& profile, TTrackPlan& plan) {
  const TSubtitleRoom room = SubtitleRoomOf(profile.FormatKey);
  for (const TTrackInfo* track : TracksOf(tracks, TTrackKind::Subtitle)) {
    std::string codec;
    const std::string refusal = SubtitleRefusal(*track, room, codec);
    if (refusal.empty())
      plan.Subtitles.push_back({track->Index, codec});
    else
      plan.Notes.push_back(TrackName(tracks, *track) + " left out: " + refusal);
  }
}

std::string KindName(TTrackKind kind) {
  switch (kind) {
    case TTrackKind::Video: return "Video";
    case TTrackKind::Audio: return "Audio";
    case TTrackKind::Subtitle: return "Subtitle";
    default: return "Data";
  }
}

}  // namespace

std::string TrackName(const std::vector<TTrackInfo>& ATracks, const TTrackInfo& ATrack) {
  int number = 0;
  for (const TTrackInfo& track : ATracks) {
    if (track.Kind == ATrack.Kind) ++number;
    if (track.Index == ATrack.Index) break;
  }
  std::string name = KindName(ATrack.Kind) + " track " + std::to_string(number);
  std::vector<std::string> said;
  if (!ATrack.Language.empty() && ATrack.Language != "und") said.push_back(ATrack.Language);
  if (!ATrack.Title.empty()) said.push_back("\"" + ATrack.Title + "\"");
  if (ATrack.Kind == TTrackKind::Subtitle) said.push_back(ATrack.CodecName);
  if (said.empty()) return name;
  name += " (" + said[0];
  for (size_t i = 1; i < said.size(); ++i) name += ", " + said[i];
  return name + ")";
}

TTrackPlan PlanTracks(const std::vector<TTrackInfo>& ATracks, const Quality& AProfile, TTrackNeeds ANeeds) {
  TTrackPlan plan;
  if (ANeeds.Video || ANeeds.Cover) plan.Video = ChooseVideo(ATracks, !ANeeds.Video);
  if (ANeeds.Audio) PlanAudio(ATracks, AProfile, plan);
  // A sound-only output leaves subtitles out as it leaves the picture out: nothing to note.
  if (ANeeds.Video) PlanSubtitles(ATracks, AProfile, plan);
  return plan;
}

}  // namespace strella::app
