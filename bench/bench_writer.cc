// bench_writer DIR: writing the 1,000,000 rows of bench_common into a new table.
//   cursor: our engine, keyed table, writable cursor, Insert/SetValue/Post in one batch
//   store:  our engine, keyed table, records encoded by hand and given to TableStore::Insert
//   pxlib:  PX_create_file + PX_put_record, unkeyed (pxlib's fastest path)
//   pack:   DbPackTable of the table the cursor run wrote
// Every run is a subprocess of this program (wall clock and ru_maxrss from wait4); the cursor
// run is repeated at 250,000 rows to show that its peak memory does not grow with the table.
// Prints PASS/MISS per goal; always exits 0.
//
// bench_writer --child MODE DIR ROWS runs one of them in this process and prints phase times.
extern "C" {
#include <paradox.h>
}
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bench_common.h"
#include "engine/paradox/codec.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_store.h"
#include "engine/session.h"
#include "engine/types.h"
#include "engine/value.h"

namespace fs = std::filesystem;
using namespace tablorix;

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const std::vector<NewFieldDef> kFields = {
    {"ID", paradox::kLong, 0},       {"NAME", paradox::kAlpha, 20},    {"BORN", paradox::kDate, 0},
    {"AMOUNT", paradox::kNumber, 0}, {"ACTIVE", paradox::kLogical, 0}, {"QTY", paradox::kShort, 0},
};

// The row's values as the cursor takes them (nulls as Value::Null).
void RowValues(const bench::Row& r, Value* v) {
  v[0] = Value::Int(r.id);
  v[1] = r.name_null ? Value::Null() : Value::Text(r.name);
  v[2] = r.born_null ? Value::Null() : Value::Date(DayNumberFromCivil(r.year, r.month, r.day));
  v[3] = r.amount_null ? Value::Null() : Value::Double(r.amount);
  v[4] = r.active_null ? Value::Null() : Value::Bool(r.active);
  v[5] = r.qty_null ? Value::Null() : Value::Int(r.qty);
}

void Fresh(const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

int ChildCursor(const std::string& dir, int rows) {
  Fresh(dir);
  Session s;
  s.DbOpenDatabase(dir);
  s.DbCreateTable(bench::kTable, kFields, 1);
  OpenOptions w;
  w.read_only = false;
  w.exclusive = true;
  auto c = s.DbOpenTable(bench::kTable, w);
  const double t0 = Now();
  c->BeginBatch();
  Value v[6];
  double gen = 0;
  for (int i = 0; i < rows; ++i) {
    const double g0 = (i & 1023) == 0 ? Now() : 0;
    RowValues(bench::MakeRow(i), v);
    if (g0) gen += Now() - g0;
    c->Insert();
    for (int f = 0; f < 6; ++f)
      if (!v[f].is_null()) c->SetValue(f, v[f]);
    c->Post();
  }
  const double t1 = Now();
  c->EndBatch();
  const double t2 = Now();
  const int64_t n = c->RowCount();
  std::printf(
      "cursor: posts %.3f s (row generation ~%.3f s), EndBatch (commit) %.3f s, rows %lld\n",
      t1 - t0, gen * 1024, t2 - t1, (long long)n);
  return n == rows ? 0 : 1;
}

int ChildStore(const std::string& dir, int rows) {
  Fresh(dir);
  {
    Session s;
    s.DbOpenDatabase(dir);
    s.DbCreateTable(bench::kTable, kFields, 1);
  }
  const double t0 = Now();
  auto store = paradox::TableStore::Open(dir + "/" + bench::kTable + ".DB");
  const auto& h = store->header();
  std::vector<uint8_t> rec(h.record_size);
  store->Begin();
  Value v[6];
  for (int i = 0; i < rows; ++i) {
    RowValues(bench::MakeRow(i), v);
    std::memset(rec.data(), 0, rec.size());
    for (int f = 0; f < 6; ++f) {
      const auto& fi = h.fields[size_t(f)];
      paradox::EncodeField(fi.type, fi.size, v[f], rec.data() + fi.offset);
    }
    store->Insert(&rec);
  }
  const double t1 = Now();
  store->Commit();
  const double t2 = Now();
  const auto n = store->header().num_records;
  store.reset();
  std::printf("store: inserts %.3f s, commit %.3f s, rows %u\n", t1 - t0, t2 - t1, n);
  return int(n) == rows ? 0 : 1;
}

int ChildPxlib(const std::string& dir, int rows, bool keyed) {
  Fresh(dir);
  // pxlib frees the field array and its names on close.
  auto* f = static_cast<pxfield_t*>(bench::NewPxFields());
  const std::string path = dir + "/" + bench::kTable + ".DB";
  pxdoc_t* px = PX_new();
  if (PX_create_file(px, f, 6, path.c_str(), keyed ? pxfFileTypIndexDB : pxfFileTypNonIndexDB) < 0)
    return 1;
  if (keyed) PX_set_value(px, "numprimkeys", 1);
  PX_set_parameter(px, "tablename", bench::kTable);
  std::vector<char> rec(size_t(PX_get_recordsize(px)));
  for (int i = 0; i < rows; ++i) {
    const bench::Row r = bench::MakeRow(i);
    std::memset(rec.data(), 0, rec.size());
    char* p = rec.data();
    PX_put_data_long(px, p, 4, r.id);
    if (!r.name_null) PX_put_data_alpha(px, p + 4, 20, const_cast<char*>(r.name.c_str()));
    if (!r.born_null)
      PX_put_data_long(px, p + 24, 4, int(PX_GregorianToSdn(r.year, r.month, r.day) - 1721425));
    if (!r.amount_null) PX_put_data_double(px, p + 28, 8, r.amount);
    if (!r.active_null) PX_put_data_byte(px, p + 36, 1, r.active ? 1 : 0);
    if (!r.qty_null) PX_put_data_short(px, p + 37, 2, r.qty);
    if (PX_put_record(px, p) < 0) return 1;
  }
  PX_close(px);
  PX_delete(px);
  std::printf("pxlib: rows %d\n", rows);
  return 0;
}

int ChildPack(const std::string& dir, int rows) {
  Session s;
  s.DbOpenDatabase(dir);
  const double t0 = Now();
  const bool ok = s.DbPackTable(bench::kTable, "PARADOX");
  const double t1 = Now();
  auto c = s.DbOpenTable(bench::kTable);
  std::printf("pack: %.3f s, %s, rows %lld\n", t1 - t0, ok ? "ok" : "FAILED",
              (long long)c->RowCount());
  return ok && c->RowCount() == rows ? 0 : 1;
}

struct Run {
  double seconds = 0;
  double mib = 0;
  bool ok = false;
};

Run RunChild(const std::string& self, const std::string& mode, const std::string& dir, int rows) {
  std::fflush(stdout);
  const std::string n = std::to_string(rows);
  const double t0 = Now();
  pid_t pid = fork();
  if (pid == 0) {
    execl(self.c_str(), self.c_str(), "--child", mode.c_str(), dir.c_str(), n.c_str(),
          (char*)nullptr);
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  Run r;
  r.seconds = Now() - t0;
  r.mib = double(ru.ru_maxrss) / 1024.0;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!r.ok) std::printf("  %s %d rows FAILED (status %d)\n", mode.c_str(), rows, status);
  return r;
}

const char* Verdict(bool pass) { return pass ? "PASS" : "MISS"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
    const std::string mode = argv[2], dir = argv[3];
    const int rows = std::atoi(argv[4]);
    try {
      if (mode == "cursor") return ChildCursor(dir, rows);
      if (mode == "store") return ChildStore(dir, rows);
      if (mode == "pxlib") return ChildPxlib(dir, rows, false);
      if (mode == "pxlib-keyed") return ChildPxlib(dir, rows, true);
      if (mode == "pack") return ChildPack(dir, rows);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bench_writer %s: %s\n", mode.c_str(), e.what());
      return 2;
    }
    return 3;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_writer DIR\n");
    return 0;
  }
  const std::string dir = argv[1];
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const int big = bench::kRows, small = bench::kRows / 4;

  const Run cur_small = RunChild(self, "cursor", dir + "/w-cursor-small", small);
  const Run cur = RunChild(self, "cursor", dir + "/w-cursor", big);
  const Run store = RunChild(self, "store", dir + "/w-store", big);
  const Run px = RunChild(self, "pxlib", dir + "/w-pxlib", big);
  const Run pack = RunChild(self, "pack", dir + "/w-cursor", big);

  std::printf("\n%d rows (ID Long key, NAME A20, BORN D, AMOUNT N, ACTIVE L, QTY S):\n", big);
  std::printf("  ours, cursor + batch (keyed)    %8.3f s   peak RSS %6.1f MiB\n", cur.seconds,
              cur.mib);
  std::printf("  ours, TableStore::Insert (keyed)%8.3f s   peak RSS %6.1f MiB\n", store.seconds,
              store.mib);
  std::printf("  pxlib PX_put_record (unkeyed)   %8.3f s   peak RSS %6.1f MiB\n", px.seconds,
              px.mib);
  std::printf("  ours, cursor, %d rows       %8.3f s   peak RSS %6.1f MiB\n", small,
              cur_small.seconds, cur_small.mib);
  std::printf("  DbPackTable of the cursor table %8.3f s   peak RSS %6.1f MiB\n", pack.seconds,
              pack.mib);
  const double r_cur = px.seconds / cur.seconds, r_store = px.seconds / store.seconds;
  const bool all_ok = cur.ok && store.ok && px.ok && pack.ok && cur_small.ok;
  std::printf("pxlib/ours (cursor) = %6.2fx  (goal >= 10x)  %s\n", r_cur,
              Verdict(all_ok && r_cur >= 10));
  std::printf("pxlib/ours (store)  = %6.2fx  (goal >= 10x)  %s\n", r_store,
              Verdict(all_ok && r_store >= 10));
  std::printf("pack                = %6.3f s (goal < 3 s)   %s\n", pack.seconds,
              Verdict(pack.ok && pack.seconds < 3));
  // Flat memory: the 1M-row run may not need more than the 250k-row run plus a little slack.
  const bool flat = cur.mib <= cur_small.mib * 1.1 + 2;
  std::printf("peak RSS 250k -> 1M = %.1f -> %.1f MiB (goal: no growth)  %s\n", cur_small.mib,
              cur.mib, Verdict(all_ok && flat));
  return 0;
}
