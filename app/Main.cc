// The main window (frm_Main): its commands, menus, toolbar, the metadata lists and the start and
// end of a run (settings read when it is made, written when it closes).
#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <set>

#include "app/AdatbazisLista.h"
#include "app/AdatbazisNyit.h"
#include "app/PrgConst.h"
#include "app/about.h"
#include "app/logo.h"
#include "common/ui/actions.h"
#include "common/ui/encoding.h"
#include "common/ui/error_report.h"
#include "common/ui/form_placement.h"
#include "engine/types.h"

#ifdef TABLORIX_HAVE_WORKSPACE_UI
#include "workspace/ui/ChildWin.h"
#endif
#ifdef TABLORIX_HAVE_SCRIPTS_UI
#include "scripts/ui/ScriptCommands.h"
#endif
#ifdef TABLORIX_HAVE_MAINTENANCE_UI
#include "maintenance/ui/AddIndex.h"
#include "maintenance/ui/TableActions.h"
#endif

namespace tablorix::app {
namespace {

constexpr char kSection[] = "frm_Main";
constexpr int kFieldRowHeight = 13;

// A command as the menus, toolbar and tests know it. Texts are UTF-8.
struct Command {
  const char* name;
  const char* caption;
  const char* hint;  // nullptr: the caption
  QKeySequence shortcut;
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"aOpenDB", "Adatbázis", "Adatbázis megnyitás", QKeySequence(Qt::Key_F4)},
      {"aRecentDB", "Adatbázis megnyitás listából", nullptr, QKeySequence(Qt::SHIFT | Qt::Key_F4)},
      {"FileNew1", "Új SQL", "Új SQL file", QKeySequence(Qt::CTRL | Qt::Key_N)},
      {"FileOpen1", "Megnyit", "SQL file megnyitás", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {"FileClose1", "Bezár", nullptr, {}},
      {"FileSave1", "Mentés", nullptr, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {"FileSaveAs1", "Mentés másként", nullptr, {}},
      {"aNyomtat", "Nyomtat", nullptr, QKeySequence(Qt::CTRL | Qt::Key_P)},
      {"aNyomtatKep", "Nyom.kép", "Nyomtatási kép", QKeySequence(Qt::CTRL | Qt::Key_K)},
      {"aExpCsv", "CSV export", nullptr, QKeySequence(Qt::CTRL | Qt::Key_E)},
      {"FileExit1", "Bezár", "Kilépés a programból", {}},
      {"EditUndo1", "Visszavon", nullptr, QKeySequence(Qt::CTRL | Qt::Key_Z)},
      {"EditCut1", "Kivág", nullptr, QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"EditCopy1", "Másol", nullptr, QKeySequence(Qt::CTRL | Qt::Key_C)},
      {"EditPaste1", "Beilleszt", nullptr, QKeySequence(Qt::CTRL | Qt::Key_V)},
      {"EditSelectAll1", "Mindet kijelöl", nullptr, QKeySequence(Qt::CTRL | Qt::Key_A)},
      {"aRun", "Futtat", nullptr, QKeySequence(Qt::Key_F5)},
      {"aSQLOpenTable", "Tábla megnyitás", nullptr, {}},
      {"aPackTable", "Tábla tömörítése", nullptr, {}},
      {"aEmptyTable", "Üres tábla", nullptr, {}},
      {"aDeleteTable", "Tábla törlése", nullptr, {}},
      {"aDeleteIndex", "Index törlése", nullptr, {}},
      {"aAddIndex", "Új index létrehozás", nullptr, {}},
      {"aAlterIndex", "Index módosítás", nullptr, {}},
      {"aUjTabla", "Új tábla létrehozás", nullptr, {}},
      {"aUjTablaC", "Új tábla létrehozás", nullptr, {}},
      {"aTeljes", "Adatbázis script", nullptr, {}},
      {"aTeljesAdat", "Adatbázis script (adatok is)", nullptr, {}},
      {"aTeljes2", "Adatbázis script (MySQL)", nullptr, {}},
      {"aTeljesAdat2", "Adatbázis script (adatok is) MySQL", nullptr, {}},
      {"WindowCascade1", "Mind látszik", nullptr, {}},
      {"WindowTileHorizontal1", "Vízszintes elrendezés", nullptr, {}},
      {"WindowTileVertical1", "Függőleges elrendezés", nullptr, {}},
      {"WindowMinimizeAll1", "Összes kis méretű", nullptr, {}},
      {"WindowArrangeAll1", "Elrendezés", nullptr, {}},
      {"HelpAbout1", "Névjegy", nullptr, {}},
      {"aWizSelect", "SELECT", nullptr, {}},
      {"aWizSelectC", "SELECT", nullptr, {}},
      {"aWizUpdate", "UPDATE", nullptr, {}},
      {"aWizUpdateC", "UPDATE", nullptr, {}},
      {"aWizInsert", "INSERT", nullptr, {}},
      {"aWizInsertC", "INSERT", nullptr, {}},
      {"aWizDelete", "DELETE", nullptr, {}},
      {"aWizDeleteC", "DELETE", nullptr, {}},
      {"aWizCreate", "CREATE", nullptr, {}},
      {"aWizCreateC", "CREATE", nullptr, {}},
      {"aWizDrop", "DROP", nullptr, {}},
      {"aWizDropC", "DROP", nullptr, {}},
      {"aWizAlter", "ALTER", nullptr, {}},
      {"aWizAlterC", "ALTER", nullptr, {}},
      {"aAddNewField", "Új mező hozzáadás", nullptr, {}},
      {"aAddNewFieldC", "Új mező hozzáadás", nullptr, {}},
      {"aDropField", "Mező törlése", nullptr, {}},
      {"aDropFieldC", "Mező törlése", nullptr, {}},
  };
  return commands;
}

QString Title(const char* name, int count) {
  return QStringLiteral("   %1 (%2)").arg(QString::fromUtf8(name)).arg(count);
}

void FillList(QListWidget* list, const std::vector<std::string>& names) {
  list->clear();
  for (const std::string& n : names) list->addItem(ui::FromWin1250(n));
}

std::string SelectedText(const QListWidget* list) {
  QListWidgetItem* item = list->currentItem();
  if (item == nullptr || !item->isSelected()) return {};
  return ui::ToWin1250(item->text());
}

}  // namespace

// --- Field list drawing ------------------------------------------------------------------------

KeyFieldDelegate::KeyFieldDelegate(const std::string* marker, QObject* parent)
    : QStyledItemDelegate(parent), marker_(marker) {}

bool KeyFieldDelegate::IsKeyField(const QString& name) const {
  if (marker_->empty()) return false;
  return marker_->find(";" + ui::ToWin1250(name) + ";") != std::string::npos;
}

QSize KeyFieldDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(kFieldRowHeight);
  return size;
}

void KeyFieldDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  option->font.setBold(IsKeyField(index.data(Qt::DisplayRole).toString()));
}

// --- Construction ------------------------------------------------------------------------------

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent), session_(std::make_unique<Session>()) {
  setObjectName(QString::fromLatin1(kSection));
  setWindowTitle(QString::fromLatin1(kMainCaption));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(792, 612);

  MDIClient = new QMdiArea(this);
  MDIClient->setObjectName(QStringLiteral("MDIClient"));
  MDIClient->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MDIClient->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  CreateActions();
  QWidget* left_panel = CreateLeftPanel();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  WireCommands();

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(left_panel);
  splitter->addWidget(MDIClient);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({117, 792 - 117});
  setCentralWidget(splitter);

  settings_ = common::LoadSettings(common::IniFileName());
  ui::SetScreenFontSize(settings_.ScreenFontSize);
  ui::RunReported(this, [this] { OpenDatabasePath(settings_.DatabasePath); });
}

TfrmMain::~TfrmMain() {
  // The child windows hold results of the SQL connection: they go before it.
  for (QMdiSubWindow* w : MDIClient->subWindowList()) delete w;
  sql_.reset();
}

void TfrmMain::CreateActions() {
  for (const Command& c : Commands()) {
    QAction* a = ui::MakeAction(this, c.name, QString::fromUtf8(c.caption), c.shortcut);
    if (c.hint != nullptr) a->setStatusTip(QString::fromUtf8(c.hint));
    a->setEnabled(false);  // until WireCommands gives it something to do
  }
}

QAction* TfrmMain::Action(const char* name) const {
  return findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void TfrmMain::On(const char* name, std::function<void()> handler) {
  QAction* a = Action(name);
  a->setEnabled(true);
  connect(a, &QAction::triggered, this,
          [this, handler = std::move(handler)] { ui::RunReported(this, handler); });
}

void TfrmMain::OpenSqlText(const QString& file_name, const std::string& text) {
#ifdef TABLORIX_HAVE_WORKSPACE_UI
  workspace::OpenSqlWindow(MDIClient, file_name, text);
#endif
}

void TfrmMain::WireCommands() {
  On("aOpenDB", [this] {
    QString dir = AdatbazisNyit(this, settings_);
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) return;
    OpenDatabasePath(ui::ToLocalPath(dir));
  });
  On("aRecentDB", [this] {
    std::string dir = AdatbazisLista(this, &settings_);
    if (!dir.empty()) OpenDatabasePath(dir);
  });
#ifndef TABLORIX_HAVE_WORKSPACE_UI
  On("FileClose1", [this] { MDIClient->closeActiveSubWindow(); });
#endif
  On("FileExit1", [this] { close(); });
  On("EditUndo1", [this] { EditCommand("undo"); });
  On("EditCut1", [this] { EditCommand("cut"); });
  On("EditCopy1", [this] { EditCommand("copy"); });
  On("EditPaste1", [this] { EditCommand("paste"); });
  On("EditSelectAll1", [this] { EditCommand("selectAll"); });
  On("WindowCascade1", [this] { MDIClient->cascadeSubWindows(); });
  On("WindowTileHorizontal1", [this] { TileChildren(true); });
  On("WindowTileVertical1", [this] { TileChildren(false); });
  On("WindowMinimizeAll1", [this] {
    for (QMdiSubWindow* w : MDIClient->subWindowList()) w->showMinimized();
  });
  On("WindowArrangeAll1", [this] { ArrangeIcons(); });
  On("HelpAbout1", [this] { ShowAboutBox(this); });

#ifdef TABLORIX_HAVE_WORKSPACE_UI
  On("FileNew1", [this] { workspace::FileNew(MDIClient); });
  On("FileOpen1", [this] { workspace::FileOpen(MDIClient); });
  On("FileSave1", [this] { workspace::FileSave(MDIClient); });
  On("FileSaveAs1", [this] { workspace::FileSaveAs(MDIClient); });
  On("FileClose1", [this] { workspace::FileClose(MDIClient); });
  On("aRun", [this] {
    workspace::TMDIChild* w = workspace::ActiveSqlWindow(MDIClient);
    if (w == nullptr) return;
    if (!sql_) throw EngineError("No database is open");
    workspace::RunSqlInWindow(w, *sql_, [this] { RefreshLists(); });
  });
#endif

#if defined(TABLORIX_HAVE_SCRIPTS_UI) && defined(TABLORIX_HAVE_WORKSPACE_UI)
  auto open = [this](const QString& name, const std::string& text) { OpenSqlText(name, text); };
  struct Wizard {
    const char* window;
    const char* clipboard;
    scripts::ScriptCommand command;
  };
  static const Wizard kWizards[] = {
      {"aWizSelect", "aWizSelectC", scripts::ScriptCommand::kSelect},
      {"aWizUpdate", "aWizUpdateC", scripts::ScriptCommand::kUpdate},
      {"aWizInsert", "aWizInsertC", scripts::ScriptCommand::kInsert},
      {"aWizDelete", "aWizDeleteC", scripts::ScriptCommand::kDelete},
      {"aWizCreate", "aWizCreateC", scripts::ScriptCommand::kCreate},
      {"aWizDrop", "aWizDropC", scripts::ScriptCommand::kDrop},
      {"aWizAlter", "aWizAlterC", scripts::ScriptCommand::kAlter},
  };
  for (const Wizard& w : kWizards) {
    scripts::ScriptCommand cmd = w.command;
    On(w.window,
       [this, cmd, open] { scripts::ScriptToWindow(*session_, cmd, SelectedTable(), {}, open); });
    On(w.clipboard, [this, cmd] { scripts::ScriptToClipboard(*session_, cmd, SelectedTable()); });
  }
  On("aDropField", [this, open] {
    scripts::ScriptToWindow(*session_, scripts::ScriptCommand::kDropField, SelectedTable(),
                            SelectedField(), open);
  });
  On("aDropFieldC", [this] {
    scripts::ScriptToClipboard(*session_, scripts::ScriptCommand::kDropField, SelectedTable(),
                               SelectedField());
  });
  On("aAddNewField", [this, open] { scripts::NewFieldToWindow(this, SelectedTable(), open); });
  On("aAddNewFieldC", [this] { scripts::NewFieldToClipboard(this, SelectedTable()); });
  On("aUjTabla", [this, open] { scripts::NewTableToWindow(this, !SelectedTable().empty(), open); });
  struct Whole {
    const char* name;
    scripts::SqlFlavour flavour;
    bool with_data;
  };
  static const Whole kWhole[] = {
      {"aTeljes", scripts::SqlFlavour::kEngine, false},
      {"aTeljesAdat", scripts::SqlFlavour::kEngine, true},
      {"aTeljes2", scripts::SqlFlavour::kMySql, false},
      {"aTeljesAdat2", scripts::SqlFlavour::kMySql, true},
  };
  for (const Whole& w : kWhole) {
    scripts::SqlFlavour flavour = w.flavour;
    bool with_data = w.with_data;
    On(w.name, [this, flavour, with_data, open] {
      scripts::DatabaseScriptToWindow(*session_, flavour, with_data, FormatSettings{}, open,
                                      [this](const std::string& t) { SelectTableNamed(t); });
    });
  }
#endif

#ifdef TABLORIX_HAVE_MAINTENANCE_UI
  auto refresh = [this] { RefreshLists(); };
  On("aPackTable", [this] { maintenance::PackTableCommand(this, *session_, SelectedTable()); });
  On("aEmptyTable", [this] { maintenance::EmptyTableCommand(this, *session_, SelectedTable()); });
  On("aDeleteTable", [this, refresh] {
    maintenance::DeleteTableCommand(this, *session_, SelectedTable(), refresh);
  });
  On("aDeleteIndex", [this, refresh] {
    maintenance::DeleteIndexCommand(this, *session_, SelectedTable(), SelectedIndex(), refresh);
  });
  auto fields_text = [this] {
    std::string text;
    for (int i = 0; i < ListBox2->count(); ++i) {
      text += ui::ToWin1250(ListBox2->item(i)->text()) + "\r\n";
    }
    return text;
  };
  On("aAddIndex", [this, fields_text] {
    const std::string table = SelectedTable();
    if (table.empty()) return;
    maintenance::ShowAddIndexDialog(this, *session_, fields_text(), table);
    RefreshLists();
  });
  On("aAlterIndex", [this, fields_text] {
    const std::string table = SelectedTable();
    const std::string index = SelectedIndex();
    if (table.empty() || index.empty()) return;
    maintenance::ShowModifyIndexDialog(this, *session_, fields_text(), table, index);
    RefreshLists();
  });
#endif
}

void TfrmMain::CreateMenus() {
  auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
    for (const char* n : names) {
      if (n == nullptr) {
        menu->addSeparator();
      } else {
        menu->addAction(Action(n));
      }
    }
  };
  QMenuBar* bar = menuBar();
  add(bar->addMenu(QStringLiteral("&File")),
      {"aOpenDB", "aRecentDB", nullptr, "FileNew1", "FileOpen1", "FileClose1", "FileSave1",
       "FileSaveAs1", nullptr, "aNyomtat", "aNyomtatKep", "aExpCsv", nullptr, "FileExit1"});
  add(bar->addMenu(QStringLiteral("Szerkeszt")),
      {"EditUndo1", nullptr, "EditCut1", "EditCopy1", "EditPaste1", nullptr, "EditSelectAll1"});
  add(bar->addMenu(QStringLiteral("Tábla")),
      {"aSQLOpenTable", nullptr, "aPackTable", "aEmptyTable", "aDeleteTable", nullptr,
       "aDeleteIndex", "aAddIndex", "aAlterIndex"});
  add(bar->addMenu(QStringLiteral("SQL")), {"aRun"});
  add(bar->addMenu(QStringLiteral("Varázslók")),
      {"aTeljes", "aTeljesAdat", nullptr, "aTeljes2", "aTeljesAdat2", nullptr, "aWizSelect",
       "aWizUpdate", "aWizInsert", "aWizDelete", nullptr, "aWizCreate", "aWizDrop", "aWizAlter",
       nullptr, "aAddNewField", "aUjTabla"});
  WindowMenu = bar->addMenu(QStringLiteral("Ablakok"));
  WindowMenu->setObjectName(QStringLiteral("WindowMenu"));
  connect(WindowMenu, &QMenu::aboutToShow, this, &TfrmMain::RebuildWindowMenu);
  RebuildWindowMenu();
  add(bar->addMenu(QStringLiteral("Súgó")), {"HelpAbout1"});

  // The lists' context menus.
  table_menu_ = new QMenu(this);
  table_menu_->addAction(Action("aSQLOpenTable"));
  table_menu_->setDefaultAction(Action("aSQLOpenTable"));
  add(table_menu_->addMenu(QStringLiteral("Script új ablakban")),
      {"aWizSelect", "aWizUpdate", "aWizInsert", "aWizDelete", nullptr, "aWizCreate", "aWizDrop",
       "aWizAlter", nullptr, "aAddNewField", "aUjTabla"});
  add(table_menu_->addMenu(QStringLiteral("Script a vágólapra")),
      {"aWizSelectC", "aWizUpdateC", "aWizInsertC", "aWizDeleteC", nullptr, "aWizCreateC",
       "aWizDropC", "aWizAlterC", nullptr, "aAddNewFieldC", "aUjTablaC"});
  add(table_menu_, {nullptr, "aPackTable", "aEmptyTable", "aDeleteTable"});

  field_menu_ = new QMenu(this);
  add(field_menu_->addMenu(QStringLiteral("Script new window")), {"aAddNewField", "aDropField"});
  add(field_menu_->addMenu(QStringLiteral("Script to clipboard")),
      {"aAddNewFieldC", "aDropFieldC"});

  index_menu_ = new QMenu(this);
  add(index_menu_, {"aDeleteIndex", "aAddIndex", "aAlterIndex"});
}

void TfrmMain::RebuildWindowMenu() {
  WindowMenu->clear();
  for (const char* n : {"WindowCascade1", "WindowTileHorizontal1", "WindowTileVertical1",
                        "WindowMinimizeAll1", "WindowArrangeAll1"}) {
    WindowMenu->addAction(Action(n));
  }
  const QList<QMdiSubWindow*> windows = MDIClient->subWindowList();
  if (windows.isEmpty()) return;
  WindowMenu->addSeparator();
  int number = 1;
  for (QMdiSubWindow* w : windows) {
    QAction* a =
        WindowMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(w->windowTitle()));
    a->setCheckable(true);
    a->setChecked(w == MDIClient->activeSubWindow());
    connect(a, &QAction::triggered, MDIClient, [this, w] { MDIClient->setActiveSubWindow(w); });
  }
}

void TfrmMain::CreateToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  auto button = [this](const char* name, QStyle::StandardPixmap icon) {
    QAction* a = Action(name);
    if (a->icon().isNull()) a->setIcon(style()->standardIcon(icon));
    auto* b = new QToolButton(ToolBar1);
    b->setDefaultAction(a);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setMinimumSize(61, 36);
    ToolBar1->addWidget(b);
    return b;
  };
  auto with_menu = [this](QToolButton* b, std::initializer_list<const char*> names) {
    auto* menu = new QMenu(b);
    for (const char* n : names) menu->addAction(Action(n));
    b->setMenu(menu);
    b->setPopupMode(QToolButton::MenuButtonPopup);
  };
  with_menu(button("aOpenDB", QStyle::SP_DirOpenIcon), {"aOpenDB", "aRecentDB"});
  ToolBar1->addSeparator();
  with_menu(button("FileNew1", QStyle::SP_FileIcon),
            {"aWizSelect", "aWizUpdate", "aWizInsert", "aWizDelete", "aWizCreate", "aWizDrop",
             "aWizAlter"});
  button("FileOpen1", QStyle::SP_DialogOpenButton);
  with_menu(button("FileSave1", QStyle::SP_DialogSaveButton), {"FileSave1", "FileSaveAs1"});
  ToolBar1->addSeparator();
  button("aRun", QStyle::SP_MediaPlay);
  ToolBar1->addSeparator();
  button("aNyomtat", QStyle::SP_FileDialogDetailedView);
  button("aNyomtatKep", QStyle::SP_FileDialogContentsView);
  button("aExpCsv", QStyle::SP_ArrowRight);
  ToolBar1->addSeparator();
  button("FileExit1", QStyle::SP_DialogCloseButton);
}

QWidget* TfrmMain::CreateLeftPanel() {
  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->setObjectName(QStringLiteral("LeftPanel"));
  auto make = [&](const char* title_name, const char* list_name, const char* title,
                  QLabel** title_out, QListWidget** list_out) {
    auto* box = new QWidget(splitter);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* label = new QLabel(QString::fromUtf8(title), box);
    label->setObjectName(QString::fromLatin1(title_name));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Raised);
    auto* list = new QListWidget(box);
    list->setObjectName(QString::fromLatin1(list_name));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->viewport()->installEventFilter(this);
    layout->addWidget(label);
    layout->addWidget(list);
    splitter->addWidget(box);
    *title_out = label;
    *list_out = list;
  };
  make("Panel2", "ListBox1", "  Táblák", &Panel2, &ListBox1);
  make("Panel6", "ListBox2", "  Mezők", &Panel6, &ListBox2);
  make("Panel5", "ListBox3", "  Indexek", &Panel5, &ListBox3);
  splitter->setStretchFactor(0, 1);
  splitter->setSizes({612 - 154 - 81, 154, 81});

  FieldDelegate = new KeyFieldDelegate(&KeyFieldsMarker, ListBox2);
  ListBox2->setItemDelegate(FieldDelegate);
  ListBox2->setUniformItemSizes(true);

  // A click or a keyboard move in the table list reloads the other two.
  connect(ListBox1, &QListWidget::itemClicked, this,
          [this] { ui::RunReported(this, [this] { SelectTable(); }); });
  connect(ListBox1, &QListWidget::currentRowChanged, this, [this] {
    if (ListBox1->hasFocus() && !QApplication::mouseButtons()) {
      ui::RunReported(this, [this] { SelectTable(); });
    }
  });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] {
    if (QAction* a = Action("aSQLOpenTable"); a->isEnabled()) a->trigger();
  });
  connect(ListBox3, &QListWidget::itemDoubleClicked, this, [this] {
    if (QAction* a = Action("aAlterIndex"); a->isEnabled()) a->trigger();
  });
  for (QListWidget* list : {ListBox1, ListBox2, ListBox3}) {
    connect(list, &QListWidget::customContextMenuRequested, this,
            [this, list](const QPoint& pos) { ListContextMenu(list, pos); });
  }
  splitter->setMinimumWidth(117);
  return splitter;
}

void TfrmMain::CreateStatusBar() {
  const int widths[3] = {250, 200, 200};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFixedWidth(widths[i]);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(panel);
    StatusPanels[i] = panel;
  }
}

// --- The database and its lists ----------------------------------------------------------------

void TfrmMain::OpenDatabasePath(const std::string& path) {
#ifdef TABLORIX_HAVE_WORKSPACE_UI
  workspace::CloseResults(MDIClient);
#endif
  sql_.reset();
  db_open_ = false;
  settings_.DatabasePath = path;
  if (path.empty()) {
    // No database yet (the first start): an empty session, empty lists.
    session_ = std::make_unique<Session>();
  } else {
    session_->DbOpenDatabase(path);
    sql_ = std::make_unique<SqlSession>(*session_);
    db_open_ = true;
  }
  StatusPanels[2]->setText(ui::FromLocalPath(path));
  RefreshLists();
  // An empty path is no database: it is not worth a line in the recent list.
  if (!path.empty()) common::AddRecentDatabase(&settings_, path);
}

void TfrmMain::FillFieldsAndIndexes(const std::string& table) {
  KeyFieldsMarker.clear();
  {
    OpenOptions options;
    options.read_only = true;
    std::unique_ptr<Cursor> cursor = session_->DbOpenTable(table + ".DB", options);
    std::vector<TIndexDef> indexes = cursor->DbIndexDefs();
    if (!indexes.empty() && (indexes[0].options & ixPrimary) != 0) {
      KeyFieldsMarker = ";" + indexes[0].fields + ";";
    }
    session_->DbCloseTable(*cursor);
  }
  FillList(ListBox2, session_->DbListFields(table));
  if (ListBox2->count() > 0) ListBox2->setCurrentRow(0);
  FillList(ListBox3, session_->DbListIndexes(table + ".DB"));
  if (ListBox3->count() > 0) ListBox3->setCurrentRow(0);
}

void TfrmMain::RefreshLists() {
  QSignalBlocker block(ListBox1);
  FillList(ListBox1, db_open_ ? session_->DbListTables() : std::vector<std::string>{});
  KeyFieldsMarker.clear();
  ListBox2->clear();
  ListBox3->clear();
  if (ListBox1->count() > 0) {
    ListBox1->setCurrentRow(0);
    FillFieldsAndIndexes(ui::ToWin1250(ListBox1->item(0)->text()));
    // After a refresh only the table and the field are selected.
    ListBox3->setCurrentRow(-1);
    ListBox3->clearSelection();
  }
  SetTitles();
}

void TfrmMain::SelectTable() {
  if (ListBox1->count() == 0) {
    ListBox2->clear();
    ListBox3->clear();
    return;
  }
  const std::string table = SelectedTable();
  if (table.empty()) {
    // Nothing selected (a right click below the last table): nothing to describe.
    KeyFieldsMarker.clear();
    ListBox2->clear();
    ListBox3->clear();
  } else {
    FillFieldsAndIndexes(table);
  }
  SetTitles();
}

bool TfrmMain::SelectTableNamed(const std::string& table) {
  const QString name = ui::FromWin1250(table);
  for (int i = 0; i < ListBox1->count(); ++i) {
    if (ListBox1->item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
      QSignalBlocker block(ListBox1);
      ListBox1->setCurrentRow(i);
      SelectTable();
      return true;
    }
  }
  return false;
}

void TfrmMain::SetTitles() {
  Panel2->setText(Title("Táblák", ListBox1->count()));
  Panel6->setText(Title("Mezők", ListBox2->count()));
  Panel5->setText(Title("Indexek", ListBox3->count()));
}

std::string TfrmMain::SelectedTable() const { return SelectedText(ListBox1); }
std::string TfrmMain::SelectedField() const { return SelectedText(ListBox2); }
std::string TfrmMain::SelectedIndex() const { return SelectedText(ListBox3); }

void TfrmMain::ListContextMenu(QListWidget* list, const QPoint& pos) {
  QMenu* menu = list == ListBox1 ? table_menu_ : list == ListBox2 ? field_menu_ : index_menu_;
  if (list == ListBox3 && list->count() == 0) return;
  menu->popup(list->viewport()->mapToGlobal(pos));
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      for (QListWidget* list : {ListBox1, ListBox2, ListBox3}) {
        if (watched != list->viewport()) continue;
        if (list == ListBox3 && list->count() == 0) break;
        // The item under the pointer is selected first, so that the menu acts on it.
        QListWidgetItem* item = list->itemAt(mouse->position().toPoint());
        {
          QSignalBlocker block(list);
          if (item != nullptr) {
            list->setCurrentItem(item);
          } else {
            list->setCurrentRow(-1);
            list->clearSelection();
          }
        }
        if (list == ListBox1) ui::RunReported(this, [this] { SelectTable(); });
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Edit and window commands ------------------------------------------------------------------

void TfrmMain::EditCommand(const char* method) {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) return;
  // Line edits, text edits and the SQL editor all have these slots.
  QMetaObject::invokeMethod(focus, method);
}

void TfrmMain::TileChildren(bool horizontal) {
  QList<QMdiSubWindow*> windows;
  for (QMdiSubWindow* w : MDIClient->subWindowList()) {
    if (!w->isMinimized()) windows.push_back(w);
  }
  if (windows.isEmpty()) return;
  const QRect area = MDIClient->viewport()->rect();
  const int n = static_cast<int>(windows.size());
  for (int i = 0; i < n; ++i) {
    windows[i]->showNormal();
    if (horizontal) {
      // One above the other, each the whole width.
      int h = area.height() / n;
      windows[i]->setGeometry(0, i * h, area.width(), h);
    } else {
      int w = area.width() / n;
      windows[i]->setGeometry(i * w, 0, w, area.height());
    }
  }
}

void TfrmMain::ArrangeIcons() {
  const QRect area = MDIClient->viewport()->rect();
  int x = 0;
  for (QMdiSubWindow* w : MDIClient->subWindowList()) {
    if (!w->isMinimized()) continue;
    QSize size = w->size();
    w->move(x, area.height() - size.height());
    x += size.width();
  }
}

// --- Start and end of a run --------------------------------------------------------------------

bool TfrmMain::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    // The hint of the command under the pointer goes to the first panel only.
    StatusPanels[0]->setText(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  if (splash_enabled_) {
    auto* splash = new Tfrm_Logo(this);
    splash->show();
  }
  ui::RunReported(this, [this] { ui::RestoreFormBounds(this, kSection); });
  ui::RunReported(this, [this] { HandleCommandLine(); });
}

void TfrmMain::HandleCommandLine() {
  if (arguments_.isEmpty()) return;
  const QString arg = arguments_.first();
  QFileInfo info(arg);
  if (!info.isFile()) return;
  const QString ext = info.suffix();
  if (ext.compare(QStringLiteral("sql"), Qt::CaseInsensitive) == 0) {
    OpenSqlText(arg, {});
  } else if (ext.compare(QStringLiteral("db"), Qt::CaseInsensitive) == 0) {
    OpenDatabasePath(ui::ToLocalPath(info.absolutePath()));
    SelectTableNamed(ui::ToWin1250(info.completeBaseName()));
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // Each child window may still ask about its text; one that stays open keeps the program
  // running.
  for (QMdiSubWindow* sub : MDIClient->subWindowList()) {
    if (!sub->close()) {
      event->ignore();
      return;
    }
  }
  ui::RunReported(this, [this] {
    // The placement goes into the file the settings went to, the one the next start reads.
    const std::string written = common::SaveSettings(settings_, common::Paths());
    common::SaveFormBounds(written, kSection, {x(), y(), width(), height()});
  });
  event->accept();
}

}  // namespace tablorix::app
