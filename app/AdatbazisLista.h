// The recent-database dialog: the recent directories in alphabetical order, with an entry's
// removal; what the dialog's list holds at the end becomes the recent list.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "common/core/settings.h"

class QListWidget;
class QPushButton;

namespace tablorix::app {

class Tfrm_AdatbazisLista : public QDialog {
  Q_OBJECT

 public:
  Tfrm_AdatbazisLista(QWidget* owner, const common::TBeall& settings);

  QListWidget* ListBox1;
  QPushButton* DeleteBtn;  // "Törlés listából"
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  void DeleteBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

// The selected entry after OK (empty when none is selected), empty after Cancel. Either way the
// recent list becomes the dialog's entries, alphabetically.
std::string AdatbazisLista(QWidget* owner, common::TBeall* settings);

// For tests: while set, the dialog runs without its modal loop and the driver stands for the
// user (true = OK).
using AdatbazisListaDriver = std::function<bool(Tfrm_AdatbazisLista& dialog)>;
void SetAdatbazisListaDriver(AdatbazisListaDriver driver);

}  // namespace tablorix::app
