// A table family opened for writing: the .DB, its .PX, its .MB and its secondary indexes, changed
// together in transactions, and the operations that rewrite a closed table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/paradox/blob_store.h"
#include "engine/paradox/data_file.h"
#include "engine/paradox/header_build.h"
#include "engine/paradox/journal.h"

namespace tablorix::paradox {

// A secondary index as the writer sees it: table field positions (0-based) and options.
struct IndexDefinition {
  std::string name;  // index name (composite / named indexes); a single field's name otherwise
  std::vector<int> fields;
  bool unique = false;
  bool descending = false;
  bool case_insensitive = false;
  bool named = false;  // a single-field index under a name of its own
  bool composite() const {
    return fields.size() > 1 || case_insensitive || unique || descending || named;
  }
};

// Field list of a restructure: the new fields, and for each the old field it takes its values
// from (-1 = a new, empty field).
struct Restructure {
  std::vector<NewField> fields;  // names in the table's code page
  std::vector<int> source;
  int key_fields = -1;  // -1 = keep
};

class TableStore {
 public:
  // Opens the family of the table file `db_path` (finishing or undoing an interrupted change).
  static std::unique_ptr<TableStore> Open(const std::string& db_path);
  ~TableStore();

  DataFile& data() { return *db_; }
  const TableHeader& header() const { return db_->header(); }
  int code_page() const { return code_page_; }
  const std::vector<IndexDefinition>& indexes() const { return definitions_; }

  // Transactions: every change happens between Begin and Commit. Begin waits for writers in
  // other processes and picks up their changes; Rollback restores the state at Begin.
  void Begin();
  void Commit();
  void Rollback();
  bool in_transaction() const { return in_txn_; }

  // `record` is a full record in the table's encoding; an autoincrement field left empty gets
  // the next number (written back into `record`). Throws "Key violation".
  RecordPos Insert(std::vector<uint8_t>* record);
  // Replaces the record at `pos`; returns its new position.
  RecordPos Update(RecordPos pos, std::vector<uint8_t>* record);
  void Delete(RecordPos pos);
  // Stores a blob value for field `field` into the descriptor at `desc`.
  void StoreBlob(int field, const std::string& value, uint8_t* desc);
  void FreeBlob(int field, const uint8_t* desc);
  // Keyed tables: the position of the record with this key (the key fields of `record`).
  RecordPos Find(const uint8_t* record, bool* found);

  // Operations on a closed table (the caller has proved nobody else has it open).
  static void CreateTable(const std::string& dir, const std::string& file_name,
                          const std::vector<NewField>& fields, int key_fields);
  static void Pack(const std::string& db_path);
  static void Empty(const std::string& db_path);
  static void DeleteTable(const std::string& db_path);
  static void ChangeStructure(const std::string& db_path, const Restructure& r);
  static void AddIndex(const std::string& db_path, const IndexDefinition& def);
  // Makes a keyed table with these leading fields (they must be the first fields).
  static void AddPrimaryIndex(const std::string& db_path, int key_fields);
  static void DeleteIndex(const std::string& db_path, const std::string& name);
  static void DeletePrimaryIndex(const std::string& db_path);
  // Recovers the table of `db_path` when a change was left half-made (under the write lock).
  static void RecoverTable(const std::string& db_path);
  // Finishes or undoes an interrupted change of the table `base` in `dir`.
  static void Recover(const std::string& dir, const std::string& base);

  // Upper-cases Windows-1250 text in place (the case-insensitive index key).
  static void UpperWin1250(uint8_t* p, size_t n);

  struct Index {
    IndexDefinition def;
    std::string x_name, y_name;
    bool maintained = false;
    std::unique_ptr<DataFile> x;
    bool stale = false;
  };

 private:
  TableStore() = default;
  void OpenFiles();
  void LoadIndexes();
  std::vector<uint8_t> IndexRecord(const Index& ix, const uint8_t* rec, uint16_t block, int64_t tup,
                                   int slot) const;
  void CheckUnique(Index& ix, const std::vector<uint8_t>& xrec, const uint8_t* self);
  void IndexInsert(const uint8_t* rec, RecordPos pos);
  void IndexDelete(const uint8_t* rec);
  // Journals the whole old content of a file about to be replaced (no flush).
  void NoteWhole(const std::string& name);
  void WriteWhole(const std::string& name, const std::vector<uint8_t>& bytes);
  void Lock();
  void Unlock();

  std::string dir_, base_, db_name_, ext_case_;
  int lock_fd_ = -1;
  int code_page_ = 1250;
  std::unique_ptr<Journal> journal_;
  std::unique_ptr<DataFile> db_;
  std::unique_ptr<BlobStore> mb_;
  std::string px_name_, mb_name_;
  std::vector<Index> ix_;
  std::vector<IndexDefinition> definitions_;
  bool in_txn_ = false;
  std::vector<uint8_t> header_at_begin_;
};

}  // namespace tablorix::paradox
