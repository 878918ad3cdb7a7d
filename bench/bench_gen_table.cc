// bench_gen_table DIR: writes the 1,000,000-row BENCH table (pxlib) and bench.sqlite into DIR.
#include <cstdio>

#include "bench_common.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_gen_table DIR\n");
    return 2;
  }
  bool keyed = false;
  if (!bench::GenerateTables(argv[1], &keyed)) {
    std::fprintf(stderr, "bench_gen_table: generation failed\n");
    return 1;
  }
  std::printf("wrote %d rows to %s (%s)\n", bench::kRows, argv[1],
              keyed ? "keyed, with .PX" : "unkeyed: pxlib could not write the primary index");
  return 0;
}
