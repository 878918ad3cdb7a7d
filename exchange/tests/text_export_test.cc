// The delimited text export: the file format by its options, the check list, the stop flag and
// progress, and what a failed export leaves behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/dataset.h"
#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/sql/query_dataset.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"
#include "exchange/core/Hatarolt.h"

namespace tablorix::exchange {
namespace {

namespace fs = std::filesystem;

using writer_check::TempDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Two records: one with every value, one with a text holding the separator and a quote and
// nulls elsewhere.
class ExportFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    session_.DbOpenDatabase(dir_.path());
    using namespace paradox;
    session_.DbCreateTable("ARU",
                           {{"ID", kLong, 0},
                            {"NEV", kAlpha, 20},
                            {"AR", kNumber, 0},
                            {"NAP", kDate, 0},
                            {"MEGJ", kMemo, 10},
                            {"KEP", kBlob, 10}},
                           1);
    OpenOptions o;
    o.read_only = false;
    auto c = session_.DbOpenTable("ARU", o);
    c->Insert();
    c->SetValue("ID", Value::Int(1));
    c->SetValue("NEV", Value::Text("abc"));
    c->SetValue("AR", Value::Double(12.5));
    c->SetValue("NAP", Value::Date(DayNumberFromCivil(2024, 3, 15)));
    c->SetValue("MEGJ", Value::Text("a\r\nb;c"));
    c->SetValue("KEP", Value::Bytes("xyz"));
    c->Post();
    c->Insert();
    c->SetValue("ID", Value::Int(2));
    c->SetValue("NEV", Value::Text("x\"y;z"));
    c->Post();
  }

  TempDir dir_;
  Session session_;
};

struct FormatCase {
  const char* what;
  TextExportOptions options;
  std::vector<std::string> fields;  // checked; empty: none
  std::string expected;
};

TEST_F(ExportFixture, FileFormatFollowsTheOptions) {
  const std::vector<std::string> all = {"ID", "NEV", "AR", "NAP", "MEGJ", "KEP"};
  const FormatCase cases[] = {
      {"semicolon, no quote: bare values, a value holding the separator double-quoted",
       {';', 0, false, false, false},
       all,
       "ID;NEV;AR;NAP;MEGJ;KEP;\r\n"
       "1;abc;12,5;2024. 03. 15.;BLOB;BLOB;\r\n"
       "2;\"x\"\"y;z\";;;BLOB;BLOB;\r\n"},
      {"tab and apostrophe: a double quote inside stays single",
       {'\t', '\'', false, false, false},
       {"ID", "NEV"},
       "'ID'\t'NEV'\t\r\n'1'\t'abc'\t\r\n'2'\t'x\"y;z'\t\r\n"},
      {"comma and double quote: quotes doubled, a null is two quotes, memo lines joined",
       {',', '"', true, false, false},
       {"NEV", "MEGJ"},
       "\"NEV\",\"MEGJ\",\r\n\"abc\",\"a|b;c\",\r\n\"x\"\"y;z\",\"\",\r\n"},
      {"memo joints become commas with the pipe separator",
       {'|', 0, true, false, false},
       {"MEGJ", "AR"},  // in the dataset's order, whatever the check order
       "AR|MEGJ|\r\n12,5|a,b;c|\r\n||\r\n"},
      {"memo: the separator inside becomes a comma",
       {';', 0, true, false, false},
       {"MEGJ"},
       "MEGJ;\r\na|b,c;\r\n;\r\n"},
      {"a plain blob stays the placeholder with the memo option",
       {';', '"', true, false, false},
       {"KEP"},
       "\"KEP\";\r\n\"BLOB\";\r\n\"BLOB\";\r\n"},
      {"no header: the file begins with an empty line",
       {';', 0, false, false, true},
       {"ID"},
       "\r\n1;\r\n2;\r\n"},
      {"nothing checked: empty lines only", {';', '"', false, false, false}, {}, "\r\n\r\n\r\n"},
  };
  auto cursor = session_.DbOpenTable("ARU");
  TableDataset ds(*cursor);
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.what);
    TextExport exp(ds);
    for (auto& item : exp.items())
      item.checked = std::find(c.fields.begin(), c.fields.end(), item.name) != c.fields.end();
    const std::string file = dir_ / "out.csv";
    const TextExportResult r = exp.Run(file, c.options, FormatSettings{});
    EXPECT_EQ(ReadAll(file), c.expected);
    EXPECT_EQ(r.records, 2);
    EXPECT_FALSE(r.stopped);
  }
}

TEST_F(ExportFixture, HeaderUsesLabelsOrNamesAndValuesTheLocale) {
  auto cursor = session_.DbOpenTable("ARU");
  TableDataset ds(*cursor);
  ds.SetDisplayLabel(1, "N\xE9v");
  TextExport exp(ds);
  for (auto& item : exp.items()) item.checked = item.name != "MEGJ" && item.name != "KEP";
  const std::string file = dir_ / "out.txt";
  FormatSettings us;
  us.decimal_separator = '.';
  us.short_date_format = "MM/dd/yyyy";

  exp.Run(file, {';', 0, false, false, false}, us);
  EXPECT_EQ(ReadAll(file), "ID;N\xE9v;AR;NAP;\r\n1;abc;12.5;03/15/2024;\r\n2;\"x\"\"y;z\";;;\r\n");
  exp.Run(file, {';', 0, false, true, false}, us);
  EXPECT_EQ(ReadAll(file).substr(0, 16), "ID;NEV;AR;NAP;\r\n");
}

TEST_F(ExportFixture, IsFieldCheckedIgnoresCaseAndUnknownNames) {
  auto cursor = session_.DbOpenTable("ARU");
  TableDataset ds(*cursor);
  TextExport exp(ds);
  exp.items()[1].checked = false;
  EXPECT_TRUE(exp.IsFieldChecked("id"));
  EXPECT_FALSE(exp.IsFieldChecked("nev"));
  EXPECT_FALSE(exp.IsFieldChecked("NINCS"));
  exp.CheckAll(false);
  EXPECT_FALSE(exp.IsFieldChecked("ID"));
  exp.CheckAll(true);
  EXPECT_TRUE(exp.IsFieldChecked("Nev"));
}

TEST_F(ExportFixture, QueryResultsExportLikeTables) {
  SqlSession sql(session_);
  QueryDataset ds(sql.Prepare("SELECT NEV, AR * 2 AS DUPLA FROM ARU ORDER BY ID"));
  TextExport exp(ds);
  const std::string file = dir_ / "q.csv";
  exp.Run(file, {';', '"', false, false, false}, FormatSettings{});
  EXPECT_EQ(ReadAll(file), "\"NEV\";\"DUPLA\";\r\n\"abc\";\"25\";\r\n\"x\"\"y;z\";\"\";\r\n");
}

// The sheet XML of an .xlsx file, read with an independent unzipper.
std::string SheetXml(const std::string& file) {
  const std::string cmd =
      "/usr/bin/python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
      "print(z.read('xl/worksheets/sheet1.xml').decode())\" '" +
      file + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return {};
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

TEST_F(ExportFixture, WorksheetBranchLeavesUncheckedFieldsOut) {
  auto cursor = session_.DbOpenTable("ARU");
  TableDataset ds(*cursor);
  TextExport exp(ds);
  for (auto& item : exp.items()) item.checked = item.name == "ID" || item.name == "AR";
  int64_t last = 0;
  exp.on_progress = [&](int64_t done, int64_t total) {
    EXPECT_EQ(total, 2);
    last = done;
  };
  const std::string file = dir_ / "out.xlsx";
  exp.ExportToWorksheet(file, FormatSettings{});
  EXPECT_EQ(last, 2);
  const std::string xml = SheetXml(file);
  ASSERT_NE(xml.find("<sheetData"), std::string::npos) << "python3 could not read " << file;
  EXPECT_NE(xml.find(">AR<"), std::string::npos);
  EXPECT_NE(xml.find(">12.5<"), std::string::npos);
  EXPECT_EQ(xml.find("NEV"), std::string::npos);
  EXPECT_EQ(xml.find("abc"), std::string::npos);

  session_.DbCreateTable("URES", {{"A", paradox::kLong, 0}}, 0);
  auto empty_cursor = session_.DbOpenTable("URES");
  TableDataset empty(*empty_cursor);
  TextExport none(empty);
  EXPECT_THROW(none.ExportToWorksheet(dir_ / "e.xls", FormatSettings{}), std::exception);
}

class LongExport : public ::testing::Test {
 protected:
  void SetUp() override {
    session_.DbOpenDatabase(dir_.path());
    session_.DbCreateTable("SOK", {{"N", paradox::kLong, 0}}, 1);
    OpenOptions o;
    o.read_only = false;
    auto c = session_.DbOpenTable("SOK", o);
    for (int i = 1; i <= 10; ++i) {
      c->Insert();
      c->SetValue("N", Value::Int(i));
      c->Post();
    }
  }
  TempDir dir_;
  Session session_;
};

TEST_F(LongExport, StopEndsTheLoopAndKeepsTheRecordsSoFar) {
  auto cursor = session_.DbOpenTable("SOK");
  TableDataset ds(*cursor);
  TextExport exp(ds);
  std::vector<std::pair<int64_t, int64_t>> progress;
  int idle_calls = 0;
  exp.on_progress = [&](int64_t done, int64_t total) { progress.push_back({done, total}); };
  exp.on_idle = [&] {
    EXPECT_TRUE(ds.ControlsDisabled());
    if (++idle_calls == 4) exp.Stop();  // pressed while the fourth record is due
  };
  const std::string file = dir_ / "sok.csv";
  const TextExportResult r = exp.Run(file, {';', 0, false, false, false}, FormatSettings{});

  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.records, 3);
  EXPECT_EQ(ReadAll(file), "N;\r\n1;\r\n2;\r\n3;\r\n");
  EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{{1, 10}, {2, 10}, {3, 10}}));
  EXPECT_FALSE(exp.running());
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_EQ(ds.RecNo(), 4);  // left where the loop ended

  // A new run starts from the first record again, the stop of the last run forgotten.
  exp.on_idle = nullptr;
  EXPECT_EQ(exp.Run(file, {';', 0, false, false, false}, FormatSettings{}).records, 10);
  EXPECT_TRUE(ds.Eof());
}

TEST_F(LongExport, FailureLeavesTheFormerFileAndNoTemporaryBehind) {
  auto cursor = session_.DbOpenTable("SOK");
  TableDataset ds(*cursor);
  TextExport exp(ds);
  const std::string file = dir_ / "sok.csv";
  { std::ofstream(file) << "former"; }
  exp.on_progress = [&](int64_t done, int64_t) {
    if (done == 5) throw EngineError("read failed");
  };
  EXPECT_THROW(exp.Run(file, {';', 0, false, false, false}, FormatSettings{}), EngineError);
  EXPECT_EQ(ReadAll(file), "former");
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_FALSE(exp.running());
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir_.path()))
    entries += e.path().extension() != ".DB" && e.path().extension() != ".PX";
  EXPECT_EQ(entries, 1);  // sok.csv only

  exp.on_progress = nullptr;
  EXPECT_THROW(exp.Run(dir_ / "no/such/folder.csv", {}, FormatSettings{}), EngineError);
  EXPECT_FALSE(ds.ControlsDisabled());
}

TEST(ExportFileNames, KindAndDefaultName) {
  const std::pair<const char*, ExportFileKind> kinds[] = {
      {"a.xls", ExportFileKind::kXls},         {"/x/A.XLS", ExportFileKind::kXls},
      {"b.xlsx", ExportFileKind::kXlsx},       {"b.XlsX", ExportFileKind::kXlsx},
      {"c.csv", ExportFileKind::kText},        {"noext", ExportFileKind::kText},
      {"dir.xls/file", ExportFileKind::kText}, {"x.xls.txt", ExportFileKind::kText},
  };
  for (const auto& [name, kind] : kinds) EXPECT_EQ(ExportKindOf(name), kind) << name;

  EXPECT_EQ(DefaultExportFileName("LEKERDEZES.sql", "/home/u/Documents"), "LEKERDEZES.CSV");
  EXPECT_EQ(DefaultExportFileName("VEVOK", "/d"), "VEVOK.CSV");
  EXPECT_EQ(DefaultExportFileName("/a.b/VEVOK", "/d"), "/a.b/VEVOK.CSV");
  EXPECT_EQ(DefaultExportFileName("", "/home/u/Documents"), "/home/u/Documents/File001.csv");
}

}  // namespace
}  // namespace tablorix::exchange
