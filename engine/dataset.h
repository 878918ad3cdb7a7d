// One dataset interface over table cursors and query results, for the grids, the exporters and
// the report. No Qt.
//
// Navigation follows the cursor: First moves to the first row; Next past the last row (and Prior
// before the first) keeps the row and sets Eof (Bof); Last moves to the last row and sets Eof.
// An empty dataset has Eof and Bof set and RecNo 0. `for (First(); !Eof(); Next())` visits
// every row once.
//
// AsText gives what a grid shows, in the locale's formats:
//   numbers       shortest round-trip text with the settings' decimal separator
//   dates, times  short_date_format, long_time_format; timestamps date + " " + time
//   logical       True / False
//   memos         the memo text itself (formatted memos too)
//   binary        "(BLOB)", "(GRAPHIC)", "(OLE)", "(BINARY)" for blob fields, "(BYTES)" for
//                 bytes fields
//   null          "" (also for blobs)
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/format_settings.h"
#include "engine/session.h"
#include "engine/types.h"
#include "engine/value.h"

namespace tablorix {

// A saved position of a dataset: `table` for table datasets, `row` (1-based) for query ones.
struct DatasetBookmark {
  Bookmark table;
  int64_t row = 0;
};

// Text of a value of a field of type `type`, as Dataset::AsText describes.
std::string FormatForDisplay(const Value& v, TFieldType type, const FormatSettings& settings);

class Dataset {
 public:
  virtual ~Dataset();
  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;

  int FieldCount() const { return int(fields_.size()); }
  const TFieldDef& Field(int i) const { return fields_.at(size_t(i)); }
  const std::vector<TFieldDef>& Fields() const { return fields_; }
  // What the views choose for their columns.
  void SetDisplayLabel(int i, std::string label) {
    fields_.at(size_t(i)).display_label = std::move(label);
  }
  void SetAlignment(int i, TAlignment a) { fields_.at(size_t(i)).alignment = a; }
  void SetVisible(int i, bool visible) { fields_.at(size_t(i)).visible = visible; }
  // Names compared ignoring case; throws EngineError when there is no such field.
  int FieldIndex(const std::string& name) const;

  virtual void First() = 0;
  virtual void Next() = 0;
  virtual void Prior() = 0;
  virtual void Last() = 0;
  // Moves n rows forward (back for n < 0), stopping at either end with Eof (Bof) set; the rows
  // actually moved.
  virtual int64_t MoveBy(int64_t n) = 0;
  virtual bool Eof() const = 0;
  virtual bool Bof() const = 0;
  virtual bool IsEmpty() = 0;
  virtual int64_t RecordCount() = 0;
  // 1-based; 0 when there is no row.
  virtual int64_t RecNo() const = 0;
  // Moves to row n (1-based); outside 1..RecordCount() throws EngineError.
  void SetRecNo(int64_t n);

  virtual DatasetBookmark GetBookmark() const = 0;
  virtual void GotoBookmark(const DatasetBookmark& b) = 0;

  virtual bool IsNull(int i) const { return AsVariant(i).is_null(); }
  virtual Value AsVariant(int i) const = 0;
  std::string AsText(int i, const FormatSettings& settings) const {
    return FormatForDisplay(AsVariant(i), Field(i).type, settings);
  }

  // While disabled (the calls nest) observers are told nothing; the last EnableControls tells
  // them once that the data changed.
  void DisableControls() { ++disabled_; }
  void EnableControls();
  bool ControlsDisabled() const { return disabled_ > 0; }

  // Observers are told after every move and data change.
  int AddObserver(std::function<void()> observer);
  void RemoveObserver(int id);
  // For code that changed the data behind the dataset.
  void DataChanged() { Notify(); }

 protected:
  Dataset() = default;
  void Notify();
  std::vector<TFieldDef> fields_;

 private:
  int disabled_ = 0;
  int next_id_ = 1;
  std::vector<std::pair<int, std::function<void()>>> observers_;
};

// A dataset over a table cursor, owned or borrowed. The cursor's move notice is the dataset's:
// a borrowed cursor's former notice is replaced (and cleared when the dataset goes). The rows are
// those the cursor shows: its order and filter apply.
class TableDataset : public Dataset {
 public:
  explicit TableDataset(std::unique_ptr<Cursor> cursor);
  explicit TableDataset(Cursor& cursor);
  ~TableDataset() override;

  Cursor& cursor() { return *cursor_; }

  void First() override;
  void Next() override;
  void Prior() override;
  // Walks to the end: the cursor has no faster way.
  void Last() override;
  int64_t MoveBy(int64_t n) override;
  // The cursor clears Bof on a Next (Eof on a Prior) even with no row; an empty dataset keeps
  // both set.
  bool Eof() const override { return cursor_->Eof() || cursor_->IsEmpty(); }
  bool Bof() const override { return cursor_->Bof() || cursor_->IsEmpty(); }
  bool IsEmpty() override { return cursor_->IsEmpty(); }
  // The table's record count; with a filter on, the rows it shows (counted by walking them).
  int64_t RecordCount() override;
  int64_t RecNo() const override { return cursor_->RecNo(); }
  DatasetBookmark GetBookmark() const override;
  void GotoBookmark(const DatasetBookmark& b) override;
  bool IsNull(int i) const override { return cursor_->IsNull(i); }
  Value AsVariant(int i) const override { return cursor_->AsVariant(i); }

 private:
  void Attach();
  // Runs moves of the cursor with its notices held back, then tells the observers once.
  template <class F>
  void Quietly(F&& f);
  std::unique_ptr<Cursor> owned_;
  Cursor* cursor_;
  int quiet_ = 0;
};

}  // namespace tablorix
