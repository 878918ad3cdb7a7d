// The engine session on one directory of tables, and its table cursors.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/format_settings.h"
#include "engine/types.h"
#include "engine/value.h"

namespace tablorix {

namespace paradox {
class TableFile;
class BlobFile;
class TableStore;
struct RecordPos;
struct ValChecks;
}  // namespace paradox

class Filter;

// A field of a new table. `type` is the stored type code (paradox/format.h: kAlpha ...); `size`
// as TFieldDef gives it: characters of Alpha, bytes of Bytes, leader bytes of blobs, decimals of
// BCD, and ignored for fixed-size types.
struct NewFieldDef {
  std::string name;  // Windows-1250
  uint8_t type = 0;
  int size = 0;
};

struct OpenOptions {
  bool exclusive = false;
  bool read_only = true;
  std::vector<std::string> index_fields;
};

// Saved cursor position (DbRowOps save/restore).
struct Bookmark {
  int block = 0;
  int index = 0;
  int64_t recno = 0;
  int order_block = 0;  // the entry of the index the cursor is ordered by
  int order_index = 0;
};

class Cursor;

// Text of a value as the cursor's AsText gives it (ISO dates, shortest round-trip numbers).
std::string FormatValue(const Value& v);

class Session {
 public:
  Session();
  ~Session();
  // Closes every cursor of the session, then opens `directory`.
  void DbOpenDatabase(const std::string& directory);
  const std::string& directory() const { return directory_; }
  // Table names without extension, sorted, in Windows-1250.
  std::vector<std::string> DbListTables() const;
  std::vector<std::string> DbListFields(const std::string& table) const;
  std::vector<std::string> DbListIndexes(const std::string& table) const;
  std::unique_ptr<Cursor> DbOpenTable(const std::string& table, const OpenOptions& options = {});
  // Opens the table whose .DB file is `path` (as TablePath found it). With recover = false the
  // check for a change left half-made is skipped: for callers that know the directory has not
  // changed since they last opened the table this way.
  std::unique_ptr<Cursor> DbOpenTablePath(const std::string& path, const std::string& table,
                                          const OpenOptions& options, bool recover);
  void DbCloseTable(Cursor& cursor);

  // Path of the table's .DB file (found ignoring case); throws when there is none.
  std::string TablePath(const std::string& table) const;

  // Operations on closed tables: each fails with "Table is busy" while the table is open
  // anywhere, in this process or another.
  void DbCreateTable(const std::string& table, const std::vector<NewFieldDef>& fields,
                     int key_fields);
  void DbEmptyTable(const std::string& table);
  void DbDeleteTable(const std::string& table);
  // Compacts the table and rebuilds its indexes and blobs; false when that failed.
  bool DbPackTable(const std::string& table, const std::string& driver_type);
  // `fields` joined by ";". With ixPrimary the fields must be the table's first fields.
  void DbAddIndex(const std::string& table, const std::string& name, const std::string& fields,
                  TIndexOptions options);
  // An empty name (or the name "Primary") deletes the primary index.
  void DbDeleteIndex(const std::string& table, const std::string& name);
  // Adds fields at the end of the table or drops fields, keeping the rows and other values.
  void DbAddField(const std::string& table, const NewFieldDef& field);
  void DbDropField(const std::string& table, const std::string& field);

 private:
  friend class Cursor;
  std::string directory_;
  bool open_ = false;
  std::shared_ptr<std::set<Cursor*>> cursors_;
};

class Cursor {
 public:
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  const std::string& table_name() const { return name_; }
  const std::string& driver_type() const;  // "PARADOX"
  const std::vector<TFieldDef>& DbFieldDefs() const { return field_defs_; }
  std::vector<TIndexDef> DbIndexDefs() const;
  // Each index with its file (empty for the primary index) and its field positions.
  struct IndexFile {
    TIndexDef def;
    std::string path;
    std::vector<int> fields;
  };
  std::vector<IndexFile> DbIndexFiles() const;
  const paradox::TableFile& table_file() const { return *table_; }

  bool IsOpen() const { return open_; }
  bool IsEmpty() const;
  // The table's record count, also while a filter hides rows.
  int64_t RowCount() const;
  // 1-based, counting the rows the filter shows in the current order; 0 when there is no row.
  int64_t RecNo() const;
  void First();
  void Next();
  void Prior();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  Bookmark SaveBookmark() const;
  void RestoreBookmark(const Bookmark& b);
  // Called after every move.
  void SetMoveNotice(std::function<void()> notice) { notice_ = std::move(notice); }

  // Orders the rows by an existing index whose fields are, or begin with, `fields` (names
  // ignoring case; the primary index first, then the secondary ones); none fitting throws.
  // An empty list is the natural order. Moves to the first row.
  void DbSetOrder(const std::vector<std::string>& fields);
  const std::vector<std::string>& order_fields() const { return order_fields_; }
  // Sets the filter (see engine/filter.h); with on = false the expression is kept but every row
  // shows. A rejected expression throws and leaves the filter as it was. Moves to the first row.
  void DbSetFilter(const std::string& expression, bool on);
  const std::string& filter_expression() const { return filter_text_; }
  bool filtered() const { return filter_on_ && filter_ != nullptr; }
  // The formats filter literals are read in.
  void SetFormatSettings(const FormatSettings& settings) { format_ = settings; }
  const FormatSettings& format_settings() const { return format_; }

  int FieldIndex(const std::string& name) const;  // throws when there is no such field
  bool IsNull(const std::string& name) const { return IsNull(FieldIndex(name)); }
  bool IsNull(int field) const;
  // Value of the current row; text in Windows-1250, Graphic/OLE without the stored prefix.
  Value AsVariant(int field) const;
  Value AsVariant(const std::string& name) const { return AsVariant(FieldIndex(name)); }
  std::string AsText(int field) const;
  std::string AsText(const std::string& name) const { return AsText(FieldIndex(name)); }
  double AsNumber(int field) const;
  double AsNumber(const std::string& name) const { return AsNumber(FieldIndex(name)); }
  // Milliseconds since the start of day 0 (see Value::DateTime); dates at midnight.
  double AsDateTime(int field) const;
  double AsDateTime(const std::string& name) const { return AsDateTime(FieldIndex(name)); }

  // Raw bytes of the current record (record_size bytes), for fast exporters.
  const uint8_t* RecordBytes() const;
  int code_page() const;
  // Translates text of the table's code page into Windows-1250, appending to out.
  void TextToProgram(const char* p, size_t n, std::string* out) const;
  // Blob value of the current row: false for null.
  bool ReadBlob(int field, std::string* out) const;

  // Editing (tables opened with read_only = false). Values are given as AsVariant returns them;
  // text is also accepted for any field and read by the field's type (ISO dates and times).
  enum class State { kBrowse, kInsert, kEdit };
  State state() const { return state_; }
  bool writable() const { return store_ != nullptr; }
  void Insert();  // a blank record, posted by Post
  void Edit();
  void SetValue(int field, const Value& value);
  void SetValue(const std::string& name, const Value& value) { SetValue(FieldIndex(name), value); }
  void Post();
  void Cancel();
  void Delete();
  // Rereads the table (after other users changed it), staying on the current row if it exists.
  void Refresh();
  // Many posts in one transaction (bulk loads): the cursor stays where it is until EndBatch,
  // which commits and moves to the first row. A failing post inside a batch undoes the batch.
  void BeginBatch();
  void EndBatch();

 private:
  friend class Session;
  Cursor();
  void Close();
  void CheckOpen() const;
  void CheckRow() const;
  void LoadBlock(int n);
  void Moved();
  void SeekFirst();
  void Reopen();
  void PositionAt(const paradox::RecordPos& pos);
  paradox::RecordPos LocateCurrent();
  const uint8_t* CurrentBytes() const;
  // Moves over every row in the current order, the filter not applied; false (and the position
  // unchanged) at the end.
  bool RawFirst();
  bool RawNext();
  bool RawPrior();
  bool NaturalFirst();
  bool NaturalNext();
  bool NaturalPrior();
  bool Visible();
  bool ResolveEntry();
  Bookmark Here() const;
  void GoTo(const Bookmark& b);  // no notice
  struct IndexInfo {
    TIndexDef def;
    std::string path;         // the index file; empty for the primary index
    std::vector<int> fields;  // field positions
  };
  std::vector<IndexInfo> ListIndexFiles() const;
  // After a move made by the editing code: recounts RecNo and finds the index entry.
  void Resync();

  struct Order;
  std::vector<std::string> order_fields_;
  std::unique_ptr<Order> order_;
  std::unique_ptr<Filter> filter_;
  std::string filter_text_;
  bool filter_on_ = false;
  FormatSettings format_;
  bool own_move_ = false;   // the move now being announced was made by the navigation code
  bool need_sync_ = false;  // recno_ and the index entry must be recomputed

  std::string name_;
  std::string path_;
  std::string dir_;
  bool open_ = false;
  int lock_fd_ = -1;
  std::unique_ptr<paradox::TableFile> table_;
  mutable std::unique_ptr<paradox::BlobFile> blobs_;
  mutable bool blobs_tried_ = false;
  std::vector<TFieldDef> field_defs_;
  std::shared_ptr<std::set<Cursor*>> registry_;
  std::function<void()> notice_;

  std::vector<uint8_t> block_;
  int block_no_ = 0;
  uint16_t next_ = 0, prev_ = 0;
  int count_ = 0;
  int index_ = 0;
  int64_t recno_ = 0;
  bool eof_ = true, bof_ = true;
  int steps_ = 0;  // blocks walked, to stop on a chain that loops

  std::unique_ptr<paradox::TableStore> store_;
  State state_ = State::kBrowse;
  bool batch_ = false;
  std::vector<uint8_t> edit_;
  std::vector<uint8_t> edit_original_;
  std::vector<std::pair<int, std::string>> edit_blobs_;  // field, new value
  std::vector<int> edit_blob_nulls_;
  // Validity checks of the table's .VAL (null when it has none or it could not be used).
  std::unique_ptr<paradox::ValChecks> checks_;
  // Throws when the record being posted breaks a validity check; changes nothing.
  void CheckValidity(const std::vector<uint8_t>& rec) const;
};

}  // namespace tablorix
