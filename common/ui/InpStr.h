// The one-line input dialog: a prompt, an edit box and OK / "Mégsem". Without keep-case the box
// holds what is typed upper-cased and folded to an identifier (FoldToIdentifier).
#pragma once

#include <QChar>
#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tablorix::ui {

class Tfrm_InpStr : public QDialog {
  Q_OBJECT

 public:
  Tfrm_InpStr(QWidget* owner, const QString& caption, const QString& prompt, const QString& value,
              bool keep_case, QChar password);

  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Image1;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Edit1Change(const QString& text);
  bool keep_case_;
};

// Asks for one line of text. `value_win1250` holds the starting text and, when the dialog ends
// with OK (true), the text entered; Cancel or the close box leave it as it was.
bool InputText(QWidget* owner, const QString& caption, const QString& prompt,
               std::string* value_win1250, bool keep_case, QChar password = {});

// For tests of the callers: while set, InputText shows the dialog without a modal loop and lets
// the driver fill it; the driver's result stands for OK (true) or Cancel (false).
using InpStrDriver = std::function<bool(Tfrm_InpStr& dialog)>;
void SetInpStrDriver(InpStrDriver driver);

}  // namespace tablorix::ui
