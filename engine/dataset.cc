// The dataset interface and its table side.
#include "engine/dataset.h"

#include <algorithm>

#include "engine/paradox/file.h"

namespace tablorix {

std::string FormatForDisplay(const Value& v, TFieldType type, const FormatSettings& settings) {
  if (v.is_null()) return {};
  switch (type) {
    case TFieldType::ftBlob:
      return "(BLOB)";
    case TFieldType::ftGraphic:
      return "(GRAPHIC)";
    case TFieldType::ftParadoxOle:
      return "(OLE)";
    case TFieldType::ftTypedBinary:
      return "(BINARY)";
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes:
      return "(BYTES)";
    default:
      break;
  }
  std::string out;
  switch (v.kind()) {
    case Value::Kind::kNull:
      return {};
    case Value::Kind::kDouble:
      out = FormatValue(v);
      std::replace(out.begin(), out.end(), '.', settings.decimal_separator);
      return out;
    case Value::Kind::kBytes:
      return "(BLOB)";
    case Value::Kind::kDate:
      AppendInFormat(double(v.as_int()) * double(kMsPerDay), settings.short_date_format, &out);
      return out;
    case Value::Kind::kTime:
      AppendInFormat(double(v.as_int()), settings.long_time_format, &out);
      return out;
    case Value::Kind::kDateTime:
      if (!DateTimeInRange(v.as_double())) return {};
      AppendInFormat(v.as_double(), settings.short_date_format, &out);
      out += ' ';
      AppendInFormat(v.as_double(), settings.long_time_format, &out);
      return out;
    default:
      return FormatValue(v);
  }
}

// --- Dataset ---

Dataset::~Dataset() = default;

int Dataset::FieldIndex(const std::string& name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == name) return int(i);
  for (size_t i = 0; i < fields_.size(); ++i)
    if (paradox::EqualsNoCase(fields_[i].name, name)) return int(i);
  throw EngineError("Field not found: " + name);
}

void Dataset::SetRecNo(int64_t n) {
  if (n < 1) throw EngineError("Record number out of range: " + std::to_string(n));
  if (n == RecNo()) return;
  const DatasetBookmark back = GetBookmark();
  MoveBy(n - RecNo());
  if (RecNo() != n) {
    GotoBookmark(back);
    throw EngineError("Record number out of range: " + std::to_string(n));
  }
}

void Dataset::EnableControls() {
  if (disabled_ == 0) return;
  if (--disabled_ == 0) Notify();
}

int Dataset::AddObserver(std::function<void()> observer) {
  observers_.emplace_back(next_id_, std::move(observer));
  return next_id_++;
}

void Dataset::RemoveObserver(int id) {
  std::erase_if(observers_, [id](const auto& o) { return o.first == id; });
}

void Dataset::Notify() {
  if (disabled_ > 0) return;
  // A copy: an observer may add or remove observers.
  const auto observers = observers_;
  for (const auto& o : observers)
    if (o.second) o.second();
}

// --- TableDataset ---

TableDataset::TableDataset(std::unique_ptr<Cursor> cursor)
    : owned_(std::move(cursor)), cursor_(owned_.get()) {
  if (!cursor_) throw EngineError("No cursor for the dataset");
  Attach();
}

TableDataset::TableDataset(Cursor& cursor) : cursor_(&cursor) { Attach(); }

TableDataset::~TableDataset() { cursor_->SetMoveNotice(nullptr); }

void TableDataset::Attach() {
  fields_ = cursor_->DbFieldDefs();
  for (TFieldDef& f : fields_)
    if (f.display_label.empty()) f.display_label = f.name;
  cursor_->SetMoveNotice([this] {
    if (quiet_ == 0) Notify();
  });
}

template <class F>
void TableDataset::Quietly(F&& f) {
  ++quiet_;
  try {
    f();
  } catch (...) {
    --quiet_;
    Notify();
    throw;
  }
  --quiet_;
  Notify();
}

void TableDataset::First() { cursor_->First(); }
void TableDataset::Next() { cursor_->Next(); }
void TableDataset::Prior() { cursor_->Prior(); }

void TableDataset::Last() {
  Quietly([&] {
    while (!cursor_->Eof()) cursor_->Next();
  });
}

int64_t TableDataset::MoveBy(int64_t n) {
  int64_t moved = 0;
  Quietly([&] {
    for (; n > 0; --n) {
      cursor_->Next();
      if (cursor_->Eof()) break;
      ++moved;
    }
    for (; n < 0; ++n) {
      cursor_->Prior();
      if (cursor_->Bof()) break;
      --moved;
    }
  });
  return moved;
}

int64_t TableDataset::RecordCount() {
  if (!cursor_->filtered()) return cursor_->RowCount();
  int64_t count = 0;
  ++quiet_;
  try {
    const Bookmark here = cursor_->SaveBookmark();
    const bool eof = cursor_->Eof(), bof = cursor_->Bof();
    for (cursor_->First(); !cursor_->Eof(); cursor_->Next()) ++count;
    cursor_->RestoreBookmark(here);
    // Restoring clears the flags; a Next or Prior that found no row set them.
    if (eof) cursor_->Next();
    if (bof) cursor_->Prior();
  } catch (...) {
    --quiet_;
    throw;
  }
  --quiet_;
  return count;
}

DatasetBookmark TableDataset::GetBookmark() const {
  DatasetBookmark b;
  b.table = cursor_->SaveBookmark();
  b.row = cursor_->RecNo();
  return b;
}

void TableDataset::GotoBookmark(const DatasetBookmark& b) { cursor_->RestoreBookmark(b.table); }

}  // namespace tablorix
