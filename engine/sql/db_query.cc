// The engine's query operations by their interface names.
#include "engine/sql/db_query.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tablorix {
namespace {

std::string Trim(const std::string& t) {
  size_t b = 0, e = t.size();
  while (b < e && uint8_t(t[b]) <= ' ') ++b;
  while (e > b && uint8_t(t[e - 1]) <= ' ') --e;
  return t.substr(b, e - b);
}

[[noreturn]] void NotA(const std::string& text, const char* what, const std::string& name) {
  throw EngineError("'" + text + "' is not a valid " + what + " value for the parameter " + name);
}

}  // namespace

std::unique_ptr<SqlStatement> DbPrepareQuery(SqlSession& session, const std::string& sql) {
  return session.Prepare(sql);
}

void DbSetParam(SqlStatement& statement, const std::string& name, TParamType, TFieldType type,
                const std::string& text) {
  const std::string t = Trim(text);
  switch (type) {
    case TFieldType::ftInteger:
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc: {
      errno = 0;
      char* end = nullptr;
      const long long v = t.empty() ? 0 : std::strtoll(t.c_str(), &end, 10);
      if (t.empty() || *end != '\0' || errno == ERANGE) NotA(text, "integer", name);
      statement.SetParam(name, Value::Int(v));
      return;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD: {
      std::string n = t;
      for (char& c : n)
        if (c == ',') c = '.';
      char* end = nullptr;
      const double v = n.empty() ? 0 : std::strtod(n.c_str(), &end);
      if (n.empty() || *end != '\0' || !std::isfinite(v)) NotA(text, "number", name);
      statement.SetParam(name, Value::Double(v));
      return;
    }
    case TFieldType::ftBoolean:
      if (strcasecmp(t.c_str(), "true") == 0 || t == "1")
        statement.SetParam(name, Value::Bool(true));
      else if (strcasecmp(t.c_str(), "false") == 0 || t == "0")
        statement.SetParam(name, Value::Bool(false));
      else
        NotA(text, "logical", name);
      return;
    default:
      statement.SetParam(name, Value::Text(text));
      return;
  }
}

std::unique_ptr<QueryDataset> DbOpenQuery(std::unique_ptr<SqlStatement> statement) {
  return std::make_unique<QueryDataset>(std::move(statement));
}

int64_t DbExecQuery(SqlStatement& statement) { return statement.Exec(); }

}  // namespace tablorix
