// Shared by the benchmark tools: the generated table's rows and their Paradox date numbers.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

constexpr int kRows = 1000000;
constexpr const char* kTable = "BENCH";

struct Row {
  int32_t id;
  bool name_null;
  std::string name;
  bool born_null;
  int year, month, day;
  bool amount_null;
  double amount;
  bool active_null;
  bool active;
  bool qty_null;
  int16_t qty;
};

// Row i (0-based) of the table; deterministic, ids ascending.
Row MakeRow(int i);

// The six fields as pxlib takes them: a malloc'd array with strdup'd names, which pxlib frees
// when the file is closed.
void* NewPxFields();

// Writes DIR/BENCH.DB (+ .PX when keyed) with pxlib and DIR/bench.sqlite. Returns false on error.
bool GenerateTables(const std::string& dir, bool* keyed);

// Generates the tables when DIR lacks BENCH.DB or bench.sqlite, saying so on standard output;
// false (with a message naming `tool`) when that fails.
bool EnsureTables(const std::string& dir, const char* tool);

}  // namespace bench
