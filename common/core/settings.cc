// Reading and writing the main window's settings record.
#include "common/core/settings.h"

#include <charconv>

namespace tablorix::common {
namespace {

std::string RecentKey(int i) { return kPathKey + std::to_string(i); }

// The number n of a key "Path<n>" written the way RecentKey writes it; -1 for other keys.
long long RecentKeyNumber(std::string_view key) {
  const std::string_view prefix = kPathKey;
  if (key.size() <= prefix.size() || !SameText(key.substr(0, prefix.size()), prefix)) return -1;
  std::string_view digits = key.substr(prefix.size());
  if (digits.size() > 1 && digits.front() == '0') return -1;
  long long n = 0;
  auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || n < 0) return -1;
  return n;
}

std::string SettingsFileIn(const std::string& dir) {
  std::string path = dir;
  if (path.empty() || path.back() != '/') path += '/';
  return path + kSettingsName + kIniExtension;
}

}  // namespace

bool IsRecentDatabase(const TBeall& settings, std::string_view dir) {
  for (const std::string& d : settings.RecentDatabases) {
    if (SameText(d, dir)) return true;
  }
  return false;
}

void AddRecentDatabase(TBeall* settings, std::string_view dir) {
  if (!IsRecentDatabase(*settings, dir))
    settings->RecentDatabases.insert(settings->RecentDatabases.begin(), std::string(dir));
}

TBeall ReadSettings(const IniFile& ini) {
  TBeall s;
  s.ScreenFontSize = ini.ReadInteger(kScreenSection, kFontSizeKey, kDefaultScreenFontSize);
  s.DatabasePath = ini.ReadString(kDatabaseSection, kPathKey, "");
  for (int i = 0; i < kRecentKeysRead; ++i) {
    std::string dir = ini.ReadString(kDatabaseSection, RecentKey(i), "");
    if (!dir.empty() && !IsRecentDatabase(s, dir)) s.RecentDatabases.push_back(std::move(dir));
  }
  return s;
}

TBeall LoadSettings(const std::string& ini_path) {
  try {
    return ReadSettings(IniFile::Load(ini_path));
  } catch (const SettingsFileError&) {
    return TBeall{};  // start with the defaults rather than not at all
  }
}

void WriteSettings(const TBeall& settings, IniFile* ini) {
  ini->WriteString(kDatabaseSection, kPathKey, settings.DatabasePath);
  ini->WriteInteger(kScreenSection, kFontSizeKey, settings.ScreenFontSize);
  const long long n = static_cast<long long>(settings.RecentDatabases.size());
  for (const std::string& key : ini->Keys(kDatabaseSection)) {
    if (RecentKeyNumber(key) >= n) ini->DeleteKey(kDatabaseSection, key);
  }
  for (size_t i = 0; i < settings.RecentDatabases.size(); ++i)
    ini->WriteString(kDatabaseSection, RecentKey(int(i)), settings.RecentDatabases[i]);
}

std::string SaveSettings(const TBeall& settings, const SharedPaths& paths) {
  auto write_into = [&settings](const std::string& path, bool create_folders) {
    IniFile ini = IniFile::Load(path);
    WriteSettings(settings, &ini);
    ini.Save(path, create_folders);
  };
  const std::string beside = SettingsFileIn(paths.AppDir);
  const std::string user = SettingsFileIn(paths.UserSettingsDir);
  try {
    write_into(beside, false);
    return beside;
  } catch (const SettingsFileError&) {
    if (user == beside) throw;
  }
  write_into(user, true);
  return user;
}

}  // namespace tablorix::common
