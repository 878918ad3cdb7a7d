// The shared text and number routines. Text is Windows-1250 throughout.
#include "common/core/Seged.h"

#include <pwd.h>
#include <unistd.h>
#include <array>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/core/ini_file.h"
#include "engine/session.h"

namespace tablorix::common {
namespace {

struct CaseTables {
  std::array<unsigned char, 256> upper;
  std::array<unsigned char, 256> lower;
};

// Letter pairs of Windows-1250 outside the contiguous 0xC0-0xDE / 0xE0-0xFE block.
constexpr std::pair<unsigned char, unsigned char> kExtraPairs[] = {
    {0x8A, 0x9A},  // Š š
    {0x8C, 0x9C},  // Ś ś
    {0x8D, 0x9D},  // Ť ť
    {0x8E, 0x9E},  // Ž ž
    {0x8F, 0x9F},  // Ź ź
    {0xA3, 0xB3},  // Ł ł
    {0xA5, 0xB9},  // Ą ą
    {0xAA, 0xBA},  // Ş ş
    {0xAF, 0xBF},  // Ż ż
    {0xBC, 0xBE},  // Ľ ľ
};

const CaseTables& Tables() {
  static const CaseTables tables = [] {
    CaseTables t;
    for (int i = 0; i < 256; ++i) t.upper[i] = t.lower[i] = static_cast<unsigned char>(i);
    auto pair = [&t](int up, int low) {
      t.upper[low] = static_cast<unsigned char>(up);
      t.lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c) {
      if (c != 0xD7) pair(c, c + 32);  // × and ÷ are not letters
    }
    for (auto [up, low] : kExtraPairs) pair(up, low);
    return t;
  }();
  return tables;
}

}  // namespace

char UpperChar(char c) { return static_cast<char>(Tables().upper[static_cast<unsigned char>(c)]); }
char LowerChar(char c) { return static_cast<char>(Tables().lower[static_cast<unsigned char>(c)]); }

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  }
  return true;
}

std::string VarToStr(const Value& v) { return FormatValue(v); }

std::string VarToStrDef(const Value& v, std::string_view def) {
  return v.is_null() ? std::string(def) : VarToStr(v);
}

std::string ExtractToken(std::string_view delimiters, std::string_view text, int n) {
  if (n < 1) return {};
  size_t start = 0;
  for (int token = 1;; ++token) {
    size_t end = text.find_first_of(delimiters, start);
    if (token == n) {
      return std::string(
          text.substr(start, end == std::string_view::npos ? text.npos : end - start));
    }
    if (end == std::string_view::npos) return {};
    start = end + 1;
  }
}

std::string ReplaceCharInVar(const Value& v, char from, char to) {
  std::string out = VarToStr(v);
  for (char& c : out) {
    if (c == from) c = to;
  }
  return out;
}

std::string EscapeSqlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string EscapeSqlText(const Value& v) { return EscapeSqlText(VarToStr(v)); }

std::string FoldToIdentifier(std::string_view text) {
  std::string out = UpperCase(text);
  for (char& ch : out) {
    switch (static_cast<unsigned char>(ch)) {
      case '"':
      case '\'':
        ch = ' ';
        break;
      case 0xC1:  // Á
        ch = 'A';
        break;
      case 0xC9:  // É
        ch = 'E';
        break;
      case 0xCD:  // Í
        ch = 'I';
        break;
      case 0xD3:  // Ó
      case 0xD5:  // Ő
      case 0xD6:  // Ö
        ch = 'O';
        break;
      case 0xDA:  // Ú
      case 0xDB:  // Ű
      case 0xDC:  // Ü
        ch = 'U';
        break;
      default:
        if (static_cast<unsigned char>(ch) > 128) ch = '#';
    }
  }
  return out;
}

std::string JoinLines(std::string_view text, std::string_view separator) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    out.append(text.substr(i, end - i));
    out.append(separator);
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

namespace {

std::string KeepOnly(std::string_view text, std::string_view allowed_marks) {
  std::string out;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || allowed_marks.find(c) != std::string_view::npos) out += c;
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  // Blanks here are the control characters and the space, as the conversions' callers typed them.
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string KeepNumberChars(std::string_view text) { return KeepOnly(text, ",-."); }

std::string DigitsOnly(std::string_view text) { return KeepOnly(text, ",."); }

double StrToFloatLoose(std::string_view text, const FormatSettings& settings) {
  text = TrimBlanks(text);
  if (text.empty()) return 0;
  std::string s = KeepNumberChars(text);
  const char sep = settings.decimal_separator;
  for (char& c : s) {
    if (sep == '.' ? c == ',' : c == '.') c = sep;
  }
  // Reads [-]digits[sep digits] with at least one digit; anything else (a second separator, a
  // sign inside the number) is not a number.
  size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  std::string plain = i ? "-" : "";
  bool digits = false, separator = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      plain += c;
    } else if (c == sep && !separator) {
      separator = true;
      plain += '.';
    } else {
      return 0;
    }
  }
  if (!digits) return 0;
  if (plain.back() == '.') plain += '0';  // "5," is five
  double value = 0;
  auto r = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (r.ec != std::errc() || r.ptr != plain.data() + plain.size()) return 0;
  return value;
}

int StrToIntLoose(std::string_view text) {
  std::string s = DigitsOnly(text);
  std::string_view t = TrimBlanks(s);
  if (t.empty()) return 0;
  int value = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), value);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return 0;
  return value;
}

std::string ReplaceTextAll(std::string_view text, std::string_view pattern,
                           std::string_view replacement) {
  if (pattern.empty()) return std::string(text);
  const std::string upper_text = UpperCase(text);
  const std::string upper_pattern = UpperCase(pattern);
  std::string out;
  size_t i = 0;
  for (;;) {
    size_t hit = upper_text.find(upper_pattern, i);
    if (hit == std::string::npos) break;
    out.append(text.substr(i, hit - i));
    out.append(replacement);
    i = hit + pattern.size();
  }
  out.append(text.substr(i));
  return out;
}

std::string InputBoxText(std::string_view typed, bool keep_case) {
  return keep_case ? std::string(typed) : FoldToIdentifier(typed);
}

// --- Places ---------------------------------------------------------------------------------

namespace {

std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvText("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string ConfigHome() {
  std::string dir = EnvText("XDG_CONFIG_HOME");
  if (!dir.empty() && dir.front() == '/') return dir;  // a relative value is ignored, as XDG says
  std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.config";
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (out.empty() || out.back() != '/') out += '/';
  out.append(name);
  return out;
}

// XDG_DOCUMENTS_DIR="$HOME/..." in the user-dirs file of the config folder.
std::string DocumentsFromUserDirs(const std::string& config_home, const std::string& home) {
  std::ifstream in(JoinPath(config_home, "user-dirs.dirs"));
  std::string line;
  while (std::getline(in, line)) {
    std::string_view t = line;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    if (t.substr(0, kKey.size()) != kKey) continue;
    t.remove_prefix(kKey.size());
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
    if (t.substr(0, 5) == "$HOME") return home + std::string(t.substr(5));
    if (!t.empty() && t.front() == '/') return std::string(t);
  }
  return {};
}

}  // namespace

std::string SpecialFolderPath(int folder) {
  switch (folder) {
    case kCommonAppDataFolderId:
    case 26:  // the roaming application data of the user
      return ConfigHome();
    case kDocumentsFolderId: {
      std::string home = HomeFolder();
      if (home.empty()) return {};
      std::string config = ConfigHome();
      std::string docs = config.empty() ? std::string() : DocumentsFromUserDirs(config, home);
      return docs.empty() ? JoinPath(home, "Documents") : docs;
    }
    default:
      return {};
  }
}

std::string CommonAppDataFolder() { return SpecialFolderPath(kCommonAppDataFolderId); }
std::string DocumentsFolder() { return SpecialFolderPath(kDocumentsFolderId); }

SharedPaths ComputeSharedPaths(std::string_view executable, std::string_view common_app_data) {
  SharedPaths p;
  const size_t slash = executable.rfind('/');
  p.AppDir = slash == std::string_view::npos ? std::string(".")
                                             : std::string(executable.substr(0, slash + 1));
  if (p.AppDir.size() > 1 && p.AppDir.back() == '/') p.AppDir.pop_back();
  const std::string ini_name = std::string(kSettingsName) + kIniExtension;
  p.UserSettingsDir = common_app_data.empty() ? p.AppDir : JoinPath(common_app_data, kSettingsName);
  std::error_code ec;
  p.SettingsDir =
      std::filesystem::exists(JoinPath(p.AppDir, ini_name), ec) ? p.AppDir : p.UserSettingsDir;
  p.IniFileName = JoinPath(p.SettingsDir, ini_name);
  return p;
}

namespace {
SharedPaths& PathsStore() {
  static SharedPaths paths;
  return paths;
}
}  // namespace

void InitSharedPaths(std::string_view executable) {
  std::string exe(executable);
  if (exe.empty()) {
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  }
  PathsStore() = ComputeSharedPaths(exe, CommonAppDataFolder());
}

const SharedPaths& Paths() { return PathsStore(); }

// --- Window placement -----------------------------------------------------------------------

FormBounds ClampToWorkArea(FormBounds b, WorkAreaRect area) {
  // 64-bit sums: the values come from a file and may be anything an int holds.
  const int64_t w = area.right, h = area.bottom;
  if (b.left > w) b.left = 0;
  if (b.top > h) b.top = 0;
  if (int64_t(b.left) + b.width > w) {
    if (b.width < w) {
      b.left = int(w - b.width);
    } else {
      b.left = 0;
      b.width = int(w);
    }
  }
  if (int64_t(b.top) + b.height > h) {
    if (b.height < h) {
      b.top = int(h - b.height);
    } else {
      b.top = 0;
      b.height = int(h);
    }
  }
  return b;
}

void LoadFormPos(const IniFile& ini, std::string_view section, int* left, int* top) {
  *left = ini.ReadInteger(section, "Left", kDefaultFormLeft);
  *top = ini.ReadInteger(section, "Top", kDefaultFormTop);
}

FormBounds LoadFormBounds(const IniFile& ini, std::string_view section, FormBounds current,
                          WorkAreaRect area) {
  FormBounds b;
  LoadFormPos(ini, section, &b.left, &b.top);
  b.width = ini.ReadInteger(section, "Width", current.width);
  b.height = ini.ReadInteger(section, "Height", current.height);
  return ClampToWorkArea(b, area);
}

void SaveFormPos(IniFile* ini, std::string_view section, int left, int top) {
  ini->WriteInteger(section, "Left", left);
  ini->WriteInteger(section, "Top", top);
}

void SaveFormBounds(IniFile* ini, std::string_view section, FormBounds b) {
  SaveFormPos(ini, section, b.left, b.top);
  ini->WriteInteger(section, "Width", b.width);
  ini->WriteInteger(section, "Height", b.height);
}

namespace {
// Placement is a convenience: a settings file that cannot be read places windows by default.
IniFile LoadForReading(const std::string& path) {
  try {
    return IniFile::Load(path);
  } catch (const SettingsFileError&) {
    return IniFile();
  }
}
}  // namespace

void LoadFormPos(const std::string& ini_path, std::string_view section, int* left, int* top) {
  LoadFormPos(LoadForReading(ini_path), section, left, top);
}

FormBounds LoadFormBounds(const std::string& ini_path, std::string_view section, FormBounds current,
                          WorkAreaRect area) {
  return LoadFormBounds(LoadForReading(ini_path), section, current, area);
}

void SaveFormPos(const std::string& ini_path, std::string_view section, int left, int top) {
  IniFile ini = IniFile::Load(ini_path);
  SaveFormPos(&ini, section, left, top);
  ini.Save(ini_path, /*create_folders=*/true);
}

void SaveFormBounds(const std::string& ini_path, std::string_view section, FormBounds b) {
  IniFile ini = IniFile::Load(ini_path);
  SaveFormBounds(&ini, section, b);
  ini.Save(ini_path, /*create_folders=*/true);
}

}  // namespace tablorix::common
