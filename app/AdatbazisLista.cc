// The recent-database dialog (frm_AdatbazisLista).
#include "app/AdatbazisLista.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"

namespace tablorix::app {
namespace {

constexpr char kSection[] = "frm_AdatbazisLista";
AdatbazisListaDriver g_driver;

}  // namespace

Tfrm_AdatbazisLista::Tfrm_AdatbazisLista(QWidget* owner, const common::TBeall& settings)
    : QDialog(owner) {
  setObjectName(QString::fromLatin1(kSection));
  setWindowTitle(QStringLiteral("Adatbázislista"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(504, 258);

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setFont(QFont(QStringLiteral("Courier New"), 9));
  ListBox1->setSortingEnabled(true);
  ListBox1->setUniformItemSizes(true);
  for (const std::string& dir : settings.RecentDatabases) {
    auto* item = new QListWidgetItem(ui::FromLocalPath(dir));
    item->setSizeHint(QSize(0, 15));
    ListBox1->addItem(item);
  }
  if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

  DeleteBtn = new QPushButton(QStringLiteral("Törlés listából"), this);
  connect(DeleteBtn, &QPushButton::clicked, this, &Tfrm_AdatbazisLista::DeleteBtnClick);
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  CancelBtn = new QPushButton(QStringLiteral("Mégsem"), this);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(DeleteBtn);
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ListBox1);
  layout->addLayout(buttons);
}

void Tfrm_AdatbazisLista::DeleteBtnClick() {
  QListWidgetItem* item = ListBox1->currentItem();
  if (item == nullptr || !item->isSelected()) return;
  delete item;
  // Nothing stays selected, so OK right after a removal opens nothing.
  ListBox1->setCurrentRow(-1);
  ListBox1->clearSelection();
}

void Tfrm_AdatbazisLista::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    ui::RestoreFormBounds(this, kSection);
    // The list keeps its own font.
    QFont list_font = ListBox1->font();
    ui::ApplyScreenFont(this);
    ListBox1->setFont(list_font);
  }
  QDialog::showEvent(event);
}

std::string AdatbazisLista(QWidget* owner, common::TBeall* settings) {
  Tfrm_AdatbazisLista dialog(owner, *settings);
  bool ok;
  if (g_driver) {
    dialog.show();
    ok = g_driver(dialog);
    dialog.hide();
  } else {
    ok = dialog.exec() == QDialog::Accepted;
  }
  std::string chosen;
  QListWidgetItem* item = dialog.ListBox1->currentItem();
  // OK with nothing selected (an empty list, or the entry was just removed) opens nothing.
  if (ok && item != nullptr && item->isSelected()) chosen = ui::ToLocalPath(item->text());
  settings->RecentDatabases.clear();
  for (int i = 0; i < dialog.ListBox1->count(); ++i) {
    settings->RecentDatabases.push_back(ui::ToLocalPath(dialog.ListBox1->item(i)->text()));
  }
  ui::StoreFormBounds(&dialog, kSection);
  return chosen;
}

void SetAdatbazisListaDriver(AdatbazisListaDriver driver) { g_driver = std::move(driver); }

}  // namespace tablorix::app
