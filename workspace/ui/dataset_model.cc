// The result grid's model: blocks of row texts read on demand through the dataset's cursor.
#include "workspace/ui/dataset_model.h"

#include <algorithm>

#include "common/ui/encoding.h"

namespace tablorix::workspace {
namespace {

// Qt's date and time letters to ours: day and month names become numbers, 12-hour clocks 24-hour
// ones, and what we cannot show (milliseconds, am/pm, time zone) is dropped with the blank before.
std::string ConvertQtFormat(const QString& qt_format) {
  std::string out;
  const QString f = qt_format;
  for (qsizetype i = 0; i < f.size();) {
    const QChar c = f[i];
    qsizetype n = 1;
    while (i + n < f.size() && f[i + n] == c) ++n;
    if (c == '\'') {  // quoted literal text; '' is a quote
      qsizetype j = i + 1;
      for (; j < f.size() && f[j] != '\''; ++j) out += f[j].toLatin1();
      if (j == i + 1 && j < f.size()) out += '\'';
      i = j + 1;
      continue;
    }
    switch (c.unicode()) {
      case 'y':
        out += n >= 3 ? "yyyy" : "yy";
        break;
      case 'M':
        out += n >= 2 ? "MM" : "M";
        break;
      case 'd':
        if (n <= 2) out += n == 2 ? "dd" : "d";
        break;
      case 'H':
      case 'h':
        out += n >= 2 ? "HH" : "H";
        break;
      case 'm':
        out += n >= 2 ? "mm" : "m";
        break;
      case 's':
        out += n >= 2 ? "ss" : "s";
        break;
      case 'z':
      case 'a':
      case 'A':
      case 'p':
      case 'P':
      case 't':
        while (!out.empty() && out.back() == ' ') out.pop_back();
        break;
      default:
        for (qsizetype k = 0; k < n; ++k) out += c.toLatin1() ? c.toLatin1() : ' ';
    }
    i += n;
  }
  // A day name dropped from the front leaves its separator behind.
  while (!out.empty() && (out.front() == ',' || out.front() == ' ')) out.erase(out.begin());
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

FormatSettings FormatSettingsFromLocale(const QLocale& locale) {
  FormatSettings s;
  const QString point = locale.decimalPoint();
  if (point.size() == 1 && point[0].toLatin1()) s.decimal_separator = point[0].toLatin1();
  const std::string date = ConvertQtFormat(locale.dateFormat(QLocale::ShortFormat));
  if (!date.empty()) s.short_date_format = date;
  const std::string time = ConvertQtFormat(locale.timeFormat(QLocale::LongFormat));
  if (!time.empty()) s.long_time_format = time;
  return s;
}

DatasetModel::DatasetModel(Dataset& dataset, FormatSettings settings, QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset), settings_(std::move(settings)) {
  for (int i = 0; i < dataset_.FieldCount(); ++i)
    if (dataset_.Field(i).visible) columns_.push_back(i);
  const Block& first = Load(0);
  fetched_ = int64_t(first.rows.size());
  all_fetched_ = fetched_ < kBlockRows;
  observer_ = dataset_.AddObserver([this] { OnDatasetChanged(); });
}

DatasetModel::~DatasetModel() { dataset_.RemoveObserver(observer_); }

int64_t DatasetModel::CachedRows() const {
  int64_t n = 0;
  for (const Block& b : blocks_) n += int64_t(b.rows.size());
  return n;
}

int DatasetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(std::min<int64_t>(fetched_, INT32_MAX));
}

int DatasetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical)
    return QAbstractTableModel::headerData(section, orientation, role);
  if (section < 0 || section >= int(columns_.size())) return {};
  const TFieldDef& f = dataset_.Field(columns_[size_t(section)]);
  if (role == Qt::DisplayRole)
    return ui::FromWin1250(f.display_label.empty() ? f.name : f.display_label);
  return {};
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= fetched_ || index.column() >= int(columns_.size()))
    return {};
  if (role == Qt::TextAlignmentRole) {
    switch (dataset_.Field(columns_[size_t(index.column())]).alignment) {
      case TAlignment::taRightJustify:
        return int(Qt::AlignRight | Qt::AlignVCenter);
      case TAlignment::taCenter:
        return int(Qt::AlignHCenter | Qt::AlignVCenter);
      case TAlignment::taLeftJustify:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  // Whoever disabled the controls is walking the dataset: reading now would move it under them.
  if (dataset_.ControlsDisabled()) return {};
  try {
    const Block& b = Load(index.row() / kBlockRows);
    const size_t r = size_t(index.row() - b.first);
    if (r >= b.rows.size()) return {};
    return b.rows[r][index.column()];
  } catch (const EngineError& e) {
    // Painting must not throw: the row stays blank and the message is kept for the window.
    Failed(e);
    return {};
  }
}

bool DatasetModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !all_fetched_ && read_error_.isEmpty();
}

void DatasetModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  int64_t known = fetched_;
  bool end = false;
  try {
    while (known < fetched_ + kFetchRows) {
      const Block& b = Load(known / kBlockRows);
      known = b.first + int64_t(b.rows.size());
      if (int64_t(b.rows.size()) < kBlockRows) {
        end = true;
        break;
      }
    }
  } catch (const EngineError& e) {
    Failed(e);
    end = true;
  }
  known = std::min<int64_t>(known, INT32_MAX);
  if (known > fetched_) {
    beginInsertRows({}, int(fetched_), int(known - 1));
    fetched_ = known;
    endInsertRows();
  }
  all_fetched_ = end || known >= INT32_MAX;
}

void DatasetModel::Failed(const EngineError& e) const {
  if (!read_error_.isEmpty()) return;
  read_error_ = ui::FromWin1250(e.what());
  emit ReadFailed(read_error_);
}

bool DatasetModel::Seek(int64_t row) const {
  if (dataset_.IsEmpty()) return false;
  const int64_t at = dataset_.RecNo() - 1;
  // A row nearer the start than the current one is reached from the start: the shorter walk.
  if (at < 0 || (row < at && row < at - row)) {
    dataset_.First();
    return row == 0 || dataset_.MoveBy(row) == row;
  }
  return dataset_.MoveBy(row - at) == row - at;
}

const DatasetModel::Block& DatasetModel::Load(int64_t b) const {
  for (Block& blk : blocks_)
    if (blk.first == b * kBlockRows) {
      blk.used = ++tick_;
      return blk;
    }
  Block fresh;
  fresh.first = b * kBlockRows;
  reading_ = true;
  try {
    if (Seek(fresh.first)) {
      for (int i = 0; i < kBlockRows; ++i) {
        if (i > 0) {
          dataset_.Next();
          if (dataset_.Eof()) break;
        }
        QStringList texts;
        texts.reserve(qsizetype(columns_.size()));
        for (int c : columns_) texts.push_back(ui::FromWin1250(dataset_.AsText(c, settings_)));
        fresh.rows.push_back(std::move(texts));
      }
    }
  } catch (...) {
    reading_ = false;
    throw;
  }
  reading_ = false;
  fresh.used = ++tick_;
  if (int(blocks_.size()) < kMaxBlocks) {
    blocks_.push_back(std::move(fresh));
    return blocks_.back();
  }
  auto oldest = std::min_element(blocks_.begin(), blocks_.end(),
                                 [](const Block& a, const Block& z) { return a.used < z.used; });
  *oldest = std::move(fresh);
  return *oldest;
}

// Someone else moved or changed the dataset: the texts may be stale, so read them again.
void DatasetModel::OnDatasetChanged() {
  if (reading_ || blocks_.empty()) return;
  blocks_.clear();
  if (fetched_ > 0 && !columns_.empty())
    emit dataChanged(index(0, 0), index(int(fetched_ - 1), int(columns_.size() - 1)));
}

}  // namespace tablorix::workspace
