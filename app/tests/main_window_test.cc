// The main window over real temporary databases: the lists and their titles, key fields in bold,
// right-click selection, the command table, the command line, the error report, the dialogs that
// open a database, the splash fade, and settings carried from one run to the next.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/AdatbazisLista.h"
#include "app/AdatbazisNyit.h"
#include "app/Main.h"
#include "app/logo.h"
#include "cli/demo_database.h"
#include "common/core/Seged.h"
#include "common/core/ini_file.h"
#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"
#include "common/ui/message_boxes.h"
#include "engine/paradox/format.h"
#include "engine/session.h"
#ifdef TABLORIX_HAVE_WORKSPACE_UI
#include "workspace/ui/ChildWin.h"
#endif

using namespace tablorix;
using tablorix::app::TfrmMain;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    for (const char* d : {"home", "config", "bin", "empty", "keys"}) QDir(root_.path()).mkpath(d);
    qputenv("HOME", (root_.path() + "/home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root_.path() + "/config").toLocal8Bit());
    demo_ = root_.path() + "/demo";
    demo::WriteDemoDatabase(demo_.toStdString(), false);
    // A table keyed on two fields, and a field that is not part of the key.
    Session s;
    s.DbOpenDatabase((root_.path() + "/keys").toStdString());
    s.DbCreateTable(
        "PAIRS",
        {{"ID", paradox::kLong, 0}, {"SUB", paradox::kLong, 0}, {"D", paradox::kAlpha, 10}}, 2);
    ui::SetWorkAreaOverride(common::WorkAreaRect{1280, 1024});
    recorder_ = std::make_unique<ui::MessageRecorder>();
    ResetSettings();
  }

  void cleanup() {
    recorder_->messages.clear();
    app::SetAdatbazisNyitDriver({});
    app::SetAdatbazisListaDriver({});
    app::SetFolderChooserHook({});
  }

  // --- Lists ----------------------------------------------------------------------------------

  void openingFillsListsAndTitles() {
    auto w = MakeWindow();
    w->OpenDatabasePath(demo_.toStdString());
    const auto& names = demo::DemoTableNames();
    QCOMPARE(w->ListBox1->count(), int(names.size()));
    QCOMPARE(w->Panel2->text(), QStringLiteral("   Táblák (%1)").arg(names.size()));
    // The first table and its first field are selected, no index is.
    QCOMPARE(w->ListBox1->currentRow(), 0);
    const std::string first = ui::ToWin1250(w->ListBox1->item(0)->text());
    QCOMPARE(w->SelectedTable(), first);
    std::vector<std::string> fields = w->session().DbListFields(first);
    QCOMPARE(w->ListBox2->count(), int(fields.size()));
    QCOMPARE(w->SelectedField(), fields.front());
    QCOMPARE(w->Panel6->text(), QStringLiteral("   Mezők (%1)").arg(fields.size()));
    QCOMPARE(
        w->Panel5->text(),
        QStringLiteral("   Indexek (%1)").arg(w->session().DbListIndexes(first + ".DB").size()));
    QCOMPARE(w->SelectedIndex(), std::string());
    QCOMPARE(w->StatusPanels[2]->text(), demo_);

    // Another directory replaces everything; an empty one counts zeros.
    w->OpenDatabasePath((root_.path() + "/empty").toStdString());
    QCOMPARE(w->ListBox1->count(), 0);
    QCOMPARE(w->ListBox2->count(), 0);
    QCOMPARE(w->ListBox3->count(), 0);
    QCOMPARE(w->Panel2->text(), QStringLiteral("   Táblák (0)"));
    QCOMPARE(w->Panel6->text(), QStringLiteral("   Mezők (0)"));
    QCOMPARE(w->Panel5->text(), QStringLiteral("   Indexek (0)"));
    QCOMPARE(w->Beall().RecentDatabases.size(), size_t{2});
    QCOMPARE(w->Beall().RecentDatabases.front(), (root_.path() + "/empty").toStdString());
  }

  void firstStartHasNoDatabase() {
    ResetSettings();
    auto w = MakeWindow();
    // A first start (no DatabasePath) leaves the lists empty and the recent list too.
    QCOMPARE(w->ListBox1->count(), 0);
    QVERIFY(w->Beall().RecentDatabases.empty());
    QVERIFY(recorder_->messages.empty());
    auto fresh = std::make_unique<TfrmMain>();
    QCOMPARE(fresh->findChild<QLabel*>("Panel2"), fresh->Panel2);
    QCOMPARE(fresh->findChild<QListWidget*>("ListBox3"), fresh->ListBox3);
  }

  void keyFieldsAreBold() {
    auto w = MakeWindow();
    w->OpenDatabasePath((root_.path() + "/keys").toStdString());
    QCOMPARE(w->KeyFieldsMarker, std::string(";ID;SUB;"));
    QCOMPARE(w->ListBox2->count(), 3);
    QStringList bold;
    for (int i = 0; i < w->ListBox2->count(); ++i) {
      QStyleOptionViewItem option;
      QModelIndex index = w->ListBox2->model()->index(i, 0);
      w->FieldDelegate->initStyleOption(&option, index);
      if (option.font.bold()) bold << index.data().toString();
      QCOMPARE(w->FieldDelegate->sizeHint(option, index).height(), 13);
    }
    QCOMPARE(bold, QStringList({"ID", "SUB"}));

    // A table without a primary index draws nothing bold.
    w->OpenDatabasePath(demo_.toStdString());
    for (int i = 0; i < w->ListBox1->count(); ++i) {
      w->ListBox1->setCurrentRow(i);
      w->SelectTable();
      for (int f = 0; f < w->ListBox2->count(); ++f) {
        QStyleOptionViewItem option;
        w->FieldDelegate->initStyleOption(&option, w->ListBox2->model()->index(f, 0));
        QCOMPARE(option.font.bold(),
                 w->KeyFieldsMarker.find(";" + ui::ToWin1250(w->ListBox2->item(f)->text()) + ";") !=
                     std::string::npos);
      }
    }
  }

  void rightClickSelectsFirst() {
    auto w = MakeWindow();
    w->show();
    w->OpenDatabasePath(demo_.toStdString());
    QListWidget* tables = w->ListBox1;
    QRect third = tables->visualItemRect(tables->item(2));
    QTest::mousePress(tables->viewport(), Qt::RightButton, {}, third.center());
    QTest::mouseRelease(tables->viewport(), Qt::RightButton, {}, third.center());
    const std::string table = ui::ToWin1250(tables->item(2)->text());
    QCOMPARE(w->SelectedTable(), table);
    QCOMPARE(w->ListBox2->count(), int(w->session().DbListFields(table).size()));
    QCOMPARE(w->ListBox2->item(0)->text(),
             ui::FromWin1250(w->session().DbListFields(table).front()));
    CloseMenus();

    // Below the last table: no table, and nothing described.
    QPoint below(5, tables->visualItemRect(tables->item(tables->count() - 1)).bottom() + 20);
    QVERIFY(tables->viewport()->rect().contains(below));
    QTest::mousePress(tables->viewport(), Qt::RightButton, {}, below);
    QTest::mouseRelease(tables->viewport(), Qt::RightButton, {}, below);
    QCOMPARE(w->SelectedTable(), std::string());
    QCOMPARE(w->ListBox2->count(), 0);
    QCOMPARE(w->ListBox3->count(), 0);
    QCOMPARE(w->KeyFieldsMarker, std::string());
    CloseMenus();

    // On the index list it picks the index under the pointer.
    tables->setCurrentRow(0);
    w->SelectTable();
    if (w->ListBox3->count() > 0) {
      QRect first = w->ListBox3->visualItemRect(w->ListBox3->item(0));
      w->ListBox3->clearSelection();
      QTest::mousePress(w->ListBox3->viewport(), Qt::RightButton, {}, first.center());
      QCOMPARE(w->SelectedIndex(), ui::ToWin1250(w->ListBox3->item(0)->text()));
      CloseMenus();
    }
  }

  // --- Commands -------------------------------------------------------------------------------

  void everyCommandExists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QKeySequence>("shortcut");
    struct Row {
      const char* name;
      const char* text;
      const char* hint;
      const char* keys;
    };
    const Row rows[] = {
        {"aOpenDB", "Adatbázis", "Adatbázis megnyitás", "F4"},
        {"aRecentDB", "Adatbázis megnyitás listából", "", "Shift+F4"},
        {"FileNew1", "Új SQL", "Új SQL file", "Ctrl+N"},
        {"FileOpen1", "Megnyit", "SQL file megnyitás", "Ctrl+O"},
        {"FileClose1", "Bezár", "", ""},
        {"FileSave1", "Mentés", "", "Ctrl+S"},
        {"FileSaveAs1", "Mentés másként", "", ""},
        {"aNyomtat", "Nyomtat", "", "Ctrl+P"},
        {"aNyomtatKep", "Nyom.kép", "Nyomtatási kép", "Ctrl+K"},
        {"aExpCsv", "CSV export", "", "Ctrl+E"},
        {"FileExit1", "Bezár", "Kilépés a programból", ""},
        {"EditUndo1", "Visszavon", "", "Ctrl+Z"},
        {"EditCut1", "Kivág", "", "Ctrl+X"},
        {"EditCopy1", "Másol", "", "Ctrl+C"},
        {"EditPaste1", "Beilleszt", "", "Ctrl+V"},
        {"EditSelectAll1", "Mindet kijelöl", "", "Ctrl+A"},
        {"aRun", "Futtat", "", "F5"},
        {"aSQLOpenTable", "Tábla megnyitás", "", ""},
        {"aPackTable", "Tábla tömörítése", "", ""},
        {"aEmptyTable", "Üres tábla", "", ""},
        {"aDeleteTable", "Tábla törlése", "", ""},
        {"aDeleteIndex", "Index törlése", "", ""},
        {"aAddIndex", "Új index létrehozás", "", ""},
        {"aAlterIndex", "Index módosítás", "", ""},
        {"aUjTabla", "Új tábla létrehozás", "", ""},
        {"aUjTablaC", "Új tábla létrehozás", "", ""},
        {"aTeljes", "Adatbázis script", "", ""},
        {"aTeljesAdat", "Adatbázis script (adatok is)", "", ""},
        {"aTeljes2", "Adatbázis script (MySQL)", "", ""},
        {"aTeljesAdat2", "Adatbázis script (adatok is) MySQL", "", ""},
        {"WindowCascade1", "Mind látszik", "", ""},
        {"WindowTileHorizontal1", "Vízszintes elrendezés", "", ""},
        {"WindowTileVertical1", "Függőleges elrendezés", "", ""},
        {"WindowMinimizeAll1", "Összes kis méretű", "", ""},
        {"WindowArrangeAll1", "Elrendezés", "", ""},
        {"HelpAbout1", "Névjegy", "", ""},
        {"aWizSelect", "SELECT", "", ""},
        {"aWizSelectC", "SELECT", "", ""},
        {"aWizUpdate", "UPDATE", "", ""},
        {"aWizUpdateC", "UPDATE", "", ""},
        {"aWizInsert", "INSERT", "", ""},
        {"aWizInsertC", "INSERT", "", ""},
        {"aWizDelete", "DELETE", "", ""},
        {"aWizDeleteC", "DELETE", "", ""},
        {"aWizCreate", "CREATE", "", ""},
        {"aWizCreateC", "CREATE", "", ""},
        {"aWizDrop", "DROP", "", ""},
        {"aWizDropC", "DROP", "", ""},
        {"aWizAlter", "ALTER", "", ""},
        {"aWizAlterC", "ALTER", "", ""},
        {"aAddNewField", "Új mező hozzáadás", "", ""},
        {"aAddNewFieldC", "Új mező hozzáadás", "", ""},
        {"aDropField", "Mező törlése", "", ""},
        {"aDropFieldC", "Mező törlése", "", ""},
    };
    for (const Row& r : rows) {
      QString text = QString::fromUtf8(r.text);
      QString hint = *r.hint ? QString::fromUtf8(r.hint) : text;
      QTest::newRow(r.name) << QString(r.name) << text << hint
                            << QKeySequence(QString::fromLatin1(r.keys));
    }
  }
  void everyCommandExists() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QFETCH(QKeySequence, shortcut);
    if (!window_) window_ = MakeWindow();
    QAction* a = window_->findChild<QAction*>(name);
    QVERIFY(a != nullptr);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->statusTip(), hint);
    QCOMPARE(a->shortcut(), shortcut);
  }

  void unbuiltCommandsAreDisabled() {
    auto w = MakeWindow();
    for (const char* name : {"aNyomtat", "aNyomtatKep", "aExpCsv", "aSQLOpenTable", "aUjTablaC"}) {
      QVERIFY2(!w->findChild<QAction*>(name)->isEnabled(), name);
    }
    for (const char* name : {"aOpenDB", "aRecentDB", "FileExit1", "HelpAbout1", "WindowCascade1"}) {
      QVERIFY2(w->findChild<QAction*>(name)->isEnabled(), name);
    }
  }

  void hintsGoToTheFirstPanel() {
    auto w = MakeWindow();
    w->show();
    w->StatusPanels[2]->setText("dir");
    w->findChild<QAction*>("FileExit1")->showStatusText(w.get());
    QCOMPARE(w->StatusPanels[0]->text(), QStringLiteral("Kilépés a programból"));
    QCOMPARE(w->StatusPanels[2]->text(), QStringLiteral("dir"));
    QVERIFY(w->StatusPanels[2]->isVisible());
  }

  void engineErrorGoesToTheReport() {
    auto w = MakeWindow();
    w->OpenDatabasePath(demo_.toStdString());
    const int tables = w->ListBox1->count();
    // The recent dialog offers a directory that has gone away.
    const QString gone = root_.path() + "/gone";
    w->Beall().RecentDatabases = {gone.toStdString()};
    app::SetAdatbazisListaDriver([](app::Tfrm_AdatbazisLista& d) {
      d.ListBox1->setCurrentRow(0);
      return true;
    });
    w->findChild<QAction*>("aRecentDB")->trigger();
    QCOMPARE(recorder_->messages.size(), size_t{1});
    QCOMPARE(recorder_->messages[0].caption, QStringLiteral("Vintrel"));
    QVERIFY(!recorder_->messages[0].text.isEmpty());
    // DatabasePath took the new path; the lists and the status bar kept theirs.
    QCOMPARE(w->Beall().DatabasePath, gone.toStdString());
    QCOMPARE(w->ListBox1->count(), tables);
    QCOMPARE(w->StatusPanels[2]->text(), demo_);

    // A table file removed behind the window's back: selecting it is reported, nothing more.
    QTemporaryDir copy;
    demo::WriteDemoDatabase(copy.path().toStdString(), false);
    w->OpenDatabasePath(copy.path().toStdString());
    recorder_->messages.clear();
    QVERIFY(QFile::remove(copy.path() + "/" + w->ListBox1->item(1)->text() + ".DB"));
    QRect second = w->ListBox1->visualItemRect(w->ListBox1->item(1));
    QTest::mouseClick(w->ListBox1->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(recorder_->messages.size(), size_t{1});
    QCOMPARE(recorder_->messages[0].caption, QStringLiteral("Vintrel"));
  }

  // The commands of the other areas reach the open database and refill the lists after them.
  void commandsActOnTheOpenDatabase() {
#if defined(TABLORIX_HAVE_WORKSPACE_UI) && defined(TABLORIX_HAVE_MAINTENANCE_UI)
    QTemporaryDir copy;
    demo::WriteDemoDatabase(copy.path().toStdString(), false);
    auto w = MakeWindow();
    w->show();
    w->OpenDatabasePath(copy.path().toStdString());
    const int tables = w->ListBox1->count();

    w->findChild<QAction*>("FileNew1")->trigger();
    QCOMPARE(int(w->MDIClient->subWindowList().size()), 1);
    auto* sql = workspace::ActiveSqlWindow(w->MDIClient);
    QVERIFY(sql != nullptr);
    sql->SetText("CREATE TABLE ZNEW (A INTEGER);\r\n");
    w->findChild<QAction*>("aRun")->trigger();
    QCOMPARE(w->ListBox1->count(), tables + 1);

    // Deleting the selected table (the question answered Yes) refills the lists.
    QVERIFY(w->SelectTableNamed("ZNEW"));
    recorder_->messages.clear();
    w->findChild<QAction*>("aDeleteTable")->trigger();
    QCOMPARE(w->ListBox1->count(), tables);
    QVERIFY(!recorder_->messages.empty());
    for (const auto& m : recorder_->messages) QVERIFY(m.caption != QStringLiteral("Vintrel"));

    // Another database closes the SQL window's result first, so nothing dangles.
    sql->SetText("SELECT * FROM VEVOK");
    w->findChild<QAction*>("aRun")->trigger();
    w->OpenDatabasePath(demo_.toStdString());
    QCOMPARE(w->ListBox1->count(), int(demo::DemoTableNames().size()));
#else
    QSKIP("the SQL window and the maintenance commands are not built");
#endif
  }

  // An SQL window with changed text is asked about on exit: Cancel keeps the program (and the
  // window) running, No lets both close. Unchanged windows close without a question.
  void exitAsksAboutChangedSqlText() {
#ifdef TABLORIX_HAVE_WORKSPACE_UI
    auto w = MakeWindow();
    w->show();
    w->findChild<QAction*>("FileNew1")->trigger();
    w->findChild<QAction*>("FileNew1")->trigger();
    auto* changed = workspace::ActiveSqlWindow(w->MDIClient);
    QVERIFY(changed != nullptr);
    changed->SetText("SELECT 1\r\n");
    recorder_->messages.clear();
    recorder_->cancel = true;
    QVERIFY(!w->close());
    recorder_->cancel = false;
    QVERIFY(w->isVisible());
    // The unchanged window has gone; the changed one stays with its text.
    QCOMPARE(int(w->MDIClient->subWindowList().size()), 1);
    QCOMPARE(workspace::SqlWindowOf(w->MDIClient->subWindowList().front()), changed);
    QCOMPARE(changed->Lines(), std::string("SELECT 1\r\n"));
    QCOMPARE(recorder_->messages.size(), size_t(1));
    QCOMPARE(recorder_->messages[0].kind, ui::MessageKind::kQuestion);
    QVERIFY(recorder_->messages[0].text.contains(QStringLiteral("Noname2.sql")));

    recorder_->messages.clear();
    recorder_->answer = false;
    const bool closed = w->close();
    recorder_->answer = true;
    QVERIFY(closed);
    QVERIFY(!w->isVisible());
    QCOMPARE(recorder_->messages.size(), size_t(1));
    ResetSettings();  // the exit wrote them
#else
    QSKIP("the SQL window is not built");
#endif
  }

  // --- Dialogs that open a database -------------------------------------------------------------

  void openDatabaseDialog() {
    auto w = MakeWindow();
    // A typed path that does not exist opens nothing and says nothing.
    app::SetAdatbazisNyitDriver([this](app::Tfrm_AdatbazisNyit& d) {
      d.ComboBox1->setEditText(root_.path() + "/nowhere");
      return true;
    });
    w->findChild<QAction*>("aOpenDB")->trigger();
    QCOMPARE(w->ListBox1->count(), 0);
    QVERIFY(recorder_->messages.empty());

    // The folder chooser's folder becomes the text, and OK opens it.
    app::SetFolderChooserHook([this](const QString&) { return demo_; });
    app::SetAdatbazisNyitDriver([](app::Tfrm_AdatbazisNyit& d) {
      d.SpeedButton1Click();
      return true;
    });
    w->findChild<QAction*>("aOpenDB")->trigger();
    QCOMPARE(w->Beall().DatabasePath, demo_.toStdString());
    QCOMPARE(w->ListBox1->count(), int(demo::DemoTableNames().size()));

    // Cancel returns nothing, whatever was typed.
    app::SetAdatbazisNyitDriver([this](app::Tfrm_AdatbazisNyit& d) {
      d.ComboBox1->setEditText(root_.path() + "/keys");
      return false;
    });
    w->findChild<QAction*>("aOpenDB")->trigger();
    QCOMPARE(w->Beall().DatabasePath, demo_.toStdString());
  }

  void recentDatabaseDialog() {
    common::TBeall settings;
    settings.RecentDatabases = {"/z/c", "/a/b", "/m/x"};
    // The entries come sorted and the first is selected; a removal stays even after Cancel.
    QStringList shown;
    app::SetAdatbazisListaDriver([&](app::Tfrm_AdatbazisLista& d) {
      for (int i = 0; i < d.ListBox1->count(); ++i) shown << d.ListBox1->item(i)->text();
      d.DeleteBtnClick();  // removes "/a/b"
      return false;
    });
    QCOMPARE(app::AdatbazisLista(nullptr, &settings), std::string());
    QCOMPARE(shown, QStringList({"/a/b", "/m/x", "/z/c"}));
    QCOMPARE(settings.RecentDatabases, (std::vector<std::string>{"/m/x", "/z/c"}));

    // OK right after removing the selected entry opens nothing.
    app::SetAdatbazisListaDriver([](app::Tfrm_AdatbazisLista& d) {
      d.DeleteBtnClick();
      return true;
    });
    QCOMPARE(app::AdatbazisLista(nullptr, &settings), std::string());
    QCOMPARE(settings.RecentDatabases, (std::vector<std::string>{"/z/c"}));

    app::SetAdatbazisListaDriver([](app::Tfrm_AdatbazisLista&) { return true; });
    QCOMPARE(app::AdatbazisLista(nullptr, &settings), std::string("/z/c"));
  }

  // --- Start-up and exit ----------------------------------------------------------------------

  void commandLine_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("opened");  // the database directory, empty for none
    QTest::addColumn<int>("windows");     // SQL windows opened
    const QString table = QString::fromStdString(demo::DemoTableNames()[2]);
    const QString lower = root_.path() + "/lower";
    QDir().mkpath(lower);
    QFile::copy(demo_ + "/" + table + ".DB", lower + "/" + table + ".db");
    QFile(demo_ + "/notes.txt").open(QIODevice::WriteOnly);
    QFile sql(root_.path() + "/query.Sql");
    QVERIFY(sql.open(QIODevice::WriteOnly));
    sql.write("SELECT * FROM VEVOK\r\n");
    sql.close();
    QTest::newRow("table") << demo_ + "/" + table + ".DB" << demo_ << 0;
    QTest::newRow("lower-case extension") << lower + "/" + table + ".db" << lower << 0;
    QTest::newRow("missing file") << demo_ + "/NOSUCH.DB" << QString() << 0;
    QTest::newRow("other extension") << demo_ + "/notes.txt" << QString() << 0;
#ifdef TABLORIX_HAVE_WORKSPACE_UI
    QTest::newRow("sql file") << root_.path() + "/query.Sql" << QString() << 1;
#endif
    QTest::newRow("missing sql file") << root_.path() + "/none.sql" << QString() << 0;
  }
  void commandLine() {
    QFETCH(QString, argument);
    QFETCH(QString, opened);
    QFETCH(int, windows);
    ResetSettings();
    auto w = MakeWindow();
    w->SetCommandLine({argument});
    w->show();
    QCOMPARE(ui::FromLocalPath(w->Beall().DatabasePath), opened);
    if (opened.isEmpty()) {
      QCOMPARE(w->ListBox1->count(), 0);
    } else {
      QCOMPARE(ui::FromWin1250(w->SelectedTable()).toUpper(),
               QFileInfo(argument).completeBaseName().toUpper());
    }
    QCOMPARE(int(w->MDIClient->subWindowList().size()), windows);
    QVERIFY(recorder_->messages.empty());
  }

  void settingsCarryOverToTheNextStart() {
    ResetSettings();
    const QString beside = root_.path() + "/bin/Vintrel.ini";
    {
      auto w = MakeWindow();
      w->show();
      w->OpenDatabasePath((root_.path() + "/keys").toStdString());
      w->OpenDatabasePath(demo_.toStdString());
      w->move(100, 80);
      w->resize(700, 500);
      w->close();
    }
    // The first exit creates the file beside the executable, which the next start reads.
    QVERIFY(QFile::exists(beside));
    common::InitSharedPaths((root_.path() + "/bin/tablorix").toStdString());
    QCOMPARE(QString::fromStdString(common::IniFileName()), beside);
    {
      auto w = MakeWindow();
      w->show();
      QCOMPARE(w->Beall().DatabasePath, demo_.toStdString());
      QCOMPARE(
          w->Beall().RecentDatabases,
          (std::vector<std::string>{demo_.toStdString(), (root_.path() + "/keys").toStdString()}));
      QCOMPARE(w->ListBox1->count(), int(demo::DemoTableNames().size()));
      QCOMPARE(w->pos(), QPoint(100, 80));
      QCOMPARE(w->size(), QSize(700, 500));
      w->close();
    }
    // A placement beyond the work area comes back onto it.
    common::IniFile ini = common::IniFile::Load(beside.toStdString());
    ini.WriteInteger("frm_Main", "Left", 1300);
    ini.WriteInteger("frm_Main", "Width", 1500);
    ini.WriteInteger("frm_Main", "Top", 900);
    ini.WriteInteger("frm_Main", "Height", 400);
    ini.Save(beside.toStdString());
    {
      auto w = MakeWindow();
      w->show();
      QCOMPARE(w->x(), 0);
      QCOMPARE(w->width(), 1280);
      QCOMPARE(w->y(), 1024 - 400);
      QCOMPARE(w->height(), 400);
    }
    QVERIFY(recorder_->messages.empty());
  }

  void splashFadesOutAndCloses() {
    QPointer<app::Tfrm_Logo> splash = new app::Tfrm_Logo(nullptr);
    splash->show();
    QVERIFY(splash->Timer1()->isActive());
    QCOMPARE(splash->Timer1()->interval(), 1000);
    QCOMPARE(splash->Timer2()->interval(), 21);
    // Fire the wait at once rather than after its second.
    splash->Timer1()->start(0);
    QTRY_VERIFY(splash->Timer2()->isActive());
    QVERIFY(!splash->Timer1()->isActive());
    splash->Timer2()->stop();  // the ticks below are stepped by hand
    for (int tick = 1; tick < 23; ++tick) splash->Timer2Timer();
    QCOMPARE(splash->Opacity(), 35);
    QVERIFY(splash->isVisible());
    splash->Timer2Timer();
    QCOMPARE(splash->Opacity(), 25);
    QVERIFY(!splash->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(splash.isNull());
  }

  void cleanupTestCase() {
    window_.reset();
    recorder_.reset();
  }

 private:
  std::unique_ptr<TfrmMain> MakeWindow() {
    auto w = std::make_unique<TfrmMain>();
    w->SetSplashEnabled(false);
    return w;
  }

  // No settings file anywhere: a first start.
  void ResetSettings() {
    QFile::remove(root_.path() + "/bin/Vintrel.ini");
    QDir(root_.path() + "/config/Vintrel").removeRecursively();
    common::InitSharedPaths((root_.path() + "/bin/tablorix").toStdString());
  }

  static void CloseMenus() {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  }

  QTemporaryDir root_;
  QString demo_;
  std::unique_ptr<ui::MessageRecorder> recorder_;
  std::unique_ptr<TfrmMain> window_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
