// The rows of a SELECT as a read-only dataset.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "engine/dataset.h"
#include "engine/sql/sql_session.h"

namespace tablorix {

// Rows are read from the statement on demand and at most `window` of them are kept, around the
// position: a result of millions of rows takes little memory. Moving back before the kept rows
// runs the statement again and skips forward to them (SQLite gives the same rows again while the
// tables do not change). RecordCount steps to the end once and remembers the count.
//
// A column that comes straight from a field of a table of the directory takes that field's type,
// size and required flag, and its values come back in the field's kind (dates, times and
// timestamps instead of ISO text, logical values instead of 0/1). A computed column is typed by
// its value in the first row: ftInteger, ftFloat, ftString or ftBlob (ftString when the value is
// null or there is no row). Fields are named by the result's column names.
//
// The statement runs when the dataset is made, with the parameters set so far; it must not be
// run elsewhere while the dataset uses it.
class QueryDataset : public Dataset {
 public:
  static constexpr size_t kDefaultWindow = 10000;
  explicit QueryDataset(std::unique_ptr<SqlStatement> statement, size_t window = kDefaultWindow);
  explicit QueryDataset(SqlStatement& statement, size_t window = kDefaultWindow);
  ~QueryDataset() override;

  void First() override;
  void Next() override;
  void Prior() override;
  void Last() override;
  int64_t MoveBy(int64_t n) override;
  bool Eof() const override { return eof_; }
  bool Bof() const override { return bof_; }
  bool IsEmpty() override { return empty_; }
  int64_t RecordCount() override;
  int64_t RecNo() const override { return empty_ ? 0 : pos_ + 1; }
  DatasetBookmark GetBookmark() const override;
  void GotoBookmark(const DatasetBookmark& b) override;
  Value AsVariant(int i) const override;

  // How many times the statement ran (for tests of the window).
  int runs() const { return runs_; }

 private:
  void Init();
  void Rerun();
  // Brings row k (0-based) into the window; false when the result has no such row.
  bool Fetch(int64_t k);
  bool ReadOne();  // appends the result's next row to the window
  Value Convert(int column, const Value& v) const;
  const std::vector<Value>& Current() const;

  std::unique_ptr<SqlStatement> owned_;
  SqlStatement* statement_;
  size_t window_;
  std::vector<bool> from_table_;  // column comes from a table field
  std::unique_ptr<SqlResult> result_;
  bool result_done_ = false;  // the current result has no more rows
  int64_t read_ = 0;          // rows the current result gave so far
  std::deque<std::vector<Value>> rows_;
  int64_t first_ = 0;  // row number (0-based) of rows_.front()
  std::optional<int64_t> count_;
  int64_t pos_ = 0;
  bool empty_ = true;
  bool eof_ = true, bof_ = true;
  int runs_ = 0;
};

}  // namespace tablorix
