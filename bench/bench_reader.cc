// bench_reader DIR: dumps the BENCH table to CSV three ways and compares wall-clock times.
//   ours:   tablorix-cli dump DIR BENCH --format=csv (subprocess; also gives our peak memory)
//   sqlite: sqlite3 -csv DIR/bench.sqlite "SELECT * FROM t" (subprocess)
//   pxlib:  PX_open_file + PX_retrieve_record per row, formatted into CSV lines (in-process)
// Generates the tables first when DIR has none. Prints PASS/MISS per goal; always exits 0.
#include <fcntl.h>
extern "C" {
#include <paradox.h>
}
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_common.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs argv with stdout to out_path; returns wall seconds, sets peak RSS in KiB.
double RunChild(const std::vector<std::string>& args, const std::string& out_path, long* rss_kib) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const double t0 = Now();
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    close(fd);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  const double t = Now() - t0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::fprintf(stderr, "bench_reader: %s failed (status %d)\n", args[0].c_str(), status);
  if (rss_kib) *rss_kib = ru.ru_maxrss;
  return t;
}

void AppendCsvText(const char* s, size_t n, std::string* out) {
  bool quote = std::memchr(s, ',', n) || std::memchr(s, '"', n);
  if (!quote) {
    out->append(s, n);
    return;
  }
  out->push_back('"');
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == '"') out->push_back('"');
    out->push_back(s[i]);
  }
  out->push_back('"');
}

// pxlib's own reading path, formatting each value like our dump does.
double PxlibDump(const std::string& db_path, const std::string& out_path) {
  const double t0 = Now();
  pxdoc_t* px = PX_new();
  if (PX_open_file(px, db_path.c_str()) < 0) {
    std::fprintf(stderr, "bench_reader: pxlib cannot open %s\n", db_path.c_str());
    return 0;
  }
  FILE* out = std::fopen(out_path.c_str(), "wb");
  const int nf = PX_get_num_fields(px);
  pxfield_t* fields = PX_get_fields(px);
  std::string buf;
  for (int i = 0; i < nf; ++i) {
    if (i) buf.push_back(',');
    buf.append(fields[i].px_fname);
  }
  buf.append("\r\n");
  const int n = PX_get_num_records(px);
  char num[40];
  for (int r = 0; r < n; ++r) {
    pxval_t** vals = PX_retrieve_record(px, r);
    if (!vals) break;
    for (int i = 0; i < nf; ++i) {
      if (i) buf.push_back(',');
      pxval_t* v = vals[i];
      if (!v->isnull) {
        switch (fields[i].px_ftype) {
          case pxfAlpha:
            AppendCsvText(v->value.str.val, std::strlen(v->value.str.val), &buf);
            break;
          case pxfDate: {
            int y, m, d;
            PX_SdnToGregorian(v->value.lval + 1721425, &y, &m, &d);
            std::snprintf(num, sizeof num, "%04d-%02d-%02d", y, m, d);
            buf.append(num);
            break;
          }
          case pxfNumber: {
            auto e = std::to_chars(num, num + sizeof num, v->value.dval);
            buf.append(num, e.ptr);
            break;
          }
          case pxfLogical:
            buf.append(v->value.lval ? "true" : "false");
            break;
          default: {
            auto e = std::to_chars(num, num + sizeof num, v->value.lval);
            buf.append(num, e.ptr);
          }
        }
      }
      if (v->type == pxfAlpha || !v->isnull) {
        if (fields[i].px_ftype == pxfAlpha && v->value.str.val) px->free(px, v->value.str.val);
      }
      px->free(px, v);
    }
    px->free(px, vals);
    buf.append("\r\n");
    if (buf.size() > (1 << 16)) {
      std::fwrite(buf.data(), 1, buf.size(), out);
      buf.clear();
    }
  }
  std::fwrite(buf.data(), 1, buf.size(), out);
  std::fclose(out);
  PX_close(px);
  PX_delete(px);
  return Now() - t0;
}

double Best(int runs, const std::function<double()>& f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, f());
  return best;
}

long FileSize(const std::string& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_reader DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string db = dir + "/" + bench::kTable + ".DB", sq = dir + "/bench.sqlite";
  if (!bench::EnsureTables(dir, "bench_reader")) return 1;
  long our_rss = 0, rss = 0;
  const double ours = Best(3, [&] {
    long r = 0;
    double t = RunChild({TABLORIX_CLI_PATH, "dump", dir, bench::kTable, "--format=csv"},
                        dir + "/ours.csv", &r);
    our_rss = std::max(our_rss, r);
    return t;
  });
  const double sqlite = Best(3, [&] {
    return RunChild({"sqlite3", "-csv", sq, "SELECT * FROM t"}, dir + "/sqlite3.csv", &rss);
  });
  const double pxlib = Best(3, [&] { return PxlibDump(db, dir + "/pxlib.csv"); });

  std::printf("rows: %d   csv bytes: ours %ld, sqlite3 %ld, pxlib %ld\n", bench::kRows,
              FileSize(dir + "/ours.csv"), FileSize(dir + "/sqlite3.csv"),
              FileSize(dir + "/pxlib.csv"));
  std::printf("best of 3, wall clock:\n");
  std::printf("  tablorix-cli dump --format=csv  %8.3f s\n", ours);
  std::printf("  sqlite3 -csv SELECT *           %8.3f s\n", sqlite);
  std::printf("  pxlib PX_retrieve_record + csv  %8.3f s\n", pxlib);
  const double r_sq = sqlite / ours, r_px = pxlib / ours;
  const double mib = our_rss / 1024.0;
  std::printf("goals:\n");
  std::printf("  sqlite3/ours = %6.2fx  (goal >= 1.5x)  %s\n", r_sq, r_sq >= 1.5 ? "PASS" : "MISS");
  std::printf("  pxlib/ours   = %6.2fx  (goal >= 10x)   %s\n", r_px, r_px >= 10 ? "PASS" : "MISS");
  std::printf("  our peak RSS = %6.1f MiB (goal < 32 MB) %s\n", mib, mib < 32 ? "PASS" : "MISS");
  return 0;
}
