// The grid report's bands and the column elements generated from the grid.
#include "printing/core/rptGridPrint.h"

namespace tablorix::printing {

int ColumnWidth(int column_pixels, int grid_pixels) {
  if (grid_pixels <= 0 || column_pixels <= 0) return 0;
  const int64_t num = int64_t(kReportWidth) * column_pixels;
  int64_t q = num / grid_pixels;
  const int64_t twice_rest = 2 * (num % grid_pixels);
  if (twice_rest > grid_pixels || (twice_rest == grid_pixels && q % 2 == 1)) ++q;
  return int(q);
}

namespace {

ReportElement FooterText(ReportElement::Kind kind, ReportElement::Place place, int top,
                         std::string text, std::string name) {
  ReportElement e;
  e.kind = kind;
  e.name = std::move(name);
  e.top = top;
  e.place = place;
  e.auto_size = true;
  e.alignment = place == ReportElement::Place::kLeft    ? TAlignment::taLeftJustify
                : place == ReportElement::Place::kRight ? TAlignment::taRightJustify
                                                        : TAlignment::taCenter;
  e.font = {"Courier New", 8, false, false};
  e.text = std::move(text);
  return e;
}

}  // namespace

GridReportLayout LayoutGridReport(const std::vector<GridColumn>& columns, int grid_pixels,
                                  const std::string& title, int font_size) {
  using Kind = ReportElement::Kind;
  using Place = ReportElement::Place;
  GridReportLayout r;
  r.title = title;
  r.font = {"Tahoma", font_size, false, false};

  r.page_header.kind = ReportBand::Kind::kPageHeader;
  r.page_header.height = 91;
  r.page_header.bottom_line = true;
  r.page_header.line_width = 2;
  ReportElement title_label;
  title_label.kind = Kind::kLabel;
  title_label.name = "TitleLabel";
  title_label.left = 0;
  title_label.top = 4;
  title_label.auto_size = true;
  title_label.font = {"Arial", 16, true, false};
  title_label.text = title;
  r.page_header.elements.push_back(title_label);
  ReportElement lines;
  lines.kind = Kind::kTopBottomLines;
  lines.name = "TitleLines";
  lines.width = 149;
  lines.height = 61;
  lines.transparent = true;
  r.page_header.elements.push_back(lines);

  r.detail.kind = ReportBand::Kind::kDetail;
  r.detail.height = 20;
  r.detail.bottom_line = true;

  int x = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    const GridColumn& c = columns[i];
    const int w = ColumnWidth(c.pixel_width, grid_pixels);
    ReportElement head;
    head.kind = Kind::kLabel;
    head.name = "ColumnTitle" + std::to_string(i + 1);
    head.left = x;
    head.top = 72;
    head.width = w;
    head.height = 13;
    head.alignment = c.alignment;
    head.font = {"", font_size, false, true};
    head.text = c.title;
    r.page_header.elements.push_back(head);
    ReportElement data;
    data.kind = Kind::kDataField;
    data.name = "ColumnData" + std::to_string(i + 1);
    data.left = x;
    data.top = 4;
    data.width = w;
    data.height = 13;
    data.alignment = c.alignment;
    data.font = {"", font_size, false, false};
    data.field = c.field;
    r.detail.elements.push_back(data);
    x += w + kColumnGap;
  }

  r.page_footer.kind = ReportBand::Kind::kPageFooter;
  r.page_footer.height = 44;
  r.page_footer.top_line = true;
  auto& f = r.page_footer.elements;
  f.push_back(FooterText(Kind::kLabel, Place::kLeft, 4, kApplicationTitle, "AppTitle"));
  f.push_back(FooterText(Kind::kDateTime, Place::kRight, 4, "", "PrintedAt"));
  f.push_back(FooterText(Kind::kReportTitle, Place::kRight, 16, title, "ReportTitle"));
  f.push_back(FooterText(Kind::kPageNumber, Place::kLeft, 28, "oldal: ", "PageNumber"));
  f.push_back(FooterText(Kind::kLabel, Place::kCenter, 28, kPublisherAddress, "Publisher"));
  f.push_back(FooterText(Kind::kLabel, Place::kRight, 28, "qrGridPrint", "ReportName"));
  return r;
}

}  // namespace tablorix::printing
