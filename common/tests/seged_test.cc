// The text and number routines, over Windows-1250 text (written here in UTF-8 and converted).
#include "common/core/Seged.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/paradox/codepage.h"

namespace tablorix::common {
namespace {

std::string W(const char* utf8) { return paradox::Utf8ToWin1250(utf8); }

TEST(SegedCase, HungarianAndCentralEuropeanLettersChangeCase) {
  const std::string lower = W("árvíztűrő tükörfúrógép šťžźśłążľ");
  const std::string upper = W("ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP ŠŤŽŹŚŁĄŻĽ");
  EXPECT_EQ(UpperCase(lower), upper);
  EXPECT_EQ(LowerCase(upper), lower);
  // Signs and letters without a pair in the code page stay.
  const std::string unpaired = W("×÷ßµ§ 1-2_");
  EXPECT_EQ(UpperCase(unpaired), unpaired);
  EXPECT_EQ(LowerCase(unpaired), unpaired);
  EXPECT_TRUE(SameText(W("Őrség"), W("őRSÉG")));
  EXPECT_FALSE(SameText(W("Őrség"), W("Orség")));
  EXPECT_FALSE(SameText("abc", "abcd"));
}

TEST(SegedCase, MessageCaptionsAreWindows1250) {
  EXPECT_EQ(kErrorCaption, W("Hiba"));
  EXPECT_EQ(kInfoCaption, W("Üzenet"));
}

TEST(SegedValues, ValueAsTextAndDefault) {
  EXPECT_EQ(VarToStrDef(Value::Null(), "n/a"), "n/a");
  EXPECT_EQ(VarToStrDef(Value::Text(""), "n/a"), "");  // empty is not null
  EXPECT_EQ(VarToStrDef(Value::Int(-42), ""), "-42");
  EXPECT_EQ(VarToStrDef(Value::Double(2.5), ""), "2.5");
  EXPECT_EQ(VarToStrDef(Value::Bool(true), ""), "True");
  EXPECT_EQ(ReplaceCharInVar(Value::Text("a.b.c"), '.', ','), "a,b,c");
  EXPECT_EQ(ReplaceCharInVar(Value::Double(12.5), '.', ','), "12,5");
  EXPECT_EQ(ReplaceCharInVar(Value::Null(), '.', ','), "");
}

TEST(SegedText, ExtractToken) {
  struct Case {
    const char* delimiters;
    const char* text;
    int n;
    const char* want;
  } cases[] = {
      {";", "A;;C", 1, "A"}, {";", "A;;C", 2, ""},
      {";", "A;;C", 3, "C"}, {";", "A;;C", 4, ""},
      {";", "A;;C", 0, ""},  {",;", "a,b;c", 3, "c"},
      {";", "", 1, ""},      {";", ";x", 1, ""},
      {";", ";x", 2, "x"},   {";", "no delimiter", 1, "no delimiter"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExtractToken(c.delimiters, c.text, c.n), c.want) << c.text << " #" << c.n;
}

TEST(SegedText, EscapeSqlTextDoublesBackslashesBeforeWritingLineBreaks) {
  EXPECT_EQ(EscapeSqlText(Value::Text("\\\r\n")), "\\\\\\r\\n");
  EXPECT_EQ(EscapeSqlText(Value::Text("C:\\dir\nnext")), "C:\\\\dir\\nnext");
  EXPECT_EQ(EscapeSqlText(Value::Text("it's")), "it's");  // quoting is the caller's
  EXPECT_EQ(EscapeSqlText(Value::Null()), "");
  EXPECT_EQ(EscapeSqlText(Value::Int(7)), "7");
  EXPECT_EQ(EscapeSqlText(std::string_view("a\rb")), "a\\rb");
}

TEST(SegedText, FoldToIdentifier) {
  struct Case {
    std::string in, want;
  } cases[] = {
      {W("öt 'x'"), "OT  X "},
      {W("\"árvíztűrő tükörfúrógép\""), " ARVIZTURO TUKORFUROGEP "},
      {"abc_1 = ?", "ABC_1 = ?"},
      {W("čšß"), "###"},      // letters outside the Hungarian set, upper-cased or not
      {"\x80\x81", "\x80#"},  // code 128 stays, 129 and up become #
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FoldToIdentifier(c.in), c.want) << c.in;
  // What the input dialog's edit box shows: folded unless the caller keeps the case.
  EXPECT_EQ(InputBoxText("='abc'", false), "= ABC ");
  EXPECT_EQ(InputBoxText("='abc'", true), "='abc'");
}

TEST(SegedText, JoinLines) {
  struct Case {
    const char* text;
    const char* separator;
    const char* want;
  } cases[] = {
      {"", "|", ""},
      {"a\r\nb", "|", "a|b"},
      {"a\r\nb\r\n", "|", "a|b"},  // a final line break opens no empty line
      {"a\nb\rc", "|", "a|b|c"},
      {"a\r\n\r\nb", "|", "a||b"},
      {"a\r\nb", ", ", "a, b,"},  // only the last character goes
      {"one", "", "on"},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinLines(c.text, c.separator), c.want) << c.text;
}

TEST(SegedNumbers, CharacterFilters) {
  EXPECT_EQ(KeepNumberChars(W("Ár: -1.234,50 Ft")), "-1.234,50");
  EXPECT_EQ(DigitsOnly(W("Ár: -1.234,50 Ft")), "1.234,50");
  EXPECT_EQ(KeepNumberChars(""), "");
}

TEST(SegedNumbers, StrToFloatLooseReadsEitherSeparatorUnderEitherLocale) {
  struct Case {
    const char* text;
    double want;
  } cases[] = {
      {"12,5", 12.5}, {"12.5", 12.5}, {" 12.5 ", 12.5}, {"-3", -3},     {"7 Ft", 7},
      {"5,", 5},      {",5", 0.5},    {"1.234,5", 0},   {"1,234.5", 0}, {"1-2", 0},
      {"--5", 0},     {"-", 0},       {"", 0},          {"   ", 0},     {"abc", 0},
  };
  for (char separator : {',', '.'}) {
    FormatSettings settings;
    settings.decimal_separator = separator;
    for (const Case& c : cases)
      EXPECT_DOUBLE_EQ(StrToFloatLoose(c.text, settings), c.want)
          << "'" << c.text << "' with separator " << separator;
  }
}

TEST(SegedNumbers, StrToIntLoose) {
  struct Case {
    const char* text;
    int want;
  } cases[] = {
      {"-5", 5},  // the sign is dropped
      {"1,5", 0},
      {"12 db", 12},
      {" 0042 ", 42},
      {"", 0},
      {"abc", 0},
      {"1.000", 0},
      {"2147483647", 2147483647},
      {"2147483648", 0},  // beyond int
  };
  for (const Case& c : cases) EXPECT_EQ(StrToIntLoose(c.text), c.want) << c.text;
}

TEST(SegedText, ReplaceTextAllIgnoresLetterCase) {
  struct Case {
    std::string text, pattern, replacement, want;
  } cases[] = {
      {"Select * FROM x from y", "from", "IN", "Select * IN x IN y"},
      {W("ÁRVÍZ árvíz Árvíz"), W("árvíz"), "x", "x x x"},
      {"aa", "a", "aa", "aaaa"},  // replacements are not searched again
      {"abc", "", "x", "abc"},
      {"abc", "abcd", "x", "abc"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReplaceTextAll(c.text, c.pattern, c.replacement), c.want) << c.text;
}

}  // namespace
}  // namespace tablorix::common
