// The export base: dataset checks, the record loop and the column collection.
#include "exchange/core/DataExport.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace tablorix::exchange {

int TExportField::GetField() const {
  TDataExport* owner = collection_ ? collection_->Owner() : nullptr;
  Dataset* ds = owner ? owner->DataSet() : nullptr;
  if (!ds) return -1;
  return ds->FieldIndex(DataField);
}

void TExportField::AssignFromField(const TFieldDef& field) {
  DataField = field.name;
  Save = field.visible;
}

TExportField& TExportFields::Add() {
  items_.push_back(NewItem());
  return *items_.back();
}

void TExportFields::BuildExportFields() {
  Clear();
  Dataset* ds = owner_ ? owner_->DataSet() : nullptr;
  if (!ds) return;
  for (const TFieldDef& f : ds->Fields()) Add().AssignFromField(f);
}

TDataExport::~TDataExport() { StopExport(); }

void TDataExport::CheckDataSet() {
  if (!dataset_) throw ExportError("Cannot perform this operation without a dataset");
  // A dataset object here is always open: closed results are not datasets.
  if (dataset_->IsEmpty()) throw ExportError("Cannot perform this operation on an empty dataset");
}

void TDataExport::SaveToFile(const std::string& file_name) {
  bool checked = false;
  if (dataset_ && !dataset_->IsEmpty()) {
    CheckLimits();
    checked = true;
  }
  std::ofstream out(file_name, std::ios::binary | std::ios::trunc);
  if (!out) throw ExportError("Cannot create file \"" + file_name + "\". " + std::strerror(errno));
  CheckDataSet();
  if (!checked) CheckLimits();
  stream_ = &out;
  try {
    RunExport();
  } catch (...) {
    stream_ = nullptr;
    throw;
  }
  stream_ = nullptr;
  out.close();
  if (!out) throw ExportError("Cannot write file \"" + file_name + "\". " + std::strerror(errno));
}

void TDataExport::SaveToStream(std::ostream& stream) {
  CheckDataSet();
  CheckLimits();
  stream_ = &stream;
  try {
    RunExport();
  } catch (...) {
    stream_ = nullptr;
    throw;
  }
  stream_ = nullptr;
}

void TDataExport::RunExport() {
  try {
    BeginExport();
    ExportRecords();
  } catch (...) {
    // Columns built for this export must not outlive it, or the next export (of another
    // dataset, perhaps) would take them as the caller's own.
    if (auto_fields_) {
      if (TExportFields* fields = GetExportFields()) fields->Clear();
      auto_fields_ = false;
    }
    exporting_ = false;
    throw;
  }
  EndExport();
}

void TDataExport::BeginExport() {
  exporting_ = true;
  TExportFields* fields = GetExportFields();
  if (fields && fields->Count() == 0) {
    auto_fields_ = true;
    fields->BuildExportFields();
  } else {
    auto_fields_ = false;
  }
  if (OnBeginExport) OnBeginExport(*this);
}

void TDataExport::ExportRecords() {
  Dataset& ds = *dataset_;
  ds.DisableControls();
  const DatasetBookmark back = ds.GetBookmark();
  try {
    exported_count_ = 0;
    for (ds.First(); !ds.Eof() && exporting_; ds.Next()) {
      bool cancel = false;
      if (BeforeWriteRecord) BeforeWriteRecord(*this, cancel);
      if (cancel) continue;
      WriteRecord();
      ++exported_count_;
      if (AfterWriteRecord) AfterWriteRecord(*this);
    }
  } catch (...) {
    try {
      ds.GotoBookmark(back);
    } catch (...) {
      // The first failure is the one to report.
    }
    ds.EnableControls();
    throw;
  }
  try {
    ds.GotoBookmark(back);
  } catch (...) {
    ds.EnableControls();
    throw;
  }
  ds.EnableControls();
}

void TDataExport::EndExport() {
  if (auto_fields_) {
    if (TExportFields* fields = GetExportFields()) fields->Clear();
  }
  if (OnEndExport) OnEndExport(*this);
  exporting_ = false;
}

}  // namespace tablorix::exchange
