// The new-table designer's rows and statement.
#include "scripts/core/TablaCsinal.h"

#include "scripts/core/NewField.h"

namespace tablorix::scripts {

const std::vector<TablaCsinalType>& TablaCsinalTypeList() {
  static const std::vector<TablaCsinalType> kList = [] {
    std::vector<TablaCsinalType> list;
    int code = 1;
    for (const std::string& entry : NewFieldTypeList()) list.push_back({code++, entry});
    return list;
  }();
  return kList;
}

std::string TablaCsinalTypeName(std::optional<int> code) {
  if (!code) return "";
  for (const auto& t : TablaCsinalTypeList())
    if (t.adattipus == *code) return t.adattipus_nev;
  return "";
}

int TablaCsinalRows::PostedCount() const { return int(rows_.size()) - (inserting_ ? 1 : 0); }

void TablaCsinalRows::Append() {
  Settle();
  rows_.push_back({});
  current_ = rows_.size() - 1;
  inserting_ = true;
  touched_ = false;
  rows_[current_].adattipus = kDefaultTypeCode;
}

void TablaCsinalRows::Insert() {
  Settle();
  const size_t at = rows_.empty() ? 0 : current_;
  rows_.insert(rows_.begin() + std::ptrdiff_t(at), TablaCsinalRow{});
  current_ = at;
  inserting_ = true;
  touched_ = false;
  rows_[current_].adattipus = kDefaultTypeCode;
}

void TablaCsinalRows::BeginEdit() {
  if (rows_.empty()) {
    Append();  // typing into an empty grid starts its first row
  }
  if (inserting_) {
    touched_ = true;
  } else if (!editing_) {
    editing_ = true;
    before_edit_ = rows_[current_];
  }
}

void TablaCsinalRows::SetName(const std::string& name) {
  BeginEdit();
  rows_[current_].mezonev = name.substr(0, kMaxNameLength);
}

void TablaCsinalRows::SetType(std::optional<int> code) {
  BeginEdit();
  rows_[current_].adattipus = code;
}

void TablaCsinalRows::SetTypeName(const std::string& name) {
  std::optional<int> code;
  for (const auto& t : TablaCsinalTypeList())
    if (t.adattipus_nev == name) code = t.adattipus;
  SetType(code);
}

void TablaCsinalRows::SetLength(std::optional<int> length) {
  BeginEdit();
  rows_[current_].hossz = length;
}

void TablaCsinalRows::Post() {
  if (inserting_) {
    rows_[current_].sorszam = PostedCount() + 1;
    inserting_ = false;
    touched_ = false;
  }
  editing_ = false;
}

void TablaCsinalRows::Cancel() {
  if (inserting_) {
    rows_.erase(rows_.begin() + std::ptrdiff_t(current_));
    inserting_ = false;
    touched_ = false;
    if (current_ >= rows_.size() && !rows_.empty()) current_ = rows_.size() - 1;
  } else if (editing_) {
    rows_[current_] = before_edit_;
    editing_ = false;
  }
}

void TablaCsinalRows::Settle() {
  if (inserting_ && !touched_) {
    Cancel();
  } else {
    Post();
  }
}

void TablaCsinalRows::MoveTo(size_t i) {
  if (i == current_ && !rows_.empty()) return;
  // Dropping an untouched new row shifts the rows after it.
  const bool drops = inserting_ && !touched_;
  const size_t dropped = current_;
  Settle();
  if (drops && i > dropped) --i;
  if (i < rows_.size()) current_ = i;
}

void TablaCsinalRows::Renumber() {
  int n = 1;
  for (auto& row : rows_) row.sorszam = n++;
}

void TablaCsinalRows::Delete() {
  if (rows_.empty()) return;
  if (inserting_) {
    Cancel();
  } else {
    editing_ = false;
    rows_.erase(rows_.begin() + std::ptrdiff_t(current_));
    if (current_ >= rows_.size() && !rows_.empty()) current_ = rows_.size() - 1;
  }
  Renumber();
}

// Exchanges the current row's number with the row carrying `other_number`. The rows are found
// by number and changed directly: a temporary number could clash with a real one in a designer
// of many rows.
void TablaCsinalRows::Swap(int other_number) {
  const int own = *rows_[current_].sorszam;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (i != current_ && rows_[i].sorszam == other_number) {
      rows_[i].sorszam = own;
      rows_[current_].sorszam = other_number;
      return;
    }
  }
}

void TablaCsinalRows::Up() {
  Settle();
  if (rows_.empty() || !rows_[current_].sorszam) return;
  const int own = *rows_[current_].sorszam;
  if (own > 1) Swap(own - 1);
}

void TablaCsinalRows::Down() {
  Settle();
  if (rows_.empty() || !rows_[current_].sorszam) return;
  const int own = *rows_[current_].sorszam;
  if (own < int(rows_.size())) Swap(own + 1);
}

std::string NewTableStatement(const std::string& table_name, TablaCsinalRows& rows) {
  rows.Settle();
  std::string out = "CREATE TABLE " + table_name + "(\r\n";
  for (size_t i = 0; i < rows.RecordCount(); ++i) {
    const TablaCsinalRow& row = rows.Row(i);
    const std::string length = row.hossz ? std::to_string(*row.hossz) : "";
    out += " " + row.mezonev.value_or("") + " " + SqlTypeText(rows.TypeName(i), length);
    if (i + 1 < rows.RecordCount()) out += ",";
    out += "\r\n";
  }
  out += ");\r\n";
  return out;
}

}  // namespace tablorix::scripts
