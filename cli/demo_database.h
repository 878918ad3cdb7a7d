// The demo database: a few related Hungarian tables (customers, products, orders, order lines)
// generated from a fixed seed, so every run writes the same rows.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tablorix::demo {

// Table file names of the demo database, in the order they are written.
const std::vector<std::string>& DemoTableNames();

// Writes the demo tables into `directory` (created when missing) and returns each table's name
// with its row count. Throws EngineError when the directory already holds tables, unless
// `overwrite` is set: then demo tables of the same names are replaced and other tables are kept.
std::vector<std::pair<std::string, int64_t>> WriteDemoDatabase(const std::string& directory,
                                                               bool overwrite);

}  // namespace tablorix::demo
