// Writes every record of a table as CSV or JSON lines, in UTF-8.
#pragma once

#include <cstdio>
#include <string>

#include "engine/session.h"

namespace tablorix::exchange {

enum class DumpFormat { kCsv, kJsonl };

// Writes all rows of the open cursor from the first, in the table's order. Returns the row count.
int64_t DumpTable(Cursor& cursor, DumpFormat format, std::FILE* out, bool csv_header = true);

}  // namespace tablorix::exchange
