// The one-line input dialog (frm_InpStr).
#include "common/ui/InpStr.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

#include "common/core/Seged.h"
#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"

namespace tablorix::ui {
namespace {

constexpr char kSection[] = "frm_InpStr";
InpStrDriver g_driver;

// The decorative 64 x 64 picture: a pencil over a line, drawn rather than stored.
QPixmap DecorationPicture() {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x40, 0x60, 0xA0), 3));
  p.drawLine(8, 54, 56, 54);
  p.setBrush(QColor(0xF0, 0xC0, 0x40));
  QPolygon pencil;
  pencil << QPoint(14, 46) << QPoint(44, 12) << QPoint(52, 20) << QPoint(22, 54);
  p.drawPolygon(pencil);
  return pm;
}

}  // namespace

Tfrm_InpStr::Tfrm_InpStr(QWidget* owner, const QString& caption, const QString& prompt,
                         const QString& value, bool keep_case, QChar password)
    : QDialog(owner), keep_case_(keep_case) {
  setObjectName(QString::fromLatin1(kSection));
  setWindowTitle(caption);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setFixedSize(308, 153);

  Label1 = new QLabel(prompt, this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(12, 8, 284, 16);

  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(12, 28, 281, 21);
  // The light blue of the focused box (0x00F0CAA6 as blue, green, red bytes).
  Edit1->setStyleSheet(QStringLiteral("QLineEdit:focus { background-color: #A6CAF0; }"));
  if (!password.isNull()) {
    Edit1->setEchoMode(QLineEdit::Password);
  }
  connect(Edit1, &QLineEdit::textChanged, this, &Tfrm_InpStr::Edit1Change);
  Edit1->setText(value);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(12, 80, 64, 64);
  Image1->setPixmap(DecorationPicture());

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(148, 116, 72, 25);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

  CancelBtn = new QPushButton(QStringLiteral("Mégsem"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(224, 116, 72, 25);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfrm_InpStr::Edit1Change(const QString& text) {
  if (keep_case_) return;
  QString folded = FromWin1250(common::InputBoxText(ToWin1250(text), false));
  if (folded == text) return;
  QSignalBlocker block(Edit1);
  Edit1->setText(folded);
  Edit1->setCursorPosition(static_cast<int>(folded.size()));
}

void Tfrm_InpStr::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    RestoreFormPos(this, kSection);
    ApplyScreenFont(this);
  }
  QDialog::showEvent(event);
}

bool InputText(QWidget* owner, const QString& caption, const QString& prompt,
               std::string* value_win1250, bool keep_case, QChar password) {
  Tfrm_InpStr dialog(owner, caption, prompt, FromWin1250(*value_win1250), keep_case, password);
  bool ok;
  if (g_driver) {
    dialog.show();
    ok = g_driver(dialog);
    dialog.hide();
  } else {
    ok = dialog.exec() == QDialog::Accepted;
  }
  // Stored after the loop so that a settings file that cannot be written reaches the caller's
  // error report rather than unwinding through Qt's event handling.
  if (ok) *value_win1250 = ToWin1250(dialog.Edit1->text());
  StoreFormPos(&dialog, kSection);
  return ok;
}

void SetInpStrDriver(InpStrDriver driver) { g_driver = std::move(driver); }

}  // namespace tablorix::ui
