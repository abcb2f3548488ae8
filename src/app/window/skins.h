// The skins: Qt style sheets applied to the whole application. Skinning is
// either off ("No Skin") or on with one of the named skins; the last one
// follows the desktop's light or dark palette. Every skin keeps the window's
// font, and its colours keep text, glyphs and check marks readable.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <vector>

namespace strella::window {

// A skin's colours, "#rrggbb".
struct TPalette {
  const char* window;       // panels, menus, dialogs
  const char* text;         // on the window and on buttons: captions and glyphs
  const char* base;         // lists and edit fields
  const char* base_text;
  const char* button_top;   // button gradient
  const char* button_bottom;
  const char* accent;       // selection, progress, hover
  const char* accent_text;  // on the selection; also the check mark of a selected row
  const char* border;
  const char* disabled;     // disabled captions
  int radius;
};

struct TSkin {
  int Tag;              // the Skin menu item's tag, 51 and up
  QString Name;         // the name kept in the settings, "Elegance (internal)"
  QString MenuItem;     // the Skin menu item's object name
  QString Caption;      // the Skin menu item's caption
  TPalette Palette;     // the desktop-following skin: its light palette
  bool FollowsDesktop = false;
};

inline constexpr int kNoSkinTag = 50;
inline const char* const kNoSkinName = "No Skin";

// The skins in menu order.
const std::vector<TSkin>& Skins();
// The skin of that name or that tag, nullptr when there is none.
const TSkin* FindSkin(const QString& name);
const TSkin* FindSkinByTag(int tag);
// The palette the desktop-following skin uses on a dark desktop.
const TPalette& DesktopDarkPalette();
// The style sheet of a palette.
QString StyleSheetFor(const TPalette& palette);

class TSkinManager {
 public:
  // The font every skin keeps.
  void SetFont(const QFont& font) { font_ = font; }
  // Switches skinning off.
  void SkinOff();
  // Switches skinning on with the named skin; false (and skinning off) for an unknown name.
  bool SkinOn(const QString& name);
  bool Active() const { return skin_ != nullptr; }
  // The skin in use, or "No Skin".
  QString SkinName() const;
  const TSkin* Skin() const { return skin_; }
  // The palette in use (the desktop's light or dark one for the following skin); nullptr when off.
  const TPalette* Palette() const;
  // The colour of captions and glyphs on buttons now.
  QColor Ink() const;
  // The desktop's palette changed: the following skin takes it up.
  void DesktopChanged();

 private:
  void Apply();
  const TSkin* skin_ = nullptr;
  QFont font_;
};

}  // namespace strella::window
