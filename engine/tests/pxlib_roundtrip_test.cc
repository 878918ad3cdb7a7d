// Tables written by pxlib read back through our reader: every field type pxlib can write, edge
// values and nulls, enough rows for a chain of data blocks.
#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/types.h"
#include "engine/value.h"

using namespace tablorix;

namespace {

// A temporary directory removed with everything in it.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/pxlib_rt_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

// Day number of our calendar (0001-01-01 = 1) as pxlib computes it, independent of ours.
int32_t PxDay(int y, int m, int d) { return int32_t(PX_GregorianToSdn(y, m, d) - 1721425); }

// One column: its pxlib descriptor, the type we must report, and the values cycled over the rows
// (Null leaves the field zero, which is null in every type).
struct Column {
  const char* name;
  char px_type;
  int len;
  int decimals;
  TFieldType expected_type;
  std::vector<Value> values;
  // Writes a non-null value through pxlib's encoders.
  std::function<void(pxdoc_t*, char*, int, const Value&)> put;
};

void PutAlpha(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_alpha(d, p, len, const_cast<char*>(v.as_string().c_str()));
}
void PutShort(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_short(d, p, len, short(v.as_int()));
}
void PutLong(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_long(d, p, len, int(v.as_int()));
}
void PutDouble(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_double(d, p, len, v.as_double());
}
void PutBool(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_byte(d, p, len, v.as_bool() ? 1 : 0);
}
void PutBytes(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_bytes(d, p, len, const_cast<char*>(v.as_string().data()));
}

void PutBlob(pxdoc_t* d, char* p, int len, const Value& v) {
  PX_put_data_blob(d, p, len, const_cast<char*>(v.as_string().data()), int(v.as_string().size()));
}

const std::string kHungarian = "\xF5\xFB\xD5\xDB\xE1\xE9";  // "őűŐŰáé" in Windows-1250

std::vector<Column> AllColumns() {
  auto ts = [](int y, int m, int d, int64_t ms) {
    return Value::DateTime(double(PxDay(y, m, d)) * double(kMsPerDay) + double(ms));
  };
  std::vector<Column> c;
  c.push_back({"Name",
               pxfAlpha,
               20,
               0,
               TFieldType::ftString,
               {Value::Text("abc"), Value::Null(), Value::Text(kHungarian),
                Value::Text(std::string(20, 'Z')), Value::Text("x" + kHungarian + " y")},
               PutAlpha});
  c.push_back({"Born",
               pxfDate,
               4,
               0,
               TFieldType::ftDate,
               {Value::Date(PxDay(1899, 12, 31)), Value::Date(PxDay(2040, 2, 29)), Value::Null(),
                Value::Date(PxDay(1, 1, 1)), Value::Date(PxDay(1600, 3, 1)),
                Value::Date(PxDay(9999, 12, 31))},
               [](pxdoc_t* d, char* p, int len, const Value& v) {
                 PX_put_data_long(d, p, len, int(v.as_int()));
               }});
  c.push_back({"Small",
               pxfShort,
               2,
               0,
               TFieldType::ftSmallint,
               {Value::Int(-32767), Value::Int(32767), Value::Int(0), Value::Null(), Value::Int(-1),
                Value::Int(1)},
               PutShort});
  c.push_back({"Big",
               pxfLong,
               4,
               0,
               TFieldType::ftInteger,
               {Value::Int(-2147483647), Value::Int(2147483647), Value::Null(), Value::Int(0),
                Value::Int(-256)},
               PutLong});
  c.push_back({"Money",
               pxfCurrency,
               8,
               0,
               TFieldType::ftCurrency,
               {Value::Double(12.34), Value::Double(-0.01), Value::Double(0), Value::Null(),
                Value::Double(-99999999.99), Value::Double(0.5)},
               PutDouble});
  c.push_back({"Num",
               pxfNumber,
               8,
               0,
               TFieldType::ftFloat,
               {Value::Double(-1e300), Value::Double(3.141592653589793), Value::Null(),
                Value::Double(0), Value::Double(1e-300), Value::Double(-2.5)},
               PutDouble});
  c.push_back({"Flag",
               pxfLogical,
               1,
               0,
               TFieldType::ftBoolean,
               {Value::Bool(true), Value::Bool(false), Value::Null()},
               PutBool});
  c.push_back({"At",
               pxfTime,
               4,
               0,
               TFieldType::ftTime,
               {Value::Time(0), Value::Time(13 * 3600000 + 14 * 60000 + 15016), Value::Null(),
                Value::Time(int32_t(kMsPerDay - 1))},
               PutLong});
  c.push_back({"Stamp",
               pxfTimestamp,
               8,
               0,
               TFieldType::ftDateTime,
               {ts(2024, 2, 29, 45296789), ts(1850, 1, 1, 0), Value::Null(),
                ts(2100, 12, 31, kMsPerDay - 1)},
               PutDouble});
  c.push_back({"Id",
               pxfAutoInc,
               4,
               0,
               TFieldType::ftAutoInc,
               {Value::Int(1), Value::Int(2147483647), Value::Null()},
               PutLong});
  c.push_back({"Raw",
               pxfBytes,
               6,
               0,
               TFieldType::ftBytes,
               {Value::Bytes(std::string("\x01\x00\xFF\x7F\x80\x02", 6)), Value::Null(),
                Value::Bytes(std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6))},
               PutBytes});
  return c;
}

// BCD and blob columns: pxlib writes BCD from decimal text and blobs into a .MB file (inline in
// the leader, suballocated, or a block run of their own, by length).
std::vector<Column> BcdAndBlobColumns() {
  std::vector<Column> c;
  c.push_back({"Dec",
               pxfBCD,
               17,
               2,
               TFieldType::ftFloat,
               {Value::Double(123.45), Value::Double(-0.5), Value::Null(), Value::Double(0)},
               [](pxdoc_t* d, char* p, int len, const Value& v) {
                 std::string t = FormatValue(v);
                 PX_put_data_bcd(d, p, 2, const_cast<char*>(t.c_str()));
               }});
  c.push_back({"Note",
               pxfMemoBLOb,
               20,
               0,
               TFieldType::ftMemo,
               {Value::Text("short"), Value::Text(std::string(100, 'm') + kHungarian),
                Value::Null(), Value::Text(std::string(3000, 'q'))},
               PutBlob});
  c.push_back({"Data",
               pxfBLOb,
               10,
               0,
               TFieldType::ftBlob,
               {Value::Bytes(std::string(700, '\x01')), Value::Null(),
                Value::Bytes(std::string(9000, '\xEE'))},
               PutBlob});
  return c;
}

struct Written {
  std::vector<Column> columns;
  int rows;
};

// Creates dir/name.DB with pxlib and `rows` records; row r of column c holds values[r % n].
void WriteTable(const std::filesystem::path& dir, const std::string& name,
                const std::vector<Column>& cols, int rows) {
  pxdoc_t* doc = PX_new();
  ASSERT_NE(doc, nullptr);
  std::vector<pxfield_t> fields(cols.size());
  for (size_t i = 0; i < cols.size(); ++i) {
    fields[i].px_fname = PX_strdup(doc, cols[i].name);
    fields[i].px_ftype = cols[i].px_type;
    fields[i].px_flen = cols[i].len;
    fields[i].px_fdc = cols[i].decimals;
  }
  const std::string path = (dir / (name + ".DB")).string();
  // pxlib takes ownership of the field array.
  auto* owned = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "f"));
  std::copy(fields.begin(), fields.end(), owned);
  ASSERT_EQ(PX_create_file(doc, owned, int(cols.size()), path.c_str(), pxfFileTypNonIndexDB), 0);
  PX_set_parameter(doc, "tablename", name.c_str());
  // Without this pxlib marks the table as code page 1252, where most Hungarian letters do not
  // exist.
  ASSERT_EQ(PX_set_value(doc, "codepage", 1250), 0);
  bool has_blobs = false;
  for (const Column& c : cols) has_blobs |= c.px_type >= pxfMemoBLOb && c.px_type <= pxfGraphic;
  if (has_blobs) {
    ASSERT_GE(PX_set_blob_file(doc, (dir / (name + ".MB")).string().c_str()), 0);
  }
  std::vector<char> rec(size_t(PX_get_recordsize(doc)));
  for (int r = 0; r < rows; ++r) {
    std::fill(rec.begin(), rec.end(), 0);
    int off = 0;
    for (const Column& c : cols) {
      const Value& v = c.values[size_t(r) % c.values.size()];
      if (!v.is_null()) c.put(doc, rec.data() + off, c.len, v);
      off += c.len;
    }
    ASSERT_GE(PX_put_record(doc, rec.data()), 0);
  }
  PX_close(doc);
  PX_delete(doc);
}

// Reads the table back and compares every value and the field definitions.
void CheckTable(const std::filesystem::path& dir, const std::string& name,
                const std::vector<Column>& cols, int rows) {
  Session s;
  s.DbOpenDatabase(dir.string());
  auto cur = s.DbOpenTable(name);
  const auto& defs = cur->DbFieldDefs();
  ASSERT_EQ(defs.size(), cols.size());
  for (size_t i = 0; i < cols.size(); ++i) {
    EXPECT_EQ(defs[i].name, cols[i].name);
    EXPECT_EQ(defs[i].type, cols[i].expected_type)
        << cols[i].name << ": " << FieldTypeName(defs[i].type);
  }
  EXPECT_EQ(cur->RowCount(), rows);
  int r = 0;
  for (cur->First(); !cur->Eof(); cur->Next(), ++r) {
    ASSERT_LT(r, rows);
    for (size_t i = 0; i < cols.size(); ++i) {
      const Value& want = cols[i].values[size_t(r) % cols[i].values.size()];
      const Value got = cur->AsVariant(int(i));
      EXPECT_EQ(cur->IsNull(int(i)), want.is_null()) << cols[i].name << " row " << r;
      EXPECT_TRUE(got == want) << cols[i].name << " row " << r << ": want '" << FormatValue(want)
                               << "' got '" << FormatValue(got) << "'";
      EXPECT_EQ(cur->AsText(int(i)), FormatValue(want)) << cols[i].name << " row " << r;
    }
  }
  EXPECT_EQ(r, rows);
}

TEST(PxlibRoundTrip, EveryScalarTypeOverManyBlocks) {
  PX_boot();
  TempDir dir;
  const auto cols = AllColumns();
  const int rows = 457;  // not a multiple of any column's cycle nor of records per block
  WriteTable(dir.path, "alltypes", cols, rows);
  CheckTable(dir.path, "alltypes", cols, rows);
  PX_shutdown();
}

TEST(PxlibRoundTrip, BcdAndBlobs) {
  PX_boot();
  TempDir dir;
  const auto cols = BcdAndBlobColumns();
  const int rows = 61;
  WriteTable(dir.path, "blobs", cols, rows);
  CheckTable(dir.path, "blobs", cols, rows);
  PX_shutdown();
}

}  // namespace
