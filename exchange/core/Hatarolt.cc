// The delimited text export: lines gathered record by record and written through a temporary
// file, so a failed or stopped export never leaves half a file in place of the former one.
#include "exchange/core/Hatarolt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/core/Seged.h"
#include "engine/types.h"
#include "exchange/core/DataToXLS.h"

namespace tablorix::exchange {

char SeparatorOfItem(int item) {
  static const char kSeparators[] = {';', '\t', ',', '|'};
  if (item < 0 || item >= 4) throw EngineError("No such separator item: " + std::to_string(item));
  return kSeparators[item];
}

char QuoteOfItem(int item) {
  static const char kQuotes[] = {'"', '\'', 0};
  if (item < 0 || item >= 3) throw EngineError("No such quote item: " + std::to_string(item));
  return kQuotes[item];
}

namespace {

void AppendQuoted(std::string_view text, char quote, std::string* line) {
  *line += quote;
  for (char ch : text) {
    if (ch == quote) *line += quote;
    *line += ch;
  }
  *line += quote;
}

}  // namespace

void AppendDelimited(std::string_view text, const TextExportOptions& options, std::string* line) {
  if (options.quote != 0) {
    AppendQuoted(text, options.quote, line);
  } else if (text.find(options.separator) != std::string_view::npos ||
             text.find_first_of("\"\r\n") != std::string_view::npos) {
    AppendQuoted(text, '"', line);
  } else {
    *line += text;
  }
  *line += options.separator;
}

std::string ExportFieldText(const Dataset& dataset, int field, const TextExportOptions& options,
                            const FormatSettings& settings) {
  const TFieldDef& f = dataset.Field(field);
  if (!f.is_blob) return dataset.AsText(field, settings);
  if (f.type == TFieldType::ftMemo && options.memo_as_text) {
    const std::string joined = common::JoinLines(dataset.AsText(field, settings), "|");
    return common::ReplaceCharInVar(Value::Text(joined), options.separator, ',');
  }
  return kBlobPlaceholder;
}

ExportFileKind ExportKindOf(std::string_view file_name) {
  const size_t slash = file_name.find_last_of('/');
  const std::string_view base =
      slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos) return ExportFileKind::kText;
  const std::string ext = common::UpperCase(base.substr(dot));
  if (ext == ".XLS") return ExportFileKind::kXls;
  if (ext == ".XLSX") return ExportFileKind::kXlsx;
  return ExportFileKind::kText;
}

std::string DefaultExportFileName(std::string_view name, std::string_view documents_folder) {
  if (name.empty()) return std::string(documents_folder) + "/" + kDefaultExportName;
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  const bool has_ext =
      dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
  return std::string(has_ext ? name.substr(0, dot) : name) + ".CSV";
}

TextExport::TextExport(Dataset& dataset) : dataset_(dataset) {
  for (const TFieldDef& f : dataset.Fields()) items_.push_back({f.name, true});
}

void TextExport::CheckAll(bool checked) {
  for (Item& item : items_) item.checked = checked;
}

bool TextExport::IsFieldChecked(std::string_view name) const {
  for (const Item& item : items_)
    if (common::SameText(item.name, name)) return item.checked;
  return false;
}

namespace {

std::string SystemMessage(int err) { return std::strerror(err); }

// A file written under a temporary name in the target's folder and renamed over the target when
// committed; removed when abandoned.
class PendingFile {
 public:
  explicit PendingFile(const std::string& target) : target_(target) {
    const size_t slash = target.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    temp_ = dir + "." + base + ".XXXXXX";
    fd_ = mkstemp(temp_.data());
    if (fd_ < 0)
      throw EngineError("Cannot create file \"" + target + "\". " + SystemMessage(errno));
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
  }
  ~PendingFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temp_.c_str());
  }
  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        throw EngineError("Cannot write file \"" + target_ + "\". " + SystemMessage(errno));
      done += size_t(n);
    }
  }
  void Commit() {
    const int rc = close(fd_);
    fd_ = -1;
    if (rc != 0)
      throw EngineError("Cannot write file \"" + target_ + "\". " + SystemMessage(errno));
    if (rename(temp_.c_str(), target_.c_str()) != 0)
      throw EngineError("Cannot create file \"" + target_ + "\". " + SystemMessage(errno));
    committed_ = true;
  }

 private:
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Detaches the dataset's views for the loop and re-attaches them however it ends.
class ViewsDetached {
 public:
  explicit ViewsDetached(Dataset& d) : d_(d) { d_.DisableControls(); }
  ~ViewsDetached() { d_.EnableControls(); }

 private:
  Dataset& d_;
};

}  // namespace

TextExportResult TextExport::Run(const std::string& file_name, const TextExportOptions& options,
                                 const FormatSettings& settings) {
  running_ = true;
  struct ClearRunning {
    bool& flag;
    ~ClearRunning() { flag = false; }
  } clear{running_};
  dataset_.First();
  ViewsDetached detached(dataset_);

  std::vector<int> fields;
  for (int i = 0; i < dataset_.FieldCount(); ++i)
    if (IsFieldChecked(dataset_.Field(i).name)) fields.push_back(i);

  PendingFile file(file_name);
  const int64_t total = dataset_.RecordCount();
  std::string buffer;
  if (!options.no_header) {
    for (int i : fields) {
      const TFieldDef& f = dataset_.Field(i);
      AppendDelimited(options.field_names ? f.name : f.display_label, options, &buffer);
    }
  }
  buffer += "\r\n";

  TextExportResult result;
  while (!dataset_.Eof()) {
    if (on_idle) on_idle();
    if (!running_) {
      result.stopped = true;
      break;
    }
    for (int i : fields)
      AppendDelimited(ExportFieldText(dataset_, i, options, settings), options, &buffer);
    buffer += "\r\n";
    ++result.records;
    if (buffer.size() >= (1u << 16)) {
      file.Write(buffer);
      buffer.clear();
    }
    if (on_progress) on_progress(result.records, total);
    dataset_.Next();
  }
  file.Write(buffer);
  file.Commit();
  return result;
}

void TextExport::ExportToWorksheet(const std::string& file_name, const FormatSettings& settings) {
  TDataToXLS xls;
  xls.SetDataSet(&dataset_);
  xls.format_settings = settings;
  const int64_t total = dataset_.RecordCount();
  // The columns are built from the dataset's fields when the export begins: the unchecked ones
  // stay out.
  xls.OnBeginExport = [this, &xls](TDataExport&) {
    for (int i = 0; i < xls.Columns.Count(); ++i) {
      TxlColumn& column = xls.Columns.Item(i);
      if (!IsFieldChecked(column.DataField)) column.Save = false;
    }
  };
  xls.AfterWriteRecord = [this, total](TDataExport& sender) {
    if (on_progress) on_progress(sender.ExportedCount(), total);
  };
  xls.SaveToFile(file_name);
}

}  // namespace tablorix::exchange
