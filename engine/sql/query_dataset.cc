// The rows of a SELECT as a dataset: a window of rows around the position, the field types
// from the tables the columns come from.
#include "engine/sql/query_dataset.h"

#include <algorithm>
#include <cmath>

#include "engine/filter.h"

namespace tablorix {

namespace {

// Milliseconds since day 0 of ISO "YYYY-MM-DD[THH:MM:SS[.mmm]]" (also with a space).
bool ParseIsoDateTime(const std::string& s, double* ms) {
  const size_t sep = s.find_first_of("T ");
  int32_t day = 0, time = 0;
  if (!ParseDateInFormat(s.substr(0, sep), "yyyy-MM-dd", &day)) return false;
  if (sep != std::string::npos && !ParseTimeInFormat(s.substr(sep + 1), "HH:mm:ss", &time))
    return false;
  *ms = double(day) * double(kMsPerDay) + double(time);
  return true;
}

bool IsIntegerType(TFieldType t) {
  return t == TFieldType::ftSmallint || t == TFieldType::ftInteger || t == TFieldType::ftWord ||
         t == TFieldType::ftAutoInc;
}

bool IsFloatType(TFieldType t) {
  return t == TFieldType::ftFloat || t == TFieldType::ftCurrency || t == TFieldType::ftBCD;
}

}  // namespace

QueryDataset::QueryDataset(std::unique_ptr<SqlStatement> statement, size_t window)
    : owned_(std::move(statement)), statement_(owned_.get()), window_(std::max<size_t>(window, 1)) {
  if (!statement_) throw EngineError("No statement for the dataset");
  Init();
}

QueryDataset::QueryDataset(SqlStatement& statement, size_t window)
    : statement_(&statement), window_(std::max<size_t>(window, 1)) {
  Init();
}

QueryDataset::~QueryDataset() = default;

void QueryDataset::Init() {
  Rerun();
  const std::vector<std::string> names = result_->column_names();
  empty_ = !Fetch(0);
  for (size_t i = 0; i < names.size(); ++i) {
    TFieldDef f;
    const bool table_field = result_->SourceField(int(i), &f);
    from_table_.push_back(table_field);
    if (!table_field) {
      const Value::Kind kind = empty_ ? Value::Kind::kNull : rows_.front()[i].kind();
      f.type = kind == Value::Kind::kInt      ? TFieldType::ftInteger
               : kind == Value::Kind::kDouble ? TFieldType::ftFloat
               : kind == Value::Kind::kBytes  ? TFieldType::ftBlob
                                              : TFieldType::ftString;
      f.is_blob = f.type == TFieldType::ftBlob;
      f.alignment = (f.type == TFieldType::ftInteger || f.type == TFieldType::ftFloat)
                        ? TAlignment::taRightJustify
                        : TAlignment::taLeftJustify;
    }
    f.name = names[i];
    f.display_label = names[i];
    fields_.push_back(f);
  }
  pos_ = 0;
  eof_ = bof_ = empty_;
}

void QueryDataset::Rerun() {
  result_.reset();  // the statement is reset by the next Query
  result_ = statement_->Query();
  ++runs_;
  result_done_ = false;
  read_ = 0;
  rows_.clear();
  first_ = 0;
}

bool QueryDataset::ReadOne() {
  if (result_done_) return false;
  if (!result_->Next()) {
    result_done_ = true;
    count_ = read_;
    return false;
  }
  rows_.push_back(result_->row());
  ++read_;
  if (rows_.size() > window_) {
    rows_.pop_front();
    ++first_;
  }
  return true;
}

bool QueryDataset::Fetch(int64_t k) {
  if (k < 0 || (count_ && k >= *count_)) return false;
  const int64_t end = first_ + int64_t(rows_.size());
  if (k >= first_ && k < end) return true;
  if (k < first_ || read_ != end) {
    // Before the window, or the result was read past it (counting): run again and skip to a
    // window that ends at k going back, or starts at k going forward.
    const int64_t start = k < first_ ? std::max<int64_t>(0, k - int64_t(window_) + 1) : k;
    Rerun();
    while (read_ < start) {
      if (!result_->Next()) {
        result_done_ = true;
        count_ = read_;
        return false;
      }
      ++read_;
    }
    first_ = read_;
  }
  while (first_ + int64_t(rows_.size()) <= k)
    if (!ReadOne()) return false;
  return true;
}

const std::vector<Value>& QueryDataset::Current() const {
  auto* self = const_cast<QueryDataset*>(this);
  if (empty_ || !self->Fetch(pos_)) throw EngineError("No current row");
  return rows_[size_t(pos_ - first_)];
}

void QueryDataset::First() {
  empty_ = !Fetch(0);
  pos_ = 0;
  eof_ = bof_ = empty_;
  Notify();
}

void QueryDataset::Next() {
  if (!empty_) bof_ = false;
  if (!empty_ && Fetch(pos_ + 1))
    ++pos_;
  else
    eof_ = true;
  Notify();
}

void QueryDataset::Prior() {
  if (empty_) {
    bof_ = true;
  } else {
    eof_ = false;
    if (pos_ > 0 && Fetch(pos_ - 1))
      --pos_;
    else
      bof_ = true;
  }
  Notify();
}

void QueryDataset::Last() {
  const int64_t n = RecordCount();
  empty_ = n == 0;
  if (!empty_) {
    if (!Fetch(n - 1)) throw EngineError("The query gave fewer rows than before");
    pos_ = n - 1;
    bof_ = false;
  }
  eof_ = true;
  Notify();
}

int64_t QueryDataset::MoveBy(int64_t n) {
  int64_t moved = 0;
  if (empty_) {
    eof_ = bof_ = true;
  } else if (n > 0) {
    bof_ = false;
    while (moved < n && Fetch(pos_ + 1)) {
      ++pos_;
      ++moved;
    }
    eof_ = moved < n;
  } else if (n < 0) {
    eof_ = false;
    // One jump: a target before the kept rows costs one run of the statement, not one per
    // window stepped over.
    const int64_t target = std::max<int64_t>(0, pos_ + n);
    if (Fetch(target)) {
      moved = target - pos_;
      pos_ = target;
    }
    bof_ = moved > n;
  }
  Notify();
  return moved;
}

int64_t QueryDataset::RecordCount() {
  if (count_) return *count_;
  while (!result_done_) {
    if (!result_->Next()) {
      result_done_ = true;
      break;
    }
    ++read_;
  }
  count_ = read_;
  return *count_;
}

DatasetBookmark QueryDataset::GetBookmark() const {
  DatasetBookmark b;
  b.row = RecNo();
  return b;
}

void QueryDataset::GotoBookmark(const DatasetBookmark& b) {
  if (b.row == 0 && empty_) return;
  if (b.row < 1 || !Fetch(b.row - 1)) throw EngineError("Bookmark no longer valid");
  pos_ = b.row - 1;
  eof_ = bof_ = false;
  Notify();
}

Value QueryDataset::AsVariant(int i) const {
  const std::vector<Value>& row = Current();
  if (i < 0 || size_t(i) >= row.size())
    throw EngineError("Field index out of range: " + std::to_string(i));
  const Value& v = row[size_t(i)];
  return from_table_[size_t(i)] ? Convert(i, v) : v;
}

// A value as SQLite gave it, in the kind the table's field has.
Value QueryDataset::Convert(int column, const Value& v) const {
  const TFieldType t = fields_[size_t(column)].type;
  switch (v.kind()) {
    case Value::Kind::kInt:
      if (t == TFieldType::ftBoolean) return Value::Bool(v.as_int() != 0);
      if (IsFloatType(t)) return Value::Double(double(v.as_int()));
      return v;
    case Value::Kind::kDouble:
      if (t == TFieldType::ftBoolean) return Value::Bool(v.as_double() != 0);
      if (IsIntegerType(t) && v.as_double() == std::floor(v.as_double()) &&
          std::fabs(v.as_double()) < 9.2e18)
        return Value::Int(int64_t(v.as_double()));
      return v;
    case Value::Kind::kText: {
      const std::string& s = v.as_string();
      if (t == TFieldType::ftDate) {
        int32_t day = 0;
        if (ParseDateInFormat(s, "yyyy-MM-dd", &day)) return Value::Date(day);
      } else if (t == TFieldType::ftTime) {
        int32_t ms = 0;
        if (ParseTimeInFormat(s, "HH:mm:ss", &ms)) return Value::Time(ms);
      } else if (t == TFieldType::ftDateTime) {
        double ms = 0;
        if (ParseIsoDateTime(s, &ms)) return Value::DateTime(ms);
      }
      return v;
    }
    default:
      return v;
  }
}

}  // namespace tablorix
