// The worksheet writer over the dataset interface: the record sequence of an export, the cells
// as independent readers see them (python3-xlrd for .xls, the sheet XML of .xlsx), the row limit
// of BIFF2, and the record loop's events, cancelling, failures and cursor position.
#include "exchange/core/DataToXLS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/paradox/codepage.h"
#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

namespace tablorix::exchange {
namespace {

namespace fs = std::filesystem;
using writer_check::TempDir;

// Árvíztűrő tükörfúrógép, Windows-1250.
const std::string kHungarian = "\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p";
const std::string kMemo = "els\xF5 sor\r\nm\xE1sodik";  // első sor / második

const std::vector<NewFieldDef> kFields = {
    {"ID", paradox::kLong, 0},    {"NEV", paradox::kAlpha, 30},   {"OSSZEG", paradox::kNumber, 0},
    {"DATUM", paradox::kDate, 0}, {"KESZ", paradox::kLogical, 0}, {"DARAB", paradox::kShort, 0},
    {"MEGJ", paradox::kMemo, 10},
};

// Three rows: full values, all null but the key, and a key above 16 bits with an empty memo.
class XlsWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    s.DbOpenDatabase(dir.path());
    s.DbCreateTable("ADAT", kFields, 1);
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("ADAT", w);
    auto row = [&](int id, std::vector<Value> v) {
      c->Insert();
      c->SetValue(0, Value::Int(id));
      for (size_t i = 0; i < v.size(); ++i)
        if (!v[i].is_null()) c->SetValue(int(i + 1), v[i]);
      c->Post();
    };
    row(1, {Value::Text(kHungarian), Value::Double(1234.5),
            Value::Date(DayNumberFromCivil(2024, 3, 5)), Value::Bool(true), Value::Int(7),
            Value::Text(kMemo)});
    row(2, {});
    row(70000,
        {Value::Text("Kiss"), Value::Double(-2), Value::Date(DayNumberFromCivil(1999, 12, 31)),
         Value::Bool(false), Value::Int(-5), Value::Text("")});
    c.reset();
    ds = std::make_unique<TableDataset>(s.DbOpenTable("ADAT"));
    ds->SetAlignment(2, TAlignment::taRightJustify);
  }
  std::string Path(const char* name) const { return dir.path() + "/" + name; }

  TempDir dir;
  Session s;
  std::unique_ptr<TableDataset> ds;
};

// --- BIFF2 records as a test sees them ---

struct Rec {
  uint16_t type;
  std::string data;
  uint16_t U16(size_t at) const { return uint16_t(uint8_t(data[at]) | uint8_t(data[at + 1]) << 8); }
  uint16_t row() const { return U16(0); }
  uint16_t col() const { return U16(2); }
  std::string text() const { return type == TBiffFile::kLabel ? data.substr(8) : data.substr(6); }
};

std::vector<Rec> Records(const std::string& bytes) {
  std::vector<Rec> out;
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    Rec r;
    r.type = uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
    const size_t n = uint8_t(bytes[at + 2]) | uint8_t(bytes[at + 3]) << 8;
    r.data = bytes.substr(at + 4, n);
    out.push_back(r);
    at += 4 + n;
  }
  EXPECT_EQ(at, bytes.size()) << "a record runs past the end";
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// "kind@row,col" per record, e.g. "LABEL@0,0"; cells only where they have a position.
std::string Sequence(const std::vector<Rec>& recs) {
  std::string out;
  for (const Rec& r : recs) {
    if (!out.empty()) out += ' ';
    switch (r.type) {
      case TBiffFile::kBof:
        out += "BOF";
        break;
      case TBiffFile::kEof:
        out += "EOF";
        break;
      case TBiffFile::kFont:
        out += "FONT";
        break;
      case TBiffFile::kDimensions:
        out += "DIM";
        break;
      case TBiffFile::kColWidth:
        out += "COLW" + std::to_string(uint8_t(r.data[0]));
        break;
      case TBiffFile::kNote:
        out += "NOTE";
        break;
      case TBiffFile::kBlank:
        out += "B";
        break;
      case TBiffFile::kInteger:
        out += "I";
        break;
      case TBiffFile::kNumber:
        out += "N";
        break;
      case TBiffFile::kLabel:
        out += "L";
        break;
      case TBiffFile::kBoolErr:
        out += "E";
        break;
      default:
        out += "?";
        break;
    }
    if (r.type <= TBiffFile::kBoolErr && r.type != TBiffFile::kDimensions)
      out += "@" + std::to_string(r.row()) + "," + std::to_string(r.col());
  }
  return out;
}

TEST_F(XlsWorld, RecordSequenceOfAnExport) {
  TDataToXLS x;
  x.SetDataSet(ds.get());
  std::ostringstream out;
  x.SaveToStream(out);
  auto recs = Records(out.str());
  // No title: the header on row 0, three records on rows 1 to 3; the second is all null.
  EXPECT_EQ(Sequence(recs),
            "BOF FONT FONT FONT DIM "
            "L@0,0 L@0,1 L@0,2 L@0,3 L@0,4 L@0,5 L@0,6 "
            "I@1,0 L@1,1 N@1,2 L@1,3 E@1,4 I@1,5 L@1,6 "
            "I@2,0 B@2,1 B@2,2 B@2,3 B@2,4 B@2,5 L@2,6 "
            "N@3,0 L@3,1 N@3,2 L@3,3 E@3,4 N@3,5 L@3,6 EOF");
  // Fonts: detail regular, title and header bold, in this order.
  EXPECT_EQ(recs[1].U16(2), 0);
  EXPECT_EQ(recs[2].U16(2), fsBold);
  EXPECT_EQ(recs[3].U16(2), fsBold);
  // The real extent: 4 rows, 7 columns.
  EXPECT_EQ(recs[4].U16(2), 4);
  EXPECT_EQ(recs[4].U16(6), 7);
  // Header cells use font 2, data cells font 0 with the column's alignment.
  EXPECT_EQ(uint8_t(recs[5].data[5]), 0x80);
  EXPECT_EQ(recs[6].text(), "NEV");
  EXPECT_EQ(uint8_t(recs[14].data[6]), 3);  // OSSZEG right-aligned
  EXPECT_EQ(uint8_t(recs[13].data[6]), 1);
  EXPECT_EQ(recs[18].text(), kMemo);
  EXPECT_EQ(recs[25].text(), "");  // a null memo is an empty label, not a blank cell
  // Auto-built columns last one export only.
  EXPECT_EQ(x.Columns.Count(), 0);
}

TEST_F(XlsWorld, TitleNoteWidthsHiddenColumnsAndCellParams) {
  TDataToXLS x;
  x.SetDataSet(ds.get());
  x.Title.Text = "Vev\xF5k";
  x.Comment = "Megjegyz\xE9s";
  TxlColumn& a = x.Columns.Add();
  a.DataField = "NEV";
  a.Title = "N\xE9v";
  a.ColWidth = 20 * 256;
  TxlColumn& hidden = x.Columns.Add();
  hidden.DataField = "OSSZEG";
  hidden.Save = false;
  TxlColumn& b = x.Columns.Add();
  b.DataField = "darab";  // names ignore case
  b.DataType = ctInteger;
  b.Alignment = TAlignment::taCenter;
  std::vector<std::string> seen;
  x.OnGetDetailParams = [&](int row, int col, TxlColumn& column, Value& value, TCellType& type,
                            TCellAttributes& attributes) {
    seen.push_back(std::to_string(row) + "," + std::to_string(col) + ":" + column.DataField);
    if (column.DataField == "darab" && row == 2) {
      value = Value::Text("ok");
      type = ctLabel;
      attributes = CellAttributes({caRight, caShaded});
    }
  };
  std::ostringstream out;
  x.SaveToStream(out);
  auto recs = Records(out.str());
  EXPECT_EQ(Sequence(recs),
            "BOF FONT FONT FONT DIM L@0,0 NOTE COLW0 L@1,0 L@1,1 "
            "L@2,0 L@2,1 B@3,0 B@3,1 L@4,0 N@4,1 EOF");
  EXPECT_EQ(recs[5].text(), "Vev\xF5k");
  EXPECT_EQ(uint8_t(recs[5].data[5]), 0x40);  // title: font 1
  EXPECT_EQ(recs[6].text(), "Megjegyz\xE9s");
  EXPECT_EQ(recs[7].U16(2), 20 * 256);
  EXPECT_EQ(recs[8].text(), "N\xE9v");
  EXPECT_EQ(recs[9].text(), "");            // a column defined without a title
  EXPECT_EQ(uint8_t(recs[15].data[6]), 2);  // centred
  EXPECT_EQ(recs[11].text(), "ok");
  EXPECT_EQ(uint8_t(recs[11].data[6]), 0x80 | 3);
  EXPECT_EQ(seen, (std::vector<std::string>{"2,0:NEV", "2,1:darab", "3,0:NEV", "3,1:darab",
                                            "4,0:NEV", "4,1:darab"}));
  EXPECT_EQ(x.Columns.Count(), 3);  // columns defined beforehand stay
}

// --- The cells as independent readers see them ---

// Runs /usr/bin/python3 on `script` with `file`; fails the test when python3 or `module` is
// missing, since the check would otherwise prove nothing.
std::string RunPython(const std::string& dir, const std::string& module, const std::string& script,
                      const std::string& file) {
  if (std::system(("/usr/bin/python3 -c 'import " + module + "' 2>/dev/null").c_str()) != 0) {
    ADD_FAILURE() << "/usr/bin/python3 with the " << module
                  << " module is needed (Debian: python3-xlrd; scripts/deps.sh installs it)";
    return {};
  }
  const std::string path = dir + "/read.py";
  std::ofstream(path) << script;
  FILE* p = popen(("/usr/bin/python3 " + path + " '" + file + "' 2>&1").c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0) << out;
  return out;
}

// Both readers print one line per row, cells joined by tabs: t"text" (JSON), nNUMBER, b0/b1,
// or - for an empty cell.
const char* kXlrdScript = R"(
import sys, json, xlrd
book = xlrd.open_workbook(sys.argv[1], encoding_override='cp1250')
sh = book.sheet_by_index(0)
for r in range(sh.nrows):
    out = []
    for c in range(sh.ncols):
        cell = sh.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_TEXT:
            out.append('t' + json.dumps(cell.value, ensure_ascii=False))
        elif cell.ctype == xlrd.XL_CELL_NUMBER:
            out.append('n' + repr(float(cell.value)))
        elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
            out.append('b%d' % cell.value)
        else:
            out.append('-')
    print('\t'.join(out))
)";

const char* kXlsxScript = R"(
import sys, json, re, zipfile
import xml.etree.ElementTree as ET
M = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
z = zipfile.ZipFile(sys.argv[1])
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    for si in ET.fromstring(z.read('xl/sharedStrings.xml')).iter(M + 'si'):
        shared.append(''.join(t.text or '' for t in si.iter(M + 't')))
# Control characters are stored as _xHHHH_, as Excel reads them.
def text(s):
    return 't' + json.dumps(re.sub(r'_x([0-9A-F]{4})_', lambda m: chr(int(m.group(1), 16)), s),
                            ensure_ascii=False)
cells = {}
for c in ET.fromstring(z.read('xl/worksheets/sheet1.xml')).iter(M + 'c'):
    m = re.match(r'([A-Z]+)(\d+)$', c.get('r'))
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - 64
    t, v = c.get('t'), c.find(M + 'v')
    if t == 'inlineStr':
        val = text(''.join(x.text or '' for x in c.iter(M + 't')))
    elif t == 's':
        val = text(shared[int(v.text)])
    elif t == 'b':
        val = 'b' + v.text
    elif v is not None:
        val = 'n' + repr(float(v.text))
    else:
        val = '-'
    cells[(int(m.group(2)) - 1, col - 1)] = val
rows = max(r for r, c in cells) + 1
cols = max(c for r, c in cells) + 1
for r in range(rows):
    print('\t'.join(cells.get((r, c), '-') for c in range(cols)))
)";

std::string Utf8(const std::string& s) { return paradox::Win1250ToUtf8(s); }

// The cells of the fixture with a title, as both files must hold them. An empty label is a
// text cell in BIFF2 and an empty (formatted) cell in .xlsx.
std::string ExpectedCells(bool xlsx) {
  const std::string empty_label = xlsx ? "-" : "t\"\"";
  return "t\"" + Utf8("Vev\xF5k") + "\"\t-\t-\t-\t-\t-\t-\n" +
         "t\"ID\"\tt\"NEV\"\tt\"OSSZEG\"\tt\"DATUM\"\tt\"KESZ\"\tt\"DARAB\"\tt\"MEGJ\"\n" +
         "n1.0\tt\"" + Utf8(kHungarian) + "\"\tn1234.5\tt\"2024. 03. 05.\"\tb1\tn7.0\tt\"" +
         Utf8("els\xF5 sor\\r\\nm\xE1sodik") + "\"\n" + "n2.0\t-\t-\t-\t-\t-\t" + empty_label +
         "\n" + "n70000.0\tt\"Kiss\"\tn-2.0\tt\"1999. 12. 31.\"\tb0\tn-5.0\t" + empty_label + "\n";
}

TEST_F(XlsWorld, XlrdReadsTheWorksheetCells) {
  TDataToXLS x;
  x.SetDataSet(ds.get());
  x.Title.Text = "Vev\xF5k";
  x.SaveToFile(Path("adat.xls"));
  EXPECT_EQ(RunPython(dir.path(), "xlrd", kXlrdScript, Path("adat.xls")), ExpectedCells(false));
}

TEST_F(XlsWorld, XlsxHoldsTheSameCells) {
  TDataToXLS x;
  x.SetDataSet(ds.get());
  x.Title.Text = "Vev\xF5k";
  x.Comment = "Megjegyz\xE9s";
  const std::string file = Path("adat.XLSX");  // the extension in any case
  x.SaveToFile(file);
  EXPECT_EQ(RunPython(dir.path(), "zipfile", kXlsxScript, file), ExpectedCells(true));
  const std::string note = RunPython(dir.path(), "zipfile", R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(''.join(z.read(n).decode() for n in z.namelist() if n.startswith('xl/comments')))
)",
                                     file);
  EXPECT_NE(note.find("ref=\"A1\""), std::string::npos) << note;
  EXPECT_NE(note.find(Utf8("Megjegyz\xE9s")), std::string::npos) << note;
  EXPECT_EQ(x.Columns.Count(), 0);
  EXPECT_EQ(x.ExportedCount(), 3);
}

// --- Row limits, on a dataset that makes its rows up ---

class CountingDataset : public Dataset {
 public:
  explicit CountingDataset(int64_t rows) : rows_(rows) {
    TFieldDef n;
    n.name = "N";
    n.type = TFieldType::ftInteger;
    fields_.push_back(n);
  }
  void First() override { Move(1); }
  void Next() override { rows_&& recno_ < rows_ ? Move(recno_ + 1) : void(eof_ = true); }
  void Prior() override { recno_ > 1 ? Move(recno_ - 1) : void(bof_ = true); }
  void Last() override { Move(rows_), eof_ = true; }
  int64_t MoveBy(int64_t n) override {
    const int64_t from = recno_;
    Move(std::max<int64_t>(1, std::min(rows_, recno_ + n)));
    return recno_ - from;
  }
  bool Eof() const override { return eof_ || rows_ == 0; }
  bool Bof() const override { return bof_ || rows_ == 0; }
  bool IsEmpty() override { return rows_ == 0; }
  int64_t RecordCount() override { return rows_; }
  int64_t RecNo() const override { return rows_ ? recno_ : 0; }
  DatasetBookmark GetBookmark() const override { return {{}, recno_}; }
  void GotoBookmark(const DatasetBookmark& b) override { Move(b.row); }
  Value AsVariant(int) const override { return Value::Int(recno_); }

 private:
  void Move(int64_t n) {
    recno_ = n;
    eof_ = bof_ = false;
  }
  int64_t rows_;
  int64_t recno_ = 1;
  bool eof_ = false, bof_ = false;
};

TEST(XlsRowLimit, CheckedBeforeAnyFileIsWritten) {
  TempDir dir;
  struct Case {
    int64_t records;
    bool title;
    bool fits;
  };
  const Case cases[] = {
      {65535, false, true},  {65534, true, true},    {65535, true, false},
      {65536, false, false}, {200000, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.records) + (c.title ? " with title" : ""));
    CountingDataset data(c.records);
    TDataToXLS x;
    x.SetDataSet(&data);
    if (c.title) x.Title.Text = "T";
    const std::string file = dir.path() + "/big.xls";
    std::ofstream(file) << "keep";
    if (c.fits) {
      x.SaveToFile(file);
      auto recs = Records(ReadFile(file));
      ASSERT_GE(recs.size(), 2u);
      EXPECT_EQ(recs[recs.size() - 2].row(), 65535);
      EXPECT_EQ(recs.back().type, TBiffFile::kEof);
      continue;
    }
    try {
      x.SaveToFile(file);
      ADD_FAILURE() << "no error";
    } catch (const ExportError& e) {
      EXPECT_NE(std::string(e.what()).find("65,536"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(".xlsx"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(file), "keep");
    std::ostringstream out;
    EXPECT_THROW(x.SaveToStream(out), ExportError);
    EXPECT_EQ(out.str(), "");
  }
}

TEST(XlsRowLimit, XlsxTakesMoreThan16BitsOfRows) {
  TempDir dir;
  CountingDataset data(70000);
  TDataToXLS x;
  x.SetDataSet(&data);
  const std::string file = dir.path() + "/big.xlsx";
  x.SaveToFile(file);
  const std::string tail = RunPython(dir.path(), "zipfile", R"(
import sys, zipfile
rows = zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml').decode().split('<row ')
print(rows[-1][:60])
)",
                                     file);
  EXPECT_NE(tail.find("r=\"70001\""), std::string::npos) << tail;
  EXPECT_NE(tail.find("<v>70000</v>"), std::string::npos) << tail;
}

// --- The record loop ---

TEST_F(XlsWorld, EventsCancellingAndPosition) {
  ds->First();
  ds->Next();  // stand on the second row
  TDataToXLS x;
  x.SetDataSet(ds.get());
  std::vector<std::string> events;
  int seen = 0;
  x.OnBeginExport = [&](TDataExport& e) {
    events.push_back("begin" + std::to_string(x.Columns.Count()));
    x.Columns.Item(1).Save = false;  // the column list is complete by now
    EXPECT_TRUE(e.Exporting());
  };
  x.BeforeWriteRecord = [&](TDataExport&, bool& cancel) {
    cancel = (seen++ % 2) == 1;
    events.push_back(cancel ? "skip" : "before");
  };
  x.AfterWriteRecord = [&](TDataExport&) { events.push_back("after"); };
  x.OnEndExport = [&](TDataExport&) { events.push_back("end"); };
  std::ostringstream out;
  x.SaveToStream(out);
  EXPECT_EQ(events, (std::vector<std::string>{"begin7", "before", "after", "skip", "before",
                                              "after", "end"}));
  EXPECT_EQ(x.ExportedCount(), 2);
  EXPECT_FALSE(x.Exporting());
  EXPECT_EQ(ds->RecNo(), 2);
  // Records 1 and 3 on consecutive rows; NEV takes no column, so OSSZEG moves to column 1.
  auto recs = Records(out.str());
  EXPECT_EQ(Sequence(recs),
            "BOF FONT FONT FONT DIM L@0,0 L@0,1 L@0,2 L@0,3 L@0,4 L@0,5 "
            "I@1,0 N@1,1 L@1,2 E@1,3 I@1,4 L@1,5 N@2,0 N@2,1 L@2,2 E@2,3 N@2,4 L@2,5 EOF");
  EXPECT_EQ(recs[6].text(), "OSSZEG");
}

TEST_F(XlsWorld, StopExportEndsTheLoop) {
  TDataToXLS x;
  x.SetDataSet(ds.get());
  x.AfterWriteRecord = [&](TDataExport& e) { e.StopExport(); };
  std::ostringstream out;
  x.SaveToStream(out);
  EXPECT_EQ(x.ExportedCount(), 1);
  EXPECT_EQ(Records(out.str()).back().type, TBiffFile::kEof);
}

TEST_F(XlsWorld, DatasetChecks) {
  TDataToXLS x;
  const std::string file = Path("out.xls");
  try {
    x.SaveToFile(file);
    ADD_FAILURE();
  } catch (const ExportError& e) {
    EXPECT_STREQ(e.what(), "Cannot perform this operation without a dataset");
  }
  s.DbCreateTable("URES", kFields, 1);
  TableDataset empty(s.DbOpenTable("URES"));
  x.SetDataSet(&empty);
  for (const char* name : {"out.xls", "out.xlsx"}) {
    try {
      x.SaveToFile(Path(name));
      ADD_FAILURE() << name;
    } catch (const ExportError& e) {
      EXPECT_STREQ(e.what(), "Cannot perform this operation on an empty dataset");
    }
  }
  EXPECT_EQ(fs::file_size(file), 0u);  // created, then left empty
  EXPECT_FALSE(fs::exists(Path("out.xlsx")));
  x.SetDataSet(ds.get());
  try {
    x.SaveToFile(Path("no/such/dir.xls"));
    ADD_FAILURE();
  } catch (const ExportError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + Path("no/such/dir.xls") + "\". No such file or directory");
  }
}

// A value that does not convert stops the export: the error propagates, the file ends without
// EOF, the cursor goes back, and the columns built for that export do not linger.
TEST_F(XlsWorld, FailureDuringTheRecords) {
  ds->First();
  ds->Next();
  ds->Next();
  TDataToXLS x;
  x.SetDataSet(ds.get());
  x.OnBeginExport = [&](TDataExport&) { x.Columns.Item(1).DataType = ctDouble; };  // NEV
  std::ostringstream out;
  EXPECT_THROW(x.SaveToStream(out), VariantConversionError);
  EXPECT_EQ(ds->RecNo(), 3);
  EXPECT_FALSE(ds->ControlsDisabled());
  EXPECT_FALSE(x.Exporting());
  EXPECT_EQ(x.Columns.Count(), 0);
  const auto recs = Records(out.str());
  EXPECT_EQ(Sequence({recs.end() - 2, recs.end()}), "L@0,6 I@1,0");  // no EOF
  // The same failure in an .xlsx export leaves no file: the library writes only when closed.
  EXPECT_THROW(x.SaveToFile(Path("fail.xlsx")), VariantConversionError);
  EXPECT_FALSE(fs::exists(Path("fail.xlsx")));
  EXPECT_EQ(ds->RecNo(), 3);
  x.OnBeginExport = nullptr;
  std::ostringstream again;
  x.SaveToStream(again);
  EXPECT_EQ(Records(again.str()).size(), 5u + 7 + 21 + 1);
}

}  // namespace
}  // namespace tablorix::exchange
