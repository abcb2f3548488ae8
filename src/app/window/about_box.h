// The about box: program name, the maker's web site and support address.
#pragma once

#include <QDialog>

namespace strella::window {

inline const char* const kWebSiteUrl = "https://www.quorvex.example/strella/";
inline const char* const kSupportMailUrl =
    "mailto:support@quorvex.example?subject=Strella%20Video%20Converter";

class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent);
  // Centres the box on its parent and shows it modally.
  void ShowModal();
};

// The program's icon, drawn at start-up (no image files to install).
QIcon ProgramIcon();

}  // namespace strella::window
