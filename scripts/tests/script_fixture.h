// Small tables made by the tests themselves: a scratch directory and a table with given fields,
// key and rows.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/value.h"

namespace tablorix::scripts::testing {

class ScratchDir {
 public:
  ScratchDir() {
    // In memory where the machine has a tmpfs: running a script back commits once per row.
    std::string t = std::filesystem::is_directory("/dev/shm")
                        ? std::string("/dev/shm")
                        : std::filesystem::temp_directory_path().string();
    t += "/tablorix-scripts-XXXXXX";
    path_ = mkdtemp(t.data()) ? t : std::string();
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void MakeTable(Session& s, const std::string& name, const std::vector<NewFieldDef>& fields,
                      int key_fields, const std::vector<std::vector<Value>>& rows = {}) {
  s.DbCreateTable(name, fields, key_fields);
  if (rows.empty()) return;
  OpenOptions o;
  o.read_only = false;
  auto c = s.DbOpenTable(name, o);
  c->BeginBatch();
  for (const auto& row : rows) {
    c->Insert();
    for (size_t i = 0; i < row.size(); ++i)
      if (!row[i].is_null()) c->SetValue(int(i), row[i]);
    c->Post();
  }
  c->EndBatch();
  s.DbCloseTable(*c);
}

inline int32_t Day(int y, int m, int d) { return DayNumberFromCivil(y, m, d); }

}  // namespace tablorix::scripts::testing
