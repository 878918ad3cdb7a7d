// The settings file's INI text: sections in square brackets, key=value lines. Section and key
// names compare case-insensitively (Windows-1250 letters); lines the program does not know
// (unknown keys, comments, stray text) are kept in their order, so writing a value changes
// only that value's line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tablorix::common {

// The settings file could not be read or written; the message names the file.
class SettingsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  IniFile() : sections_(1) {}
  // Parses INI text. Never fails: a line that is neither a section header nor key=value is kept
  // as it stands and otherwise ignored.
  static IniFile Parse(std::string_view text);
  // The file's contents; a missing file gives an empty IniFile. Throws SettingsFileError when the
  // file exists but cannot be read.
  static IniFile Load(const std::string& path);

  // The text to store, lines ended by CR LF.
  std::string Text() const;
  // Writes Text() to a temporary file beside `path`, flushes it to disk and renames it over
  // `path`, so the file is always either the old or the new one. Creates the missing folders of
  // `path` when `create_folders`. Throws SettingsFileError naming `path`.
  void Save(const std::string& path, bool create_folders = false) const;

  bool HasSection(std::string_view section) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  // The first value of the key in the first section of that name; blanks around it removed.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // A value that is not a decimal integer within int's range gives `def`.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // Replaces the key's value in place, or appends the key to its section (a missing section is
  // appended to the file).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void DeleteKey(std::string_view section, std::string_view key);
  // Key names of a section in file order.
  std::vector<std::string> Keys(std::string_view section) const;

 private:
  struct Line {
    std::string text;  // the line as read or as written
    std::string key;   // empty for lines that are not key=value
    std::string value;
  };
  struct Section {
    std::string name;  // empty for lines before the first header
    std::string header;
    std::vector<Line> lines;
  };
  Section* FindSection(std::string_view name);
  const Section* FindSection(std::string_view name) const;
  static const Line* FindLine(const Section& s, std::string_view key);

  std::vector<Section> sections_;  // [0]: the lines before the first section header
};

}  // namespace tablorix::common
