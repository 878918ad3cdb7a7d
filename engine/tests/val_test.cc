// Validity checks from .VAL files: the sample files decoded, and the checks enforced on post.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/paradox/codec.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/paradox/val_file.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

using namespace tablorix;

namespace {

using writer_check::TempDir;

const std::string kData = std::string(TABLORIX_TEST_DATA) + "/paradox";

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Byte 0x2E of the table header, which the .VAL repeats in its byte 0.
int Stamp(const std::string& db_path) { return ReadBytes(db_path).at(0x2E); }

// A validity entry to build: field position and the checks it holds.
struct Entry {
  int field = 0;
  bool required = false;
  std::optional<Value> minimum, maximum, default_value;
  std::string picture;
};

void PutU32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Composes a level-5 .VAL as the format notes describe it: header, entries with their values,
// no referential integrity, footer.
std::vector<uint8_t> BuildVal(const paradox::TableHeader& h, int stamp,
                              const std::vector<Entry>& entries) {
  std::vector<uint8_t> b(0x35, 0);
  b[0] = uint8_t(stamp);
  b[1] = paradox::kVersion5;
  b[2] = uint8_t(entries.size());
  const uint32_t kMarker = 0x6B00A0C0;  // the engine stores a run-time pointer; any non-zero
  for (const Entry& e : entries) {
    const auto& f = h.fields[size_t(e.field)];
    std::vector<uint8_t> en(0x1C, 0);
    en[0] = uint8_t(e.field);
    en[1] = uint8_t(e.picture.empty() ? 0 : e.picture.size() + 1);
    en[2] = e.required ? 1 : 0;
    std::vector<uint8_t> values;
    const std::optional<Value>* slots[] = {&e.minimum, &e.maximum, &e.default_value};
    for (int i = 0; i < 3; ++i) {
      if (!*slots[i]) continue;
      PutU32(&en, size_t(0x0C + 4 * i), kMarker);
      std::vector<uint8_t> v(size_t(f.length));
      paradox::EncodeField(f.type, f.size, **slots[i], v.data());
      values.insert(values.end(), v.begin(), v.end());
    }
    if (!e.picture.empty()) {
      PutU32(&en, 0x18, kMarker);
      values.insert(values.end(), e.picture.begin(), e.picture.end());
      values.push_back(0);
    }
    b.insert(b.end(), en.begin(), en.end());
    b.insert(b.end(), values.begin(), values.end());
  }
  PutU32(&b, 0x09, uint32_t(b.size()));
  const size_t n = h.fields.size();
  const uint8_t fixed[] = {uint8_t(n), 0, 1, 0, 0x5B, 0};
  b.insert(b.end(), std::begin(fixed), std::end(fixed));
  for (size_t i = 0; i < n; ++i) {
    b.push_back(uint8_t(i + 1));
    b.push_back(0);
  }
  for (const auto& f : h.fields) {
    b.push_back(f.type);
    b.push_back(f.size);
  }
  std::string table_name = "C:\\DATA\\T.DB";
  table_name.resize(79, '\0');
  b.insert(b.end(), table_name.begin(), table_name.end());
  for (const auto& f : h.fields) {
    b.insert(b.end(), f.name.begin(), f.name.end());
    b.push_back(0);
  }
  return b;
}

// ---------------------------------------------------------------------------------------------
// The sample files

struct Sample {
  const char* dir;
  const char* table;
  const char* val;
  int entries;
  std::vector<std::string> names;
  std::vector<bool> required;
  std::map<std::string, std::string> pictures;
};

TEST(ValSamples, DecodeEntriesFooterAndPictures) {
  const std::vector<Sample> samples = {
      {"indexes",
       "multiple",
       "multiple.val",
       2,
       {"ID", "FK", "A", "FK2"},
       {false, true, false, false},
       {{"A", "[(*3{#}) ]*3{#}-*4{#}"}}},
      {"indexes", "C", "C.VAL", 2, {"C", "A", "B"}, {true, true, false}, {}},
      {"indexes", "fk4", "fk4.val", 0, {"ID", "FK1", "B", "FK"}, {false, false, false, false}, {}},
      {"indexes", "primary", "primary.val", 0, {"ID", "Name"}, {false, false}, {}},
      {"fields", "logical", "logical.val", 1, {"BOOL"}, {true}, {}},
  };
  for (const Sample& sm : samples) {
    SCOPED_TRACE(sm.val);
    Session s;
    s.DbOpenDatabase(kData + "/" + sm.dir);
    auto c = s.DbOpenTable(sm.table);
    const auto& fields = c->table_file().header().fields;
    const auto bytes = ReadBytes(kData + "/" + sm.dir + "/" + sm.val);
    const auto checks =
        paradox::ParseValFile(bytes.data(), bytes.size(), fields, Stamp(s.TablePath(sm.table)));
    ASSERT_FALSE(checks.empty());
    EXPECT_EQ(checks.entries, sm.entries);
    EXPECT_EQ(checks.footer_names, sm.names);
    ASSERT_EQ(checks.fields.size(), sm.names.size());
    for (size_t i = 0; i < sm.names.size(); ++i) {
      SCOPED_TRACE(sm.names[i]);
      const auto& fc = checks.fields[i];
      EXPECT_EQ(fc.required, sm.required[i]);
      EXPECT_EQ(c->DbFieldDefs()[i].required, sm.required[i]);
      auto pic = sm.pictures.find(sm.names[i]);
      EXPECT_EQ(fc.picture, pic == sm.pictures.end() ? "" : pic->second);
      EXPECT_TRUE(fc.minimum.is_null());
      EXPECT_TRUE(fc.maximum.is_null());
      if (std::string(sm.table) != "logical") {
        EXPECT_TRUE(fc.default_value.is_null());
      }
    }
  }
}

TEST(ValSamples, LogicalDefaultIsTrue) {
  Session s;
  s.DbOpenDatabase(kData + "/fields");
  auto c = s.DbOpenTable("logical");
  const auto bytes = ReadBytes(kData + "/fields/logical.val");
  const auto checks = paradox::ParseValFile(
      bytes.data(), bytes.size(), c->table_file().header().fields, Stamp(s.TablePath("logical")));
  ASSERT_EQ(checks.fields.size(), 1u);
  EXPECT_EQ(checks.fields[0].default_value, Value::Bool(true));
}

// ---------------------------------------------------------------------------------------------
// Enforcement on tables this engine creates, with a .VAL composed by BuildVal

const std::vector<NewFieldDef> kOrders = {
    {"ID", paradox::kLong, 0},         {"NEV", paradox::kAlpha, 20},
    {"DARAB", paradox::kShort, 0},     {"NAP", paradox::kDate, 0},
    {"AR", paradox::kNumber, 0},       {"JEGYZET", paradox::kMemo, 10},
    {"SORSZAM", paradox::kAutoInc, 0},
};

const Value kFirstDay = Value::Text("2020-01-01");

class ValEnforce : public ::testing::Test {
 protected:
  void SetUp() override {
    s.DbOpenDatabase(dir.path());
    s.DbCreateTable("orders", kOrders, 1);
    paradox::TableHeader h;
    int day = 0;
    {
      auto c = s.DbOpenTable("orders");
      h = c->table_file().header();
    }
    {
      // The date as the engine stores it, read back from a scratch row.
      s.DbCreateTable("scratch", {{"D", paradox::kDate, 0}}, 0);
      OpenOptions w;
      w.read_only = false;
      auto c = s.DbOpenTable("scratch", w);
      c->Insert();
      c->SetValue("D", kFirstDay);
      c->Post();
      day = int(c->AsVariant("D").as_int());
    }
    const std::vector<Entry> entries = {
        {1, true, {}, {}, {}, "*!"},
        {2, false, Value::Int(1), Value::Int(100), Value::Int(10), ""},
        {3, false, Value::Date(day), {}, {}, ""},
        {4, false, {}, Value::Double(999.5), {}, ""},
        {5, true, {}, {}, {}, ""},
    };
    val = BuildVal(h, Stamp(s.TablePath("orders")), entries);
    WriteBytes(dir.path() + "/ORDERS.val", val);  // found ignoring case
  }

  std::unique_ptr<Cursor> Writable() {
    OpenOptions w;
    w.read_only = false;
    return s.DbOpenTable("orders", w);
  }

  // A record that passes every check, with `changes` applied on top.
  static void Fill(Cursor& c, int id, const std::map<std::string, Value>& changes) {
    std::map<std::string, Value> v = {{"ID", Value::Int(id)},    {"NEV", Value::Text("Alma")},
                                      {"DARAB", Value::Int(5)},  {"NAP", Value::Text("2021-05-06")},
                                      {"AR", Value::Double(10)}, {"JEGYZET", Value::Text("m")}};
    for (const auto& [k, x] : changes) v[k] = x;
    for (const auto& [k, x] : v) c.SetValue(k, x);
  }

  TempDir dir;
  Session s;
  std::vector<uint8_t> val;
};

struct Case {
  const char* what;
  std::map<std::string, Value> changes;
  const char* error;  // nullptr: accepted
};

const std::vector<Case> kCases = {
    {"valid", {}, nullptr},
    {"required alpha null", {{"NEV", Value::Null()}}, "Field value required: NEV"},
    {"required alpha blank", {{"NEV", Value::Text("   ")}}, "Field value required: NEV"},
    {"required memo null", {{"JEGYZET", Value::Null()}}, "Field value required: JEGYZET"},
    {"below minimum", {{"DARAB", Value::Int(0)}}, "Value out of range: DARAB (minimum 1)"},
    {"negative", {{"DARAB", Value::Int(-7)}}, "Value out of range: DARAB (minimum 1)"},
    {"above maximum", {{"DARAB", Value::Int(101)}}, "Value out of range: DARAB (maximum 100)"},
    {"at minimum", {{"DARAB", Value::Int(1)}}, nullptr},
    {"at maximum", {{"DARAB", Value::Int(100)}}, nullptr},
    {"null, not required", {{"DARAB", Value::Null()}}, nullptr},
    {"date below minimum",
     {{"NAP", Value::Text("2019-12-31")}},
     "Value out of range: NAP (minimum 2020-01-01)"},
    {"date at minimum", {{"NAP", kFirstDay}}, nullptr},
    {"number above maximum",
     {{"AR", Value::Double(999.51)}},
     "Value out of range: AR (maximum 999.5)"},
    {"number at maximum", {{"AR", Value::Double(999.5)}}, nullptr},
};

TEST_F(ValEnforce, FieldDefsReportRequired) {
  auto c = s.DbOpenTable("orders");
  std::vector<bool> required;
  for (const auto& d : c->DbFieldDefs()) required.push_back(d.required);
  EXPECT_EQ(required, (std::vector<bool>{false, true, false, false, false, true, false}));
}

TEST_F(ValEnforce, ParsedValuesRoundTrip) {
  auto c = s.DbOpenTable("orders");
  const auto checks = paradox::ParseValFile(val.data(), val.size(), c->table_file().header().fields,
                                            Stamp(s.TablePath("orders")));
  ASSERT_EQ(checks.fields.size(), kOrders.size());
  EXPECT_EQ(checks.entries, 5);
  EXPECT_EQ(checks.fields[1].picture, "*!");
  EXPECT_EQ(checks.fields[2].minimum, Value::Int(1));
  EXPECT_EQ(checks.fields[2].maximum, Value::Int(100));
  EXPECT_EQ(checks.fields[2].default_value, Value::Int(10));
  EXPECT_EQ(checks.fields[4].maximum, Value::Double(999.5));
  EXPECT_TRUE(checks.fields[4].minimum.is_null());
}

TEST_F(ValEnforce, InsertIsCheckedAndRefusalChangesNothing) {
  auto c = Writable();
  int64_t rows = 0;
  int id = 1;
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    c->Insert();
    Fill(*c, id, k.changes);
    if (k.error == nullptr) {
      EXPECT_NO_THROW(c->Post());
      ++rows;
      ++id;
    } else {
      try {
        c->Post();
        ADD_FAILURE() << "accepted";
      } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), k.error);
      }
      EXPECT_EQ(c->state(), Cursor::State::kInsert);
      c->Cancel();
    }
    EXPECT_EQ(c->RowCount(), rows);
  }
  // Another session sees only the accepted rows.
  Session other;
  other.DbOpenDatabase(dir.path());
  EXPECT_EQ(other.DbOpenTable("orders")->RowCount(), rows);
}

TEST_F(ValEnforce, EditIsChecked) {
  auto c = Writable();
  c->Insert();
  Fill(*c, 1, {});
  c->Post();
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    c->First();
    c->Edit();
    Fill(*c, 1, k.changes);
    if (k.error == nullptr) {
      EXPECT_NO_THROW(c->Post());
      // Restore the valid row for the next case.
      c->Edit();
      Fill(*c, 1, {});
      c->Post();
    } else {
      EXPECT_THROW(c->Post(), EngineError);
      EXPECT_EQ(c->state(), Cursor::State::kEdit);
      c->Cancel();
      c->First();
      EXPECT_EQ(c->AsText("NEV"), "Alma");
      EXPECT_EQ(c->AsVariant("DARAB"), Value::Int(5));
      EXPECT_EQ(c->AsText("JEGYZET"), "m");
    }
  }
  // An edit that leaves the stored memo alone keeps it: the required memo is not null.
  c->First();
  c->Edit();
  c->SetValue("DARAB", Value::Int(7));
  EXPECT_NO_THROW(c->Post());
}

TEST_F(ValEnforce, RefusedPostInsideBatchKeepsTheBatch) {
  auto c = Writable();
  c->BeginBatch();
  c->Insert();
  Fill(*c, 1, {});
  c->Post();
  c->Insert();
  Fill(*c, 2, {{"DARAB", Value::Int(0)}});
  EXPECT_THROW(c->Post(), EngineError);
  c->SetValue("DARAB", Value::Int(2));  // corrected
  c->Post();
  c->EndBatch();
  EXPECT_EQ(c->RowCount(), 2);
}

TEST_F(ValEnforce, PackKeepsChecksRestructureMakesThemStale) {
  auto required = [&] { return s.DbOpenTable("orders")->DbFieldDefs()[1].required; };
  ASSERT_TRUE(s.DbPackTable("orders", "PARADOX"));
  EXPECT_TRUE(required());  // same structure, same stamp
  s.DbAddField("orders", {"UJ", paradox::kShort, 0});
  EXPECT_FALSE(required());  // the stamp moved on and the footer no longer fits
  auto c = Writable();
  c->Insert();
  Fill(*c, 1, {{"NEV", Value::Null()}});
  EXPECT_NO_THROW(c->Post());
}

// ---------------------------------------------------------------------------------------------
// Damaged or unknown files: no checks, and the table opens and reads as before

TEST_F(ValEnforce, DamagedValGivesNoChecks) {
  auto c0 = s.DbOpenTable("orders");
  const auto fields = c0->table_file().header().fields;
  const int stamp = Stamp(s.TablePath("orders"));
  c0.reset();
  auto patched = [&](size_t at, uint8_t v) {
    auto b = val;
    b[at] = v;
    return b;
  };
  const size_t footer = size_t(val[9] | val[10] << 8);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> bad = {
      {"empty", {}},
      {"cut in the header", std::vector<uint8_t>(val.begin(), val.begin() + 0x20)},
      {"cut in the footer", std::vector<uint8_t>(val.begin(), val.end() - 3)},
      {"garbage", std::vector<uint8_t>(300, 0xA5)},
      {"level 3 layout", patched(1, paradox::kVersion35)},
      {"stale stamp", patched(0, uint8_t(stamp + 1))},
      {"entry count too high", patched(2, 6)},
      {"entry field out of range", patched(0x35, 40)},
      {"footer type differs", patched(footer + 6 + 2 * kOrders.size(), paradox::kShort)},
      {"footer offset past the end", patched(0x0B, 0x7F)},
      {"picture size too large", patched(0x35 + 1, 0xF0)},
  };
  for (const auto& [what, bytes] : bad) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(paradox::ParseValFile(bytes.data(), bytes.size(), fields, stamp).empty());
    WriteBytes(dir.path() + "/ORDERS.val", bytes);
    auto c = Writable();
    for (const auto& d : c->DbFieldDefs()) EXPECT_FALSE(d.required);
    c->Insert();
    Fill(*c, int(c->RowCount()) + 1, {{"NEV", Value::Null()}, {"DARAB", Value::Int(0)}});
    EXPECT_NO_THROW(c->Post());
  }
}

TEST_F(ValEnforce, EveryPrefixAndRandomDamageParsesSafely) {
  auto c = s.DbOpenTable("orders");
  const auto& fields = c->table_file().header().fields;
  const int stamp = Stamp(s.TablePath("orders"));
  ASSERT_FALSE(paradox::ParseValFile(val.data(), val.size(), fields, stamp).empty());
  // Every cut-short file is refused (the footer names run to the last byte).
  for (size_t n = 0; n < val.size(); ++n)
    ASSERT_TRUE(paradox::ParseValFile(val.data(), n, fields, stamp).empty()) << n;
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    auto b = val;
    for (int k = 0; k < 4; ++k) b[rng() % b.size()] = uint8_t(rng());
    const auto checks = paradox::ParseValFile(b.data(), b.size(), fields, stamp);
    ASSERT_TRUE(checks.empty() || checks.fields.size() == fields.size());
  }
}

}  // namespace
