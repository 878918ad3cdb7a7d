// The new-table designer: its grid over the row store and the dialog around it.
#include "scripts/ui/TablaCsinal.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"
#include "common/ui/message_boxes.h"
#include "scripts/core/TablaCsinal.h"

namespace tablorix::scripts {
namespace {

// The "adattípus" cell's editor: a choice among the names of the type list.
class TypeDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* box = new QComboBox(parent);
    box->setObjectName("TypeEditor");
    for (const TablaCsinalType& t : TablaCsinalTypeList())
      box->addItem(ui::FromWin1250(t.adattipus_nev));
    // A pick is taken at once, as a lookup field does.
    connect(box, &QComboBox::activated, this,
            [this, box] { emit const_cast<TypeDelegate*>(this)->commitData(box); });
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* box = static_cast<QComboBox*>(editor);
    box->setCurrentIndex(box->findText(index.data(Qt::EditRole).toString()));
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText(), Qt::EditRole);
  }
};

}  // namespace

TablaCsinalModel::TablaCsinalModel(TablaCsinalRows* rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {}

int TablaCsinalModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_->RecordCount());
}

int TablaCsinalModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TablaCsinalModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || size_t(index.row()) >= rows_->RecordCount()) return {};
  if (role == Qt::BackgroundRole && index.column() == kSsz) return QApplication::palette().button();
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const TablaCsinalRow& row = rows_->Row(size_t(index.row()));
  switch (index.column()) {
    case kSsz:
      return row.sorszam ? QVariant(*row.sorszam) : QVariant();
    case kMezonev:
      return row.mezonev ? ui::FromWin1250(*row.mezonev) : QString();
    case kAdattipus:
      return ui::FromWin1250(rows_->TypeName(size_t(index.row())));
    case kHossz:
      // As text, so that an empty length is edited in a line box like a given one.
      return row.hossz ? QString::number(*row.hossz) : QString();
  }
  return {};
}

QVariant TablaCsinalModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) {
    // The row indicator: the current row is marked.
    return size_t(section) == rows_->Current() ? QStringLiteral("\u25B6") : QString();
  }
  switch (section) {
    case kSsz:
      return QStringLiteral("ssz");
    case kMezonev:
      return QString::fromUtf8("mezőnév");
    case kAdattipus:
      return QString::fromUtf8("adattípus");
    case kHossz:
      return QStringLiteral("hossz");
  }
  return {};
}

Qt::ItemFlags TablaCsinalModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() != kSsz) f |= Qt::ItemIsEditable;
  return f;
}

bool TablaCsinalModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || index.column() == kSsz) return false;
  const size_t count = rows_->RecordCount();
  if (!rows_->Empty()) rows_->MoveTo(size_t(index.row()));
  switch (index.column()) {
    case kMezonev:
      rows_->SetName(ui::ToWin1250(value.toString()));
      break;
    case kAdattipus:
      rows_->SetTypeName(ui::ToWin1250(value.toString()));
      break;
    case kHossz: {
      bool ok = false;
      const int n = value.toString().trimmed().toInt(&ok);
      rows_->SetLength(ok ? std::optional<int>(n) : std::nullopt);
      break;
    }
  }
  if (rows_->RecordCount() != count) {
    Reload();
  } else {
    emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, kColumnCount - 1));
    emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
  }
  return true;
}

void TablaCsinalModel::Reload() {
  beginResetModel();
  endResetModel();
}

TablaCsinalGrid::TablaCsinalGrid(QWidget* parent) : QTableView(parent) {
  setObjectName("DBGrid1");
  setEditTriggers(QAbstractItemView::AllEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(true);
  setShowGrid(true);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  verticalHeader()->setSectionsClickable(false);
  setItemDelegateForColumn(TablaCsinalModel::kAdattipus, new TypeDelegate(this));
}

TablaCsinalModel* TablaCsinalGrid::model() const {
  return static_cast<TablaCsinalModel*>(QTableView::model());
}

void TablaCsinalGrid::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  setColumnWidth(TablaCsinalModel::kSsz, 32);
  setColumnWidth(TablaCsinalModel::kMezonev, 102);
  setColumnWidth(TablaCsinalModel::kAdattipus, 110);
  setColumnWidth(TablaCsinalModel::kHossz, 64);
}

void TablaCsinalGrid::ShowCurrent() {
  TablaCsinalRows& rows = model()->rows();
  if (rows.Empty()) return;
  const int column = currentIndex().isValid() ? currentIndex().column() : 1;
  syncing_ = true;
  setCurrentIndex(model()->index(int(rows.Current()), column));
  syncing_ = false;
  model()->headerDataChanged(Qt::Vertical, 0, model()->rowCount() - 1);
}

void TablaCsinalGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (syncing_ || !current.isValid()) return;
  TablaCsinalRows& rows = model()->rows();
  if (size_t(current.row()) == rows.Current()) return;
  const size_t count = rows.RecordCount();
  rows.MoveTo(size_t(current.row()));
  if (rows.RecordCount() != count) {
    // An untouched new row was dropped: the rows after it moved up. The view is in the middle
    // of its own change, so it is brought up to date afterwards.
    QMetaObject::invokeMethod(
        this,
        [this] {
          model()->Reload();
          ShowCurrent();
        },
        Qt::QueuedConnection);
  } else {
    emit model()->dataChanged(
        model()->index(0, 0),
        model()->index(model()->rowCount() - 1, TablaCsinalModel::kColumnCount - 1));
    model()->headerDataChanged(Qt::Vertical, 0, model()->rowCount() - 1);
  }
}

void TablaCsinalGrid::keyPressEvent(QKeyEvent* event) {
  TablaCsinalRows& rows = model()->rows();
  const bool last = rows.Empty() || currentIndex().row() == model()->rowCount() - 1;
  if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier && last) {
    rows.Append();
  } else if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
    rows.Insert();
  } else if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
    if (rows.Empty() ||
        !ui::ShowQuestion(QStringLiteral("Delete record?"), QStringLiteral("Confirm"), window()))
      return;
    rows.Delete();
  } else {
    QTableView::keyPressEvent(event);
    return;
  }
  model()->Reload();
  ShowCurrent();
}

Tfrm_TablaCsinal::Tfrm_TablaCsinal(QWidget* owner)
    : QDialog(owner), rows_(std::make_unique<TablaCsinalRows>()) {
  setObjectName("frm_TablaCsinal");
  setWindowTitle(QString::fromUtf8("Új tábla létrehozás"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(588, 379);
  setFont(QFont("Tahoma", 8));

  model_ = new TablaCsinalModel(rows_.get(), this);
  Grid = new TablaCsinalGrid(this);
  Grid->setModel(model_);
  Grid->setGeometry(0, 0, 588 - 174, 379);

  const int x = 588 - 174 + 12;
  const int w = 174 - 24;
  auto* label = new QLabel(QString::fromUtf8("Táblanév"), this);
  label->setGeometry(x, 12, w, 16);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(x, 28, w, 21);
  label->setBuddy(Edit1);

  auto button = [this, x, w](const char* name, const QString& text, int top) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setGeometry(x, top, w, 25);
    b->setAutoDefault(false);  // Enter in the grid must not close the designer
    return b;
  };
  BtnFel = button("BtnFel", QStringLiteral("Fel"), 68);
  BtnLe = button("BtnLe", QStringLiteral("Le"), 100);
  BtnTorol = button("BtnTorol", QString::fromUtf8("Töröl"), 132);
  BtnOK = button("BtnOK", QStringLiteral("OK"), 300);
  BtnBezar = button("BtnBezar", QString::fromUtf8("Bezár"), 336);

  connect(BtnFel, &QPushButton::clicked, this, [this] { Change(&TablaCsinalRows::Up); });
  connect(BtnLe, &QPushButton::clicked, this, [this] { Change(&TablaCsinalRows::Down); });
  connect(BtnTorol, &QPushButton::clicked, this, [this] { Change(&TablaCsinalRows::Delete); });
  connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BtnBezar, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfrm_TablaCsinal::Change(void (TablaCsinalRows::*step)()) {
  ((*rows_).*step)();
  model_->Reload();
  Grid->ShowCurrent();
}

Tfrm_TablaCsinal::~Tfrm_TablaCsinal() {
  // The grid and its model point into the rows: they go first, while the rows still exist (an
  // open cell editor hands its text over when the grid goes).
  delete Grid;
  delete model_;
}

std::string Tfrm_TablaCsinal::Statement() {
  const std::string statement =
      tablorix::scripts::NewTableStatement(ui::ToWin1250(Edit1->text()), *rows_);
  model_->Reload();
  return statement;
}

std::string NewTableStatement(QWidget* owner) {
  Tfrm_TablaCsinal dialog(owner);
  if (owner != nullptr) {
    const QRect frame = owner->window()->frameGeometry();
    dialog.move(frame.center() - dialog.rect().center());
  }
  const bool ok = dialog.exec() == QDialog::Accepted;
  const std::string statement = ok ? dialog.Statement() : std::string();
  try {
    ui::StoreFormBounds(&dialog, "frm_TablaCsinal");
  } catch (const std::exception&) {
    // The designer's placement is not worth the user's statement: a settings file that cannot
    // be written leaves the bounds unsaved.
  }
  return statement;
}

}  // namespace tablorix::scripts
