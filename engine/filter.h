// The cursor filter language: comparisons of a field with a literal joined by and/or/not.
//
//   expr    := or
//   or      := and { OR and }          and := unary { AND unary }
//   unary   := NOT unary | '(' expr ')' | test
//   test    := FIELD op literal | FIELD IS [NOT] NULL
//   op      := = <> < > <= >=
//   FIELD   := name | [name] | "name"        (names compared ignoring case)
//   literal := 'text' ('' inside) | number (point, or the decimal separator) | true | false
//
// Literals are read by the field's type: dates and times quoted in the settings' formats or as
// ISO 'YYYY-MM-DD' / 'HH:MM:SS'. `FIELD = ''` tests for a blank (null) value, `FIELD <> ''` for
// a value. A text literal ending in '*' with = (or <>) tests for a prefix. Text compares as
// Windows-1250 bytes, letter case included.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/format_settings.h"
#include "engine/types.h"
#include "engine/value.h"

namespace tablorix {

class Filter {
 public:
  ~Filter();
  // Throws EngineError naming the fault and its 1-based character position.
  static std::unique_ptr<Filter> Parse(const std::string& expression,
                                       const std::vector<TFieldDef>& fields,
                                       const FormatSettings& settings);
  // `value(field)` gives the current row's value of a field (as Cursor::AsVariant does).
  bool Matches(const std::function<Value(int)>& value) const;
  const std::string& expression() const { return expression_; }

  struct Node;

 private:
  Filter() = default;
  std::string expression_;
  std::unique_ptr<Node> root_;
};

// Reads a date or time in a format of FormatSettings; false when the text does not fit.
bool ParseDateInFormat(const std::string& text, const std::string& format, int32_t* day);
bool ParseTimeInFormat(const std::string& text, const std::string& format, int32_t* ms);

}  // namespace tablorix
