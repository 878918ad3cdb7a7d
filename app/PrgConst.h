// Fixed texts of the program: its title, the main window's caption, the version label and the
// maker's page behind the About box's link.
#pragma once

namespace tablorix::app {

inline constexpr char kAppTitle[] = "Vintrel";
inline constexpr char kMainCaption[] = "Tablorix";
inline constexpr char kProductName[] = "Tablorix";
inline constexpr char kVersionLabel[] = "V3.0.0.59";
inline constexpr char kMakerNotice[] = "Tablorix fejleszt\xC5\x91i \xC2\xA9 2026";  // UTF-8
inline constexpr char kMakerPage[] = "https://tablorix.example.org/";

}  // namespace tablorix::app
