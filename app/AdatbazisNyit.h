// The open-database dialog: a drop-down of the recent directories, editable, with a folder
// chooser beside it.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "common/core/settings.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace tablorix::app {

class Tfrm_AdatbazisNyit : public QDialog {
  Q_OBJECT

 public:
  Tfrm_AdatbazisNyit(QWidget* owner, const common::TBeall& settings);

  QLabel* Label1;
  QComboBox* ComboBox1;
  QToolButton* SpeedButton1;  // the folder chooser
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  // The folder chooser: the chosen folder becomes the box's text.
  void SpeedButton1Click();

 protected:
  void showEvent(QShowEvent* event) override;
};

// The dialog's answer: the box's text after OK, empty after Cancel or the close box.
QString AdatbazisNyit(QWidget* owner, const common::TBeall& settings);

// For tests: while set, the dialog runs without its modal loop and the driver stands for the
// user (true = OK); the folder hook answers instead of the folder browser (empty = cancelled).
using AdatbazisNyitDriver = std::function<bool(Tfrm_AdatbazisNyit& dialog)>;
void SetAdatbazisNyitDriver(AdatbazisNyitDriver driver);
using FolderChooserHook = std::function<QString(const QString& start)>;
void SetFolderChooserHook(FolderChooserHook hook);

}  // namespace tablorix::app
