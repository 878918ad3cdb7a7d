// bench_sql DIR: the same queries through our SQL layer (virtual tables over the Paradox table)
// and through native SQLite on the same rows, side by side, printed as ratios.
//   1. a full-scan aggregate;
//   2. 10,000 primary-key point lookups (one prepared statement, parameter bound, run again);
//   3. 10,000 lookups on a secondary index (AMOUNT; native SQLite with an index on it);
//   4. ORDER BY the key LIMIT 10 (its query plan must not sort).
// Works on copies in DIR/sql (the secondary indexes are added there); generates the tables first
// when DIR has none. Prints PASS/MISS per goal; always exits 0.
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_common.h"
#include "engine/session.h"
#include "engine/sql/sql_session.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool Copy(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

// Best of `n` runs of f, in seconds.
double Best(int n, const std::function<void()>& f) {
  double best = 1e30;
  for (int i = 0; i < n; ++i) {
    const double t0 = Now();
    f();
    best = std::min(best, Now() - t0);
  }
  return best;
}

// Deterministic row numbers spread over the table.
std::vector<int> Picks(int n) {
  std::vector<int> rows;
  uint32_t x = 12345;
  for (int i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    rows.push_back(int((x >> 8) % uint32_t(bench::kRows)));
  }
  return rows;
}

struct Native {
  sqlite3* db = nullptr;
  ~Native() {
    if (db) sqlite3_close(db);
  }
  // Runs `sql` with `bind` binding its parameter each time; returns rows seen and a checksum.
  int64_t Run(sqlite3_stmt* st, double* sum) {
    int64_t rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++rows;
      *sum += sqlite3_column_double(st, 0);
    }
    sqlite3_reset(st);
    return rows;
  }
};

int64_t OurRows(tablorix::SqlStatement& st, double* sum) {
  auto r = st.Query();
  int64_t rows = 0;
  while (r->Next()) {
    ++rows;
    const tablorix::Value& v = r->row()[0];
    if (v.kind() == tablorix::Value::Kind::kInt) *sum += double(v.as_int());
    if (v.kind() == tablorix::Value::Kind::kDouble) *sum += v.as_double();
  }
  return rows;
}

std::string Plan(tablorix::SqlSession& sql, const std::string& text) {
  auto st = sql.Prepare("EXPLAIN QUERY PLAN " + text);
  auto r = st->Query();
  std::string plan;
  while (r->Next()) {
    const auto& row = r->row();
    if (!row.empty()) plan += tablorix::FormatValue(row.back()) + "; ";
  }
  return plan;
}

const char* Verdict(bool ok) { return ok ? "PASS" : "MISS"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_sql DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!bench::EnsureTables(dir, "bench_sql")) return 1;
  const std::string work = dir + "/sql";
  mkdir(work.c_str(), 0755);
  if (!Exists(work + "/BENCH.DB")) {
    for (const char* f : {"BENCH.DB", "BENCH.PX", "bench.sqlite"})
      if (!Copy(dir + "/" + f, work + "/" + f)) {
        std::fprintf(stderr, "bench_sql: cannot copy %s\n", f);
        return 1;
      }
  }
  tablorix::Session s;
  s.DbOpenDatabase(work);
  bool has_index = false;
  for (const std::string& n : s.DbListIndexes("BENCH")) has_index |= n == "AMOUNT";
  if (!has_index) {
    const double t0 = Now();
    s.DbAddIndex("BENCH", "AMOUNT", "AMOUNT", tablorix::TIndexOptions(0));
    std::printf("added the secondary index AMOUNT in %.2f s\n", Now() - t0);
  }
  Native native;
  if (sqlite3_open((work + "/bench.sqlite").c_str(), &native.db) != SQLITE_OK) return 1;
  sqlite3_exec(native.db, "CREATE INDEX IF NOT EXISTS t_amount ON t(AMOUNT)", nullptr, nullptr,
               nullptr);
  tablorix::SqlSession sql(s);

  // 1. Full-scan aggregate.
  const char* agg = "SELECT COUNT(*), SUM(AMOUNT), MAX(NAME) FROM %s WHERE ACTIVE = 1";
  char ours_sql[200], native_sql[200];
  std::snprintf(ours_sql, sizeof ours_sql, agg, "BENCH");
  std::snprintf(native_sql, sizeof native_sql, agg, "t");
  double ours_sum = 0, native_sum = 0;
  auto agg_st = sql.Prepare(ours_sql);
  sqlite3_stmt* agg_native = nullptr;
  sqlite3_prepare_v2(native.db, native_sql, -1, &agg_native, nullptr);
  const double t_agg = Best(3, [&] { OurRows(*agg_st, &ours_sum); });
  const double n_agg = Best(3, [&] { native.Run(agg_native, &native_sum); });
  sqlite3_finalize(agg_native);
  const bool agg_same = ours_sum == native_sum;

  // 2. Primary-key point lookups.
  const std::vector<int> picks = Picks(10000);
  auto pk_st = sql.Prepare("SELECT AMOUNT, NAME FROM BENCH WHERE ID = :id");
  sqlite3_stmt* pk_native = nullptr;
  sqlite3_prepare_v2(native.db, "SELECT AMOUNT, NAME FROM t WHERE ID = ?", -1, &pk_native, nullptr);
  int64_t pk_ours_rows = 0, pk_native_rows = 0;
  double pk_ours_sum = 0, pk_native_sum = 0;
  const double t_pk = Best(3, [&] {
    pk_ours_rows = 0;
    pk_ours_sum = 0;
    for (int i : picks) {
      pk_st->SetParam("id", tablorix::Value::Int(1 + 3 * int64_t(i)));
      pk_ours_rows += OurRows(*pk_st, &pk_ours_sum);
    }
  });
  const double n_pk = Best(3, [&] {
    pk_native_rows = 0;
    pk_native_sum = 0;
    for (int i : picks) {
      sqlite3_bind_int64(pk_native, 1, 1 + 3 * int64_t(i));
      pk_native_rows += native.Run(pk_native, &pk_native_sum);
    }
  });
  sqlite3_finalize(pk_native);

  // 3. Secondary-index lookups.
  auto ix_st = sql.Prepare("SELECT ID, NAME FROM BENCH WHERE AMOUNT = :a");
  sqlite3_stmt* ix_native = nullptr;
  sqlite3_prepare_v2(native.db, "SELECT ID, NAME FROM t WHERE AMOUNT = ?", -1, &ix_native, nullptr);
  std::vector<double> amounts;
  for (int i : picks) amounts.push_back(bench::MakeRow(i).amount);
  int64_t ix_ours_rows = 0, ix_native_rows = 0;
  double ix_ours_sum = 0, ix_native_sum = 0;
  const double t_ix = Best(3, [&] {
    ix_ours_rows = 0;
    ix_ours_sum = 0;
    for (double a : amounts) {
      ix_st->SetParam("a", tablorix::Value::Double(a));
      ix_ours_rows += OurRows(*ix_st, &ix_ours_sum);
    }
  });
  const double n_ix = Best(3, [&] {
    ix_native_rows = 0;
    ix_native_sum = 0;
    for (double a : amounts) {
      sqlite3_bind_double(ix_native, 1, a);
      ix_native_rows += native.Run(ix_native, &ix_native_sum);
    }
  });
  sqlite3_finalize(ix_native);

  // 4. ORDER BY the key LIMIT 10.
  const std::string top = "SELECT ID, NAME FROM BENCH ORDER BY ID LIMIT 10";
  const std::string plan = Plan(sql, top);
  auto top_st = sql.Prepare(top);
  int64_t top_rows = 0;
  double top_sum = 0;
  const double t_top = Best(3,
                            [&] {
                              for (int i = 0; i < 100; ++i) top_rows = OurRows(*top_st, &top_sum);
                            }) /
                       100;
  const bool sorts = plan.find("TEMP B-TREE") != std::string::npos;

  const double r_agg = t_agg / n_agg, r_pk = t_pk / n_pk, r_ix = t_ix / n_ix;
  std::printf("rows: %d; best of 3, wall clock\n", bench::kRows);
  std::printf("  full-scan aggregate        ours %8.3f s  native %8.3f s  %s\n", t_agg, n_agg,
              agg_same ? "same result" : "RESULTS DIFFER");
  std::printf("  10,000 key lookups         ours %8.3f s  native %8.3f s  rows %lld / %lld%s\n",
              t_pk, n_pk, (long long)pk_ours_rows, (long long)pk_native_rows,
              pk_ours_sum == pk_native_sum ? "" : "  RESULTS DIFFER");
  std::printf("  10,000 secondary lookups   ours %8.3f s  native %8.3f s  rows %lld / %lld%s\n",
              t_ix, n_ix, (long long)ix_ours_rows, (long long)ix_native_rows,
              ix_ours_sum == ix_native_sum ? "" : "  RESULTS DIFFER");
  std::printf("  ORDER BY ID LIMIT 10       ours %8.1f us per query, %lld rows\n", t_top * 1e6,
              (long long)top_rows);
  std::printf("  plan: %s\n", plan.c_str());
  std::printf("goals:\n");
  std::printf("  aggregate ours/native      = %6.2fx  (goal <= 2.5x)  %s\n", r_agg,
              Verdict(r_agg <= 2.5 && agg_same));
  std::printf("  key lookups ours/native    = %6.2fx  (goal <= 3x)    %s\n", r_pk,
              Verdict(r_pk <= 3 && pk_ours_rows == pk_native_rows));
  std::printf("  secondary ours/native      = %6.2fx  (goal <= 5x)    %s\n", r_ix,
              Verdict(r_ix <= 5 && ix_ours_rows == ix_native_rows));
  std::printf("  ORDER BY LIMIT 10 unsorted = %s, %.1f us  (goal: no temp b-tree, tiny)  %s\n",
              sorts ? "no" : "yes", t_top * 1e6, Verdict(!sorts && t_top < 0.001));
  return 0;
}
