// Tfrm_AddIndex: the index designer. The user picks the index fields into an ordered list, names
// the index and ticks Primary, Unique and Descending; the dialog adds the index or redefines an
// existing one (maintenance/core/AddIndex.h holds the state and the engine calls).
#pragma once

#include <QDialog>
#include <string>

#include "engine/session.h"
#include "maintenance/core/AddIndex.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tablorix::maintenance {

class Tfrm_AddIndex : public QDialog {
  Q_OBJECT

 public:
  Tfrm_AddIndex(QWidget* owner, Session& session, AddIndexDesigner designer);

  const AddIndexDesigner& designer() const { return designer_; }

  QCheckBox* CheckBox2;  // Primary
  QCheckBox* CheckBox4;  // Descending
  QCheckBox* CheckBox1;  // Unique
  QLabel* Label1;
  QLineEdit* Edit1;
  QListWidget* ListBox1;  // available fields
  QPushButton* Button1;   // ">"
  QPushButton* Button4;   // "<"
  QListWidget* ListBox2;  // index fields, in index order
  QPushButton* Button5;   // "Létrehoz" / "Modify"
  QPushButton* Button6;   // "Bezár"

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  // The designer takes what the boxes hold / the boxes show what the designer holds.
  void ReadBoxes();
  void ShowDesigner();
  void Move(void (AddIndexDesigner::*step)());
  void Button5Click();

  Session& session_;
  AddIndexDesigner designer_;
};

// aAddIndex: the designer in new mode over `fields_text` (the field list, one name a line) of
// `table` (the tables list item). Returns when the dialog has closed.
void ShowAddIndexDialog(QWidget* owner, Session& session, const std::string& fields_text,
                        const std::string& table);
// aAlterIndex: the designer in modify mode on `index`. Throws EngineError, before any dialog
// appears, when the table cannot be opened exclusively or has no such index.
void ShowModifyIndexDialog(QWidget* owner, Session& session, const std::string& fields_text,
                           const std::string& table, const std::string& index);

}  // namespace tablorix::maintenance
