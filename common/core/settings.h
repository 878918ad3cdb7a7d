// The main window's settings record and its place in the settings file: the database directory,
// the recent-database list and the screen font size. Window placements are Seged's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/core/Seged.h"
#include "common/core/ini_file.h"

namespace tablorix::common {

inline constexpr char kDatabaseSection[] = "Database";
inline constexpr char kPathKey[] = "Path";  // also "Path0", "Path1" ... for the recent list
inline constexpr char kScreenSection[] = "Screen";
inline constexpr char kFontSizeKey[] = "FontSize";
inline constexpr int kDefaultScreenFontSize = 9;
// The recent list is read from Path0 to Path50.
inline constexpr int kRecentKeysRead = 51;

struct TBeall {
  std::string DatabasePath;
  std::vector<std::string> RecentDatabases;  // newest first; unique, letter case ignored
  int ScreenFontSize = kDefaultScreenFontSize;
};

// Whether `dir` is in the list, letter case ignored.
bool IsRecentDatabase(const TBeall& settings, std::string_view dir);
// Puts `dir` at the front of the recent list unless it is already in it.
void AddRecentDatabase(TBeall* settings, std::string_view dir);

// The record as the file holds it; missing or unreadable values take their defaults.
TBeall ReadSettings(const IniFile& ini);
TBeall LoadSettings(const std::string& ini_path);
// Writes the record into `ini`: Database/Path, Screen/FontSize, then the recent list as Path0 ..
// Path(n-1). Recent-list keys numbered n and higher are removed, so an entry taken off the list
// does not come back at the next start.
void WriteSettings(const TBeall& settings, IniFile* ini);
// At exit: the record goes into Vintrel.ini beside the executable (paths.AppDir), whichever file
// it was read from, keeping that file's other contents. When that file cannot be written, it goes
// into Vintrel.ini of paths.UserSettingsDir (created when missing), which the next start reads
// because no file stands beside the executable. Returns the file written; throws
// SettingsFileError when neither can be written.
std::string SaveSettings(const TBeall& settings, const SharedPaths& paths);

}  // namespace tablorix::common
