// TDataExport: the export base over the dataset interface. It binds the dataset, owns the record
// loop and its events, and keeps the export columns (TExportFields of TExportField).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dataset.h"

namespace tablorix::exchange {

// The dataset checks, the file layer and the size limits of a format fail with this.
class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDataExport;
class TExportFields;

class TExportField {
 public:
  explicit TExportField(TExportFields* collection) : collection_(collection) {}
  virtual ~TExportField() = default;

  std::string DataField;  // the dataset field's name
  bool Save = true;       // false: the column is not written

  // Index of the field named DataField in the owner's dataset; -1 when the export has no dataset
  // or it is not open. A name the dataset lacks throws EngineError.
  int GetField() const;
  // DataField := the field's name, Save := its visibility.
  virtual void AssignFromField(const TFieldDef& field);

 private:
  TExportFields* collection_;
};

class TExportFields {
 public:
  explicit TExportFields(TDataExport* owner) : owner_(owner) {}
  virtual ~TExportFields() = default;
  TExportFields(const TExportFields&) = delete;
  TExportFields& operator=(const TExportFields&) = delete;

  TDataExport* Owner() const { return owner_; }
  int Count() const { return int(items_.size()); }
  TExportField& Item(int i) const { return *items_.at(size_t(i)); }
  TExportField& Add();
  void Clear() { items_.clear(); }
  // One item per field of the owner's dataset, in field order; none without a dataset.
  void BuildExportFields();

 protected:
  virtual std::unique_ptr<TExportField> NewItem() { return std::make_unique<TExportField>(this); }

 private:
  TDataExport* owner_;
  std::vector<std::unique_ptr<TExportField>> items_;
};

class TDataExport {
 public:
  using TNotifyEvent = std::function<void(TDataExport& sender)>;
  using TCancelEvent = std::function<void(TDataExport& sender, bool& cancel)>;

  TDataExport() = default;
  // Stops a running export first.
  virtual ~TDataExport();
  TDataExport(const TDataExport&) = delete;
  TDataExport& operator=(const TDataExport&) = delete;

  // Not owned: the dataset must outlive the export, or be unbound with SetDataSet(nullptr).
  Dataset* DataSet() const { return dataset_; }
  void SetDataSet(Dataset* dataset) { dataset_ = dataset; }

  TNotifyEvent OnBeginExport;
  TNotifyEvent OnEndExport;
  TCancelEvent BeforeWriteRecord;  // cancel skips the current record
  TNotifyEvent AfterWriteRecord;

  // Creates (or truncates) the file and runs SaveToStream on it; the file is closed also after a
  // failure. A format whose limits the dataset exceeds fails before the file is touched.
  virtual void SaveToFile(const std::string& file_name);
  // Refuses a missing, closed or empty dataset before anything is written. A failure during the
  // records propagates; the dataset goes back to where it stood.
  void SaveToStream(std::ostream& stream);
  // The record loop ends before its next record.
  void StopExport() { exporting_ = false; }

  bool Exporting() const { return exporting_; }
  int64_t ExportedCount() const { return exported_count_; }

 protected:
  virtual void BeginExport();
  virtual void EndExport();
  virtual void ExportRecords();
  virtual void WriteRecord() {}
  // The column collection; none in the base.
  virtual TExportFields* GetExportFields() { return nullptr; }
  // Size limits of the format, checked after the dataset checks and before anything is
  // written; the dataset is open and not empty.
  virtual void CheckLimits() {}

  // The three dataset checks.
  void CheckDataSet();
  // BeginExport, ExportRecords, EndExport; for formats that write without a stream too.
  void RunExport();

  std::ostream* Stream() const { return stream_; }

 private:
  Dataset* dataset_ = nullptr;
  std::ostream* stream_ = nullptr;
  bool exporting_ = false;
  bool auto_fields_ = false;
  int64_t exported_count_ = 0;
};

}  // namespace tablorix::exchange
