// CREATE TABLE scripts from a table's field and index definitions.
#include "scripts/core/create_table_script.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "common/core/Seged.h"

namespace tablorix::scripts {

namespace {

// An index's field list as the statements write it: "A;B" becomes "a,b"; in the MySQL
// flavour each name as MySqlName gives it.
std::string IndexFieldList(const std::string& fields, SqlFlavour flavour) {
  std::string list = fields;
  std::replace(list.begin(), list.end(), ';', ',');
  list = common::LowerCase(list);
  if (flavour != SqlFlavour::kMySql) return list;
  std::string out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (!out.empty()) out += ',';
    out += MySqlName(list.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// Words MySQL and MariaDB reserve: as names they must be quoted.
const std::set<std::string>& MySqlReserved() {
  static const std::set<std::string> words = [] {
    static const char* const kWords[] = {"ACCESSIBLE",
                                         "ADD",
                                         "ALL",
                                         "ALTER",
                                         "ANALYZE",
                                         "AND",
                                         "AS",
                                         "ASC",
                                         "ASENSITIVE",
                                         "BEFORE",
                                         "BETWEEN",
                                         "BIGINT",
                                         "BINARY",
                                         "BLOB",
                                         "BOTH",
                                         "BY",
                                         "CALL",
                                         "CASCADE",
                                         "CASE",
                                         "CHANGE",
                                         "CHAR",
                                         "CHARACTER",
                                         "CHECK",
                                         "COLLATE",
                                         "COLUMN",
                                         "CONDITION",
                                         "CONSTRAINT",
                                         "CONTINUE",
                                         "CONVERT",
                                         "CREATE",
                                         "CROSS",
                                         "CUBE",
                                         "CUME_DIST",
                                         "CURRENT_DATE",
                                         "CURRENT_ROLE",
                                         "CURRENT_TIME",
                                         "CURRENT_TIMESTAMP",
                                         "CURRENT_USER",
                                         "CURSOR",
                                         "DATABASE",
                                         "DATABASES",
                                         "DAY_HOUR",
                                         "DAY_MICROSECOND",
                                         "DAY_MINUTE",
                                         "DAY_SECOND",
                                         "DEC",
                                         "DECIMAL",
                                         "DECLARE",
                                         "DEFAULT",
                                         "DELAYED",
                                         "DELETE",
                                         "DENSE_RANK",
                                         "DESC",
                                         "DESCRIBE",
                                         "DETERMINISTIC",
                                         "DISTINCT",
                                         "DISTINCTROW",
                                         "DIV",
                                         "DO_DOMAIN_IDS",
                                         "DOUBLE",
                                         "DROP",
                                         "DUAL",
                                         "EACH",
                                         "ELSE",
                                         "ELSEIF",
                                         "EMPTY",
                                         "ENCLOSED",
                                         "ESCAPED",
                                         "EXCEPT",
                                         "EXISTS",
                                         "EXIT",
                                         "EXPLAIN",
                                         "FALSE",
                                         "FETCH",
                                         "FIRST_VALUE",
                                         "FLOAT",
                                         "FLOAT4",
                                         "FLOAT8",
                                         "FOR",
                                         "FORCE",
                                         "FOREIGN",
                                         "FROM",
                                         "FULLTEXT",
                                         "FUNCTION",
                                         "GENERAL",
                                         "GENERATED",
                                         "GET",
                                         "GRANT",
                                         "GROUP",
                                         "GROUPING",
                                         "GROUPS",
                                         "HAVING",
                                         "HIGH_PRIORITY",
                                         "HOUR_MICROSECOND",
                                         "HOUR_MINUTE",
                                         "HOUR_SECOND",
                                         "IF",
                                         "IGNORE",
                                         "IGNORE_DOMAIN_IDS",
                                         "IGNORE_SERVER_IDS",
                                         "IN",
                                         "INDEX",
                                         "INFILE",
                                         "INNER",
                                         "INOUT",
                                         "INSENSITIVE",
                                         "INSERT",
                                         "INT",
                                         "INT1",
                                         "INT2",
                                         "INT3",
                                         "INT4",
                                         "INT8",
                                         "INTEGER",
                                         "INTERSECT",
                                         "INTERVAL",
                                         "INTO",
                                         "IO_AFTER_GTIDS",
                                         "IO_BEFORE_GTIDS",
                                         "IS",
                                         "ITERATE",
                                         "JOIN",
                                         "JSON_TABLE",
                                         "KEY",
                                         "KEYS",
                                         "KILL",
                                         "LAG",
                                         "LAST_VALUE",
                                         "LATERAL",
                                         "LEAD",
                                         "LEADING",
                                         "LEAVE",
                                         "LEFT",
                                         "LIKE",
                                         "LIMIT",
                                         "LINEAR",
                                         "LINES",
                                         "LOAD",
                                         "LOCALTIME",
                                         "LOCALTIMESTAMP",
                                         "LOCK",
                                         "LONG",
                                         "LONGBLOB",
                                         "LONGTEXT",
                                         "LOOP",
                                         "LOW_PRIORITY",
                                         "MASTER_BIND",
                                         "MASTER_HEARTBEAT_PERIOD",
                                         "MASTER_SSL_VERIFY_SERVER_CERT",
                                         "MATCH",
                                         "MAXVALUE",
                                         "MEDIUMBLOB",
                                         "MEDIUMINT",
                                         "MEDIUMTEXT",
                                         "MIDDLEINT",
                                         "MINUTE_MICROSECOND",
                                         "MINUTE_SECOND",
                                         "MOD",
                                         "MODIFIES",
                                         "NATURAL",
                                         "NOT",
                                         "NO_WRITE_TO_BINLOG",
                                         "NTH_VALUE",
                                         "NTILE",
                                         "NULL",
                                         "NUMERIC",
                                         "OF",
                                         "OFFSET",
                                         "ON",
                                         "OPTIMIZE",
                                         "OPTIMIZER_COSTS",
                                         "OPTION",
                                         "OPTIONALLY",
                                         "OR",
                                         "ORDER",
                                         "OUT",
                                         "OUTER",
                                         "OUTFILE",
                                         "OVER",
                                         "PAGE_CHECKSUM",
                                         "PARSE_VCOL_EXPR",
                                         "PARTITION",
                                         "PERCENT_RANK",
                                         "POSITION",
                                         "PRECISION",
                                         "PRIMARY",
                                         "PROCEDURE",
                                         "PURGE",
                                         "RANGE",
                                         "RANK",
                                         "READ",
                                         "READS",
                                         "READ_WRITE",
                                         "REAL",
                                         "RECURSIVE",
                                         "REF_SYSTEM_ID",
                                         "REFERENCES",
                                         "REGEXP",
                                         "RELEASE",
                                         "RENAME",
                                         "REPEAT",
                                         "REPLACE",
                                         "REQUIRE",
                                         "RESIGNAL",
                                         "RESTRICT",
                                         "RETURN",
                                         "RETURNING",
                                         "REVOKE",
                                         "RIGHT",
                                         "RLIKE",
                                         "ROW",
                                         "ROW_NUMBER",
                                         "ROWS",
                                         "SCHEMA",
                                         "SCHEMAS",
                                         "SECOND_MICROSECOND",
                                         "SELECT",
                                         "SENSITIVE",
                                         "SEPARATOR",
                                         "SET",
                                         "SHOW",
                                         "SIGNAL",
                                         "SLOW",
                                         "SMALLINT",
                                         "SPATIAL",
                                         "SPECIFIC",
                                         "SQL",
                                         "SQL_BIG_RESULT",
                                         "SQL_CALC_FOUND_ROWS",
                                         "SQL_SMALL_RESULT",
                                         "SQLEXCEPTION",
                                         "SQLSTATE",
                                         "SQLWARNING",
                                         "SSL",
                                         "STARTING",
                                         "STATS_AUTO_RECALC",
                                         "STATS_PERSISTENT",
                                         "STATS_SAMPLE_PAGES",
                                         "STORED",
                                         "STRAIGHT_JOIN",
                                         "SYSTEM",
                                         "TABLE",
                                         "TERMINATED",
                                         "THEN",
                                         "TINYBLOB",
                                         "TINYINT",
                                         "TINYTEXT",
                                         "TO",
                                         "TRAILING",
                                         "TRIGGER",
                                         "TRUE",
                                         "UNDO",
                                         "UNION",
                                         "UNIQUE",
                                         "UNLOCK",
                                         "UNSIGNED",
                                         "UPDATE",
                                         "USAGE",
                                         "USE",
                                         "USING",
                                         "UTC_DATE",
                                         "UTC_TIME",
                                         "UTC_TIMESTAMP",
                                         "VALUES",
                                         "VARBINARY",
                                         "VARCHAR",
                                         "VARCHARACTER",
                                         "VARYING",
                                         "VIRTUAL",
                                         "WHEN",
                                         "WHERE",
                                         "WHILE",
                                         "WINDOW",
                                         "WITH",
                                         "WRITE",
                                         "XOR",
                                         "YEAR_MONTH",
                                         "ZEROFILL"};
    return std::set<std::string>(std::begin(kWords), std::end(kWords));
  }();
  return words;
}

}  // namespace

std::string MySqlName(const std::string& name) {
  bool bare = !name.empty();
  bool digits_only = true;
  std::string upper;
  for (char ch : name) {
    const unsigned char c = uint8_t(ch);
    if (!(std::isalnum(c) || c == '_' || c == '$' || c >= 0x80)) bare = false;
    if (!std::isdigit(c)) digits_only = false;
    upper += char(std::toupper(c));
  }
  if (bare && !digits_only && !MySqlReserved().count(upper)) return name;
  std::string q = "`";
  for (char ch : name) {
    if (ch == '`') q += '`';
    q += ch;
  }
  return q + "`";
}

std::string SqlTypeText(TFieldType type, int size, SqlFlavour flavour) {
  const bool my = flavour == SqlFlavour::kMySql;
  const std::string n = std::to_string(size);
  switch (type) {
    case TFieldType::ftString:
      return (my ? " VARCHAR(" : " CHAR(") + n + ")";
    case TFieldType::ftSmallint:
      return " SMALLINT";
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
      return " INT";
    case TFieldType::ftBoolean:
      return " BOOLEAN";
    case TFieldType::ftFloat:
    case TFieldType::ftBCD:
      // MySQL's FLOAT is single precision: the values would not come back.
      return my ? " DOUBLE" : " FLOAT";
    case TFieldType::ftCurrency:
      return my ? " DECIMAL(19,4)" : " MONEY";
    case TFieldType::ftDate:
      return " DATE";
    case TFieldType::ftTime:
      return " TIME";
    case TFieldType::ftDateTime:
      return my ? " DATETIME" : " TIMESTAMP";
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes:
      return (my ? " VARBINARY(" : " BYTES(") + n + ")";
    case TFieldType::ftAutoInc:
      return my ? " INT" : " AUTOINC";
    case TFieldType::ftBlob:
      return my ? " LONGBLOB" : " BLOB";
    case TFieldType::ftMemo:
      return my ? " LONGTEXT" : " BLOB(0,1)";
    case TFieldType::ftFmtMemo:
      return my ? " LONGTEXT" : " BLOB(0,3)";
    case TFieldType::ftGraphic:
      return my ? " LONGBLOB" : " BLOB(0,5)";
    case TFieldType::ftParadoxOle:
      return my ? " LONGBLOB" : " BLOB(0,4)";
    case TFieldType::ftTypedBinary:
    case TFieldType::ftUnknown:
      break;
  }
  return my ? " LONGBLOB" : " BLOB(0,2)";
}

std::string CreateTableScript(Session& session, const std::string& table,
                              const std::vector<std::string>& fields, SqlFlavour flavour) {
  auto cursor = session.DbOpenTable(table);  // closed when it goes out of scope, also on errors
  const auto& defs = cursor->DbFieldDefs();
  const bool my = flavour == SqlFlavour::kMySql;
  auto name = [&](const std::string& n) { return my ? MySqlName(n) : n; };
  std::string s;
  AddLine(&s, "CREATE TABLE " + name(common::LowerCase(table)) + "(");
  for (size_t i = 0; i < fields.size(); ++i) {
    const TFieldDef& f = defs[size_t(cursor->FieldIndex(fields[i]))];
    std::string line =
        " " + name(common::LowerCase(fields[i])) + SqlTypeText(f.type, f.size, flavour);
    if (i + 1 < fields.size()) line += ",";
    AddLine(&s, line);
  }
  const std::vector<TIndexDef> indexes = cursor->DbIndexDefs();
  if (!indexes.empty() && (indexes[0].options & ixPrimary)) {
    s.insert(s.size() - 2, ",");  // after the last field line, before its CR LF
    AddLine(&s, "PRIMARY KEY (" + IndexFieldList(indexes[0].fields, flavour) + "));");
  } else {
    AddLine(&s, ");");
  }
  // MySQL compares table names by letter case on Linux: the name stays the one CREATE TABLE gave.
  const std::string on_table = my ? name(common::LowerCase(table)) : table;
  for (const TIndexDef& ix : indexes) {
    if (ix.name.empty()) continue;
    AddLine(&s, "CREATE INDEX " + name(ix.name) + " ON " + on_table + " (" +
                    IndexFieldList(ix.fields, flavour) + ");");
  }
  session.DbCloseTable(*cursor);
  return s;
}

std::string CreateTableScript(Session& session, const std::string& table, SqlFlavour flavour) {
  return CreateTableScript(session, table, session.DbListFields(table), flavour);
}

}  // namespace tablorix::scripts
