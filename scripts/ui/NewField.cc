// The new-field dialog.
#include "scripts/ui/NewField.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"
#include "scripts/core/NewField.h"

namespace tablorix::scripts {
namespace {

// The background of the box that has the focus.
const QColor kFocusColour(166, 202, 240);

}  // namespace

Tfrm_NewField::Tfrm_NewField(QWidget* owner) : QDialog(owner) {
  setObjectName("frm_NewField");
  setWindowTitle(QString::fromUtf8("Új mező létrehozás"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(315, 179);
  setFont(QFont("Tahoma", 8));

  auto* label1 = new QLabel(QString::fromUtf8("Mezőnév"), this);
  label1->setGeometry(16, 8, 277, 16);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(16, 24, 277, 21);
  label1->setBuddy(Edit1);

  auto* label2 = new QLabel(QString::fromUtf8("Típus"), this);
  label2->setGeometry(16, 56, 189, 16);
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setEditable(false);
  ComboBox1->setGeometry(16, 72, 189, 21);
  for (const std::string& entry : NewFieldTypeList()) ComboBox1->addItem(ui::FromWin1250(entry));
  ComboBox1->setCurrentIndex(-1);
  label2->setBuddy(ComboBox1);

  auto* label3 = new QLabel(QString::fromUtf8("Méret"), this);
  label3->setGeometry(216, 56, 77, 16);
  Edit2 = new QLineEdit(QStringLiteral("0"), this);
  Edit2->setObjectName("Edit2");
  Edit2->setAlignment(Qt::AlignRight);
  Edit2->setGeometry(216, 72, 77, 21);
  label3->setBuddy(Edit2);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(136, 136, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  // QDialog closes with Cancel on Esc by itself.
  Button2 = new QPushButton(QString::fromUtf8("Mégsem"), this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(218, 136, 75, 25);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(Edit1, ComboBox1);
  setTabOrder(ComboBox1, Edit2);
  setTabOrder(Edit2, Button1);
  setTabOrder(Button1, Button2);
  for (QWidget* w : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(ComboBox1),
                     static_cast<QWidget*>(Edit2)}) {
    w->setAutoFillBackground(true);
    w->installEventFilter(this);
  }
}

bool Tfrm_NewField::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
    auto* w = static_cast<QWidget*>(watched);
    QPalette p = w->palette();
    const QColor colour = event->type() == QEvent::FocusIn
                              ? kFocusColour
                              : QApplication::palette().color(QPalette::Base);
    p.setColor(QPalette::Base, colour);
    p.setColor(QPalette::Button, colour);
    w->setPalette(p);
  }
  return QDialog::eventFilter(watched, event);
}

std::string Tfrm_NewField::Statement(const std::string& table) const {
  NewFieldInput input;
  input.field_name = ui::ToWin1250(Edit1->text());
  input.type_index = ComboBox1->currentIndex();
  input.size = ui::ToWin1250(Edit2->text());
  return tablorix::scripts::NewFieldStatement(table, input);
}

std::string NewFieldStatement(QWidget* owner, const std::string& table) {
  Tfrm_NewField dialog(owner);
  ui::RestoreFormPos(&dialog, "frm_NewField");
  ui::ApplyScreenFont(&dialog);
  const bool ok = dialog.exec() == QDialog::Accepted;
  const std::string statement = ok ? dialog.Statement(table) : std::string();
  try {
    ui::StoreFormPos(&dialog, "frm_NewField");
  } catch (const std::exception&) {
    // A settings file that cannot be written costs the dialog its place, not the statement.
  }
  return statement;
}

}  // namespace tablorix::scripts
