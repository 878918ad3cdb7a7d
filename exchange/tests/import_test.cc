// The CSV import: reading the file's records and columns, the load and its log, bad input, and
// exported files loading back into an empty copy of their table.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cli/demo_database.h"
#include "engine/dataset.h"
#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"
#include "exchange/core/Betolt.h"
#include "exchange/core/Hatarolt.h"

namespace tablorix::exchange {
namespace {

namespace fs = std::filesystem;

using writer_check::TempDir;

using Rows = std::vector<std::vector<std::string>>;

// Every row as text ("null" for nulls), large objects left out.
Rows TableRows(Session& s, const std::string& table) {
  auto c = s.DbOpenTable(table);
  Rows rows;
  for (c->First(); !c->Eof() && !c->IsEmpty(); c->Next()) {
    std::vector<std::string> row;
    for (size_t i = 0; i < c->DbFieldDefs().size(); ++i) {
      if (c->DbFieldDefs()[i].is_blob) continue;
      row.push_back(c->IsNull(int(i)) ? "null" : c->AsText(int(i)));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> Values(const std::string& line) {
  const auto records = SplitImportText(line);
  return records.empty() ? std::vector<std::string>{} : records[0].values;
}

TEST(ImportFile, RecordsAndValues) {
  using V = std::vector<std::string>;
  const std::pair<const char*, V> cases[] = {
      {"a;b;c", {"a", "b", "c"}},
      {"a;;c;", {"a", "", "c", ""}},  // the export's trailing separator: an empty last value
      {"\"x;y\";\"say \"\"hi\"\"\";", {"x;y", "say \"hi\"", ""}},
      {"\"\";z", {"", "z"}},
      {"\"ab\"c;d", {"\"ab\"c", "d"}},  // not closed where the value ends: taken as it stands
      {"\"open;x", {"\"open", "x"}},
      {"a\"b\";c", {"a\"b\"", "c"}},
      {"'q';r", {"'q'", "r"}},
  };
  for (const auto& [line, values] : cases) EXPECT_EQ(Values(line), values) << line;

  const auto records = SplitImportText("h1;h2\r\n1;\"two\r\nlines\"\n\n3\r4\r\n");
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[1].values, (V{"1", "two\r\nlines"}));
  EXPECT_EQ(records[2].line, 3);  // an empty line: one empty value
  EXPECT_EQ(records[2].values, (V{""}));
  EXPECT_EQ(records[3].line, 4);
  EXPECT_EQ(records[4].values, (V{"4"}));
  EXPECT_TRUE(SplitImportText("").empty());
}

TEST(ImportFile, ColumnListFromTheFirstLine) {
  TempDir dir;
  auto names = [&](const std::string& text) {
    std::ofstream(dir / "f.csv", std::ios::binary) << text;
    std::vector<ImportColumn> cols = {{"former", true}};
    const bool filled = FillColumnList(dir / "f.csv", &cols);
    std::vector<std::string> out;
    for (const auto& c : cols) out.push_back(c.ItemText());
    if (!filled) out.insert(out.begin(), "(kept)");
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(names("Nev;;Kor\r\na;1;2\r\n"), (V{"[nev]", "[kor]"}));
  EXPECT_EQ(names(" \xC1R ;\"N\xC9V\";"), (V{"[\xE1r]", "[n\xE9v]"}));
  EXPECT_EQ(names(""), (V{"(kept)", "[former]"}));
  EXPECT_EQ(names("\r\nA;B\r\n"), (V{"(kept)", "[former]"}));
  std::string sixty;
  for (int i = 1; i <= 60; ++i) sixty += "F" + std::to_string(i) + ";";
  const V many = names(sixty);
  ASSERT_EQ(many.size(), 50u);
  EXPECT_EQ(many.back(), "[f50]");
  EXPECT_THROW(FillColumnList(dir / "missing.csv", nullptr), EngineError);
}

// An unkeyed table of every type the import fills, and a keyed one for refusals.
class ImportFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    s_.DbOpenDatabase(dir_.path());
    s_.DbCreateTable("T", Fields(), 0);
    s_.DbCreateTable("K", {{"KOD", paradox::kAlpha, 4}, {"DB", paradox::kShort, 0}}, 1);
  }
  static std::vector<NewFieldDef> Fields() {
    using namespace paradox;
    return {{"NEV", kAlpha, 20}, {"KOR", kShort, 0},       {"SZAM", kLong, 0},
            {"AR", kNumber, 0},  {"PENZ", kCurrency, 0},   {"NAP", kDate, 0},
            {"IDO", kTime, 0},   {"MIKOR", kTimestamp, 0}, {"IGEN", kLogical, 0},
            {"MEGJ", kMemo, 10}};
  }
  ImportOutcome Load(const std::string& table, const std::string& text) {
    ImportOutcome out;
    const auto records = SplitImportText(text);
    LoadImportText(s_, table, text,
                   records.empty() ? std::vector<ImportColumn>{} : ColumnsOfHeader(records[0]),
                   FormatSettings{}, &out);
    return out;
  }
  // The table can be opened exclusively: the load left it closed.
  bool Closed(const std::string& table) {
    OpenOptions o;
    o.exclusive = true;
    try {
      s_.DbOpenTable(table, o);
      return true;
    } catch (const EngineError&) {
      return false;
    }
  }
  TempDir dir_;
  Session s_;
};

TEST_F(ImportFixture, ValuesAreReadByTheFieldType) {
  const ImportOutcome out = Load("T",
                                 "nev;kor;szam;ar;penz;nap;ido;mikor;igen;megj\r\n"
                                 "  K\xF6rte ;-12;1 000;1,5;-2.25;2024. 03. 15.;7:05:09;"
                                 "2023. 12. 31. 23:59:58;True;memo\r\n"
                                 "\"a\"\"b\";;;1.5;;;;;false;\r\n"
                                 "   ;  ;;;;;;;;\r\n");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         kLoadStarts, std::string(kLoadDonePrefix) + "3" + kLoadDoneSuffix}));
  EXPECT_EQ(out.loaded, 3);
  const Rows rows = TableRows(s_, "T");
  EXPECT_EQ(rows, (Rows{{"K\xF6rte", "-12", "1000", "1.5", "-2.25", "2024-03-15", "07:05:09",
                         "2023-12-31T23:59:58", "True"},
                        {"a\"b", "null", "null", "1.5", "null", "null", "null", "null", "False"},
                        {"null", "null", "null", "null", "null", "null", "null", "null", "null"}}));
  auto c = s_.DbOpenTable("T");
  c->First();
  EXPECT_TRUE(c->IsNull("MEGJ"));  // memos are not loaded: an export writes a placeholder there
}

TEST_F(ImportFixture, ColumnsMapByPositionAmongTheKeptNames) {
  // Nev;;Kor keeps [nev] and [kor]: the second value goes to kor, the third is left over.
  std::vector<ImportColumn> cols = ColumnsOfHeader(SplitImportText("Nev;;Kor").front());
  ImportOutcome out;
  LoadImportText(s_, "T", "Nev;;Kor\r\na;1;2\r\n", cols, FormatSettings{}, &out);
  EXPECT_EQ(TableRows(s_, "T")[0][0], "a");
  EXPECT_EQ(TableRows(s_, "T")[0][1], "1");

  // An unchecked column leaves its field unset and keeps the numbering.
  cols[0].checked = false;
  LoadImportText(s_, "T", "Nev;;Kor\r\nb;3\r\n", cols, FormatSettings{}, &out);
  EXPECT_EQ(TableRows(s_, "T")[1][0], "null");
  EXPECT_EQ(TableRows(s_, "T")[1][1], "3");
}

TEST_F(ImportFixture, RefusedRecordsAreLoggedAndTheLoadGoesOn) {
  const ImportOutcome out = Load("K",
                                 "kod;db\r\n"
                                 "A;1\r\n"
                                 "A;2\r\n"       // key violation
                                 "HOSSZU;3\r\n"  // longer than the field
                                 "B;5\r\n");
  ASSERT_EQ(out.log.size(), 4u) << ::testing::PrintToString(out.log);
  EXPECT_EQ(out.log[1].rfind("Sor: 2 Hiba: ", 0), 0u) << out.log[1];
  EXPECT_EQ(out.log[2].rfind("Sor: 3 Hiba: ", 0), 0u) << out.log[2];
  EXPECT_EQ(out.log[3], std::string(kLoadDonePrefix) + "2" + kLoadDoneSuffix);
  EXPECT_EQ(TableRows(s_, "K"), (Rows{{"A", "1"}, {"B", "5"}}));
  EXPECT_TRUE(Closed("K"));

  const ImportOutcome header_only = Load("K", "kod;db\r\n");
  EXPECT_EQ(header_only.log.back(), std::string(kLoadDonePrefix) + "0" + kLoadDoneSuffix);
}

TEST_F(ImportFixture, BadValuesEndTheLoadAndKeepWhatWasPosted) {
  struct Case {
    const char* what;
    std::string text;
    int line;
    const char* message_part;
  };
  const Case cases[] = {
      {"unparsable date", "nev;nap\r\na;2024. 01. 02.\r\nb;2024. 13. 40.\r\nc;\r\n", 2,
       "not a valid date"},
      {"unknown column, at the first line that fills it", "nev;nincs\r\na;\r\nb;x\r\nc;\r\n", 2,
       "NINCS"},
      {"integer outside the field's range", "nev;kor\r\na;1\r\nb;70000\r\n", 2, "KOR"},
      {"integer that is no integer", "nev;kor\r\na;1\r\nb;1.5\r\n", 2, "not a valid integer"},
      {"number that is no number", "nev;ar\r\na;0\r\nb;abc\r\n", 2, "not a valid floating"},
      {"logical value that is neither", "nev;igen\r\na;True\r\nb;Talan\r\n", 2, "boolean"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    s_.DbEmptyTable("T");
    ImportOutcome out;
    const auto records = SplitImportText(c.text);
    try {
      LoadImportText(s_, "T", c.text, ColumnsOfHeader(records[0]), FormatSettings{}, &out);
      ADD_FAILURE() << "the load went through";
    } catch (const ImportError& e) {
      EXPECT_EQ(e.line(), c.line);
      std::string message = e.what();
      for (char& ch : message) ch = char(std::toupper(uint8_t(ch)));
      std::string part = c.message_part;
      for (char& ch : part) ch = char(std::toupper(uint8_t(ch)));
      EXPECT_NE(message.find(part), std::string::npos) << e.what();
    }
    EXPECT_EQ(out.log, std::vector<std::string>{kLoadStarts});  // no closing line
    const Rows rows = TableRows(s_, "T");
    ASSERT_EQ(rows.size(), size_t(c.line - 1));
    EXPECT_EQ(rows[0][0], "a");
    EXPECT_TRUE(Closed("T"));
  }
}

TEST_F(ImportFixture, BinaryGarbageNeverLosesPostedRecords) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 20; ++round) {
    s_.DbEmptyTable("K");
    std::string text = "kod;db\r\nA;1\r\nB;2\r\n";
    const int n = 1 + int(rng() % 300);
    for (int i = 0; i < n; ++i) text += char(rng() % 4 == 0 ? ';' : rng() % 256);
    text += "\r\nZ;9\r\n";
    ImportOutcome out;
    try {
      LoadImportText(s_, "K", text, ColumnsOfHeader(SplitImportText(text)[0]), FormatSettings{},
                     &out);
      EXPECT_EQ(out.log.back().rfind(kLoadDonePrefix, 0), 0u);
    } catch (const ImportError& e) {
      EXPECT_GE(e.line(), 3);
    }
    const Rows rows = TableRows(s_, "K");
    for (const char* key : {"A", "B"})
      EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [&](const auto& r) { return r[0] == key; }),
                1);
    EXPECT_TRUE(Closed("K"));
  }
  // A file that is garbage from its first byte names no field at all.
  s_.DbEmptyTable("K");
  static const char kJunk[] = "\x01\xFF;\x80\x00\x7F;\r\n\xFE\xFD;\x00;\r\n";
  const std::string junk(kJunk, sizeof kJunk - 1);
  ImportOutcome out;
  EXPECT_THROW(LoadImportText(s_, "K", junk, ColumnsOfHeader(SplitImportText(junk)[0]),
                              FormatSettings{}, &out),
               ImportError);
  EXPECT_TRUE(TableRows(s_, "K").empty());
}

TEST_F(ImportFixture, LongLoadKeepsEveryPostedRecordAcrossBatches) {
  // Thousands of lines: a duplicate key well inside a batch, then a bad value that ends the load.
  s_.DbCreateTable("N", {{"N", paradox::kLong, 0}, {"NAP", paradox::kDate, 0}}, 1);
  std::string text = "n;nap\r\n";
  for (int i = 1; i <= 2600; ++i) {
    if (i == 1500) text += "1499;\r\n";
    text += std::to_string(i) + (i == 2400 ? ";2024. 02. 30.\r\n" : ";\r\n");
  }
  ImportOutcome out;
  try {
    LoadImportText(s_, "N", text, ColumnsOfHeader(SplitImportText(text)[0]), FormatSettings{},
                   &out);
    ADD_FAILURE() << "the load went through";
  } catch (const ImportError& e) {
    EXPECT_EQ(e.line(), 2401);
  }
  ASSERT_EQ(out.log.size(), 2u);
  EXPECT_EQ(out.log[1].rfind("Sor: 1500 Hiba: ", 0), 0u) << out.log[1];
  const Rows rows = TableRows(s_, "N");
  ASSERT_EQ(rows.size(), 2399u);
  for (int i = 0; i < 2399; ++i) ASSERT_EQ(rows[size_t(i)][0], std::to_string(i + 1));
  EXPECT_TRUE(Closed("N"));
}

TEST_F(ImportFixture, ProgressCountsTheDataLines) {
  std::vector<std::pair<int64_t, int64_t>> calls;
  ImportOutcome out;
  const std::string text = "nev\r\na\r\nb\r\nc\r\n";
  LoadImportText(s_, "T", text, ColumnsOfHeader(SplitImportText(text)[0]), FormatSettings{}, &out,
                 [&](int64_t done, int64_t total) {
                   calls.push_back({done, total});
                 });
  EXPECT_EQ(calls, (std::vector<std::pair<int64_t, int64_t>>{{1, 3}, {2, 3}, {3, 3}}));
}

// Exports `table` with `options`, loads the file into the empty table `copy` and compares.
void ExportAndLoadBack(Session& s, const std::string& table, const std::string& copy,
                       const TextExportOptions& options, const std::string& file) {
  const FormatSettings settings;
  {
    auto cursor = s.DbOpenTable(table);
    TableDataset ds(*cursor);
    TextExport exp(ds);
    exp.Run(file, options, settings);
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<ImportColumn> cols;
  ASSERT_TRUE(FillColumnList(file, &cols));
  ImportOutcome out;
  LoadImportText(s, copy, text.str(), cols, settings, &out);
  EXPECT_EQ(out.log.size(), 2u) << out.log[1];
  EXPECT_EQ(TableRows(s, copy), TableRows(s, table));
}

TEST_F(ImportFixture, ExportedFilesLoadBackIntoAnEmptyCopy) {
  s_.DbCreateTable("T2", Fields(), 0);
  OpenOptions o;
  o.read_only = false;
  {
    auto c = s_.DbOpenTable("T", o);
    const char* names[] = {"\xC1rv\xEDzt\xFBr\xF5", "t\xFCk\xF6rf\xFAr\xF3g\xE9p", "a;b \"c\"",
                           "'aposztr\xF3"
                           "f'",
                           "v\xE9g;"};
    for (int i = 0; i < 5; ++i) {
      c->Insert();
      c->SetValue("NEV", Value::Text(names[i]));
      if (i != 1) c->SetValue("KOR", Value::Int(i * 10 - 20));
      if (i != 2) c->SetValue("SZAM", Value::Int(i * 1000003 - 2000000));
      if (i != 3) c->SetValue("AR", Value::Double(i / 3.0 - 1));
      if (i != 4) c->SetValue("PENZ", Value::Double(1234.56 * i));
      if (i != 0) c->SetValue("NAP", Value::Date(DayNumberFromCivil(1950 + i * 17, 1 + i, 3 + i)));
      if (i != 1) c->SetValue("IDO", Value::Time((i * 3600 + 61) * 1000));
      if (i != 2)
        c->SetValue(
            "MIKOR",
            Value::DateTime(double(DayNumberFromCivil(2001, 2, 3 + i)) * kMsPerDay + i * 7000));
      if (i != 3) c->SetValue("IGEN", Value::Bool(i % 2 == 0));
      c->Post();
    }
  }
  const TextExportOptions option_sets[] = {
      {';', 0, false, false, false},
      {';', '"', false, true, false},
      {';', '"', true, false, false},
  };
  for (const TextExportOptions& options : option_sets) {
    SCOPED_TRACE(std::string("quote ") + (options.quote ? options.quote : '-'));
    s_.DbEmptyTable("T2");
    ExportAndLoadBack(s_, "T", "T2", options, dir_ / "t.csv");
  }
}

TEST(ImportRoundTrip, DemoCustomersLoadBack) {
  TempDir dir;
  demo::WriteDemoDatabase(dir / "a", false);
  demo::WriteDemoDatabase(dir / "b", false);
  Session s;
  s.DbOpenDatabase(dir / "b");
  s.DbEmptyTable("VEVOK");
  // The copy's directory is opened; the original is read from the other one.
  const std::string file = dir / "vevok.csv";
  {
    Session a;
    a.DbOpenDatabase(dir / "a");
    auto cursor = a.DbOpenTable("VEVOK");
    TableDataset ds(*cursor);
    TextExport exp(ds);
    exp.Run(file, {';', 0, false, false, false}, FormatSettings{});
  }
  std::vector<ImportColumn> cols;
  ASSERT_TRUE(FillColumnList(file, &cols));
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  ImportOutcome out;
  LoadImportText(s, "VEVOK", text.str(), cols, FormatSettings{}, &out);
  ASSERT_EQ(out.log.size(), 2u) << out.log[1];
  Session a;
  a.DbOpenDatabase(dir / "a");
  const Rows original = TableRows(a, "VEVOK");
  EXPECT_EQ(out.loaded, int64_t(original.size()));
  EXPECT_EQ(TableRows(s, "VEVOK"), original);
}

}  // namespace
}  // namespace tablorix::exchange
