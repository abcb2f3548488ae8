#include "app/profile_encoders.h"

#include <set>

#include "app/profile_choices.h"
#include "app/settings_model.h"
#include "app/text_utils.h"
#include "encoder/encoder.h"

namespace strella::app {

namespace {

std::set<std::string>& MissingEncoders() {
  static std::set<std::string> missing;
  return missing;
}

// The encoder names of every value of a codec cell; an empty value leaves the
// choice to the container and names none.
template <typename Map>
void CollectEncoders(std::string_view cell, Map map, std::set<std::string>& names) {
  for (const std::string& value : SplitText(cell, '-')) {
    const std::string name = map(value.substr(0, value.find("default")));
    if (!name.empty()) names.insert(name);
  }
}

// The encoders a profile's preselected codecs name.
std::vector<std::string> PreselectedEncoders(const Quality& profile) {
  const TProfileChoices& choices = ChoicesOf(profile);
  std::vector<std::string> names;
  for (const TChoiceList<std::string>* codecs : {&choices.VideoCodecs, &choices.AudioCodecs})
    if (codecs->Default >= 0) names.push_back(codecs->Items[static_cast<size_t>(codecs->Default)].Value);
  return names;
}

}  // namespace

TEncoderLookup LoadedEncoders() {
  return [](const std::string& AEncoderName) { return encoder::EncoderAvailable(AEncoderName); };
}

void LookUpProfileEncoders(const TEncoderLookup& ALookup) {
  std::set<std::string> names;
  for (const Quality& profile : ProfileTable) {
    CollectEncoders(profile.VideoCodecCell, MapVideoCodec, names);
    CollectEncoders(profile.AudioCodecCell, MapAudioCodec, names);
  }
  std::set<std::string>& missing = MissingEncoders();
  missing.clear();
  for (const std::string& name : names)
    if (!ALookup(name)) missing.insert(name);
}

std::string MissingEncoderReason(const std::string& AEncoderName) {
  if (!MissingEncoders().count(AEncoderName)) return {};
  return "needs the " + AEncoderName + " encoder, which the installed FFmpeg lacks";
}

std::string MissingCodecMessage(const char* AWhat, const std::string& AShownName, const std::string& AEncoderName) {
  const std::string reason = MissingEncoderReason(AEncoderName);
  if (reason.empty()) return {};
  return std::string("The ") + AWhat + " \"" + Trim(AShownName) + "\" " + reason;
}

std::string ProfileUnavailableReason(const Quality& AProfile) {
  for (const std::string& name : PreselectedEncoders(AProfile)) {
    if (name.empty()) continue;
    if (std::string reason = MissingEncoderReason(name); !reason.empty()) return reason;
  }
  return {};
}

}  // namespace strella::app
