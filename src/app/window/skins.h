// The skins: Qt style sheets applied to the whole application. Skinning is
// either off ("No Skin") or on with one of seven named skins.
#pragma once

#include <QString>
#include <vector>

namespace strella::window {

struct TSkin {
  int Tag;              // the Skin menu item's tag, 51 to 57
  QString Name;         // the name kept in the settings, "Elegance (internal)"
  QString MenuItem;     // the Skin menu item's object name
  QString Caption;      // the Skin menu item's caption
  QString StyleSheet;
};

inline constexpr int kNoSkinTag = 50;
inline const char* const kNoSkinName = "No Skin";

// The seven skins in menu order.
const std::vector<TSkin>& Skins();
// The skin of that name or that tag, nullptr when there is none.
const TSkin* FindSkin(const QString& name);
const TSkin* FindSkinByTag(int tag);

class TSkinManager {
 public:
  // Switches skinning off.
  void SkinOff();
  // Switches skinning on with the named skin; false (and skinning off) for an unknown name.
  bool SkinOn(const QString& name);
  bool Active() const { return skin_ != nullptr; }
  // The skin in use, or "No Skin".
  QString SkinName() const;
  const TSkin* Skin() const { return skin_; }

 private:
  void Apply();
  const TSkin* skin_ = nullptr;
};

}  // namespace strella::window
