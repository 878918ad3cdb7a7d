// The grid report's layout: column widths and positions from the grid's pixels, the fixed
// bands and the footer texts.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "printing/core/rptGridPrint.h"

namespace tablorix::printing {
namespace {

using Kind = ReportElement::Kind;
using Place = ReportElement::Place;

TEST(ColumnWidth, ProportionRoundedHalvesToEven) {
  struct Case {
    int column, grid, width;
  } cases[] = {
      {64, 559, 66},    // 65.83
      {559, 559, 575},  // the whole control
      {1, 1150, 0},     // 0.5
      {3, 1150, 2},     // 1.5
      {5, 1150, 2},     // 2.5
      {7, 1150, 4},     // 3.5
      {100, 1150, 50},  // exact
      {10, 23, 250},    // 250 exactly
      {1, 3, 192},      // 191.67
      {2, 3, 383},      // 383.33
      {0, 559, 0},      // a column without width
      {64, 0, 0},       // a grid without width
      {-5, 559, 0},
      {4000000, 4000000, 575},  // no overflow on huge pixel counts
      {3999999, 8000000, 287},  // 287.4999...
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.column) + "/" + std::to_string(c.grid));
    EXPECT_EQ(ColumnWidth(c.column, c.grid), c.width);
  }
}

TEST(LayoutGridReport, ColumnsFollowTheGrid) {
  std::vector<GridColumn> cols = {
      {"Nev", TAlignment::taLeftJustify, 64, 0},
      {"Osszeg", TAlignment::taRightJustify, 64, 1},
      {"Kod", TAlignment::taCenter, 64, 2},
      {"Megjegyz\xE9s", TAlignment::taLeftJustify, 200, 4},
      // Scrolled out of the grid: still generated, past the printable width.
      {"Utolso", TAlignment::taLeftJustify, 300, 5},
  };
  const GridReportLayout r = LayoutGridReport(cols, 559, "Partner", 8);
  // Title label and the two-line shape come first in the page header.
  ASSERT_EQ(r.page_header.elements.size(), 2 + cols.size());
  ASSERT_EQ(r.detail.elements.size(), cols.size());
  const int widths[] = {66, 66, 66, 206, 309};
  const int lefts[] = {0, 70, 140, 210, 420};
  for (size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(i);
    const ReportElement& h = r.page_header.elements[2 + i];
    const ReportElement& d = r.detail.elements[i];
    EXPECT_EQ(h.kind, Kind::kLabel);
    EXPECT_EQ(h.text, cols[i].title);
    EXPECT_EQ(d.kind, Kind::kDataField);
    EXPECT_EQ(d.field, cols[i].field);
    for (const ReportElement* e : {&h, &d}) {
      EXPECT_EQ(e->left, lefts[i]);
      EXPECT_EQ(e->width, widths[i]);
      EXPECT_EQ(e->height, 13);
      EXPECT_FALSE(e->auto_size);
      EXPECT_EQ(e->alignment, cols[i].alignment);
      EXPECT_EQ(e->font.size, 8);
      EXPECT_FALSE(e->font.bold);
    }
    EXPECT_EQ(h.top, 72);
    EXPECT_TRUE(h.font.italic);
    EXPECT_EQ(d.top, 4);
    EXPECT_FALSE(d.font.italic);
  }
  EXPECT_GT(r.detail.elements.back().left + r.detail.elements.back().width, kReportWidth);

  // The requested font size reaches every generated element.
  const GridReportLayout big = LayoutGridReport(cols, 559, "Partner", 11);
  EXPECT_EQ(big.font.size, 11);
  EXPECT_EQ(big.page_header.elements[2].font.size, 11);
  EXPECT_EQ(big.detail.elements[0].font.size, 11);
}

TEST(LayoutGridReport, PageBandsAndFooterTexts) {
  const GridReportLayout r = LayoutGridReport({}, 559, "SQL1", 8);
  EXPECT_EQ(r.title, "SQL1");
  EXPECT_EQ(r.units_across, 575);
  EXPECT_DOUBLE_EQ(r.margin_mm, 10);
  EXPECT_TRUE(r.print_if_empty);
  EXPECT_TRUE(r.print_header_on_first_page);
  EXPECT_TRUE(r.print_footer_on_last_page);
  EXPECT_EQ(r.font, (ReportFont{"Tahoma", 8, false, false}));

  EXPECT_EQ(r.page_header.height, 91);
  EXPECT_TRUE(r.page_header.bottom_line);
  EXPECT_EQ(r.page_header.line_width, 2);
  EXPECT_EQ(r.page_header.line_color, kSilver);
  ASSERT_EQ(r.page_header.elements.size(), 2u);
  const ReportElement& title = r.page_header.elements[0];
  EXPECT_EQ(title.text, "SQL1");
  EXPECT_EQ(title.left, 0);
  EXPECT_EQ(title.top, 4);
  EXPECT_TRUE(title.auto_size);
  EXPECT_EQ(title.font, (ReportFont{"Arial", 16, true, false}));
  EXPECT_EQ(title.background, kWhite);
  const ReportElement& shape = r.page_header.elements[1];
  EXPECT_EQ(shape.kind, Kind::kTopBottomLines);
  EXPECT_EQ(shape.left, 0);
  EXPECT_EQ(shape.top, 0);
  EXPECT_EQ(shape.width, 149);
  EXPECT_EQ(shape.height, 61);

  EXPECT_EQ(r.detail.height, 20);
  EXPECT_TRUE(r.detail.bottom_line);
  EXPECT_FALSE(r.detail.top_line);

  EXPECT_EQ(r.page_footer.height, 44);
  EXPECT_TRUE(r.page_footer.top_line);
  struct Text {
    Place place;
    int top;
    Kind kind;
    const char* text;
  } expected[] = {
      {Place::kLeft, 4, Kind::kLabel, "Vintrel"},
      {Place::kRight, 4, Kind::kDateTime, ""},
      {Place::kRight, 16, Kind::kReportTitle, "SQL1"},
      {Place::kLeft, 28, Kind::kPageNumber, "oldal: "},
      {Place::kCenter, 28, Kind::kLabel, kPublisherAddress},
      {Place::kRight, 28, Kind::kLabel, "qrGridPrint"},
  };
  ASSERT_EQ(r.page_footer.elements.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const ReportElement& e = r.page_footer.elements[i];
    EXPECT_EQ(e.place, expected[i].place);
    EXPECT_EQ(e.top, expected[i].top);
    EXPECT_EQ(e.kind, expected[i].kind);
    EXPECT_EQ(e.text, expected[i].text);
    EXPECT_EQ(e.font, (ReportFont{"Courier New", 8, false, false}));
    EXPECT_EQ(e.background, kWhite);
  }
}

TEST(LayoutGridReport, EveryElementNameIsUniqueInAWideGrid) {
  std::vector<GridColumn> cols(40, GridColumn{"C", TAlignment::taLeftJustify, 20, 0});
  const GridReportLayout r = LayoutGridReport(cols, 600, "T", 8);
  std::set<std::string> names;
  size_t count = 0;
  for (const ReportBand* b : {&r.page_header, &r.detail, &r.page_footer}) {
    for (const ReportElement& e : b->elements) {
      EXPECT_FALSE(e.name.empty());
      names.insert(e.name);
      ++count;
    }
  }
  EXPECT_EQ(names.size(), count);
  EXPECT_EQ(count, 2 + 40 + 40 + 6u);
}

}  // namespace
}  // namespace tablorix::printing
