// The settings file: the INI reader and writer, the settings record, where the file lives and
// the window placements kept in it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/core/Seged.h"
#include "common/core/ini_file.h"
#include "common/core/settings.h"

namespace tablorix::common {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string t = (fs::temp_directory_path() / "tablorix_common_XXXXXX").string();
    path_ = mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string str() const { return path_.string(); }

 private:
  fs::path path_;
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(IniFile, ChangesOnlyTheWrittenValuesAndKeepsEverythingElse) {
  const std::string text =
      "; written by hand\r\n"
      "[Database]\r\n"
      "PATH = /data/old \r\n"
      "Driver=PARADOX\r\n"
      "\r\n"
      "[frm_Main]\r\n"
      "left=5\r\n"
      "junk without equals\r\n"
      "\r\n"
      "[Plugins]\r\n"
      "x=1\r\n";
  IniFile ini = IniFile::Parse(text);
  EXPECT_EQ(ini.Text(), text);  // nothing written: the text comes back byte for byte
  EXPECT_EQ(ini.ReadString("database", "Path", ""), "/data/old");
  EXPECT_EQ(ini.ReadInteger("FRM_MAIN", "Left", 10), 5);

  ini.WriteString("Database", "path", "/data/new");
  ini.WriteInteger("frm_main", "Top", 7);
  ini.WriteInteger("Screen", "FontSize", 9);
  EXPECT_EQ(ini.Text(),
            "; written by hand\r\n"
            "[Database]\r\n"
            "PATH=/data/new\r\n"  // in place, in the file's letter case
            "Driver=PARADOX\r\n"
            "\r\n"
            "[frm_Main]\r\n"
            "left=5\r\n"
            "junk without equals\r\n"
            "Top=7\r\n"  // at the end of its section, before the blank line
            "\r\n"
            "[Plugins]\r\n"
            "x=1\r\n"
            "[Screen]\r\n"
            "FontSize=9\r\n");
}

TEST(IniFile, ReadsLfOnlyFilesAndHandWrittenValues) {
  IniFile ini =
      IniFile::Parse("[A]\nk1=\"quoted value\"\n  k2  =  spaced  \nk3=a=b\n[b]\nk1=other");
  EXPECT_EQ(ini.ReadString("a", "K1", "-"), "quoted value");
  EXPECT_EQ(ini.ReadString("a", "k2", "-"), "spaced");
  EXPECT_EQ(ini.ReadString("a", "k3", "-"), "a=b");
  EXPECT_EQ(ini.ReadString("B", "k1", "-"), "other");
  EXPECT_EQ(ini.ReadString("a", "missing", "-"), "-");
  EXPECT_EQ(ini.ReadString("missing", "k1", "-"), "-");
}

TEST(IniFile, IntegersThatDoNotReadGiveTheDefault) {
  struct Case {
    const char* value;
    int want;
  } cases[] = {{"12", 12},   {" -3 ", -3}, {"+4", 4},           {"", 99},   {"abc", 99},
               {"12px", 99}, {"0x10", 99}, {"99999999999", 99}, {"1.5", 99}};
  for (const Case& c : cases) {
    IniFile ini = IniFile::Parse(std::string("[S]\nk=") + c.value + "\n");
    EXPECT_EQ(ini.ReadInteger("s", "K", 99), c.want) << "'" << c.value << "'";
  }
}

TEST(IniFile, LineBreaksInAValueCannotSplitTheFile) {
  IniFile ini;
  ini.WriteString("S", "k", "one\r\n[Other]\nx=y");
  IniFile back = IniFile::Parse(ini.Text());
  EXPECT_FALSE(back.HasSection("Other"));
  EXPECT_EQ(back.Keys("S"), std::vector<std::string>{"k"});
}

TEST(IniFile, SaveReplacesTheFileWholeAndKeepsItsMode) {
  TempDir dir;
  const std::string path = dir / "Vintrel.ini";
  WriteFile(path, "[S]\nold=1\n");
  chmod(path.c_str(), 0640);
  IniFile ini = IniFile::Load(path);
  ini.WriteString("S", "new", "2");
  ini.Save(path);
  EXPECT_EQ(ReadFile(path), "[S]\r\nold=1\r\nnew=2\r\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // No temporary file stays behind.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.str())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(IniFile, SaveIntoAFolderThatCannotExistNamesTheFile) {
  TempDir dir;
  WriteFile(dir / "plain", "");
  const std::string path = dir / "plain/Vintrel.ini";  // a file where a folder should be
  for (bool create : {false, true}) {
    try {
      IniFile().Save(path, create);
      ADD_FAILURE() << "saved into " << path;
    } catch (const SettingsFileError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(IniFile::Load(path).Text(), "");  // and reading it is simply an empty file
}

TEST(Settings, DefaultsForAMissingOrDamagedFile) {
  TempDir dir;
  WriteFile(dir / "damaged.ini",
            std::string("\x00\xff\xfe[Database\nPath\n=/x\n[Screen]\nFontSize=big\n", 40));
  fs::create_directory(dir / "folder.ini");  // cannot be read as a file
  for (const std::string& path : {dir / "missing.ini", dir / "damaged.ini", dir / "folder.ini"}) {
    TBeall s = LoadSettings(path);
    EXPECT_EQ(s.DatabasePath, "") << path;
    EXPECT_TRUE(s.RecentDatabases.empty()) << path;
    EXPECT_EQ(s.ScreenFontSize, 9) << path;
  }
}

TEST(Settings, ReadsTheRecordAndTheRecentListInKeyOrder) {
  TBeall s = ReadSettings(IniFile::Parse(
      "[Screen]\nFontSize=11\n"
      "[database]\npath=/data/cur\n"
      "Path2=/data/b\nPath0=/Data/A\nPath1=/data/a\nPath3=\nPath4=/data/c\nPath07=/data/z\n"));
  EXPECT_EQ(s.ScreenFontSize, 11);
  EXPECT_EQ(s.DatabasePath, "/data/cur");
  // By number, not file order; the case-insensitive duplicate and the empty value drop out.
  EXPECT_EQ(s.RecentDatabases, (std::vector<std::string>{"/Data/A", "/data/b", "/data/c"}));
}

TEST(Settings, RecentListRoundTrip) {
  TBeall s;
  for (int i = 0; i < 60; ++i) s.RecentDatabases.push_back("/db/" + std::to_string(i));
  IniFile ini;
  WriteSettings(s, &ini);
  EXPECT_EQ(ini.ReadString("Database", "Path59", ""), "/db/59");  // all written
  TBeall back = ReadSettings(ini);
  ASSERT_EQ(back.RecentDatabases.size(), 51u);  // Path0 to Path50 are read
  EXPECT_EQ(back.RecentDatabases.back(), "/db/50");

  // A shorter list: entries taken off it do not come back, other keys stay.
  ini.WriteString("Database", "Driver", "PARADOX");
  back.RecentDatabases = {"/db/x", "/db/y"};
  WriteSettings(back, &ini);
  EXPECT_EQ(ReadSettings(ini).RecentDatabases, back.RecentDatabases);
  EXPECT_EQ(ini.Keys("Database"), (std::vector<std::string>{"Path", "Path0", "Path1", "Driver"}));
}

TEST(Settings, AddRecentDatabaseGoesToTheFrontOnce) {
  TBeall s;
  AddRecentDatabase(&s, "/data/a");
  AddRecentDatabase(&s, "/data/b");
  AddRecentDatabase(&s, "/DATA/A");
  EXPECT_EQ(s.RecentDatabases, (std::vector<std::string>{"/data/b", "/data/a"}));
}

TEST(SettingsPlace, FileBesideTheExecutableOrInTheUserFolder) {
  TempDir dir;
  fs::create_directories(dir / "App/Bin");
  const std::string exe = dir / "App/Bin/tablorix";
  const std::string user = dir / "config";  // does not exist

  SharedPaths p = ComputeSharedPaths(exe, user);
  EXPECT_EQ(p.AppDir, dir / "App/Bin");  // letter case kept
  EXPECT_EQ(p.SettingsDir, dir / "config/Vintrel");
  EXPECT_EQ(p.IniFileName, dir / "config/Vintrel/Vintrel.ini");
  EXPECT_FALSE(fs::exists(user));  // nothing is created

  WriteFile(dir / "App/Bin/Vintrel.ini", "");
  p = ComputeSharedPaths(exe, user);
  EXPECT_EQ(p.IniFileName, dir / "App/Bin/Vintrel.ini");

  // Without a user folder the executable's folder is used.
  EXPECT_EQ(ComputeSharedPaths(dir / "other/tablorix", "").IniFileName, dir / "other/Vintrel.ini");
}

TEST(SettingsPlace, ExitWritesBesideTheExecutableKeepingTheFilesOtherContents) {
  TempDir dir;
  const std::string exe = dir / "tablorix";
  WriteFile(dir / "Vintrel.ini", "[frm_Main]\r\nLeft=3\r\n");
  TBeall s;
  s.DatabasePath = "/data/cur";
  s.RecentDatabases = {"/data/cur"};
  const SharedPaths paths = ComputeSharedPaths(exe, dir / "config");
  EXPECT_EQ(SaveSettings(s, paths), dir / "Vintrel.ini");
  EXPECT_EQ(ReadFile(dir / "Vintrel.ini"),
            "[frm_Main]\r\nLeft=3\r\n"
            "[Database]\r\nPath=/data/cur\r\nPath0=/data/cur\r\n"
            "[Screen]\r\nFontSize=9\r\n");

  // Read from the user folder at start, the first exit still creates the file beside the
  // executable, which the next start reads.
  TempDir fresh;
  SharedPaths first = ComputeSharedPaths(fresh / "tablorix", fresh / "config");
  EXPECT_EQ(SaveSettings(s, first), fresh / "Vintrel.ini");
  EXPECT_EQ(ComputeSharedPaths(fresh / "tablorix", fresh / "config").IniFileName,
            fresh / "Vintrel.ini");
}

TEST(SettingsPlace, UnwritableExecutableFolderFallsBackToTheUserFolder) {
  TempDir dir;
  // A file where the executable's folder would be: no one, root included, can write in it.
  WriteFile(dir / "blocked", "");
  const std::string exe = dir / "blocked/tablorix";
  const std::string config = dir / "config";
  TBeall s;
  s.DatabasePath = "/data/cur";
  s.ScreenFontSize = 12;
  s.RecentDatabases = {"/data/cur", "/data/old"};

  const SharedPaths at_start = ComputeSharedPaths(exe, config);
  EXPECT_EQ(SaveSettings(s, at_start), dir / "config/Vintrel/Vintrel.ini");

  // The next start reads it back from there.
  const SharedPaths next = ComputeSharedPaths(exe, config);
  EXPECT_EQ(next.IniFileName, dir / "config/Vintrel/Vintrel.ini");
  TBeall back = LoadSettings(next.IniFileName);
  EXPECT_EQ(back.DatabasePath, s.DatabasePath);
  EXPECT_EQ(back.ScreenFontSize, 12);
  EXPECT_EQ(back.RecentDatabases, s.RecentDatabases);

  // Nowhere to write at all: an error naming the file, never a silent loss.
  const SharedPaths nowhere = ComputeSharedPaths(exe, dir / "blocked/config");
  try {
    SaveSettings(s, nowhere);
    ADD_FAILURE() << "settings written";
  } catch (const SettingsFileError& e) {
    EXPECT_NE(std::string(e.what()).find("Vintrel.ini"), std::string::npos) << e.what();
  }
}

TEST(SettingsPlace, SpecialFoldersFollowXdg) {
  TempDir dir;
  ScopedEnv home("HOME", dir.str().c_str());
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/elsewhere/cfg");
    EXPECT_EQ(CommonAppDataFolder(), "/elsewhere/cfg");
  }
  for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(CommonAppDataFolder(), dir / ".config");
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(DocumentsFolder(), dir / "Documents");
  fs::create_directories(dir / ".config");
  WriteFile(
      dir / ".config/user-dirs.dirs",
      "# comment\nXDG_DESKTOP_DIR=\"$HOME/Asztal\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumentumok\"\n");
  EXPECT_EQ(DocumentsFolder(), dir / "Dokumentumok");
  EXPECT_EQ(SpecialFolderPath(-1), "");
}

TEST(FormPlacement, ClampsToTheWorkArea) {
  const WorkAreaRect area{1280, 1024};
  struct Case {
    FormBounds saved, want;
  } cases[] = {
      {{600, 10, 800, 600}, {480, 10, 800, 600}},
      {{1300, 10, 800, 600}, {0, 10, 800, 600}},
      {{10, 10, 1500, 600}, {0, 10, 1280, 600}},
      {{10, 10, 1280, 600}, {0, 10, 1280, 600}},  // as wide as the area
      {{10, 900, 800, 300}, {10, 724, 800, 300}},
      {{10, 1100, 800, 2000}, {10, 0, 800, 1024}},
      {{-50, -20, 800, 600}, {-50, -20, 800, 600}},        // negative edges stay
      {{100, 100, INT_MAX, INT_MAX}, {0, 0, 1280, 1024}},  // no overflow in left + width
      {{INT_MAX, INT_MAX, 100, 100}, {0, 0, 100, 100}},
  };
  for (const Case& c : cases) {
    FormBounds got = ClampToWorkArea(c.saved, area);
    EXPECT_EQ(got, c.want) << c.saved.left << "," << c.saved.top << " " << c.saved.width << "x"
                           << c.saved.height << " gave " << got.left << "," << got.top << " "
                           << got.width << "x" << got.height;
  }
}

TEST(FormPlacement, SavedAndRestoredThroughTheSettingsFile) {
  TempDir dir;
  const std::string path = dir / "config/Vintrel/Vintrel.ini";  // folder not there yet
  const WorkAreaRect area{1280, 1024};
  const FormBounds current{50, 60, 792, 612};

  int left = 0, top = 0;
  LoadFormPos(path, "frm_InpStr", &left, &top);
  EXPECT_EQ(left, 10);
  EXPECT_EQ(top, 10);
  EXPECT_EQ(LoadFormBounds(path, "frm_Main", current, area), (FormBounds{10, 10, 792, 612}));

  SaveFormBounds(path, "frm_Main", {600, 20, 800, 500});
  SaveFormPos(path, "frm_InpStr", -5, 30);
  EXPECT_EQ(LoadFormBounds(path, "FRM_MAIN", current, area), (FormBounds{480, 20, 800, 500}));
  LoadFormPos(path, "frm_inpstr", &left, &top);
  EXPECT_EQ(left, -5);
  EXPECT_EQ(top, 30);
  // Only the position is kept for a dialog: its size falls back to the current one.
  EXPECT_EQ(LoadFormBounds(path, "frm_InpStr", current, area), (FormBounds{-5, 30, 792, 612}));

  WriteFile(dir / "blocked", "");
  EXPECT_THROW(SaveFormPos(dir / "blocked/Vintrel.ini", "frm_InpStr", 1, 1), SettingsFileError);
}

}  // namespace
}  // namespace tablorix::common
