// The About box: product name, version, the maker's notice and a link to the maker's page.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tablorix::app {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* owner);

  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Copyright;
  QLabel* Link;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

// HelpAbout1: the box, modal, destroyed when closed.
void ShowAboutBox(QWidget* owner);

}  // namespace tablorix::app
