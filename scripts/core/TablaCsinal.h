// The new-table designer's core: its type list, the row store behind its grid (numbering, "Fel",
// "Le", deletion) and the CREATE TABLE statement composed from the rows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "scripts/core/script_templates.h"  // kNewTableFileName: the statement's window

namespace tablorix::scripts {

// A type of the designer's type list: its code and its name, an entry of the new-field dialog's
// list ("String - CHAR(n)").
struct TablaCsinalType {
  int adattipus = 0;
  std::string adattipus_nev;
};

// The sixteen types of the new-field dialog, coded 1 to 16 in that list's order.
const std::vector<TablaCsinalType>& TablaCsinalTypeList();

// The code a new row starts with ("Float - FLOAT").
inline constexpr int kDefaultTypeCode = 3;

// The name of the type of `code`; empty for a code the list does not hold.
std::string TablaCsinalTypeName(std::optional<int> code);

// One row of the designer: one field of the new table.
struct TablaCsinalRow {
  std::optional<int> sorszam;  // 1 .. number of rows once posted
  std::optional<std::string> mezonev;
  std::optional<int> adattipus;
  std::optional<int> hossz;
};

// The designer's rows in the order they were added (the store has no index). One row at a time
// is current; a new row or an edited one is pending until it is posted, as in the grid: moving
// to another row posts a changed row and drops a new row the user has not touched.
class TablaCsinalRows {
 public:
  static constexpr size_t kMaxNameLength = 50;

  // Rows in store order, a pending new row included.
  size_t RecordCount() const { return rows_.size(); }
  const TablaCsinalRow& Row(size_t i) const { return rows_.at(i); }
  // The looked-up type name of row `i` (the grid's "adattípus" column).
  std::string TypeName(size_t i) const { return TablaCsinalTypeName(rows_.at(i).adattipus); }
  bool Empty() const { return rows_.empty(); }
  // The current row; meaningless while the store is empty.
  size_t Current() const { return current_; }
  bool Inserting() const { return inserting_; }
  bool Editing() const { return editing_; }

  // Starts a new row at the end / before the current row; it becomes current and takes the
  // default type.
  void Append();
  void Insert();

  // Cell edits of the current row; a posted row goes into editing first. Names keep at most
  // kMaxNameLength characters.
  void SetName(const std::string& name);
  void SetType(std::optional<int> code);
  // The lookup column's editor: picks the type by its name; an unknown name clears the type.
  void SetTypeName(const std::string& name);
  void SetLength(std::optional<int> length);

  // Posts the pending row. A new row is numbered by the rows posted before it, plus 1, whether
  // it was inserted in the middle or appended.
  void Post();
  // Drops a pending new row, or undoes the edits of a pending edited row.
  void Cancel();
  // Leaves the current row as the grid does (posts it, or drops an untouched new row), then
  // makes row `i` current.
  void MoveTo(size_t i);

  // "Töröl" and the grid's delete key: deletes the current row (a pending new row is just
  // dropped), then numbers the rows 1, 2, 3 ... in store order.
  void Delete();
  // "Fel" and "Le": exchange the current row's number with the number before / after it. The
  // rows do not move; the cursor stays on the row that was current.
  void Up();
  void Down();

  // Leaves the current row as the grid does; then every row is posted.
  void Settle();

 private:
  void BeginEdit();
  void Swap(int other_number);
  void Renumber();
  int PostedCount() const;

  std::vector<TablaCsinalRow> rows_;
  size_t current_ = 0;
  bool inserting_ = false;  // rows_[current_] is a new row not yet posted
  bool editing_ = false;    // rows_[current_] is a posted row with edits not yet posted
  bool touched_ = false;    // the pending new row has been edited by the user
  TablaCsinalRow before_edit_;
};

// The statement after OK: "CREATE TABLE " + name + "(", one line per row (" name type", a
// comma on all but the last), ");", each line followed by CR LF. The pending row is settled
// first.
std::string NewTableStatement(const std::string& table_name, TablaCsinalRows& rows);

}  // namespace tablorix::scripts
