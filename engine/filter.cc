#include "engine/filter.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tablorix {

namespace {

bool EqNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Windows-1250 letters: ASCII letters plus the accented letters of the upper half.
bool IsNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '#' || (c >= 0xC0) || c == 0x8A ||
         c == 0x8C || c == 0x8D || c == 0x8E || c == 0x8F || c == 0x9A || c == 0x9C || c == 0x9D ||
         c == 0x9E || c == 0x9F || c == 0xA3 || c == 0xA5 || c == 0xAA || c == 0xAF || c == 0xB3 ||
         c == 0xB9 || c == 0xBA || c == 0xBC || c == 0xBE || c == 0xBF;
}

// Reads text by a format of letter runs (y M d H h m s) and literal characters. Spaces of the
// format are optional in the text; `pos` advances past what was read.
bool ReadByFormat(const std::string& t, size_t* pos, const std::string& fmt, int* y, int* mo,
                  int* d, int* h, int* mi, int* s) {
  size_t i = *pos;
  for (size_t f = 0; f < fmt.size();) {
    const char c = fmt[f];
    if (std::strchr("yMdHhms", c)) {
      size_t run = 0;
      while (f + run < fmt.size() && fmt[f + run] == c) ++run;
      f += run;
      const size_t max_digits = c == 'y' ? 4 : 2;
      size_t n = 0;
      int v = 0;
      while (i < t.size() && n < max_digits && std::isdigit(static_cast<unsigned char>(t[i]))) {
        v = v * 10 + (t[i] - '0');
        ++i;
        ++n;
      }
      if (n == 0) return false;
      if (c == 'y') {
        if (n <= 2) v += 2000;
        *y = v;
      } else if (c == 'M') {
        *mo = v;
      } else if (c == 'd') {
        *d = v;
      } else if (c == 'H' || c == 'h') {
        *h = v;
      } else if (c == 'm') {
        *mi = v;
      } else {
        *s = v;
      }
      continue;
    }
    if (c == ' ') {
      while (i < t.size() && t[i] == ' ') ++i;
    } else {
      if (i >= t.size() || t[i] != c) return false;
      ++i;
    }
    ++f;
  }
  *pos = i;
  return true;
}

bool ValidDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

bool ReadDate(const std::string& t, size_t* pos, const std::string& fmt, int32_t* day) {
  for (const std::string& f : {fmt, std::string("yyyy-MM-dd")}) {
    size_t p = *pos;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (ReadByFormat(t, &p, f, &y, &mo, &d, &h, &mi, &s) && ValidDate(y, mo, d)) {
      *pos = p;
      *day = DayNumberFromCivil(y, mo, d);
      return true;
    }
  }
  return false;
}

bool ReadTime(const std::string& t, size_t* pos, const std::string& fmt, int32_t* ms) {
  for (const std::string& f : {fmt, std::string("HH:mm:ss"), std::string("HH:mm")}) {
    size_t p = *pos;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!ReadByFormat(t, &p, f, &y, &mo, &d, &h, &mi, &s)) continue;
    int frac = 0;
    if (p < t.size() && t[p] == '.') {  // milliseconds
      size_t q = p + 1, n = 0;
      while (q < t.size() && n < 3 && std::isdigit(static_cast<unsigned char>(t[q]))) {
        frac = frac * 10 + (t[q] - '0');
        ++q;
        ++n;
      }
      if (n == 0) continue;
      while (n++ < 3) frac *= 10;
      p = q;
    }
    if (h > 23 || mi > 59 || s > 59) continue;
    *pos = p;
    *ms = ((h * 60 + mi) * 60 + s) * 1000 + frac;
    return true;
  }
  return false;
}

enum class Op { kEq, kNe, kLt, kGt, kLe, kGe };

}  // namespace

bool ParseDateInFormat(const std::string& text, const std::string& format, int32_t* day) {
  size_t p = 0;
  return ReadDate(text, &p, format, day) && p == text.size();
}

bool ParseTimeInFormat(const std::string& text, const std::string& format, int32_t* ms) {
  size_t p = 0;
  return ReadTime(text, &p, format, ms) && p == text.size();
}

struct Filter::Node {
  enum class Kind { kAnd, kOr, kNot, kBlank, kCompare, kPrefix } kind = Kind::kCompare;
  std::unique_ptr<Node> a, b;
  int field = 0;
  Op op = Op::kEq;
  bool negate = false;  // kBlank: "is not null"; kPrefix: <>
  Value literal;
};

namespace {

struct Token {
  enum class Kind { kEnd, kName, kQuotedName, kText, kNumber, kOp, kOpen, kClose } kind;
  std::string text;
  size_t pos = 0;  // 0-based
};

class Parser {
 public:
  Parser(const std::string& s, const std::vector<TFieldDef>& fields, const FormatSettings& fs)
      : s_(s), fields_(fields), fs_(fs) {}

  std::unique_ptr<Filter::Node> Run() {
    Advance();
    if (tok_.kind == Token::Kind::kEnd) Fail("the expression is empty");
    auto n = ParseOr();
    if (tok_.kind != Token::Kind::kEnd) Fail("unexpected '" + tok_.text + "'");
    return n;
  }

 private:
  using Node = Filter::Node;

  [[noreturn]] void Fail(const std::string& what, size_t pos = std::string::npos) const {
    if (pos == std::string::npos) pos = tok_.pos;
    throw EngineError("Filter expression: " + what + " at position " + std::to_string(pos + 1));
  }

  bool IsKeyword(const char* k) const {
    return tok_.kind == Token::Kind::kName && EqNoCase(tok_.text, k);
  }

  void Advance() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    tok_ = Token{Token::Kind::kEnd, "", i_};
    if (i_ >= s_.size()) return;
    const char c = s_[i_];
    const size_t start = i_;
    if (c == '(' || c == ')') {
      tok_.kind = c == '(' ? Token::Kind::kOpen : Token::Kind::kClose;
      tok_.text = std::string(1, c);
      ++i_;
    } else if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      std::string v;
      ++i_;
      for (;;) {
        if (i_ >= s_.size())
          Fail(c == '\'' ? "unterminated text" : "unterminated field name", start);
        if (s_[i_] == close) {
          if (close != ']' && i_ + 1 < s_.size() && s_[i_ + 1] == close) {
            v += close;
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        v += s_[i_++];
      }
      tok_.kind = c == '\'' ? Token::Kind::kText : Token::Kind::kQuotedName;
      tok_.text = v;
    } else if (c == '=' || c == '<' || c == '>') {
      std::string op(1, c);
      ++i_;
      if (i_ < s_.size() &&
          ((c == '<' && (s_[i_] == '>' || s_[i_] == '=')) || (c == '>' && s_[i_] == '=')))
        op += s_[i_++];
      tok_.kind = Token::Kind::kOp;
      tok_.text = op;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
      std::string v;
      if (c == '-' || c == '+') v += s_[i_++];
      bool point = false, digits = false;
      while (i_ < s_.size()) {
        const char d = s_[i_];
        if (std::isdigit(static_cast<unsigned char>(d))) {
          digits = true;
          v += d;
        } else if (!point && (d == '.' || d == fs_.decimal_separator)) {
          point = true;
          v += '.';
        } else {
          break;
        }
        ++i_;
      }
      if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E') && digits) {
        size_t j = i_ + 1;
        if (j < s_.size() && (s_[j] == '-' || s_[j] == '+')) ++j;
        if (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) {
          v += s_.substr(i_, j - i_);
          i_ = j;
          while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) v += s_[i_++];
        }
      }
      if (!digits) Fail("a number has no digits", start);
      tok_.kind = Token::Kind::kNumber;
      tok_.text = v;
    } else if (IsNameChar(static_cast<unsigned char>(c))) {
      while (i_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[i_]))) ++i_;
      tok_.kind = Token::Kind::kName;
      tok_.text = s_.substr(start, i_ - start);
    } else {
      Fail(std::string("unexpected character '") + c + "'", start);
    }
  }

  std::unique_ptr<Node> Join(Node::Kind k, std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
    auto n = std::make_unique<Node>();
    n->kind = k;
    n->a = std::move(a);
    n->b = std::move(b);
    return n;
  }

  std::unique_ptr<Node> ParseOr() {
    auto n = ParseAnd();
    while (IsKeyword("or")) {
      Advance();
      n = Join(Node::Kind::kOr, std::move(n), ParseAnd());
    }
    return n;
  }

  std::unique_ptr<Node> ParseAnd() {
    auto n = ParseUnary();
    while (IsKeyword("and")) {
      Advance();
      n = Join(Node::Kind::kAnd, std::move(n), ParseUnary());
    }
    return n;
  }

  std::unique_ptr<Node> ParseUnary() {
    if (IsKeyword("not")) {
      Advance();
      return Join(Node::Kind::kNot, ParseUnary(), nullptr);
    }
    if (tok_.kind == Token::Kind::kOpen) {
      Advance();
      auto n = ParseOr();
      if (tok_.kind != Token::Kind::kClose) Fail("')' expected");
      Advance();
      return n;
    }
    return ParseTest();
  }

  int FindField(const Token& t) const {
    for (size_t k = 0; k < fields_.size(); ++k)
      if (fields_[k].name == t.text) return int(k);
    for (size_t k = 0; k < fields_.size(); ++k)
      if (EqNoCase(fields_[k].name, t.text.c_str())) return int(k);
    // Names of the upper half of Windows-1250 (accented letters) ignoring case.
    auto fold = [](std::string s) {
      for (char& ch : s) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (u < 0x80)
          ch = char(std::toupper(u));
        else if (u >= 0xE0 && u != 0xF7 && u != 0xFF)
          ch = char(u - 0x20);
        else if (u == 0x9A || u == 0x9C || u == 0x9D || u == 0x9E || u == 0x9F)
          ch = char(u - 0x10);
        else if (u == 0xB3 || u == 0xB9 || u == 0xBE)
          ch = char(u == 0xB3 ? 0xA3 : u == 0xB9 ? 0xA5 : 0xBC);
        else if (u == 0xBF)
          ch = char(0xAF);
        else if (u == 0xBA)
          ch = char(0xAA);
      }
      return s;
    };
    const std::string want = fold(t.text);
    for (size_t k = 0; k < fields_.size(); ++k)
      if (fold(fields_[k].name) == want) return int(k);
    Fail("unknown field '" + t.text + "'", t.pos);
  }

  std::unique_ptr<Node> ParseTest() {
    if (tok_.kind != Token::Kind::kName && tok_.kind != Token::Kind::kQuotedName)
      Fail(tok_.kind == Token::Kind::kEnd ? "a condition is missing" : "field name expected");
    const Token name = tok_;
    const int field = FindField(name);
    Advance();
    auto n = std::make_unique<Node>();
    n->field = field;
    if (IsKeyword("is")) {
      Advance();
      n->kind = Node::Kind::kBlank;
      if (IsKeyword("not")) {
        n->negate = true;
        Advance();
      }
      if (!IsKeyword("null")) Fail("NULL expected");
      Advance();
      return n;
    }
    if (tok_.kind != Token::Kind::kOp) Fail("comparison operator expected");
    const std::string op = tok_.text;
    n->op = op == "="    ? Op::kEq
            : op == "<>" ? Op::kNe
            : op == "<"  ? Op::kLt
            : op == ">"  ? Op::kGt
            : op == "<=" ? Op::kLe
                         : Op::kGe;
    Advance();
    const Token lit = tok_;
    const bool equality = n->op == Op::kEq || n->op == Op::kNe;
    // A blank: '' or nothing at all (the text of a blank value).
    if ((lit.kind == Token::Kind::kText && lit.text.empty()) || lit.kind == Token::Kind::kEnd ||
        lit.kind == Token::Kind::kClose) {
      if (!equality) Fail("a blank can only be compared with = or <>", lit.pos);
      n->kind = Node::Kind::kBlank;
      n->negate = n->op == Op::kNe;
      if (lit.kind == Token::Kind::kText) Advance();
      return n;
    }
    if (IsKeyword("null")) {
      if (!equality) Fail("NULL can only be compared with = or <>", lit.pos);
      n->kind = Node::Kind::kBlank;
      n->negate = n->op == Op::kNe;
      Advance();
      return n;
    }
    n->literal = ReadLiteral(fields_[size_t(field)], lit);
    if (n->literal.kind() == Value::Kind::kText && lit.kind == Token::Kind::kText &&
        lit.text.back() == '*' && equality) {
      n->kind = Node::Kind::kPrefix;
      n->negate = n->op == Op::kNe;
      n->literal = Value::Text(lit.text.substr(0, lit.text.size() - 1));
    }
    Advance();
    return n;
  }

  Value ReadLiteral(const TFieldDef& f, const Token& lit) {
    const bool quoted = lit.kind == Token::Kind::kText;
    const bool bare_word = lit.kind == Token::Kind::kName;
    if (!quoted && !bare_word && lit.kind != Token::Kind::kNumber) Fail("value expected", lit.pos);
    auto bad = [&](const char* what) -> Value {
      Fail(std::string(what) + " expected for field " + f.name, lit.pos);
    };
    switch (f.type) {
      case TFieldType::ftString:
      case TFieldType::ftMemo:
      case TFieldType::ftFmtMemo:
        if (!quoted) return bad("quoted text");
        return Value::Text(lit.text);
      case TFieldType::ftSmallint:
      case TFieldType::ftInteger:
      case TFieldType::ftWord:
      case TFieldType::ftAutoInc:
      case TFieldType::ftFloat:
      case TFieldType::ftCurrency:
      case TFieldType::ftBCD: {
        std::string t = lit.text;
        if (quoted) {
          for (char& ch : t)
            if (ch == fs_.decimal_separator) ch = '.';
        } else if (bare_word) {
          return bad("a number");
        }
        char* end = nullptr;
        const double d = std::strtod(t.c_str(), &end);
        if (t.empty() || *end != 0 || !std::isfinite(d)) return bad("a number");
        return Value::Double(d);
      }
      case TFieldType::ftBoolean:
        if (EqNoCase(lit.text, "true")) return Value::Bool(true);
        if (EqNoCase(lit.text, "false")) return Value::Bool(false);
        return bad("true or false");
      case TFieldType::ftDate: {
        int32_t day;
        if (!quoted || !ParseDateInFormat(lit.text, fs_.short_date_format, &day))
          return bad("a quoted date");
        return Value::Date(day);
      }
      case TFieldType::ftTime: {
        int32_t ms;
        if (!quoted || !ParseTimeInFormat(lit.text, fs_.long_time_format, &ms))
          return bad("a quoted time");
        return Value::Time(ms);
      }
      case TFieldType::ftDateTime: {
        if (!quoted) return bad("a quoted date and time");
        const std::string& t = lit.text;
        size_t p = 0;
        int32_t day, ms = 0;
        if (!ReadDate(t, &p, fs_.short_date_format, &day)) return bad("a quoted date and time");
        if (p < t.size() && (t[p] == ' ' || t[p] == 'T')) {
          while (p < t.size() && (t[p] == ' ' || t[p] == 'T')) ++p;
          if (!ReadTime(t, &p, fs_.long_time_format, &ms)) return bad("a quoted date and time");
        }
        if (p != t.size()) return bad("a quoted date and time");
        return Value::DateTime(double(day) * double(kMsPerDay) + ms);
      }
      default:
        Fail("field " + f.name + " can only be tested for a blank", lit.pos);
    }
  }

  const std::string& s_;
  const std::vector<TFieldDef>& fields_;
  const FormatSettings& fs_;
  size_t i_ = 0;
  Token tok_{Token::Kind::kEnd, "", 0};
};

// -1, 0, 1; both values are of comparable kinds (the literal was read by the field's type).
int CompareValues(const Value& v, const Value& lit) {
  auto num = [](const Value& x) -> double {
    switch (x.kind()) {
      case Value::Kind::kDouble:
      case Value::Kind::kDateTime:
        return x.as_double();
      default:
        return double(x.as_int());
    }
  };
  if (lit.kind() == Value::Kind::kText) {
    const int c = v.as_string().compare(lit.as_string());
    return c < 0 ? -1 : c > 0;
  }
  if (lit.kind() == Value::Kind::kDateTime && v.kind() == Value::Kind::kDate) {
    const double a = double(v.as_int()) * double(kMsPerDay), b = lit.as_double();
    return a < b ? -1 : a > b;
  }
  const double a = num(v), b = num(lit);
  return a < b ? -1 : a > b;
}

bool Eval(const Filter::Node& n, const std::function<Value(int)>& get) {
  using K = Filter::Node::Kind;
  switch (n.kind) {
    case K::kAnd:
      return Eval(*n.a, get) && Eval(*n.b, get);
    case K::kOr:
      return Eval(*n.a, get) || Eval(*n.b, get);
    case K::kNot:
      return !Eval(*n.a, get);
    case K::kBlank: {
      const Value v = get(n.field);
      const bool blank =
          v.is_null() || ((v.kind() == Value::Kind::kText || v.kind() == Value::Kind::kBytes) &&
                          v.as_string().empty());
      return blank != n.negate;
    }
    case K::kPrefix: {
      const Value v = get(n.field);
      const std::string& p = n.literal.as_string();
      const bool match = !v.is_null() && v.as_string().compare(0, p.size(), p) == 0;
      return match != n.negate;
    }
    case K::kCompare: {
      const Value v = get(n.field);
      // A blank differs from every value and is neither less nor greater.
      if (v.is_null()) return n.op == Op::kNe;
      const int c = CompareValues(v, n.literal);
      switch (n.op) {
        case Op::kEq:
          return c == 0;
        case Op::kNe:
          return c != 0;
        case Op::kLt:
          return c < 0;
        case Op::kGt:
          return c > 0;
        case Op::kLe:
          return c <= 0;
        case Op::kGe:
          return c >= 0;
      }
    }
  }
  return false;
}

}  // namespace

Filter::~Filter() = default;

std::unique_ptr<Filter> Filter::Parse(const std::string& expression,
                                      const std::vector<TFieldDef>& fields,
                                      const FormatSettings& settings) {
  std::unique_ptr<Filter> f(new Filter());
  f->expression_ = expression;
  f->root_ = Parser(f->expression_, fields, settings).Run();
  return f;
}

bool Filter::Matches(const std::function<Value(int)>& value) const { return Eval(*root_, value); }

}  // namespace tablorix
