// A read-only table model over a Dataset for the result grids: rows are read on demand in blocks
// and only a bounded number of blocks is kept, so a result of millions of rows shows its first
// rows at once and takes little memory.
#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/dataset.h"
#include "engine/format_settings.h"

namespace tablorix::workspace {

// The system locale's formats in the letters FormatSettings takes (yyyy, MM, dd, H, mm, ss).
FormatSettings FormatSettingsFromLocale(const QLocale& locale);

class DatasetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kBlockRows = 128;
  // Rows made known to the view by one fetchMore.
  static constexpr int kFetchRows = 2 * kBlockRows;
  // Blocks of texts kept; the oldest used goes first.
  static constexpr int kMaxBlocks = 64;

  // Reading rows moves the dataset, as a grid over a cursor does; while its controls are disabled
  // the model reads nothing. The dataset must outlive the model. Reads the first rows at once: an
  // engine error while reading them reaches the caller.
  DatasetModel(Dataset& dataset, FormatSettings settings, QObject* parent = nullptr);
  ~DatasetModel() override;

  Dataset& dataset() { return dataset_; }
  // Rows of the dataset the model has seen so far; all of them once AllFetched().
  int64_t FetchedRows() const { return fetched_; }
  bool AllFetched() const { return all_fetched_; }
  // Rows whose texts are held in memory.
  int64_t CachedRows() const;
  // The engine's message when reading rows failed after the first ones; further rows are not
  // fetched then.
  const QString& ReadError() const { return read_error_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 signals:
  // Once, when reading rows first failed (often while the view paints: connect queued to show
  // it).
  void ReadFailed(const QString& message) const;

 private:
  struct Block {
    int64_t first = 0;
    std::vector<QStringList> rows;
    uint64_t used = 0;
  };
  // Reads block `b` into the cache (dropping the least recently used one when full); the rows it
  // holds, fewer than kBlockRows at the end of the dataset. Throws EngineError.
  const Block& Load(int64_t b) const;
  // Moves the dataset to row `row` (0-based); false when there is no such row.
  bool Seek(int64_t row) const;
  void OnDatasetChanged();
  void Failed(const EngineError& e) const;

  Dataset& dataset_;
  FormatSettings settings_;
  std::vector<int> columns_;  // dataset field of each visible column
  int observer_ = 0;
  mutable std::vector<Block> blocks_;
  mutable uint64_t tick_ = 0;
  mutable bool reading_ = false;
  mutable QString read_error_;
  int64_t fetched_ = 0;
  bool all_fetched_ = false;
};

}  // namespace tablorix::workspace
