// The open-database dialog (frm_AdatbazisNyit).
#include "app/AdatbazisNyit.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"

namespace tablorix::app {
namespace {

constexpr char kSection[] = "frm_AdatbazisNyit";
AdatbazisNyitDriver g_driver;
FolderChooserHook g_folder_hook;

}  // namespace

Tfrm_AdatbazisNyit::Tfrm_AdatbazisNyit(QWidget* owner, const common::TBeall& settings)
    : QDialog(owner) {
  setObjectName(QString::fromLatin1(kSection));
  setWindowTitle(QStringLiteral("Adatbázis megnyitás"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setFixedSize(442, 101);

  Label1 = new QLabel(QStringLiteral("Adatbázis"), this);
  Label1->setGeometry(12, 10, 200, 16);

  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->setGeometry(12, 28, 381, 22);
  for (const std::string& dir : settings.RecentDatabases) {
    ComboBox1->addItem(ui::FromLocalPath(dir));
  }
  ComboBox1->setEditText(ui::FromLocalPath(settings.DatabasePath));

  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
  SpeedButton1->setText(QStringLiteral("..."));
  SpeedButton1->setGeometry(400, 28, 23, 22);
  connect(SpeedButton1, &QToolButton::clicked, this, &Tfrm_AdatbazisNyit::SpeedButton1Click);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setDefault(true);
  OKBtn->setGeometry(272, 66, 75, 25);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  CancelBtn = new QPushButton(QStringLiteral("Mégsem"), this);
  CancelBtn->setGeometry(352, 66, 75, 25);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfrm_AdatbazisNyit::SpeedButton1Click() {
  const QString start = ComboBox1->currentText();
  QString chosen =
      g_folder_hook ? g_folder_hook(start)
                    : QFileDialog::getExistingDirectory(this, QStringLiteral("Adatbázis útvonal"),
                                                        start, QFileDialog::ShowDirsOnly);
  if (!chosen.isEmpty()) ComboBox1->setEditText(chosen);
}

void Tfrm_AdatbazisNyit::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    ui::RestoreFormPos(this, kSection);
    ui::ApplyScreenFont(this);
  }
  QDialog::showEvent(event);
}

QString AdatbazisNyit(QWidget* owner, const common::TBeall& settings) {
  Tfrm_AdatbazisNyit dialog(owner, settings);
  bool ok;
  if (g_driver) {
    dialog.show();
    ok = g_driver(dialog);
    dialog.hide();
  } else {
    ok = dialog.exec() == QDialog::Accepted;
  }
  QString result = ok ? dialog.ComboBox1->currentText() : QString();
  ui::StoreFormPos(&dialog, kSection);
  return result;
}

void SetAdatbazisNyitDriver(AdatbazisNyitDriver driver) { g_driver = std::move(driver); }
void SetFolderChooserHook(FolderChooserHook hook) { g_folder_hook = std::move(hook); }

}  // namespace tablorix::app
