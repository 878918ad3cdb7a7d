// The index designer dialog.
#include "maintenance/ui/AddIndex.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "common/ui/encoding.h"
#include "common/ui/error_report.h"
#include "common/ui/form_placement.h"
#include "common/ui/message_boxes.h"

namespace tablorix::maintenance {
namespace {

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* text, int left, int top) {
  auto* box = new QCheckBox(QString::fromLatin1(text), parent);
  box->setObjectName(name);
  box->setLayoutDirection(Qt::RightToLeft);  // the text stands left of the box
  box->setGeometry(left, top, 105, 17);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int left, int top,
                        int width) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(left, top, width, 25);
  button->setAutoDefault(false);
  return button;
}

void Fill(QListWidget* list, const std::vector<std::string>& items, std::optional<size_t> sel) {
  list->clear();
  for (const std::string& item : items) list->addItem(ui::FromWin1250(item));
  list->setCurrentRow(sel ? int(*sel) : -1);
}

std::optional<size_t> Selected(const QListWidget* list) {
  const int row = list->currentRow();
  if (row < 0 || list->currentItem() == nullptr || !list->currentItem()->isSelected())
    return std::nullopt;
  return size_t(row);
}

}  // namespace

Tfrm_AddIndex::Tfrm_AddIndex(QWidget* owner, Session& session, AddIndexDesigner designer)
    : QDialog(owner), session_(session), designer_(std::move(designer)) {
  setObjectName("frm_AddIndex");
  setWindowTitle(ui::FromWin1250(designer_.caption()));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(343, 316);

  CheckBox2 = MakeCheckBox(this, "CheckBox2", "Primary", 12, 8);
  CheckBox4 = MakeCheckBox(this, "CheckBox4", "Descending", 128, 8);
  CheckBox1 = MakeCheckBox(this, "CheckBox1", "Unique", 12, 32);
  Label1 = new QLabel(QStringLiteral("Index neve"), this);
  Label1->setObjectName("Label1");
  Label1->move(12, 56);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(12, 72, 225, 21);
  Label1->setBuddy(Edit1);
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  ListBox1->setGeometry(12, 108, 133, 197);
  Button1 = MakeButton(this, "Button1", QStringLiteral(">"), 156, 116, 33);
  Button4 = MakeButton(this, "Button4", QStringLiteral("<"), 156, 148, 33);
  ListBox2 = new QListWidget(this);
  ListBox2->setObjectName("ListBox2");
  ListBox2->setGeometry(196, 108, 133, 197);
  Button5 = MakeButton(this, "Button5", ui::FromWin1250(designer_.button_caption()), 256, 8, 75);
  // QDialog closes with cancel on Esc by itself.
  Button6 = MakeButton(this, "Button6", QString::fromUtf8("Bezár"), 256, 40, 75);

  Edit1->setText(ui::FromWin1250(designer_.name));
  Edit1->setReadOnly(designer_.name_read_only());
  CheckBox2->setChecked(designer_.primary);
  CheckBox1->setChecked(designer_.unique);
  CheckBox4->setChecked(designer_.descending);
  ShowDesigner();

  connect(Button1, &QPushButton::clicked, this, [this] { Move(&AddIndexDesigner::MoveToIndex); });
  connect(Button4, &QPushButton::clicked, this, [this] { Move(&AddIndexDesigner::MoveBack); });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this,
          [this] { Move(&AddIndexDesigner::AvailableDoubleClick); });
  connect(ListBox2, &QListWidget::itemDoubleClicked, this,
          [this] { Move(&AddIndexDesigner::MoveBack); });
  connect(Button5, &QPushButton::clicked, this, &Tfrm_AddIndex::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfrm_AddIndex::ReadBoxes() {
  designer_.name = ui::ToWin1250(Edit1->text());
  designer_.primary = CheckBox2->isChecked();
  designer_.unique = CheckBox1->isChecked();
  designer_.descending = CheckBox4->isChecked();
  designer_.available_selected = Selected(ListBox1);
  designer_.index_selected = Selected(ListBox2);
}

void Tfrm_AddIndex::ShowDesigner() {
  Edit1->setText(ui::FromWin1250(designer_.name));
  CheckBox2->setChecked(designer_.primary);
  CheckBox1->setChecked(designer_.unique);
  CheckBox4->setChecked(designer_.descending);
  Fill(ListBox1, designer_.available(), designer_.available_selected);
  Fill(ListBox2, designer_.index_fields(), designer_.index_selected);
}

void Tfrm_AddIndex::Move(void (AddIndexDesigner::*step)()) {
  ReadBoxes();
  (designer_.*step)();
  ShowDesigner();
}

void Tfrm_AddIndex::Button5Click() {
  ReadBoxes();
  // An engine error keeps the dialog open with everything in it, so the user can correct it and
  // press the button again.
  ui::RunReported(this, [this] {
    const std::string message = designer_.Apply(session_);
    ShowDesigner();
    ui::ShowInfo(ui::FromWin1250(message), this);
    accept();
  });
  if (isVisible()) ShowDesigner();
}

void Tfrm_AddIndex::showEvent(QShowEvent* event) {
  ui::RestoreFormPos(this, "frm_AddIndex");
  ui::ApplyScreenFont(this);
  QDialog::showEvent(event);
}

void Tfrm_AddIndex::done(int result) {
  try {
    ui::StoreFormPos(this, "frm_AddIndex");
  } catch (const std::exception&) {
    // A settings file that cannot be written only costs the dialog its place.
  }
  QDialog::done(result);
}

void ShowAddIndexDialog(QWidget* owner, Session& session, const std::string& fields_text,
                        const std::string& table) {
  if (table.empty()) return;
  Tfrm_AddIndex dialog(owner, session, AddIndexDesigner::ForNew(fields_text, table));
  dialog.exec();
}

void ShowModifyIndexDialog(QWidget* owner, Session& session, const std::string& fields_text,
                           const std::string& table, const std::string& index) {
  if (table.empty() || index.empty()) return;
  Tfrm_AddIndex dialog(owner, session,
                       AddIndexDesigner::ForModify(session, fields_text, table, index));
  dialog.exec();
}

}  // namespace tablorix::maintenance
