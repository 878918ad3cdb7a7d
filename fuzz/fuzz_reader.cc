// libFuzzer target over the Paradox readers: table, blob file and one secondary index.
//
// Input layout: byte 0 = flags (bit 0: a .MB follows, bit 1: an index follows, bits 2-3 pick
// the index name: 0 = .X02, 1 = .XG0, 2 = .PX, 3 = .X03), bytes 1-4 = table length (u32 LE),
// bytes 5-8 = blob length (u32 LE); then the table, then the blob, then the index (the rest).
// Bit 4 makes the rest the table's .VAL instead of an index.
// Lengths are clamped to what remains. The files go to one temp directory per process, which
// is emptied after every input and removed at exit.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/session.h"
#include "engine/types.h"

namespace {

namespace fs = std::filesystem;

// Never destroyed, so that the exit handler that removes the directory can still use it.
const std::string& Dir() {
  static const std::string* dir = [] {
    std::string tmpl = (fs::temp_directory_path() / "tablorix-fuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    auto* d = new std::string(tmpl);
    std::atexit([] { ::rmdir(Dir().c_str()); });  // the files go after every input
    return d;
  }();
  return *dir;
}

void Write(const std::string& path, const uint8_t* p, size_t n) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(p), std::streamsize(n));
}

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Exercise(const std::string& dir) {
  tablorix::Session s;
  s.DbOpenDatabase(dir);
  auto c = s.DbOpenTable("fz");
  const int fields = int(c->DbFieldDefs().size());
  int rows = 0;
  for (c->First(); !c->Eof() && rows < 100000; c->Next(), ++rows) {
    for (int i = 0; i < fields; ++i) {
      c->IsNull(i);
      c->AsVariant(i);
      c->AsText(i);
      if (c->DbFieldDefs()[size_t(i)].is_blob) {
        std::string b;
        c->ReadBlob(i, &b);
      }
    }
  }
  for (int i = 0; !c->Bof() && i < 1000; ++i) c->Prior();
  c->DbIndexDefs();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const uint8_t flags = data[0];
  size_t rest = size - 9;
  const uint8_t* p = data + 9;
  const size_t table_len = std::min<size_t>(U32(data + 1), rest);
  const size_t blob_len = (flags & 1) ? std::min<size_t>(U32(data + 5), rest - table_len) : 0;
  const std::string& dir = Dir();
  Write(dir + "/fz.DB", p, table_len);
  if (flags & 1) Write(dir + "/fz.MB", p + table_len, blob_len);
  if (flags & 0x10) {
    Write(dir + "/fz.VAL", p + table_len + blob_len, rest - table_len - blob_len);
  } else if (flags & 2) {
    static const char* const kNames[] = {"fz.X02", "fz.XG0", "fz.PX", "fz.X03"};
    Write(dir + "/" + kNames[(flags >> 2) & 3], p + table_len + blob_len,
          rest - table_len - blob_len);
  }
  try {
    Exercise(dir);
  } catch (const tablorix::EngineError&) {
  }
  for (const auto& e : fs::directory_iterator(dir)) fs::remove(e.path());
  return 0;
}
