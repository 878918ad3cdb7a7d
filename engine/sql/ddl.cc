// Reading and running the data definition statements of local SQL.
#include "engine/sql/ddl.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "engine/paradox/format.h"

namespace tablorix::sql {

struct DdlStatement {
  enum class Kind { kCreateTable, kCreateIndex, kDropTable, kDropIndex, kAlterTable };
  Kind kind = Kind::kCreateTable;
  std::string table;  // without ".DB"
  bool if_exists = false;
  // CREATE TABLE: the key fields first, in key order.
  std::vector<NewFieldDef> fields;
  int key_fields = 0;
  // CREATE INDEX, DROP INDEX.
  std::string index;
  bool primary = false;
  std::vector<std::string> index_fields;
  TIndexOptions options = 0;
  // ALTER TABLE, in the order written.
  struct Change {
    bool add = false;
    NewFieldDef field;  // only the name for a drop
  };
  std::vector<Change> changes;
};

namespace {

bool Same(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IdentStart(unsigned char c) { return c >= 0x80 || std::isalpha(c) || c == '_' || c == '$'; }
bool IdentPart(unsigned char c) { return IdentStart(c) || std::isdigit(c); }

enum class Tok { kWord, kQuoted, kNumber, kString, kPunct, kEnd };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;
  size_t pos = 0;
};

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) { Tokenize(); }

  // Reads the whole statement.
  std::shared_ptr<DdlStatement> Statement() {
    auto st = std::make_shared<DdlStatement>();
    if (Accept("CREATE")) {
      const bool unique = Accept("UNIQUE");
      if (Accept("INDEX")) {
        CreateIndex(*st, unique);
      } else if (unique) {
        Fail(Peek(), "Expected INDEX after CREATE UNIQUE");
      } else if (Accept("TABLE")) {
        CreateTable(*st);
      } else {
        Refuse("CREATE");
      }
    } else if (Accept("DROP")) {
      if (Accept("TABLE")) {
        DropTable(*st);
      } else if (Accept("INDEX")) {
        DropIndex(*st);
      } else {
        Refuse("DROP");
      }
    } else if (Accept("ALTER")) {
      if (!Accept("TABLE")) Fail(Peek(), "Expected TABLE after ALTER");
      AlterTable(*st);
    } else {
      Fail(Peek(), "Expected CREATE, DROP or ALTER");
    }
    End();
    return st;
  }

 private:
  [[noreturn]] void FailAt(size_t pos, const std::string& message) const {
    const auto line =
        1 + std::count(text_.begin(), text_.begin() + std::min(pos, text_.size()), '\n');
    throw EngineError(message + "\nLine Number: " + std::to_string(line));
  }
  [[noreturn]] void Fail(const Token& t, const std::string& message) const {
    FailAt(t.pos, message);
  }
  static std::string Shown(const Token& t) {
    return t.kind == Tok::kEnd ? std::string("end of statement") : "\"" + t.text + "\"";
  }
  [[noreturn]] void Unexpected(const Token& t, const std::string& wanted) const {
    Fail(t, "Syntax error: expected " + wanted + ", found " + Shown(t));
  }

  void Tokenize() {
    const std::string& s = text_;
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
      const unsigned char c = uint8_t(s[i]);
      if (std::isspace(c)) {
        ++i;
      } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
        while (i < n && s[i] != '\n') ++i;
      } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
        const size_t e = s.find("*/", i + 2);
        if (e == std::string::npos) FailAt(i, "Syntax error: unterminated comment");
        i = e + 2;
      } else if (c == '"' || c == '`' || c == '[' || c == '\'') {
        const char close = c == '[' ? ']' : char(c);
        Token t{c == '\'' ? Tok::kString : Tok::kQuoted, {}, i};
        size_t j = i + 1;
        for (;;) {
          if (j >= n) FailAt(i, "Syntax error: unterminated quoted text");
          if (s[j] == close) {
            if (close != ']' && j + 1 < n && s[j + 1] == close) {
              t.text += close;
              j += 2;
              continue;
            }
            ++j;
            break;
          }
          t.text += s[j++];
        }
        tokens_.push_back(std::move(t));
        i = j;
      } else if (std::isdigit(c)) {
        size_t j = i;
        while (j < n && std::isdigit(uint8_t(s[j]))) ++j;
        tokens_.push_back({Tok::kNumber, s.substr(i, j - i), i});
        i = j;
      } else if (IdentStart(c)) {
        size_t j = i;
        while (j < n && IdentPart(uint8_t(s[j]))) ++j;
        tokens_.push_back({Tok::kWord, s.substr(i, j - i), i});
        i = j;
      } else {
        tokens_.push_back({Tok::kPunct, std::string(1, char(c)), i});
        ++i;
      }
    }
    tokens_.push_back({Tok::kEnd, {}, n});
  }

  const Token& Peek(size_t ahead = 0) const {
    return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
  }
  const Token& Take() {
    const Token& t = Peek();
    if (at_ + 1 < tokens_.size()) ++at_;
    return t;
  }
  static bool IsWord(const Token& t, const char* word) {
    return t.kind == Tok::kWord && Same(t.text, word);
  }
  static bool IsPunct(const Token& t, char c) { return t.kind == Tok::kPunct && t.text[0] == c; }
  bool Accept(const char* word) {
    if (!IsWord(Peek(), word)) return false;
    Take();
    return true;
  }
  bool AcceptPunct(char c) {
    if (!IsPunct(Peek(), c)) return false;
    Take();
    return true;
  }
  void ExpectWord(const char* word) {
    if (!Accept(word)) Unexpected(Peek(), word);
  }
  void ExpectPunct(char c) {
    if (!AcceptPunct(c)) Unexpected(Peek(), std::string("\"") + c + "\"");
  }

  void End() {
    AcceptPunct(';');
    if (Peek().kind == Tok::kEnd) return;
    if (at_ > 0 && IsPunct(tokens_[at_ - 1], ';'))
      Fail(Peek(), "Only one statement can be run at a time");
    Unexpected(Peek(), "end of statement");
  }

  [[noreturn]] void Refuse(const char* verb) {
    const Token& t = Peek();
    if (t.kind == Tok::kWord)
      Fail(t, std::string(verb) + " " + t.text +
                  " is not supported: SQL can create, drop and alter only tables and indexes "
                  "of the open directory");
    Unexpected(t, "TABLE or INDEX");
  }

  // A column, index or table name: a bare word or a quoted name.
  std::string Name(const char* what) {
    const Token& t = Peek();
    if (t.kind != Tok::kWord && t.kind != Tok::kQuoted) Unexpected(t, what);
    if (t.kind == Tok::kQuoted && t.text.empty()) Fail(t, std::string("Empty ") + what);
    return Take().text;
  }

  // A table name as written, checked to stay in the open directory; ".DB" removed.
  std::string CheckedTable(std::string name, const Token& at) {
    const bool outside =
        name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.find(':') != std::string::npos || name.find("..") != std::string::npos;
    if (outside)
      Fail(at, "Table names cannot name a path: " + name +
                   " is outside the open directory (use the table's name alone)");
    if (name.size() > 3 && Same(name.substr(name.size() - 3), ".DB")) name.resize(name.size() - 3);
    if (name.empty() || name.find('.') != std::string::npos || name.front() == ' ' ||
        name.back() == ' ')
      Fail(at, "Invalid table name: " + name);
    return name;
  }

  // NAME, "NAME.DB" or NAME.DB.
  std::string TableName() {
    const Token& at = Peek();
    std::string name = Name("a table name");
    if (IsPunct(Peek(), '.') && IsWord(Peek(1), "DB")) {
      Take();
      Take();
      name += ".DB";
    }
    return CheckedTable(name, at);
  }

  int Number(const char* what, int lo, int hi) {
    const Token& t = Peek();
    if (t.kind != Tok::kNumber) Unexpected(t, what);
    const int v = t.text.size() > 6 ? 1000000 : std::stoi(t.text);
    if (v < lo || v > hi)
      Fail(t, std::string("Invalid size: ") + what + " must be " + std::to_string(lo) + ".." +
                  std::to_string(hi) + ", not " + t.text);
    Take();
    return v;
  }

  // The type of a column after its name.
  NewFieldDef Type(const std::string& column) {
    using namespace paradox;
    NewFieldDef f;
    f.name = column;
    const Token& t = Peek();
    if (t.kind != Tok::kWord) Unexpected(t, "a type");
    const std::string w = Take().text;
    auto is = [&](std::initializer_list<const char*> names) {
      for (const char* n : names)
        if (Same(w, n)) return true;
      return false;
    };
    if (is({"CHAR", "VARCHAR", "CHARACTER", "ALPHA"})) {
      f.type = kAlpha;
      if (!AcceptPunct('(')) Fail(t, w + " needs a size: " + w + "(n) with n 1..255");
      f.size = Number("the size of CHAR", 1, 255);
      ExpectPunct(')');
    } else if (is({"SMALLINT", "SHORT"})) {
      f.type = kShort;
    } else if (is({"INT", "INTEGER", "LONG"})) {
      f.type = kLong;
    } else if (is({"FLOAT", "DOUBLE", "REAL", "NUMBER"})) {
      f.type = kNumber;
      if (Same(w, "DOUBLE")) Accept("PRECISION");
    } else if (is({"MONEY", "CURRENCY"})) {
      f.type = kCurrency;
    } else if (is({"NUMERIC", "DECIMAL", "BCD"})) {
      f.type = kBcd;
      if (AcceptPunct('(')) {
        const int precision = Number("the precision of NUMERIC", 1, 32);
        if (AcceptPunct(',')) f.size = Number("the scale of NUMERIC", 0, precision);
        ExpectPunct(')');
      }
    } else if (is({"BOOLEAN", "BOOL", "LOGICAL"})) {
      f.type = kLogical;
    } else if (is({"DATE"})) {
      f.type = kDate;
    } else if (is({"TIME"})) {
      f.type = kTime;
    } else if (is({"TIMESTAMP", "DATETIME"})) {
      f.type = kTimestamp;
    } else if (is({"AUTOINC"})) {
      f.type = kAutoInc;
    } else if (is({"BYTES"})) {
      f.type = kBytes;
      if (!AcceptPunct('(')) Fail(t, "BYTES needs a size: BYTES(n) with n 1..255");
      f.size = Number("the size of BYTES", 1, 255);
      ExpectPunct(')');
    } else if (is({"BLOB"})) {
      f.type = kBlob;
      if (AcceptPunct('(')) {
        f.size = Number("the leader size of BLOB", 0, 240);
        if (AcceptPunct(',')) {
          static const uint8_t kSubtypes[] = {kMemo, kBlob, kFmtMemo, kOle, kGraphic};
          f.type = kSubtypes[Number("the subtype of BLOB (1 memo, 2 binary, 3 formatted memo, "
                                    "4 OLE, 5 graphic)",
                                    1, 5) -
                             1];
        }
        ExpectPunct(')');
      }
    } else {
      Fail(t, "Unknown type: " + w + " (column " + column + ")");
    }
    return f;
  }

  // Column names of the table being made, for duplicates.
  static bool Has(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
      if (Same(n, name)) return true;
    return false;
  }

  void CreateTable(DdlStatement& st) {
    st.kind = DdlStatement::Kind::kCreateTable;
    st.table = TableName();
    ExpectPunct('(');
    std::vector<NewFieldDef> columns;
    std::vector<std::string> names;
    std::vector<std::pair<std::string, Token>> key;  // names in key order
    bool have_key_clause = false;
    do {
      if (IsWord(Peek(), "PRIMARY") && IsWord(Peek(1), "KEY")) {
        const Token at = Take();
        Take();
        if (have_key_clause || !key.empty()) Fail(at, "The table has more than one PRIMARY KEY");
        have_key_clause = true;
        ExpectPunct('(');
        do {
          const Token t = Peek();
          key.push_back({Name("a column name"), t});
        } while (AcceptPunct(','));
        ExpectPunct(')');
        continue;
      }
      const Token at = Peek();
      const std::string name = Name("a column name");
      if (Has(names, name)) Fail(at, "Duplicate column name: " + name);
      columns.push_back(Type(name));
      names.push_back(name);
      if (IsWord(Peek(), "PRIMARY") && IsWord(Peek(1), "KEY")) {
        const Token k = Take();
        Take();
        if (have_key_clause) Fail(k, "The table has more than one PRIMARY KEY");
        key.push_back({name, at});
      }
    } while (AcceptPunct(','));
    ExpectPunct(')');
    if (columns.empty()) Unexpected(Peek(), "a column");
    // Paradox keeps the key fields first: they move to the front in key order.
    std::vector<bool> used(columns.size(), false);
    for (const auto& [name, at] : key) {
      size_t i = 0;
      while (i < names.size() && !Same(names[i], name)) ++i;
      if (i == names.size()) Fail(at, "PRIMARY KEY names no column of the table: " + name);
      if (used[i]) Fail(at, "PRIMARY KEY names a column twice: " + name);
      used[i] = true;
      st.fields.push_back(columns[i]);
    }
    for (size_t i = 0; i < columns.size(); ++i)
      if (!used[i]) st.fields.push_back(columns[i]);
    st.key_fields = int(key.size());
  }

  void CreateIndex(DdlStatement& st, bool unique) {
    st.kind = DdlStatement::Kind::kCreateIndex;
    const Token at = Peek();
    st.index = Name("an index name");
    if (Same(st.index, "PRIMARY")) Fail(at, "PRIMARY is the name of the primary index");
    ExpectWord("ON");
    st.table = TableName();
    ExpectPunct('(');
    int descending = 0, nocase = 0;
    do {
      st.index_fields.push_back(Name("a column name"));
      if (Accept("COLLATE")) {
        const Token t = Peek();
        if (!Same(Name("a collation"), "NOCASE"))
          Fail(t, "Unknown collation: " + t.text + " (an index may use COLLATE NOCASE)");
        ++nocase;
      }
      if (Accept("DESC"))
        ++descending;
      else
        Accept("ASC");
    } while (AcceptPunct(','));
    ExpectPunct(')');
    const int n = int(st.index_fields.size());
    if (descending != 0 && descending != n)
      Fail(at, "An index is either ascending or descending in all its columns");
    if (nocase != 0 && nocase != n) Fail(at, "An index ignores case in all its columns or in none");
    if (unique) st.options |= ixUnique;
    if (descending) st.options |= ixDescending;
    if (nocase) st.options |= ixCaseInsensitive;
  }

  void DropTable(DdlStatement& st) {
    st.kind = DdlStatement::Kind::kDropTable;
    if (IsWord(Peek(), "IF") && IsWord(Peek(1), "EXISTS")) {
      Take();
      Take();
      st.if_exists = true;
    }
    st.table = TableName();
  }

  // DROP INDEX table.index, table.PRIMARY, "table.DB".index, table.DB.index or index ON table.
  void DropIndex(DdlStatement& st) {
    st.kind = DdlStatement::Kind::kDropIndex;
    const Token at = Peek();
    std::vector<std::string> parts{Name("an index name")};
    while (AcceptPunct('.')) parts.push_back(Name("a name"));
    if (parts.size() == 1) {
      st.index = parts[0];
      ExpectWord("ON");
      st.table = TableName();
    } else if (parts.size() == 2 || (parts.size() == 3 && Same(parts[1], "DB"))) {
      st.table = CheckedTable(parts.size() == 3 ? parts[0] + ".DB" : parts[0], at);
      st.index = parts.back();
    } else {
      Fail(at, "Syntax error: expected table.index or index ON table");
    }
    st.primary = Same(st.index, "PRIMARY");
  }

  void AlterTable(DdlStatement& st) {
    st.kind = DdlStatement::Kind::kAlterTable;
    st.table = TableName();
    std::vector<std::string> added;
    do {
      DdlStatement::Change change;
      if (Accept("ADD")) {
        change.add = true;
        Accept("COLUMN");
        const Token at = Peek();
        const std::string name = Name("a column name");
        if (Has(added, name)) Fail(at, "Duplicate column name: " + name);
        added.push_back(name);
        change.field = Type(name);
      } else if (Accept("DROP")) {
        Accept("COLUMN");
        change.field.name = Name("a column name");
      } else {
        Unexpected(Peek(), "ADD or DROP");
      }
      st.changes.push_back(std::move(change));
    } while (AcceptPunct(','));
  }

  const std::string& text_;
  std::vector<Token> tokens_;
  size_t at_ = 0;
};

// The table's name as the directory spells it; empty when there is none.
std::string StoredTable(Session& s, const std::string& name) {
  for (const std::string& t : s.DbListTables())
    if (Same(t, name)) return t;
  return {};
}

std::string ExistingTable(Session& s, const std::string& name) {
  std::string stored = StoredTable(s, name);
  if (stored.empty()) throw EngineError("Table does not exist: " + name);
  return stored;
}

std::vector<std::string> FieldNames(Session& s, const std::string& table) {
  return s.DbListFields(table);
}

std::string FieldOf(const std::vector<std::string>& fields, const std::string& name,
                    const std::string& table) {
  for (const std::string& f : fields)
    if (Same(f, name)) return f;
  throw EngineError("Field not found: " + name + " in " + table);
}

}  // namespace

bool IsDdl(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (std::isspace(uint8_t(text[i]))) {
      ++i;
    } else if (text.compare(i, 2, "--") == 0) {
      while (i < n && text[i] != '\n') ++i;
    } else if (text.compare(i, 2, "/*") == 0) {
      const size_t e = text.find("*/", i + 2);
      if (e == std::string::npos) return false;
      i = e + 2;
    } else {
      break;
    }
  }
  size_t j = i;
  while (j < n && IdentPart(uint8_t(text[j]))) ++j;
  const std::string word = text.substr(i, j - i);
  return Same(word, "CREATE") || Same(word, "DROP") || Same(word, "ALTER");
}

std::shared_ptr<const DdlStatement> ParseDdl(const std::string& text) {
  return Parser(text).Statement();
}

void RunDdl(const DdlStatement& st, Session& s) {
  using Kind = DdlStatement::Kind;
  switch (st.kind) {
    case Kind::kCreateTable:
      if (!StoredTable(s, st.table).empty()) throw EngineError("Table already exists: " + st.table);
      s.DbCreateTable(st.table, st.fields, st.key_fields);
      return;
    case Kind::kDropTable: {
      const std::string stored = StoredTable(s, st.table);
      if (stored.empty() && st.if_exists) return;
      s.DbDeleteTable(ExistingTable(s, st.table));
      return;
    }
    case Kind::kCreateIndex: {
      const std::string table = ExistingTable(s, st.table);
      const auto fields = FieldNames(s, table);
      std::string joined;
      for (const std::string& f : st.index_fields)
        joined += (joined.empty() ? "" : ";") + FieldOf(fields, f, table);
      for (const std::string& ix : s.DbListIndexes(table))
        if (!ix.empty() && Same(ix, st.index))
          throw EngineError("Index already exists: " + st.index + " in " + table);
      s.DbAddIndex(table, st.index, joined, st.options);
      return;
    }
    case Kind::kDropIndex: {
      const std::string table = ExistingTable(s, st.table);
      if (st.primary) {
        s.DbDeleteIndex(table, "");
        return;
      }
      for (const std::string& ix : s.DbListIndexes(table))
        if (!ix.empty() && Same(ix, st.index)) {
          s.DbDeleteIndex(table, ix);
          return;
        }
      throw EngineError("Index not found: " + st.index + " in " + table);
    }
    case Kind::kAlterTable: {
      const std::string table = ExistingTable(s, st.table);
      // Every change is checked against the fields it meets before the first is made.
      std::vector<std::string> fields = FieldNames(s, table);
      for (const auto& c : st.changes) {
        auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const std::string& f) { return Same(f, c.field.name); });
        if (c.add) {
          if (it != fields.end()) throw EngineError("Duplicate field name: " + c.field.name);
          fields.push_back(c.field.name);
        } else {
          if (it == fields.end())
            throw EngineError("Field not found: " + c.field.name + " in " + table);
          fields.erase(it);
          if (fields.empty()) throw EngineError("A table needs at least one field");
        }
      }
      for (const auto& c : st.changes) {
        if (c.add)
          s.DbAddField(table, c.field);
        else
          s.DbDropField(table, c.field.name);
      }
      return;
    }
  }
}

}  // namespace tablorix::sql
