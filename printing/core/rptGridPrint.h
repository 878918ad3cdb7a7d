// The grid report's layout: the page, its bands and what each prints where, in report units,
// built from the grid's columns. A report engine renders it; nothing here draws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/types.h"

namespace tablorix::printing {

// The printable width between the margins, 190 mm, in report units.
inline constexpr int kReportWidth = 575;
// Space between two generated columns.
inline constexpr int kColumnGap = 4;
inline constexpr const char* kApplicationTitle = "Vintrel";
inline constexpr const char* kPublisherAddress = "https://tablorix.example.org";
inline constexpr uint32_t kSilver = 0x00C0C0C0;  // 0x00BBGGRR
inline constexpr uint32_t kBlack = 0x00000000;
inline constexpr uint32_t kWhite = 0x00FFFFFF;

// A grid column as the screen shows it.
struct GridColumn {
  std::string title;  // the title caption
  TAlignment alignment = TAlignment::taLeftJustify;
  int pixel_width = 0;
  int field = 0;  // the column's field in the grid's data set
};

struct ReportFont {
  std::string face;  // empty: the report's font (Tahoma)
  int size = 8;      // points
  bool bold = false;
  bool italic = false;
  bool operator==(const ReportFont&) const = default;
};

struct ReportElement {
  enum class Kind {
    kLabel,           // fixed text
    kDataField,       // the value of `field` in the current record
    kDateTime,        // the current date and time
    kPageNumber,      // `text` followed by the page number
    kReportTitle,     // the report's title
    kTopBottomLines,  // a shape: a line along its top edge and one along its bottom edge
  };
  enum class Place { kLeft, kCenter, kRight };  // footer texts: against the band's edge
  Kind kind = Kind::kLabel;
  std::string name;  // unique within the report
  int left = 0, top = 0, width = 0, height = 0;
  bool auto_size = false;  // sized to its text
  Place place = Place::kLeft;
  TAlignment alignment = TAlignment::taLeftJustify;
  ReportFont font;
  uint32_t background = kWhite;
  uint32_t pen = kBlack;  // the lines of a shape
  bool transparent = false;
  std::string text;
  int field = -1;  // kDataField
};

struct ReportBand {
  enum class Kind { kPageHeader, kDetail, kPageFooter };
  Kind kind = Kind::kDetail;
  int height = 0;
  // Frame lines of the band, silver.
  bool top_line = false;
  bool bottom_line = false;
  int line_width = 1;
  uint32_t line_color = kSilver;
  std::vector<ReportElement> elements;
};

struct GridReportLayout {
  // A4 portrait, 10 mm margins on every side, one column, one copy.
  double page_width_mm = 210, page_height_mm = 297;
  double margin_mm = 10;
  int units_across = kReportWidth;
  bool print_header_on_first_page = true;
  bool print_footer_on_last_page = true;
  bool print_if_empty = true;
  int copies = 1;
  std::string title;  // preview caption, footer title, print job name
  ReportFont font;    // Tahoma, Central European, the requested size
  ReportBand page_header, detail, page_footer;
};

// A column's printed width: kReportWidth * pixels / grid pixels, rounded to the nearest unit,
// halves to even. 0 for a grid without width.
int ColumnWidth(int column_pixels, int grid_pixels);

// The layout of `PrintGrid` for the grid's columns (first to last, hidden ones excluded by the
// caller as the grid does), its whole width in pixels (record indicator and scroll bar
// included), the report title and the font size of the generated elements.
GridReportLayout LayoutGridReport(const std::vector<GridColumn>& columns, int grid_pixels,
                                  const std::string& title, int font_size = 8);

}  // namespace tablorix::printing
