// Tables written by our engine read back through our reader and through pxlib, an independent
// reader: every field type we write, nulls, keyed and unkeyed tables over many blocks after
// inserts, updates, deletes and a pack; and the sample tables after edits through a cursor.
#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/session.h"
#include "engine/types.h"
#include "engine/value.h"

using namespace tablorix;
namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/pxlib_wr_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
};

struct PxlibBoot {
  PxlibBoot() { PX_boot(); }
  ~PxlibBoot() { PX_shutdown(); }
};

// A row as comparable text cells: every value in one kind-independent spelling, so that what
// our reader and what pxlib return can be compared with what was written.
using Row = std::vector<std::string>;
const char* const kNull = "<null>";
// pxlib 0.6.8 overflows a stack buffer in PX_set_blob_file (read mode) on every .MB file, ours
// and the samples' alike, so blob fields are left out of what pxlib is asked to read.
const char* const kBlobCell = "<blob>";

std::string Dbl(double d) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", d);
  return b;
}
std::string Bcd(double d, int decimals) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", std::min(decimals, 10), d);
  return b;
}

// `bcd_decimals` >= 0 for BCD fields.
std::string Cell(const Value& v, int bcd_decimals = -1) {
  switch (v.kind()) {
    case Value::Kind::kNull:
      return kNull;
    case Value::Kind::kInt:
    case Value::Kind::kDate:
    case Value::Kind::kTime:
    case Value::Kind::kBool:
      return std::to_string(v.as_int());
    case Value::Kind::kDouble:
      if (bcd_decimals >= 0) return Bcd(v.as_double(), bcd_decimals);
      return Dbl(v.as_double());
    case Value::Kind::kDateTime:
      return Dbl(v.as_double());
    case Value::Kind::kText:
    case Value::Kind::kBytes:
      return v.as_string();
  }
  return "?";
}

// Decimals of each BCD field of the table (which the session reports as ftFloat), -1 for others.
std::vector<int> BcdDecimals(const Cursor& c) {
  std::vector<int> out;
  for (const auto& f : c.table_file().header().fields)
    out.push_back(f.type == paradox::kBcd ? f.size : -1);
  return out;
}

std::vector<Row> OurRows(const fs::path& dir, const std::string& table) {
  Session s;
  s.DbOpenDatabase(dir.string());
  auto c = s.DbOpenTable(table);
  const auto& defs = c->DbFieldDefs();
  const auto bcd = BcdDecimals(*c);
  std::vector<Row> rows;
  for (c->First(); !c->Eof(); c->Next()) {
    Row r;
    for (size_t i = 0; i < defs.size(); ++i)
      r.push_back(c->IsNull(int(i)) ? kNull : Cell(c->AsVariant(int(i)), bcd[i]));
    rows.push_back(std::move(r));
  }
  EXPECT_EQ(c->RowCount(), int64_t(rows.size())) << table;
  return rows;
}

fs::path FindNoCase(const fs::path& dir, const std::string& name) {
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string a = e.path().filename().string(), b = name;
    if (a.size() != b.size()) continue;
    if (std::equal(a.begin(), a.end(), b.begin(),
                   [](char x, char y) { return std::tolower(x) == std::tolower(y); }))
      return e.path();
  }
  return {};
}

// What pxlib reads. With a .PX next to the table it reads through the primary index (and the
// index must count every record). Blob fields read as kBlobCell.
struct PxRead {
  bool opened = false;
  bool index_read = false;
  // (data block, records) of the table's block chain as pxlib walks it, and of the level-1
  // entries of the .PX as pxlib reads them.
  std::vector<std::pair<int, int>> chain, index;
  std::vector<Row> rows;
  std::vector<bool> blob;  // per field
};

std::string PxCell(pxdoc_t* d, const pxfield_t& f, char* p) {
  auto take = [&](char* v, size_t n) {
    std::string s(v, n);
    d->free(d, v);
    return s;
  };
  int r = 0;
  switch (f.px_ftype) {
    case pxfAlpha: {
      char* v = nullptr;
      r = PX_get_data_alpha(d, p, f.px_flen, &v);
      return r > 0 ? take(v, std::strlen(v)) : r == 0 ? kNull : "<error>";
    }
    case pxfDate:
    case pxfLong:
    case pxfAutoInc:
    case pxfTime: {
      // pxlib 0.6.8 reads the null of these types (four zero bytes) as -2147483648.
      if (std::all_of(p, p + f.px_flen, [](char c) { return c == 0; })) return kNull;
      long v = 0;
      r = PX_get_data_long(d, p, f.px_flen, &v);
      return r > 0 ? std::to_string(v) : r == 0 ? kNull : "<error>";
    }
    case pxfShort: {
      short v = 0;
      r = PX_get_data_short(d, p, f.px_flen, &v);
      return r > 0 ? std::to_string(v) : r == 0 ? kNull : "<error>";
    }
    case pxfCurrency:
    case pxfNumber:
    case pxfTimestamp: {
      double v = 0;
      r = PX_get_data_double(d, p, f.px_flen, &v);
      return r > 0 ? Dbl(v) : r == 0 ? kNull : "<error>";
    }
    case pxfLogical: {
      char v = 0;
      r = PX_get_data_byte(d, p, f.px_flen, &v);
      return r > 0 ? std::to_string(v ? 1 : 0) : r == 0 ? kNull : "<error>";
    }
    case pxfBCD: {
      char* v = nullptr;
      r = PX_get_data_bcd(d, reinterpret_cast<unsigned char*>(p), f.px_fdc, &v);
      if (r <= 0) return r == 0 ? kNull : "<error>";
      return Bcd(std::strtod(take(v, std::strlen(v)).c_str(), nullptr), f.px_fdc);
    }
    case pxfBytes: {
      char* v = nullptr;
      r = PX_get_data_bytes(d, p, f.px_flen, &v);
      return r > 0 ? take(v, size_t(f.px_flen)) : r == 0 ? kNull : "<error>";
    }
    case pxfMemoBLOb:
    case pxfBLOb:
    case pxfFmtMemoBLOb:
    case pxfOLE:
    case pxfGraphic:
      return kBlobCell;
  }
  return "<type " + std::to_string(int(f.px_ftype)) + ">";
}

PxRead PxlibRows(const fs::path& dir, const std::string& table) {
  PxRead out;
  const fs::path db = FindNoCase(dir, table + ".db");
  pxdoc_t* doc = PX_new();
  if (db.empty() || PX_open_file(doc, db.c_str()) < 0) {
    PX_delete(doc);
    return out;
  }
  out.opened = true;
  PX_set_targetencoding(doc, "CP1250");
  // PX_open_file walks the block chain into px_indexdata; rows are read in that order. The
  // array has a slot for every block of the file, those past the chain left uninitialised, so
  // it is read only until it covers every record.
  auto* chain = static_cast<pxpindex_t*>(doc->px_indexdata);
  for (int i = 0, seen = 0; chain && i < doc->px_indexdatalen && seen < PX_get_num_records(doc);
       ++i) {
    if (chain[i].numrecords > 0) out.chain.emplace_back(chain[i].blocknumber, chain[i].numrecords);
    seen += chain[i].numrecords;
  }
  const fs::path px = FindNoCase(dir, table + ".px");
  if (!px.empty()) {
    pxdoc_t* pindex = PX_new();
    if (PX_open_file(pindex, px.c_str()) == 0 && PX_read_primary_index(pindex) == 0) {
      out.index_read = true;
      auto* e = static_cast<pxpindex_t*>(pindex->px_data);
      for (int i = 0; i < pindex->px_datalen; ++i)
        if (e[i].level == 1) out.index.emplace_back(e[i].blocknumber, e[i].numrecords);
    }
    PX_close(pindex);
    PX_delete(pindex);
  }
  const int nf = PX_get_num_fields(doc);
  const pxfield_t* fields = PX_get_fields(doc);
  for (int f = 0; f < nf; ++f) {
    const char t = fields[f].px_ftype;
    out.blob.push_back(t == pxfMemoBLOb || t == pxfBLOb || t == pxfFmtMemoBLOb || t == pxfOLE ||
                       t == pxfGraphic);
  }
  std::vector<char> rec(size_t(PX_get_recordsize(doc)));
  const int n = PX_get_num_records(doc);
  for (int i = 0; i < n; ++i) {
    if (!PX_get_record(doc, i, rec.data())) {
      ADD_FAILURE() << "pxlib cannot read record " << i << " of " << db;
      break;
    }
    Row r;
    char* p = rec.data();
    for (int f = 0; f < nf; ++f) {
      r.push_back(PxCell(doc, fields[f], p));
      p += fields[f].px_flen;
    }
    out.rows.push_back(std::move(r));
  }
  PX_close(doc);
  PX_delete(doc);
  return out;
}

// Rows with the fields pxlib cannot read replaced by kBlobCell.
std::vector<Row> Masked(std::vector<Row> rows, const PxRead& px) {
  for (Row& r : rows)
    for (size_t f = 0; f < r.size() && f < px.blob.size(); ++f)
      if (px.blob[f]) r[f] = kBlobCell;
  return rows;
}

std::string Show(const Row& r) {
  std::string s;
  for (const auto& c : r) {
    s += s.empty() ? "" : " | ";
    s += c.size() > 40 ? c.substr(0, 40) + "...(" + std::to_string(c.size()) + ")" : c;
  }
  return s;
}

// Rows compared one by one (order included); reports the first few differences.
void ExpectRows(const std::vector<Row>& got, const std::vector<Row>& want,
                const std::string& what) {
  EXPECT_EQ(got.size(), want.size()) << what;
  int shown = 0;
  for (size_t i = 0; i < std::min(got.size(), want.size()) && shown < 5; ++i) {
    if (got[i] != want[i]) {
      ++shown;
      ADD_FAILURE() << what << " row " << i << "\n  got:  " << Show(got[i])
                    << "\n  want: " << Show(want[i]);
    }
  }
}

// Both readers against the expected rows, in order (pxlib follows the block chain). For keyed
// tables the level-1 entries of the .PX, as pxlib reads them, must name the blocks of the
// chain in order with their record counts.
void CheckBoth(const fs::path& dir, const std::string& table, const std::vector<Row>& want,
               bool keyed, const std::string& what) {
  ExpectRows(OurRows(dir, table), want, what + " (our reader)");
  PxRead px = PxlibRows(dir, table);
  ASSERT_TRUE(px.opened) << what << ": pxlib cannot open the table";
  const std::vector<Row> masked = Masked(want, px);
  ExpectRows(px.rows, masked, what + " (pxlib)");
  if (keyed) {
    EXPECT_TRUE(px.index_read) << what << ": pxlib cannot read the primary index";
    auto list = [](const std::vector<std::pair<int, int>>& v) {
      std::string s;
      for (const auto& [block, n] : v) s += " " + std::to_string(block) + ":" + std::to_string(n);
      return s;
    };
    EXPECT_TRUE(px.index == px.chain)
        << what << ": the .PX does not match the block chain\n"
        << "  .PX level 1 (block:records):" << list(px.index) << "\n  chain:" << list(px.chain);
  }
}

uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  x ^= x >> 16;
  return x;
}

const std::string kHungarian = "\xF5\xFB\xD5\xDB\xE1\xE9\xED\xF3\xF6\xFC";  // őűŐŰáéíóöü

// ---------------------------------------------------------------------------------------------
// A table of every type we write.

const std::vector<NewFieldDef> kAllTypes = {
    {"K", paradox::kLong, 0},   {"A", paradox::kAlpha, 24},     {"D", paradox::kDate, 0},
    {"S", paradox::kShort, 0},  {"L", paradox::kLong, 0},       {"C", paradox::kCurrency, 0},
    {"N", paradox::kNumber, 0}, {"B", paradox::kLogical, 0},    {"M", paradox::kMemo, 10},
    {"BL", paradox::kBlob, 10}, {"F", paradox::kFmtMemo, 10},   {"G", paradox::kGraphic, 10},
    {"T", paradox::kTime, 0},   {"TS", paradox::kTimestamp, 0}, {"AI", paradox::kAutoInc, 0},
    {"BC", paradox::kBcd, 2},   {"BY", paradox::kBytes, 6},
};
constexpr int kAutoIncField = 14;

std::string Filler(uint32_t h, size_t n, bool binary) {
  std::string s;
  s.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t x = Mix(h + uint32_t(i));
    s += binary ? char(x) : (x % 7 == 0 ? kHungarian[x % kHungarian.size()] : char('a' + x % 26));
  }
  return s;
}

// Values of every field but the key and the autoincrement for key k in version v; about one
// value in nine is null.
std::vector<Value> AllTypesValues(int k, int v) {
  std::vector<Value> out(kAllTypes.size());
  for (size_t f = 1; f < kAllTypes.size(); ++f) {
    const uint32_t h = Mix(uint32_t(k) * 131u + uint32_t(v) * 7u + uint32_t(f) * 100003u);
    if (f == kAutoIncField || h % 9 == 0) continue;
    const int32_t day =
        DayNumberFromCivil(1850 + int(h % 250), 1 + int(h / 7 % 12), 1 + int(h / 11 % 28));
    Value x;
    switch (f) {
      case 1:
        x = Value::Text((kHungarian.substr(h % 5, 3) + " " + std::to_string(k) + "/" +
                         std::to_string(v) + " " + kHungarian)
                            .substr(0, 24));
        break;
      case 2:
        x = Value::Date(day);
        break;
      case 3:
        x = Value::Int(int(h % 65535) - 32767);
        break;
      case 4:
        x = Value::Int(int64_t(h % 4294967295u) - 2147483647);
        break;
      case 5:
        x = Value::Double(double(int64_t(h % 2000000001) - 1000000000) / 100.0);
        break;
      case 6:
        x = Value::Double((double(h) - 2e9) * 1.25e-3);
        break;
      case 7:
        x = Value::Bool(h & 1);
        break;
      case 8:   // Memo: inline in the leader, or in the .MB, small or spanning blocks
      case 10:  // Formatted memo
        x = Value::Text(h % 4 == 0 ? "m" + std::to_string(k % 100)
                                   : Filler(h, 11 + (h >> 3) % (h % 3 == 0 ? 9000 : 400), false));
        break;
      case 9:
        x = Value::Bytes(Filler(h, 1 + (h >> 3) % (h % 3 == 0 ? 6000 : 300), true));
        break;
      case 11:
        x = Value::Bytes(Filler(h, 20 + (h >> 3) % 3000, true));
        break;
      case 12:
        x = Value::Time(int32_t(h % kMsPerDay));
        break;
      case 13:
        x = Value::DateTime(double(day) * double(kMsPerDay) + double(h % kMsPerDay));
        break;
      case 15:
        x = Value::Double(double(int(h % 2000001) - 1000000) / 100.0);
        break;
      case 16: {
        std::string b = Filler(h, 6, true);
        b[0] = char(1 + h % 250);  // all-zero bytes read as null
        x = Value::Bytes(b);
        break;
      }
    }
    out[f] = x;
  }
  return out;
}

Row AllTypesRow(int k, int v, int64_t autoinc) {
  auto vals = AllTypesValues(k, v);
  vals[0] = Value::Int(k);
  vals[kAutoIncField] = Value::Int(autoinc);
  Row r;
  for (size_t f = 0; f < vals.size(); ++f)
    r.push_back(Cell(vals[f], kAllTypes[f].type == paradox::kBcd ? kAllTypes[f].size : -1));
  return r;
}

void SetAll(Cursor& c, int k, int v, bool with_key) {
  auto vals = AllTypesValues(k, v);
  if (with_key) c.SetValue(0, Value::Int(k));
  for (size_t f = 1; f < vals.size(); ++f)
    if (f != kAutoIncField) c.SetValue(int(f), vals[f]);
}

// Moves to the row whose first field is k; false when there is none.
bool Seek(Cursor& c, int k) {
  for (c.First(); !c.Eof(); c.Next())
    if (c.AsVariant(0).as_int() == k) return true;
  return false;
}

struct AllTypesCase {
  const char* name;
  bool keyed;
};

class WrittenTable : public ::testing::TestWithParam<AllTypesCase> {};

TEST_P(WrittenTable, ReadsBackThroughBothReadersAfterEditsAndPack) {
  PxlibBoot boot;
  TempDir dir;
  const bool keyed = GetParam().keyed;
  const std::string t = GetParam().name;
  Session s;
  s.DbOpenDatabase(dir.path.string());
  s.DbCreateTable(t, kAllTypes, keyed ? 1 : 0);

  // Model: key -> (version, autoinc), in table order.
  struct M {
    int k, v;
    int64_t ai;
  };
  std::vector<M> model;
  int64_t next_ai = 1;
  const int n = 1300;
  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable(t, w);
    c->BeginBatch();
    for (int i = 0; i < n; ++i) {
      const int k = (i * 7919) % n + 1;  // scrambled, so keyed blocks split in the middle
      c->Insert();
      SetAll(*c, k, 0, true);
      c->Post();
      model.push_back({k, 0, next_ai++});
    }
    c->EndBatch();
  }
  auto expected = [&] {
    auto m = model;
    if (keyed) std::sort(m.begin(), m.end(), [](const M& a, const M& b) { return a.k < b.k; });
    std::vector<Row> rows;
    for (const M& x : m) rows.push_back(AllTypesRow(x.k, x.v, x.ai));
    return rows;
  };
  CheckBoth(dir.path, t, expected(), keyed, t + " after inserts");

  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable(t, w);
    // Updates of every fifth row (new values, some now null, blobs of other sizes).
    for (M& x : model) {
      if (x.k % 5 != 0) continue;
      ASSERT_TRUE(Seek(*c, x.k)) << x.k;
      c->Edit();
      SetAll(*c, x.k, 1, false);
      c->Post();
      x.v = 1;
    }
    // Deletes: a run of rows in table order (whole blocks become free: keys 301..700 of the
    // keyed table, the 300th to 700th row inserted into the unkeyed one) and every seventh key.
    for (size_t i = 0, pos = 0; i < model.size(); ++pos) {
      const int k = model[i].k;
      const int run = keyed ? k : int(pos) + 1;
      if ((run > 300 && run <= 700) || k % 7 == 0) {
        ASSERT_TRUE(Seek(*c, k)) << k;
        c->Delete();
        model.erase(model.begin() + long(i));
      } else {
        ++i;
      }
    }
    // New rows, some into the emptied key range, so freed blocks are taken again.
    c->BeginBatch();
    for (int i = 0; i < 250; ++i) {
      const int k = i % 2 ? 301 + i : n + 1 + i;
      c->Insert();
      SetAll(*c, k, 2, true);
      c->Post();
      model.push_back({k, 2, next_ai++});
    }
    c->EndBatch();
  }
  CheckBoth(dir.path, t, expected(), keyed, t + " after updates and deletes");
  {
    auto c = s.DbOpenTable(t);
    const auto& h = c->table_file().header();
    EXPECT_GT(h.used_blocks, 20) << "the rows should span many blocks";
    EXPECT_LT(h.used_blocks, h.file_blocks) << "the deletes should have left free blocks";
  }

  const auto size_before = fs::file_size(dir.path / (t + ".DB"));
  ASSERT_TRUE(s.DbPackTable(t, "PARADOX"));
  EXPECT_LT(fs::file_size(dir.path / (t + ".DB")), size_before) << "pack freed no blocks";
  CheckBoth(dir.path, t, expected(), keyed, t + " after pack");
}

INSTANTIATE_TEST_SUITE_P(PxlibWriter, WrittenTable,
                         ::testing::Values(AllTypesCase{"keyed", true},
                                           AllTypesCase{"unkeyed", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The sample tables edited through a cursor.

struct FixtureCase {
  const char* dir;
  const char* table;
  const char* refused;  // when set: the change that must be refused, and part of its message
};

// A value of field type d for seed n that every sample table's code page can hold.
Value SampleValue(const TFieldDef& d, int bcd_decimals, int n) {
  if (bcd_decimals >= 30) return Value::Double(0.25 + (n % 50) / 100.0);  // no integer digits
  if (bcd_decimals >= 0) return Value::Double(bcd_decimals >= 2 ? n + 0.5 : n);
  const int32_t day = DayNumberFromCivil(1990 + n % 30, 1 + n % 12, 1 + n % 28);
  switch (d.type) {
    case TFieldType::ftString:
      return Value::Text(("\xE9 v" + std::to_string(n) + " edited").substr(0, size_t(d.size)));
    case TFieldType::ftSmallint:
      return Value::Int(-n * 13);
    case TFieldType::ftInteger:
      return Value::Int(100000 + n);
    case TFieldType::ftBoolean:
      return Value::Bool(n % 2);
    case TFieldType::ftFloat:
      return Value::Double(n + 0.125);
    case TFieldType::ftCurrency:
      return Value::Double(n + 0.25);
    case TFieldType::ftDate:
      return Value::Date(day);
    case TFieldType::ftTime:
      return Value::Time(int32_t((n * 3723001) % kMsPerDay));
    case TFieldType::ftDateTime:
      return Value::DateTime(double(day) * double(kMsPerDay) + 45296000.0);
    case TFieldType::ftBytes: {
      std::string b = Filler(uint32_t(n), size_t(d.size), true);
      b[0] = char(1 + n % 200);
      return Value::Bytes(b);
    }
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
      return Value::Text(std::string(size_t(n % 2 ? 7 : 700 + n), char('a' + n % 26)));
    case TFieldType::ftBlob:
    case TFieldType::ftGraphic:
    case TFieldType::ftParadoxOle:
      return Value::Bytes(Filler(uint32_t(n), size_t(300 + n * 37), true));
    default:
      return Value::Null();
  }
}

std::string FileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::directory_iterator(dir))
    m[e.path().filename().string()] = FileBytes(e.path());
  return m;
}

class SampleTable : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(SampleTable, EditsReadBackExactly) {
  PxlibBoot boot;
  const FixtureCase& fc = GetParam();
  TempDir tmp;
  const fs::path src = fs::path(TABLORIX_TEST_DATA) / "paradox" / fc.dir;
  fs::copy(src, tmp.path, fs::copy_options::recursive);
  for (const auto& e : fs::directory_iterator(tmp.path))
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  const std::string t = fc.table;

  Session s;
  s.DbOpenDatabase(tmp.path.string());
  std::vector<TFieldDef> defs;
  std::vector<int> bcd;
  int key_fields = 0;
  bool encrypted = false;
  {
    auto c = s.DbOpenTable(t);
    defs = c->DbFieldDefs();
    bcd = BcdDecimals(*c);
    key_fields = c->table_file().header().key_fields;
    encrypted = c->table_file().header().crypt_key != 0;
  }
  const bool keyed = key_fields > 0;
  std::vector<Row> model = OurRows(tmp.path, t);
  {
    PxRead px = PxlibRows(tmp.path, t);
    ASSERT_TRUE(px.opened) << t << ": pxlib cannot open the sample itself";
    ExpectRows(px.rows, Masked(model, px), t + " as pxlib reads the sample");
  }

  if (fc.refused) {
    const auto before = Snapshot(tmp.path);
    try {
      s.DbAddField(t, {"NOTE", paradox::kMemo, 10});
      ADD_FAILURE() << t << ": adding a memo field was not refused";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(fc.refused), std::string::npos) << e.what();
    }
    EXPECT_TRUE(Snapshot(tmp.path) == before) << t << ": a refused change altered files";
    ExpectRows(OurRows(tmp.path, t), model, t + " after the refusal");
  }

  auto cells = [&](const std::vector<Value>& vals) {
    Row r;
    for (size_t f = 0; f < defs.size(); ++f) r.push_back(Cell(vals[f], bcd[f]));
    return r;
  };
  auto key_of = [&](const Row& r) { return std::stoll(r[0]); };
  int64_t max_ai = 0;
  for (size_t f = 0; f < defs.size(); ++f)
    if (defs[f].type == TFieldType::ftAutoInc)
      for (const Row& r : model)
        if (r[f] != kNull) max_ai = std::max<int64_t>(max_ai, std::stoll(r[f]));

  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable(t, w);
    // Three new rows.
    for (int i = 0; i < 3; ++i) {
      std::vector<Value> vals(defs.size());
      c->Insert();
      for (size_t f = 0; f < defs.size(); ++f) {
        if (defs[f].type == TFieldType::ftAutoInc) {
          vals[f] = Value::Int(++max_ai);
          continue;
        }
        vals[f] = SampleValue(defs[f], bcd[f], i * 10 + int(f));
        c->SetValue(int(f), vals[f]);
      }
      c->Post();
      const Row r = cells(vals);
      auto at = model.end();
      if (keyed)
        at = std::find_if(model.begin(), model.end(),
                          [&](const Row& x) { return key_of(x) > key_of(r); });
      model.insert(at, r);
    }
    // The first row gets new values in every field but the key and the autoincrement.
    c->First();
    c->Edit();
    for (size_t f = size_t(key_fields); f < defs.size(); ++f) {
      if (defs[f].type == TFieldType::ftAutoInc) continue;
      const Value v = SampleValue(defs[f], bcd[f], 50 + int(f));
      c->SetValue(int(f), v);
      model[0][f] = Cell(v, bcd[f]);
    }
    c->Post();
    // The second row is deleted.
    c->First();
    c->Next();
    c->Delete();
    model.erase(model.begin() + 1);
  }
  CheckBoth(tmp.path, t, model, keyed, t + " after edits");
  ASSERT_TRUE(s.DbPackTable(t, "PARADOX")) << t;
  CheckBoth(tmp.path, t, model, keyed, t + " after pack");
  auto c = s.DbOpenTable(t);
  EXPECT_EQ(c->table_file().header().crypt_key != 0, encrypted) << t << ": encryption changed";
}

INSTANTIATE_TEST_SUITE_P(
    PxlibWriter, SampleTable,
    ::testing::Values(
        FixtureCase{"fields", "bcd", nullptr}, FixtureCase{"fields", "bytes", nullptr},
        FixtureCase{"fields", "date35", nullptr}, FixtureCase{"fields", "date4", nullptr},
        FixtureCase{"fields", "date5", nullptr}, FixtureCase{"fields", "date7", nullptr},
        FixtureCase{"fields", "fmemo", nullptr}, FixtureCase{"fields", "graphic", nullptr},
        FixtureCase{"fields", "graphic240", nullptr}, FixtureCase{"fields", "logical", nullptr},
        FixtureCase{"fields", "long", nullptr}, FixtureCase{"fields", "memo", nullptr},
        FixtureCase{"fields", "ole", nullptr}, FixtureCase{"fields", "time", nullptr},
        FixtureCase{"fields", "timestamp", nullptr}, FixtureCase{"indexes", "C", nullptr},
        FixtureCase{"indexes", "case", nullptr}, FixtureCase{"indexes", "fk4", nullptr},
        FixtureCase{"indexes", "indexed", nullptr}, FixtureCase{"indexes", "multiple", nullptr},
        FixtureCase{"indexes", "primary", nullptr},
        FixtureCase{"encrypted", "encrypted", "encrypted"}),
    [](const auto& info) { return std::string(info.param.table); });

}  // namespace
