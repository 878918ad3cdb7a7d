// Tfrm_NewField: the modal dialog that describes one new field of a table and gives its
// ALTER TABLE ... ADD statement (composed by scripts/core/NewField.h).
#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tablorix::scripts {

class Tfrm_NewField : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_NewField(QWidget* owner);

  // The statement the filled boxes give for `table` (Windows-1250 in and out).
  std::string Statement(const std::string& table) const;

  QLineEdit* Edit1;
  QComboBox* ComboBox1;
  QLineEdit* Edit2;
  QPushButton* Button1;
  QPushButton* Button2;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows the dialog modally and returns the statement after OK, an empty text after Cancel. The
// dialog reopens where it was last closed (settings section "frm_NewField") and takes the screen
// font size.
std::string NewFieldStatement(QWidget* owner, const std::string& table);

}  // namespace tablorix::scripts
