#include "bench_common.h"

extern "C" {
#include <paradox.h>
}
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

namespace bench {
namespace {

const char* const kFirst[] = {"Anna",      "Bohumil", "Cyril", "Dana", "Emil",
                              "Frantisek", "Gita",    "Hana",  "Ivo",  "Jana"};
const char* const kLast[] = {"Novak",  "Svoboda", "Dvorak",      "Cerny, Jr.", "Prochazka",
                             "Kucera", "Vesely",  "Horak \"H\"", "Nemec",      "Pokorny"};

// Deterministic mixing so neighbouring rows differ.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  x ^= x >> 16;
  return x;
}

// Paradox dates count days from 1 Jan 0001 (that day is 1).
long ParadoxDate(int y, int m, int d) { return PX_GregorianToSdn(y, m, d) - 1721425; }

}  // namespace

Row MakeRow(int i) {
  uint32_t h = Mix(uint32_t(i) + 1);
  Row r;
  r.id = 1 + i * 3;
  r.name_null = h % 97 == 0;
  r.name = std::string(kFirst[h % 10]) + " " + kLast[(h / 10) % 10];
  r.born_null = h % 89 == 1;
  r.year = 1930 + int(h / 100 % 80);
  r.month = 1 + int(h / 7 % 12);
  r.day = 1 + int(h / 13 % 28);
  r.amount_null = h % 83 == 2;
  r.amount = double(int64_t(h % 20000000) - 5000000) / 100.0;
  r.active_null = h % 79 == 3;
  r.active = (h >> 9) & 1;
  r.qty_null = h % 73 == 4;
  r.qty = int16_t(int(h >> 11) % 20000 - 10000);
  return r;
}

void* NewPxFields() {
  const pxfield_t fields[6] = {
      {const_cast<char*>("ID"), pxfLong, 4, 0},
      {const_cast<char*>("NAME"), pxfAlpha, 20, 0},
      {const_cast<char*>("BORN"), pxfDate, 4, 0},
      {const_cast<char*>("AMOUNT"), pxfNumber, 8, 0},
      {const_cast<char*>("ACTIVE"), pxfLogical, 1, 0},
      {const_cast<char*>("QTY"), pxfShort, 2, 0},
  };
  auto* f = static_cast<pxfield_t*>(malloc(sizeof fields));
  std::memcpy(f, fields, sizeof fields);
  for (auto& x : std::span(f, 6)) x.px_fname = strdup(x.px_fname);
  return f;
}

bool GenerateTables(const std::string& dir, bool* keyed) {
  auto fields_copy = [] { return static_cast<pxfield_t*>(NewPxFields()); };
  const std::string db_path = dir + "/" + kTable + ".DB";
  pxdoc_t* px = PX_new();
  if (PX_create_file(px, fields_copy(), 6, db_path.c_str(), pxfFileTypIndexDB) < 0) return false;
  PX_set_value(px, "numprimkeys", 1);
  PX_set_parameter(px, "tablename", kTable);
  const int rs = PX_get_recordsize(px);
  std::vector<char> rec(static_cast<size_t>(rs));
  for (int i = 0; i < kRows; ++i) {
    Row r = MakeRow(i);
    std::memset(rec.data(), 0, rec.size());
    char* p = rec.data();
    PX_put_data_long(px, p, 4, r.id);
    if (!r.name_null) PX_put_data_alpha(px, p + 4, 20, r.name.data());
    if (!r.born_null) PX_put_data_long(px, p + 24, 4, int(ParadoxDate(r.year, r.month, r.day)));
    if (!r.amount_null) PX_put_data_double(px, p + 28, 8, r.amount);
    if (!r.active_null) PX_put_data_byte(px, p + 36, 1, r.active ? 1 : 0);
    if (!r.qty_null) PX_put_data_short(px, p + 37, 2, r.qty);
    if (PX_put_record(px, p) < 0) return false;
  }
  // Primary index: pxlib writes at most two levels, which may not cover a million rows.
  const std::string px_path = dir + "/" + kTable + ".PX";
  pxdoc_t* pindex = PX_new();
  *keyed = PX_create_file(pindex, fields_copy(), 1, px_path.c_str(), pxfFileTypPrimIndex) == 0 &&
           PX_write_primary_index(px, pindex) == 0;
  PX_close(pindex);
  PX_delete(pindex);
  PX_close(px);
  PX_delete(px);

  const std::string sq_path = dir + "/bench.sqlite";
  std::remove(sq_path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(sq_path.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db,
               "CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT, BORN TEXT, AMOUNT REAL, "
               "ACTIVE INTEGER, QTY INTEGER); BEGIN;",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?)", -1, &st, nullptr);
  for (int i = 0; i < kRows; ++i) {
    Row r = MakeRow(i);
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", r.year, r.month, r.day);
    sqlite3_bind_int(st, 1, r.id);
    r.name_null ? sqlite3_bind_null(st, 2)
                : sqlite3_bind_text(st, 2, r.name.c_str(), -1, SQLITE_TRANSIENT);
    r.born_null ? sqlite3_bind_null(st, 3) : sqlite3_bind_text(st, 3, date, -1, SQLITE_TRANSIENT);
    r.amount_null ? sqlite3_bind_null(st, 4) : sqlite3_bind_double(st, 4, r.amount);
    r.active_null ? sqlite3_bind_null(st, 5) : sqlite3_bind_int(st, 5, r.active);
    r.qty_null ? sqlite3_bind_null(st, 6) : sqlite3_bind_int(st, 6, r.qty);
    if (sqlite3_step(st) != SQLITE_DONE) return false;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  bool ok = sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

bool EnsureTables(const std::string& dir, const char* tool) {
  namespace fs = std::filesystem;
  if (fs::exists(dir + "/" + kTable + ".DB") && fs::exists(dir + "/bench.sqlite")) return true;
  std::printf("generating %s/%s.DB ...\n", dir.c_str(), kTable);
  const auto t0 = std::chrono::steady_clock::now();
  bool keyed = false;
  if (!GenerateTables(dir, &keyed)) {
    std::fprintf(stderr, "%s: cannot generate the table\n", tool);
    return false;
  }
  std::printf("generated %d rows in %.1f s (%s)\n", kRows,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
              keyed ? "keyed, with .PX" : "unkeyed");
  return true;
}

}  // namespace bench
