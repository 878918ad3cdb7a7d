// Code page tables built once from the C library's converters: single-byte code pages become a
// 256-byte map into Windows-1250, double-byte ones convert through UTF-32.
#include "engine/paradox/codepage.h"

#include <iconv.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/paradox/file.h"
#include "engine/types.h"

namespace tablorix::paradox {
namespace {

struct DriverCodePage {
  const char* id;
  int code_page;
};

// Language drivers whose code page is known (IDs compare case-insensitively).
constexpr DriverCodePage kDrivers[] = {
    {"ascii", 437},     {"intl", 437},      {"intl850", 850},   {"nordan", 865},
    {"nordan40", 865},  {"swedfin", 437},   {"spanish", 437},   {"turk", 857},
    {"ANSIINTL", 1252}, {"ANSII850", 1252}, {"ANSINOR4", 1252}, {"ANSISPAN", 1252},
    {"ANSISWFN", 1252}, {"DBWINUS0", 1252}, {"DBWINWE0", 1252}, {"DBWINES0", 1252},
    {"BLROM800", 0},    {"cyrr", 866},      {"ancyrr", 1251},   {"china", 936},
    {"hun852dc", 852},  {"anhundc", 1250},  {"db852hdc", 852},  {"czech", 852},
    {"anczech", 1250},  {"polish", 852},    {"anpolish", 1250}, {"slovene", 852},
    {"ansislov", 1250}, {"hebrew", 862},    {"angreek1", 1253}, {"greek", 737},
    {"anturk", 1254},   {"iceland", 861},   {"ANSIICE", 1252},  {"ANSINOR", 1252},
    {"DBWINCZ0", 1250}, {"DBWINHU0", 1250}, {"DBWINPL0", 1250},
};

struct SortByteCodePage {
  uint8_t byte;
  int code_page;
};
// Only bytes that name one code page; the byte alone is not unique for all drivers.
constexpr SortByteCodePage kSortBytes[] = {
    {0x00, 437},  {0xB7, 437}, {0x54, 850},  {0x62, 1252}, {0x11, 1252}, {0x4C, 1252},
    {0x40, 1252}, {0x14, 0},   {0xC0, 866},  {0x03, 936},  {0xB1, 852},  {0xE1, 1250},
    {0x94, 852},  {0x0D, 852}, {0xDC, 1250}, {0x5E, 1250}, {0xFC, 852},  {0x6F, 1250},
};

std::string IconvName(int code_page) {
  switch (code_page) {
    case 0:
      return "HP-ROMAN8";
    case 936:
      return "CP936";
    case 932:
      return "CP932";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    default:
      if (code_page >= 1250 && code_page <= 1258) return "CP" + std::to_string(code_page);
      return "IBM" + std::to_string(code_page);
  }
}

bool IsDoubleByte(int code_page) {
  return code_page == 936 || code_page == 932 || code_page == 949 || code_page == 950;
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts as much as possible; returns false when some input was invalid or unmappable.
  bool Convert(std::string_view in, std::vector<char>* out, size_t* consumed) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out->resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = out->data();
    size_t dst_left = out->size();
    size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
    out->resize(out->size() - dst_left);
    *consumed = in.size() - src_left;
    return r != size_t(-1);
  }

 private:
  iconv_t cd_;
};

// Unicode code point of each Windows-1250 byte, and the way back.
struct Win1250Map {
  char32_t to_unicode[256];
  std::unordered_map<char32_t, uint8_t> from_unicode;
  std::string utf8[256];
  Win1250Map() {
    Iconv cv("UTF-32LE", "CP1250");
    for (int b = 0; b < 256; ++b) {
      char c = char(b);
      std::vector<char> out;
      size_t used = 0;
      char32_t u = 0xFFFD;
      if (cv.ok() && cv.Convert(std::string_view(&c, 1), &out, &used) && out.size() == 4)
        std::memcpy(&u, out.data(), 4);
      to_unicode[b] = u;
      if (u != 0xFFFD) from_unicode.emplace(u, uint8_t(b));
      std::string s;
      char32_t cp = u == 0xFFFD ? char32_t(kSubstitute) : u;
      if (cp < 0x80) {
        s.push_back(char(cp));
      } else if (cp < 0x800) {
        s.push_back(char(0xC0 | (cp >> 6)));
        s.push_back(char(0x80 | (cp & 0x3F)));
      } else {
        s.push_back(char(0xE0 | (cp >> 12)));
        s.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(char(0x80 | (cp & 0x3F)));
      }
      utf8[b] = s;
    }
  }
  uint8_t FromUnicode(char32_t u) const {
    auto it = from_unicode.find(u);
    return it == from_unicode.end() ? uint8_t(kSubstitute) : it->second;
  }
};

const Win1250Map& Win1250() {
  static const Win1250Map map;
  return map;
}

}  // namespace

int CodePageOfLanguageDriver(std::string_view id) {
  for (const auto& d : kDrivers)
    if (EqualsNoCase(id, d.id)) return d.code_page;
  return -1;
}

int CodePageOfSortOrderByte(uint8_t sort_order) {
  for (const auto& s : kSortBytes)
    if (s.byte == sort_order) return s.code_page;
  return -1;
}

bool CodePage::Supported(int code_page) {
  if (code_page < 0) return false;
  Iconv cv("UTF-32LE", IconvName(code_page));
  return cv.ok();
}

const CodePage& CodePage::Get(int code_page) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<CodePage>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(code_page);
  if (it != cache.end()) return *it->second;
  if (!Supported(code_page))
    throw EngineError("Code page " + std::to_string(code_page) + " is not supported");
  auto [pos, inserted] =
      cache.emplace(code_page, std::unique_ptr<CodePage>(new CodePage(code_page)));
  return *pos->second;
}

CodePage::CodePage(int number) : number_(number), iconv_name_(IconvName(number)) {
  single_byte_ = !IsDoubleByte(number);
  const Win1250Map& w = Win1250();
  for (int b = 0; b < 256; ++b) {
    to_program_[b] = uint8_t(b);
    from_program_[b] = uint8_t(b);
  }
  if (number == kProgramCodePage) return;
  Iconv to_unicode("UTF-32LE", iconv_name_);
  std::unordered_map<char32_t, uint8_t> own;
  for (int b = 0; b < 256; ++b) {
    char c = char(b);
    std::vector<char> out;
    size_t used = 0;
    char32_t u = 0xFFFD;
    if (b < 0x80) {
      u = char32_t(b);  // every supported code page keeps ASCII (Roman-8 and DOS included)
    } else if (to_unicode.Convert(std::string_view(&c, 1), &out, &used) && out.size() == 4) {
      std::memcpy(&u, out.data(), 4);
    }
    to_program_[b] = b < 0x80 ? uint8_t(b) : w.FromUnicode(u);
    if (u != 0xFFFD) own.emplace(u, uint8_t(b));
  }
  for (int b = 0x80; b < 256; ++b) {
    auto it = own.find(w.to_unicode[b]);
    from_program_[b] = it == own.end() ? uint8_t(kSubstitute) : it->second;
  }
}

void CodePage::ToProgram(std::string_view text, std::string* out) const {
  if (number_ == kProgramCodePage) {
    out->append(text);
    return;
  }
  if (single_byte_) {
    const size_t start = out->size();
    out->resize(start + text.size());
    char* dst = out->data() + start;
    for (size_t i = 0; i < text.size(); ++i) dst[i] = char(to_program_[uint8_t(text[i])]);
    return;
  }
  // Double-byte code pages: convert runs through UTF-32, one substitute per bad sequence.
  Iconv cv("UTF-32LE", iconv_name_);
  const Win1250Map& w = Win1250();
  while (!text.empty()) {
    std::vector<char> u32;
    size_t used = 0;
    bool ok = cv.Convert(text, &u32, &used);
    for (size_t i = 0; i + 4 <= u32.size(); i += 4) {
      char32_t u;
      std::memcpy(&u, u32.data() + i, 4);
      out->push_back(char(w.FromUnicode(u)));
    }
    text.remove_prefix(used);
    if (!ok && !text.empty()) {
      out->push_back(kSubstitute);
      text.remove_prefix(1);
    }
  }
}

std::string CodePage::FromProgram(std::string_view text) const {
  if (number_ == kProgramCodePage) return std::string(text);
  std::string out;
  if (single_byte_) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) out[i] = char(from_program_[uint8_t(text[i])]);
    return out;
  }
  const Win1250Map& w = Win1250();
  Iconv cv(iconv_name_, "UTF-32LE");
  for (unsigned char c : text) {
    char32_t u = w.to_unicode[c];
    std::vector<char> bytes;
    size_t used = 0;
    if (u != 0xFFFD &&
        cv.Convert(std::string_view(reinterpret_cast<const char*>(&u), 4), &bytes, &used))
      out.append(bytes.data(), bytes.size());
    else
      out.push_back(kSubstitute);
  }
  return out;
}

void Win1250ToUtf8(std::string_view text, std::string* out) {
  const Win1250Map& w = Win1250();
  for (unsigned char c : text) {
    if (c < 0x80)
      out->push_back(char(c));
    else
      out->append(w.utf8[c]);
  }
}

std::string Win1250ToUtf8(std::string_view text) {
  std::string out;
  Win1250ToUtf8(text, &out);
  return out;
}

std::string Utf8ToWin1250(std::string_view text) {
  const Win1250Map& w = Win1250();
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = uint8_t(text[i]);
    char32_t u;
    size_t n;
    if (c < 0x80) {
      u = c;
      n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      u = c & 0x1F;
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      u = c & 0x0F;
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      u = c & 0x07;
      n = 4;
    } else {
      out.push_back(kSubstitute);
      ++i;
      continue;
    }
    if (i + n > text.size()) {
      out.push_back(kSubstitute);
      break;
    }
    bool valid = true;
    for (size_t k = 1; k < n; ++k) {
      unsigned char cc = uint8_t(text[i + k]);
      if ((cc & 0xC0) != 0x80) valid = false;
      u = (u << 6) | (cc & 0x3F);
    }
    if (!valid) {
      out.push_back(kSubstitute);
      ++i;
      continue;
    }
    out.push_back(u < 0x80 ? char(u) : char(w.FromUnicode(u)));
    i += n;
  }
  return out;
}

}  // namespace tablorix::paradox
