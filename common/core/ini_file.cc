// The settings file's INI reader and writer.
#include "common/core/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/core/Seged.h"

namespace tablorix::common {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A value written on one line: a line break inside it would end the line and turn the rest into
// a line of its own.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string ValueOf(std::string_view raw) {
  raw = Trim(raw);
  // Values written by hand are sometimes quoted; the quotes are not part of the value.
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
    raw = raw.substr(1, raw.size() - 2);
  return std::string(raw);
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw SettingsFileError(what + " \"" + path + "\": " + std::strerror(err));
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view t = Trim(line);
    if (!t.empty() && t.front() == '[' && t.find(']') != std::string_view::npos) {
      Section s;
      s.name = std::string(Trim(t.substr(1, t.find(']') - 1)));
      s.header = std::string(line);
      ini.sections_.push_back(std::move(s));
      continue;
    }
    Line l;
    l.text = std::string(line);
    size_t eq = t.find('=');
    if (eq != std::string_view::npos && t.front() != ';' && t.front() != '#') {
      l.key = std::string(Trim(t.substr(0, eq)));
      if (!l.key.empty()) l.value = ValueOf(t.substr(eq + 1));
    }
    ini.sections_.back().lines.push_back(std::move(l));
  }
  return ini;
}

IniFile IniFile::Load(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
      Fail("Cannot read the settings file", path, ec.value());
    return Parse({});
  }
  if (std::filesystem::is_directory(path, ec)) Fail("Cannot read the settings file", path, EISDIR);
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) Fail("Cannot read the settings file", path, errno ? errno : EIO);
  std::ostringstream text;
  text << in.rdbuf();  // an empty file sets failbit here, which is no error
  if (in.bad()) Fail("Cannot read the settings file", path, EIO);
  return Parse(text.str());
}

std::string IniFile::Text() const {
  std::string out;
  for (const Section& s : sections_) {
    if (!s.header.empty()) out += s.header + "\r\n";
    for (const Line& l : s.lines) out += l.text + "\r\n";
  }
  return out;
}

void IniFile::Save(const std::string& path, bool create_folders) const {
  namespace fs = std::filesystem;
  const fs::path target(path);
  if (create_folders && target.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) Fail("Cannot create the folder of the settings file", path, ec.value());
  }
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) Fail("Cannot create the settings file", path, errno);
  auto fail = [&](const char* what) {
    int err = errno;
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    Fail(what, path, err);
  };
  // mkstemp makes the file private; a settings file keeps the mode it had.
  struct stat st;
  mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  if (fchmod(fd, mode) != 0) fail("Cannot create the settings file");
  const std::string text = Text();
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("Cannot write the settings file");
    done += size_t(n);
  }
  if (fsync(fd) != 0) fail("Cannot write the settings file");
  if (close(fd) != 0) {
    fd = -1;
    fail("Cannot write the settings file");
  }
  fd = -1;
  if (rename(temp.c_str(), path.c_str()) != 0) fail("Cannot write the settings file");
  // The rename itself reaches the disk with the folder.
  std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
  for (size_t i = 1; i < sections_.size(); ++i) {
    if (SameText(sections_[i].name, name)) return &sections_[i];
  }
  return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  return const_cast<IniFile*>(this)->FindSection(name);
}

const IniFile::Line* IniFile::FindLine(const Section& s, std::string_view key) {
  for (const Line& l : s.lines) {
    if (!l.key.empty() && SameText(l.key, key)) return &l;
  }
  return nullptr;
}

bool IniFile::HasSection(std::string_view section) const { return FindSection(section); }

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  return s && FindLine(*s, key);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  const Section* s = FindSection(section);
  const Line* l = s ? FindLine(*s, key) : nullptr;
  return l ? l->value : std::string(def);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const Section* s = FindSection(section);
  const Line* l = s ? FindLine(*s, key) : nullptr;
  if (!l) return def;
  std::string_view v = l->value;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  int n = 0;
  auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size()) return def;
  return n;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = FindSection(section);
  if (!s) {
    sections_.push_back(Section{std::string(section), "[" + OneLine(section) + "]", {}});
    s = &sections_.back();
  }
  Line line{OneLine(key) + "=" + OneLine(value), OneLine(key), ValueOf(OneLine(value))};
  for (Line& l : s->lines) {
    if (!l.key.empty() && SameText(l.key, key)) {
      line.key = l.key;  // the key keeps the letter case it has in the file
      line.text = l.key + "=" + OneLine(value);
      l = std::move(line);
      return;
    }
  }
  // After the section's last non-blank line, so that a blank line before the next section stays.
  size_t at = s->lines.size();
  while (at > 0 && Trim(s->lines[at - 1].text).empty()) --at;
  s->lines.insert(s->lines.begin() + at, std::move(line));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (!s) return;
  std::erase_if(s->lines, [&](const Line& l) { return !l.key.empty() && SameText(l.key, key); });
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section)) {
    for (const Line& l : s->lines) {
      if (!l.key.empty()) keys.push_back(l.key);
    }
  }
  return keys;
}

}  // namespace tablorix::common
