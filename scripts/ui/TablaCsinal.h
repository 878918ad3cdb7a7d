// Tfrm_TablaCsinal: the new-table designer. The user names a table and enters its fields row by
// row in an editable grid; OK turns the rows into a CREATE TABLE statement
// (scripts/core/TablaCsinal.h keeps the rows, their numbering and the statement).
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>
#include <memory>
#include <string>

class QLineEdit;
class QPushButton;

namespace tablorix::scripts {

class TablaCsinalRows;

// The grid's view of the rows: "ssz", "mezőnév", "adattípus", "hossz". Every edit goes to the
// row store; after a change the model is reset so that the grid shows the store as it stands.
class TablaCsinalModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kSsz, kMezonev, kAdattipus, kHossz, kColumnCount };

  explicit TablaCsinalModel(TablaCsinalRows* rows, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  TablaCsinalRows& rows() { return *rows_; }
  // Shows the store again after it was changed behind the model's back.
  void Reload();

 private:
  TablaCsinalRows* rows_;
};

// The grid: Down on the last row (or in an empty grid) appends a row, Insert inserts one before
// the current row, Ctrl+Delete deletes the current row after asking.
class TablaCsinalGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TablaCsinalGrid(QWidget* parent = nullptr);
  TablaCsinalModel* model() const;
  void setModel(QAbstractItemModel* model) override;
  // Puts the grid's cursor on the store's current row.
  void ShowCurrent();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  bool syncing_ = false;
};

class Tfrm_TablaCsinal : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_TablaCsinal(QWidget* owner);
  ~Tfrm_TablaCsinal() override;

  // The statement the table name and the rows give (Windows-1250).
  std::string Statement();

  TablaCsinalRows& rows() { return *rows_; }

  TablaCsinalGrid* Grid;
  QLineEdit* Edit1;
  QPushButton* BtnFel;
  QPushButton* BtnLe;
  QPushButton* BtnTorol;
  QPushButton* BtnOK;
  QPushButton* BtnBezar;

 private:
  void Change(void (TablaCsinalRows::*step)());

  std::unique_ptr<TablaCsinalRows> rows_;
  TablaCsinalModel* model_;
};

// Shows the designer modally, centred over `owner`; returns the statement after OK and an empty
// text after "Bezár". On closing the designer's bounds go to the settings section
// "frm_TablaCsinal".
std::string NewTableStatement(QWidget* owner);

}  // namespace tablorix::scripts
