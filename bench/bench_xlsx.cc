// bench_xlsx DATA_DIR [OUT_DIR]: the .xlsx export of the 1,000,000-row BENCH table against
// libxlsxwriter alone writing the same cells, both in constant-memory mode.
//   ours:  TDataToXLS::SaveToFile over a TableDataset of BENCH (reading the table included)
//   lxw:   libxlsxwriter writing the rows bench::MakeRow makes up, formatted like ours
//   read:  reading every value of the table through the dataset, writing nothing
// Each runs in a child process (best of 3, interleaved); the child's ru_maxrss is its peak memory.
// Generates the tables first when DATA_DIR has none. Prints PASS/MISS per goal; exits 0.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "bench_common.h"
#include "engine/dataset.h"
#include "engine/session.h"
#include "exchange/core/DataToXLS.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Run {
  double seconds = 0;
  long rss_kib = 0;
  bool ok = false;
};

Run InChild(const std::function<bool()>& work) {
  const double t0 = Now();
  pid_t pid = fork();
  if (pid == 0) _exit(work() ? 0 : 1);
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  Run r;
  r.seconds = Now() - t0;
  r.rss_kib = ru.ru_maxrss;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

// Keeps the best time, the highest peak memory, and whether every run succeeded.
void Take(const char* what, int i, const Run& r, Run* best) {
  std::printf("  %-5s run %d: %.3f s, peak RSS %.1f MiB%s\n", what, i + 1, r.seconds,
              r.rss_kib / 1024.0, r.ok ? "" : " (FAILED)");
  if (i == 0 || r.seconds < best->seconds) best->seconds = r.seconds;
  best->rss_kib = std::max(best->rss_kib, r.rss_kib);
  best->ok = (i == 0 || best->ok) && r.ok;
}

bool Ours(const std::string& dir, const std::string& out) {
  try {
    tablorix::Session s;
    s.DbOpenDatabase(dir);
    tablorix::TableDataset ds(s.DbOpenTable(bench::kTable));
    tablorix::exchange::TDataToXLS x;
    x.SetDataSet(&ds);
    x.SaveToFile(out);
    return x.ExportedCount() == bench::kRows;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_xlsx: %s\n", e.what());
    return false;
  }
}

// What ours spends before a cell reaches the library: every value of every row.
bool ReadOnly(const std::string& dir) {
  tablorix::Session s;
  s.DbOpenDatabase(dir);
  tablorix::TableDataset ds(s.DbOpenTable(bench::kTable));
  size_t sum = 0;
  int64_t rows = 0;
  for (ds.First(); !ds.Eof(); ds.Next(), ++rows)
    for (int f = 0; f < ds.FieldCount(); ++f) sum += size_t(ds.AsVariant(f).kind());
  return rows == bench::kRows && sum > 0;
}

// The cells ours writes: the header in bold, then per row ID, NAME, BORN (a date label in the
// default formats), AMOUNT, ACTIVE, QTY; nulls as formatted blanks.
bool LibraryAlone(const std::string& out) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* wb = workbook_new_opt(out.c_str(), &options);
  if (!wb) return false;
  lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
  lxw_format* header = workbook_add_format(wb);
  format_set_font_name(header, "Arial");
  format_set_font_size(header, 10);
  format_set_bold(header);
  lxw_format* left = workbook_add_format(wb);
  format_set_font_name(left, "Arial");
  format_set_font_size(left, 10);
  format_set_align(left, LXW_ALIGN_LEFT);
  lxw_format* right = workbook_add_format(wb);  // numeric fields are right-aligned
  format_set_font_name(right, "Arial");
  format_set_font_size(right, 10);
  format_set_align(right, LXW_ALIGN_RIGHT);
  const char* names[] = {"ID", "NAME", "BORN", "AMOUNT", "ACTIVE", "QTY"};
  for (int c = 0; c < 6; ++c) worksheet_write_string(ws, 0, lxw_col_t(c), names[c], header);
  char date[32];
  for (int i = 0; i < bench::kRows; ++i) {
    const bench::Row r = bench::MakeRow(i);
    const lxw_row_t row = lxw_row_t(i + 1);
    worksheet_write_number(ws, row, 0, r.id, right);
    if (r.name_null)
      worksheet_write_blank(ws, row, 1, left);
    else
      worksheet_write_string(ws, row, 1, r.name.c_str(), left);
    if (r.born_null) {
      worksheet_write_blank(ws, row, 2, left);
    } else {
      std::snprintf(date, sizeof date, "%04d. %02d. %02d.", r.year, r.month, r.day);
      worksheet_write_string(ws, row, 2, date, left);
    }
    if (r.amount_null)
      worksheet_write_blank(ws, row, 3, right);
    else
      worksheet_write_number(ws, row, 3, r.amount, right);
    if (r.active_null)
      worksheet_write_blank(ws, row, 4, left);
    else
      worksheet_write_boolean(ws, row, 4, r.active, left);
    if (r.qty_null)
      worksheet_write_blank(ws, row, 5, right);
    else
      worksheet_write_number(ws, row, 5, r.qty, right);
  }
  return workbook_close(wb) == LXW_NO_ERROR;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_xlsx DATA_DIR [OUT_DIR]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string out_dir = argc > 2 ? argv[2] : dir;
  std::filesystem::create_directories(out_dir);
  if (!bench::EnsureTables(dir, "bench_xlsx")) return 1;
  const std::string ours_file = out_dir + "/ours.xlsx", lxw_file = out_dir + "/lxw.xlsx";
  // Interleaved, so a busy spell of the machine falls on both sides alike.
  Run ours, lxw, read;
  for (int i = 0; i < 3; ++i) {
    Take("ours", i, InChild([&] { return Ours(dir, ours_file); }), &ours);
    Take("lxw", i, InChild([&] { return LibraryAlone(lxw_file); }), &lxw);
    Take("read", i, InChild([&] { return ReadOnly(dir); }), &read);
  }
  const double ratio = ours.seconds / lxw.seconds;
  const double mib = ours.rss_kib / 1024.0;
  std::printf("TDataToXLS .xlsx export        %.3f s  (%ju bytes)\n", ours.seconds,
              uintmax_t(std::filesystem::file_size(ours_file)));
  std::printf("libxlsxwriter alone            %.3f s  (%ju bytes)\n", lxw.seconds,
              uintmax_t(std::filesystem::file_size(lxw_file)));
  std::printf("reading the table alone        %.3f s\n", read.seconds);
  std::printf("ours/lxw     = %6.2fx (goal <= 1.25x)    %s\n", ratio,
              ours.ok && lxw.ok && ratio <= 1.25 ? "PASS" : "MISS");
  std::printf("our peak RSS = %6.1f MiB (goal < 64 MB) %s   (lxw alone: %.1f MiB)\n", mib,
              ours.ok && mib * 1048576.0 < 64e6 ? "PASS" : "MISS", lxw.rss_kib / 1024.0);
  return 0;
}
