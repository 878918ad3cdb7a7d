// The shared routines: conversions between values, texts and numbers (Windows-1250 text), the
// locations of the executable and the settings file, and window placement in the settings file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/format_settings.h"
#include "engine/value.h"

namespace tablorix::common {

// --- Windows-1250 letter case -------------------------------------------------------------
// The letters of the code page, accented ones included (á/Á, ő/Ő, š/Š, ł/Ł ...); ß, µ and the
// other characters without a pair stay as they are.
char UpperChar(char c);
char LowerChar(char c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Equal when letter case is ignored.
bool SameText(std::string_view a, std::string_view b);

// --- Values and texts ---------------------------------------------------------------------
// A value as text: integers in decimal, doubles in their shortest round-trip form with ".",
// ISO dates and times, True/False; empty for null.
std::string VarToStr(const tablorix::Value& v);
// `def` when the value is null, else VarToStr.
std::string VarToStrDef(const tablorix::Value& v, std::string_view def);
// The n-th token (from 1) of `text`; every character of `delimiters` ends a token, empty tokens
// count, a token that does not exist is empty.
std::string ExtractToken(std::string_view delimiters, std::string_view text, int n);
// The value as text with every `from` replaced by `to`; empty for null.
std::string ReplaceCharInVar(const tablorix::Value& v, char from, char to);
// Text for inside a quoted SQL literal: "\" doubled, then CR written as \r and LF as \n.
// Empty for null.
std::string EscapeSqlText(const tablorix::Value& v);
std::string EscapeSqlText(std::string_view text);
// Upper-cased, quotes made blanks, the Hungarian accented vowels made plain, any other character
// above code 128 made "#".
std::string FoldToIdentifier(std::string_view text);
// Lines of `text` (CR LF, LF or CR end a line; a final line break opens no new line), each
// followed by `separator`, with the last character of the whole removed.
std::string JoinLines(std::string_view text, std::string_view separator);
// Keeps only 0-9 , - .
std::string KeepNumberChars(std::string_view text);
// Keeps only 0-9 , .
std::string DigitsOnly(std::string_view text);
// The number a loosely typed text means: "12,5" and "12.5" both read as 12.5 under either
// decimal separator; 0 when it does not read as a number ("1.234,5" included).
double StrToFloatLoose(std::string_view text, const tablorix::FormatSettings& settings);
// The digits of the text as an integer (a sign is dropped); 0 when they do not read as one.
int StrToIntLoose(std::string_view text);
// Every occurrence of `pattern` replaced, letter case ignored when matching.
std::string ReplaceTextAll(std::string_view text, std::string_view pattern,
                           std::string_view replacement);
inline tablorix::Value PickVariant(bool flag, const tablorix::Value& a, const tablorix::Value& b) {
  return flag ? a : b;
}

// What the one-line input dialog's edit box holds after the user changed it to `typed`: as
// typed with `keep_case`, else FoldToIdentifier of it.
std::string InputBoxText(std::string_view typed, bool keep_case);

// --- Message boxes ------------------------------------------------------------------------
// Captions of ShowError and ShowInfo ("Hiba", "Üzenet"); the boxes themselves are windows.
inline constexpr char kErrorCaption[] = "Hiba";
inline constexpr char kInfoCaption[] =
    "\xDC"
    "zenet";

// --- Places -------------------------------------------------------------------------------
// The settings file is kSettingsName + kIniExtension, "Vintrel.ini".
inline constexpr char kSettingsName[] = "Vintrel";
inline constexpr char kIniExtension[] = ".ini";
// Folder numbers of SpecialFolderPath.
inline constexpr int kCommonAppDataFolderId = 35;
inline constexpr int kDocumentsFolderId = 5;

// The per-user folder with that number ($XDG_CONFIG_HOME, default ~/.config, for the common
// application data; the XDG documents folder, default ~/Documents); empty when it cannot be
// found (no home folder).
std::string SpecialFolderPath(int folder);
std::string CommonAppDataFolder();
std::string DocumentsFolder();

// Where the executable and its settings file are. Computed once at start-up.
struct SharedPaths {
  std::string AppDir;       // the executable's folder, no trailing "/", letter case kept
  std::string SettingsDir;  // AppDir when it holds Vintrel.ini, else CommonAppDataFolder/Vintrel
  std::string IniFileName;  // SettingsDir/Vintrel.ini
  // Where the settings go when AppDir cannot be written: CommonAppDataFolder/Vintrel (AppDir when
  // there is no such folder).
  std::string UserSettingsDir;
};
// `executable` is the executable's full path; `common_app_data` what CommonAppDataFolder gives.
// The folders are not created.
SharedPaths ComputeSharedPaths(std::string_view executable, std::string_view common_app_data);
// Computes the paths for this process (the executable from /proc/self/exe unless given) and
// keeps them for AppDir(), SettingsDir() and IniFileName().
void InitSharedPaths(std::string_view executable = {});
const SharedPaths& Paths();
inline const std::string& AppDir() { return Paths().AppDir; }
inline const std::string& SettingsDir() { return Paths().SettingsDir; }
inline const std::string& IniFileName() { return Paths().IniFileName; }

// --- Window placement ---------------------------------------------------------------------
// A window's outer rectangle in screen coordinates.
struct FormBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const FormBounds&) const = default;
};
// The desktop without the taskbar; only its right and bottom edges bound a window.
struct WorkAreaRect {
  int right = 0;
  int bottom = 0;
};
inline constexpr int kDefaultFormLeft = 10;
inline constexpr int kDefaultFormTop = 10;

// Moves a window back onto the work area, making it no larger than the area; a negative left or
// top stays.
FormBounds ClampToWorkArea(FormBounds b, WorkAreaRect area);

class IniFile;
// Section is the window's component name ("frm_Main"). Missing keys give 10, 10 and, for the
// size, `current`'s width and height.
void LoadFormPos(const IniFile& ini, std::string_view section, int* left, int* top);
FormBounds LoadFormBounds(const IniFile& ini, std::string_view section, FormBounds current,
                          WorkAreaRect area);
void SaveFormPos(IniFile* ini, std::string_view section, int left, int top);
void SaveFormBounds(IniFile* ini, std::string_view section, FormBounds b);
// The same over the settings file at `ini_path`, opened for each call. A missing or unreadable
// file gives the defaults; saving creates the file (and its folder) and throws SettingsFileError
// naming the file when it cannot be written.
void LoadFormPos(const std::string& ini_path, std::string_view section, int* left, int* top);
FormBounds LoadFormBounds(const std::string& ini_path, std::string_view section, FormBounds current,
                          WorkAreaRect area);
void SaveFormPos(const std::string& ini_path, std::string_view section, int left, int top);
void SaveFormBounds(const std::string& ini_path, std::string_view section, FormBounds b);

}  // namespace tablorix::common
