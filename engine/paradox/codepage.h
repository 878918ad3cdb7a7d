// Text of a table's code page translated to and from the program's code page, Windows-1250.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tablorix::paradox {

constexpr int kProgramCodePage = 1250;
constexpr int kRoman8CodePage = 0;  // headers store 0 for HP Roman-8
// What a character that Windows-1250 lacks becomes.
constexpr char kSubstitute = '?';

// Code page named by a language-driver ID ("hun852dc", "ANSIINTL" ...) or its sort-order byte;
// -1 when unknown.
int CodePageOfLanguageDriver(std::string_view id);
int CodePageOfSortOrderByte(uint8_t sort_order);

// Translates one code page into Windows-1250 and back. Instances are shared and immutable.
class CodePage {
 public:
  // Throws EngineError for a code page the system cannot convert.
  static const CodePage& Get(int code_page);
  static bool Supported(int code_page);

  int number() const { return number_; }
  bool is_program_code_page() const { return number_ == kProgramCodePage; }
  // Appends the Windows-1250 form of `text` (in this code page) to `out`.
  void ToProgram(std::string_view text, std::string* out) const;
  std::string ToProgram(std::string_view text) const {
    std::string out;
    ToProgram(text, &out);
    return out;
  }
  // Windows-1250 into this code page (characters it lacks become kSubstitute).
  std::string FromProgram(std::string_view text) const;

 private:
  explicit CodePage(int number);
  int number_;
  bool single_byte_ = true;
  std::string iconv_name_;
  uint8_t to_program_[256];
  uint8_t from_program_[256];
};

// Windows-1250 and UTF-8, for files and terminals that carry UTF-8.
void Win1250ToUtf8(std::string_view text, std::string* out);
std::string Win1250ToUtf8(std::string_view text);
std::string Utf8ToWin1250(std::string_view text);

}  // namespace tablorix::paradox
