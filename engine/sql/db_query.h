// The engine's query operations by their interface names: prepare a statement, give its
// parameters values, open a SELECT as a read-only dataset or execute anything else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/sql/query_dataset.h"
#include "engine/sql/sql_session.h"
#include "engine/types.h"

namespace tablorix {

enum class TParamType { ptInput };

// Prepares `sql` (Windows-1250). Its parameters, written ":name", are in param_names() in the
// order they appear. Throws EngineError with "Line Number: N" where the engine knows the place.
std::unique_ptr<SqlStatement> DbPrepareQuery(SqlSession& session, const std::string& sql);

// Gives parameter `name` the value `text`, read as `type`: ftInteger/ftSmallint/ftAutoInc as a
// whole number, ftFloat/ftCurrency/ftBCD as a number with '.' or ',', ftBoolean as True/False
// (or 1/0), anything else as text, which the tables read by their own field types. Text that
// does not read as the type throws EngineError.
void DbSetParam(SqlStatement& statement, const std::string& name, TParamType direction,
                TFieldType type, const std::string& text);

// Runs a prepared SELECT; the rows as a read-only dataset that owns the statement.
std::unique_ptr<QueryDataset> DbOpenQuery(std::unique_ptr<SqlStatement> statement);

// Runs a prepared statement to its end; the rows it inserted, changed or deleted.
int64_t DbExecQuery(SqlStatement& statement);

}  // namespace tablorix
