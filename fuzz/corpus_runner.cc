// Feeds every file of the given directories to LLVMFuzzerTestOneInput, so the seed corpus runs
// as a plain test in builds without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int n = 0;
  for (int a = 1; a < argc; ++a) {
    for (const auto& e : std::filesystem::directory_iterator(argv[a])) {
      if (!e.is_regular_file()) continue;
      std::ifstream f(e.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++n;
    }
  }
  std::printf("%d inputs\n", n);
  return n > 0 ? 0 : 1;
}
