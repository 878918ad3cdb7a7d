// The SQL window over the demo database: the result grid and its lazy model, parameter prompts,
// error captions, the file commands, and what a run takes from the editor.
#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <string>

#include "cli/demo_database.h"
#include "common/core/Seged.h"
#include "common/core/ini_file.h"
#include "common/ui/InpStr.h"
#include "common/ui/actions.h"
#include "common/ui/encoding.h"
#include "common/ui/form_placement.h"
#include "common/ui/message_boxes.h"
#include "engine/session.h"
#include "engine/sql/db_query.h"
#include "engine/sql/sql_session.h"
#include "workspace/ui/ChildWin.h"
#include "workspace/ui/dataset_model.h"

using namespace tablorix;
using namespace tablorix::workspace;

namespace {

QString ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
  return QString::fromLatin1(f.readAll());
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

int64_t Count(SqlSession& sql, const std::string& query) {
  auto st = DbPrepareQuery(sql, query);
  auto r = st->Query();
  if (!r->Next()) return -1;
  return r->row()[0].is_null() ? -1 : r->row()[0].as_int();
}

}  // namespace

class WorkspaceUiTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<SqlSession> sql_;
  std::unique_ptr<QMdiArea> area_;
  int refreshes_ = 0;

  TMDIChild* Window(const std::string& text) {
    return OpenSqlWindow(area_.get(), QStringLiteral("Noname1.sql"), text);
  }
  void Run(TMDIChild* w) {
    RunSqlInWindow(w, *sql_, [this] { ++refreshes_; });
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    // The prompt keeps its place in a settings file beside the "executable".
    common::IniFile().Save(ui::ToWin1250(dir_.filePath(QStringLiteral("Vintrel.ini"))));
    common::InitSharedPaths(ui::ToWin1250(dir_.filePath(QStringLiteral("tablorix"))));
    demo::WriteDemoDatabase(ui::ToWin1250(dir_.filePath(QStringLiteral("db"))), false);
    session_ = std::make_unique<Session>();
    session_->DbOpenDatabase(ui::ToWin1250(dir_.filePath(QStringLiteral("db"))));
    sql_ = std::make_unique<SqlSession>(*session_);
  }
  void init() {
    area_ = std::make_unique<QMdiArea>();
    area_->resize(900, 700);
    area_->show();
    refreshes_ = 0;
    ui::SetInpStrDriver({});
    SetFileDialogHook({});
  }
  void cleanup() {
    area_.reset();
    ui::SetInpStrDriver({});
    SetFileDialogHook({});
  }
  void cleanupTestCase() {
    sql_.reset();
    session_.reset();
  }

  // A SELECT switches to the result tab with 64-pixel columns; the grid learns the rows a block
  // at a time and shows the dataset's own texts under the field names.
  void selectFillsTheGridLazily() {
    ui::MessageRecorder rec;
    TMDIChild* w = Window("select RENDELES, TERMEK, MENNYISEG from TETELEK");
    Run(w);
    QVERIFY(rec.messages.empty());
    QCOMPARE(w->PageControl1->currentWidget(), w->TabSheet2);
    QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("SQL"));
    QCOMPARE(w->PageControl1->tabText(1), QStringLiteral("Eredmény"));
    QCOMPARE(refreshes_, 0);
    DatasetModel* m = w->ResultModel();
    QVERIFY(m && w->Dataset());
    QCOMPARE(w->DBGrid1->model(), m);
    QCOMPARE(m->columnCount(), 3);
    for (int c = 0; c < 3; ++c) QCOMPARE(w->DBGrid1->columnWidth(c), 64);
    QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("TERMEK"));
    QCOMPARE(m->data(m->index(0, 2), Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
             int(Qt::AlignRight));
    // Far fewer rows known than the table's 3461 until the view asks for more.
    QVERIFY(m->rowCount() > 0 && m->rowCount() < 1000);
    QVERIFY(!m->AllFetched());
    while (m->canFetchMore({})) m->fetchMore({});
    QCOMPARE(m->rowCount(), 3461);
    QCOMPARE(m->data(m->index(3461, 0)), QVariant());

    // Compare a scattered set of cells with a separate read of the same query.
    auto st = DbPrepareQuery(*sql_, "select RENDELES, TERMEK, MENNYISEG from TETELEK");
    auto check = DbOpenQuery(std::move(st));
    const FormatSettings fs = FormatSettingsFromLocale(QLocale::system());
    for (int row : {3460, 0, 127, 128, 2000, 1, 3459, 255, 256}) {
      check->First();
      check->MoveBy(row);
      for (int c = 0; c < 3; ++c)
        QCOMPARE(m->data(m->index(row, c)).toString(), ui::FromWin1250(check->AsText(c, fs)));
    }
    // Someone else walking the dataset does not shift what the grid shows.
    w->Dataset()->Last();
    check->First();
    check->MoveBy(5);
    QCOMPARE(m->data(m->index(5, 1)).toString(), ui::FromWin1250(check->AsText(1, fs)));
  }

  // Rows read while scrolling through a big result are let go again.
  void modelMemoryStaysBounded() {
    auto st = DbPrepareQuery(*sql_,
                             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < 20000) SELECT i FROM n");
    // The result keeps few rows, as a big one keeps few of its millions.
    auto ds = std::make_unique<QueryDataset>(std::move(st), 1000);
    DatasetModel m(*ds, FormatSettings{});
    while (m.canFetchMore({})) m.fetchMore({});
    QCOMPARE(m.rowCount(), 20000);
    for (int row = 0; row < 20000; row += 97) QCOMPARE(m.data(m.index(row, 0)).toInt(), row + 1);
    QVERIFY(m.CachedRows() <= int64_t(DatasetModel::kMaxBlocks) * DatasetModel::kBlockRows);
    // Back from the end to the start runs the statement once more, not once per kept window.
    QCOMPARE(m.data(m.index(19999, 0)).toInt(), 20000);
    const int runs = ds->runs();
    QCOMPARE(m.data(m.index(0, 0)).toInt(), 1);
    QVERIFY2(ds->runs() <= runs + 1, qPrintable(QString::number(ds->runs() - runs)));
    // While the controls are disabled the dataset belongs to whoever walks it.
    ds->DisableControls();
    const int64_t at = ds->RecNo();
    QCOMPARE(m.data(m.index(10000, 0)), QVariant());
    QCOMPARE(ds->RecNo(), at);
    ds->EnableControls();
  }

  // A row that fails to read ends the rows the grid learns; the window tells the user once.
  void laterReadErrorStopsFetching() {
    ui::MessageRecorder rec;
    TMDIChild* w = Window(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
        "SELECT CASE WHEN i = 300 THEN abs(-9223372036854775808) ELSE i END AS v FROM n");
    // A WITH text is no SELECT for the kind test: open it as the window would a SELECT.
    w->OpenResult(DbPrepareQuery(*sql_, w->Lines()));
    DatasetModel* m = w->ResultModel();
    QCOMPARE(m->rowCount(), DatasetModel::kBlockRows);
    while (m->canFetchMore({})) m->fetchMore({});
    QCOMPARE(m->rowCount(), 2 * DatasetModel::kBlockRows);
    QVERIFY(m->ReadError().contains(QStringLiteral("overflow")));
    QCOMPARE(m->data(m->index(255, 0)).toInt(), 256);
    m->data(m->index(299, 0));
    QVERIFY(rec.messages.empty());  // shown from the event loop, not from inside the read
    QTRY_COMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].text, QStringLiteral("SQL error:\r\n") + m->ReadError());
    QCOMPARE(rec.messages[0].owner, w);
  }

  void localeFormats_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::newRow("hu") << "hu_HU"
                        << ","
                        << "yyyy. MM. dd."
                        << "H:mm:ss";
    QTest::newRow("en_US: 12-hour clock and zone dropped") << "en_US"
                                                           << "."
                                                           << "M/d/yy"
                                                           << "H:mm:ss";
    QTest::newRow("de") << "de_DE"
                        << ","
                        << "dd.MM.yy"
                        << "HH:mm:ss";
  }
  void localeFormats() {
    QFETCH(QString, locale);
    QFETCH(QString, decimal);
    QFETCH(QString, date);
    QFETCH(QString, time);
    const FormatSettings s = FormatSettingsFromLocale(QLocale(locale));
    QCOMPARE(QString(QChar(s.decimal_separator)), decimal);
    QCOMPARE(QString::fromStdString(s.short_date_format), date);
    QCOMPARE(QString::fromStdString(s.long_time_format), time);
  }

  // Each parameter is asked for with "Add param value" and its name; Cancel gives an empty value,
  // which is no integer and fails as an SQL error.
  void parametersArePrompted() {
    const int64_t lines = Count(*sql_, "SELECT COUNT(*) FROM TETELEK WHERE RENDELES = 7");
    QVERIFY(lines > 0);
    QStringList seen;
    ui::SetInpStrDriver([&](ui::Tfrm_InpStr& d) {
      seen << d.windowTitle() + "|" + d.Label1->text();
      d.Edit1->setText(seen.size() == 1 ? QStringLiteral("9") : QStringLiteral("7"));
      return true;
    });
    {
      ui::MessageRecorder rec;
      TMDIChild* w = Window("UPDATE TETELEK SET MENNYISEG = :M WHERE RENDELES = :R;");
      Run(w);
      QCOMPARE(seen, QStringList() << "Add param value|M"
                                   << "Add param value|R");
      QCOMPARE(rec.messages.size(), size_t(1));
      QCOMPARE(rec.messages[0].kind, ui::MessageKind::kInfo);
      QCOMPARE(rec.messages[0].text, QStringLiteral("SQL futtatása kész, %1 sor.").arg(lines));
      QCOMPARE(rec.messages[0].owner, w);
      QCOMPARE(refreshes_, 1);
      QCOMPARE(Count(*sql_, "SELECT COUNT(*) FROM TETELEK WHERE RENDELES = 7 AND MENNYISEG = 9"),
               lines);
    }
    ui::SetInpStrDriver([](ui::Tfrm_InpStr& d) {
      d.Edit1->setText(QStringLiteral("123"));
      return false;  // Cancel: the typed text is not taken
    });
    ui::MessageRecorder rec;
    Run(Window("UPDATE TETELEK SET MENNYISEG = 1 WHERE RENDELES = :R;"));
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].kind, ui::MessageKind::kError);
    QVERIFY(rec.messages[0].text.startsWith(QStringLiteral("SQL error:\r\n")));
    QCOMPARE(refreshes_, 1);
    QCOMPARE(Count(*sql_, "SELECT COUNT(*) FROM TETELEK WHERE MENNYISEG = 1 AND RENDELES = 7"),
             int64_t(0));
  }

  // The engine's line number becomes the caption; a message without one leaves the caption.
  void errorPutsLineIntoCaption() {
    ui::MessageRecorder rec;
    TMDIChild* w = Window("UPDATE TETELEK\r\nSET MENNYISEG = 1\r\nWHERE NINCS = 2;\r\n");
    Run(w);
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].kind, ui::MessageKind::kError);
    QCOMPARE(rec.messages[0].owner, w);
    QVERIFY2(rec.messages[0].text.startsWith(QStringLiteral("SQL error:\r\n")),
             qPrintable(rec.messages[0].text));
    QCOMPARE(w->windowTitle(), QStringLiteral("3"));
    QCOMPARE(area_->activeSubWindow()->windowTitle(), QStringLiteral("3"));
    QCOMPARE(refreshes_, 0);

    // A SELECT that fails, on preparing or on reading its first row, leaves the window on its
    // SQL tab with no result.
    for (const char* text : {"SELECT * FROM NINCSILYEN", "SELECT abs(-9223372036854775808)"}) {
      rec.messages.clear();
      TMDIChild* s = Window(text);
      Run(s);
      QCOMPARE(rec.messages.size(), size_t(1));
      QVERIFY2(rec.messages[0].text.startsWith(QStringLiteral("SQL error:\r\n")), text);
      QCOMPARE(s->PageControl1->currentWidget(), s->TabSheet1);
      QVERIFY(!s->Dataset());
      QCOMPARE(s->DBGrid1->model(), nullptr);
    }
  }

  // What a run takes from the editor, and what the window says after it.
  void whatRuns_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");  // of the selection; -1: none
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("message");  // empty: a result opens
    QTest::addColumn<int>("refreshes");
    QTest::newRow("empty editor") << "" << -1 << 0 << 0 << "SQL futtatása kész." << 1;
    QTest::newRow("statement without ';' does not run")
        << "UPDATE TETELEK SET MENNYISEG = 0" << -1 << 0 << 0 << "SQL futtatása kész." << 1;
    QTest::newRow("selected part of a longer SELECT")
        << "SELECT AZON FROM VEVOK WHERE AZON < 0" << 0 << 0 << 22 << "" << 0;
    QTest::newRow("selected SELECT inside a script")
        << "DELETE FROM VEVOK;\nselect NEV from VEVOK" << 1 << 0 << 21 << "" << 0;
  }
  void whatRuns() {
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, message);
    QFETCH(int, refreshes);
    ui::MessageRecorder rec;
    const int64_t before = Count(*sql_, "SELECT SUM(MENNYISEG) FROM TETELEK");
    TMDIChild* w = Window(ui::ToWin1250(text));
    if (line >= 0) w->Memo1->setSelection(line, from, line, to);
    Run(w);
    QCOMPARE(refreshes_, refreshes);
    QCOMPARE(Count(*sql_, "SELECT SUM(MENNYISEG) FROM TETELEK"), before);
    QCOMPARE(Count(*sql_, "SELECT COUNT(*) FROM VEVOK"), int64_t(400));
    if (message.isEmpty()) {
      QVERIFY(rec.messages.empty());
      QVERIFY(w->Dataset());
      QVERIFY(w->ResultModel()->rowCount() > 0);
    } else {
      QCOMPARE(rec.messages.size(), size_t(1));
      QCOMPARE(rec.messages[0].text, message);
      QVERIFY(!w->Dataset());
    }
  }

  // The editor's menu offers the main window's commands; alone, the editor's own edit commands.
  void editorMenu() {
    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    const std::pair<const char*, const char*> commands[] = {{"EditUndo1", "Visszavon"},
                                                            {"EditCut1", "Kivág"},
                                                            {"EditCopy1", "Másol"},
                                                            {"EditPaste1", "Beilleszt"},
                                                            {"EditSelectAll1", "Mindet kijelöl"},
                                                            {"aRun", "Futtat"}};
    QAction* run = nullptr;
    for (const auto& [name, text] : commands)
      run = ui::MakeAction(&main, name, QString::fromUtf8(text));
    main.show();
    auto texts = [](QMenu* menu) {
      QStringList out;
      for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
      return out;
    };
    std::unique_ptr<QMenu> menu(
        OpenSqlWindow(area, QStringLiteral("Noname1.sql"))->MakeMemo1Menu(nullptr));
    QCOMPARE(texts(menu.get()), QStringList({"Visszavon", "-", "Kivág", "Másol", "Beilleszt", "-",
                                             "Mindet kijelöl", "-", "Futtat"}));
    QCOMPARE(menu->actions().back(), run);

    TMDIChild* alone = Window("SELECT 1");
    std::unique_ptr<QMenu> own(alone->MakeMemo1Menu(nullptr));
    QCOMPARE(texts(own.get()), QStringList({"Visszavon", "-", "Kivág", "Másol", "Beilleszt", "-",
                                            "Mindet kijelöl", "-"}));
    own->actions()[6]->trigger();
    QCOMPARE(alone->Memo1->selectedText(), QStringLiteral("SELECT 1"));
  }

  // The screen font size reaches the tabs and the grid when the window is shown, while the
  // editor's text and the grid's titles keep their own sizes.
  void screenFontSize() {
    const int before = ui::ScreenFontSize();
    ui::SetScreenFontSize(14);
    TMDIChild* w = Window("SELECT 1");
    ui::SetScreenFontSize(before);
    QCOMPARE(w->PageControl1->font().pointSize(), 14);
    QCOMPARE(w->DBGrid1->font().pointSize(), 14);
    QCOMPARE(w->DBGrid1->horizontalHeader()->font().pointSize(), 8);
    QCOMPARE(w->Memo1->lexer()->font(QsciLexerSQL::Keyword).pointSize(), 10);
    QCOMPARE(
        OpenSqlWindow(area_.get(), QStringLiteral("x.sql"), {}, 11)->DBGrid1->font().pointSize(),
        11);
  }

  // A new run closes the result still open in the window.
  void nextRunClosesResult() {
    ui::MessageRecorder rec;
    TMDIChild* w = Window("SELECT * FROM TERMEKEK");
    Run(w);
    QVERIFY(w->Dataset());
    w->SetText("");
    Run(w);
    QVERIFY(!w->Dataset());
    QCOMPARE(w->DBGrid1->model(), nullptr);
  }

  // Noname numbering counts every child window; Save of a Noname window asks for a name, then
  // writes CR LF lines there while the caption keeps the first name.
  void newSaveOpenRoundTrip() {
    QTemporaryDir files;
    area_->addSubWindow(new QWidget)->show();  // a child window of another kind
    FileNew(area_.get());
    TMDIChild* w = FileNew(area_.get());
    QCOMPARE(w->windowTitle(), QStringLiteral("Noname3.sql"));
    QCOMPARE(w->FileName, QStringLiteral("Noname3.sql"));
    QCOMPARE(w->PageControl1->currentWidget(), w->TabSheet1);

    w->Memo1->setText(QStringLiteral("SELECT *\nFROM VEVOK -- ő"));
    const QString path = files.filePath(QStringLiteral("a.sql"));
    int asked = 0;
    SetFileDialogHook([&](bool save, const QString& title, const QString& suggested) {
      ++asked;
      return save && title == QStringLiteral("Save SQL file") &&
                     suggested == QStringLiteral("Noname3.sql")
                 ? path
                 : QString();
    });
    FileSave(area_.get());
    QCOMPARE(asked, 1);
    QCOMPARE(w->FileName, path);
    QCOMPARE(w->windowTitle(), QStringLiteral("Noname3.sql"));
    QCOMPARE(ReadAll(path), QString::fromLatin1("SELECT *\r\nFROM VEVOK -- \xF5\r\n"));

    w->Memo1->append(QStringLiteral("\r\nWHERE 1 = 1"));
    FileSave(area_.get());  // now a real name: no dialog
    QCOMPARE(asked, 1);
    QCOMPARE(ReadAll(path),
             QString::fromLatin1("SELECT *\r\nFROM VEVOK -- \xF5\r\nWHERE 1 = 1\r\n"));

    // Cancelled Save As writes nothing and keeps the name.
    SetFileDialogHook([](bool, const QString&, const QString&) { return QString(); });
    FileSaveAs(area_.get());
    QCOMPARE(w->FileName, path);

    TMDIChild* opened = OpenSqlWindow(area_.get(), path);
    QCOMPARE(opened->Lines(), std::string("SELECT *\r\nFROM VEVOK -- \xF5\r\nWHERE 1 = 1\r\n"));
    QCOMPARE(opened->windowTitle(), path);

    // Given text wins over the file's content, and Save overwrites the file with it.
    TMDIChild* given = OpenSqlWindow(area_.get(), path, "DROP TABLE X\r\n");
    QCOMPARE(given->Lines(), std::string("DROP TABLE X\r\n"));
    FileSave(area_.get());
    QCOMPARE(ReadAll(path), QStringLiteral("DROP TABLE X\r\n"));

    // The active child is no SQL window: Save does nothing.
    const int windows = int(area_->subWindowList().size());
    area_->setActiveSubWindow(area_->subWindowList().front());
    FileSave(area_.get());
    FileClose(area_.get());
    QCOMPARE(int(area_->subWindowList().size()), windows - 1);
  }

  // A generated name is saved under the current directory without a dialog; a failing write
  // reaches the caller as an error.
  void generatedNameSavesRelative() {
    QTemporaryDir files;
    const QString old_dir = QDir::currentPath();
    QDir::setCurrent(files.path());
    TMDIChild* w = OpenSqlWindow(area_.get(), QStringLiteral("VEVOK.sql"), "SELECT 1\r\n");
    SetFileDialogHook([](bool, const QString&, const QString&) -> QString {
      QTest::qFail("no dialog expected", __FILE__, __LINE__);
      return {};
    });
    FileSave(area_.get());
    QCOMPARE(ReadAll(files.filePath(QStringLiteral("VEVOK.sql"))), QStringLiteral("SELECT 1\r\n"));
    w->FileName = files.filePath(QStringLiteral("nincs/VEVOK.sql"));
    bool thrown = false;
    try {
      FileSave(area_.get());
    } catch (const std::runtime_error&) {
      thrown = true;
    }
    QDir::setCurrent(old_dir);
    QVERIFY(thrown);
  }

  // A file's lines keep their bytes: CR LF, LF and a missing last line end all load the same.
  void loadsLinesOfAnyEnding() {
    QTemporaryDir files;
    const QString path = files.filePath(QStringLiteral("b.sql"));
    WriteAll(path, QByteArray("SELECT \xE1\nFROM X\r\nWHERE 1"));
    TMDIChild* w = OpenSqlWindow(area_.get(), path);
    QCOMPARE(w->Lines(), std::string("SELECT \xE1\r\nFROM X\r\nWHERE 1\r\n"));
  }

  // Closing a changed window asks Yes/No/Cancel; the window goes only when its text is saved or
  // given up. An unchanged (or just saved) window closes without a question.
  void closingChangedTextAsks_data() {
    QTest::addColumn<bool>("noname");
    QTest::addColumn<bool>("change");
    QTest::addColumn<int>("answer");       // 0 Yes, 1 No, 2 Cancel
    QTest::addColumn<QString>("save_as");  // what the name dialog gives; "-" = no dialog expected
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("on_disk");  // the named file's text afterwards
    QTest::newRow("unchanged") << false << false << 0 << "-" << true << "SELECT 1\r\n";
    QTest::newRow("yes saves") << false << true << 0 << "-" << true << "SELECT 2\r\n";
    QTest::newRow("no drops") << false << true << 1 << "-" << true << "SELECT 1\r\n";
    QTest::newRow("cancel keeps") << false << true << 2 << "-" << false << "SELECT 1\r\n";
    QTest::newRow("noname saves as") << true << true << 0 << "new.sql" << true << "SELECT 2\r\n";
    QTest::newRow("noname save as cancelled") << true << true << 0 << "" << false << "<missing>";
    QTest::newRow("save fails") << false << true << 0 << "-" << false << "<missing>";
  }
  void closingChangedTextAsks() {
    QFETCH(bool, noname);
    QFETCH(bool, change);
    QFETCH(int, answer);
    QFETCH(QString, save_as);
    QFETCH(bool, closed);
    QFETCH(QString, on_disk);
    QTemporaryDir files;
    const bool fails = QByteArray(QTest::currentDataTag()) == "save fails";
    const QString named =
        files.filePath(fails ? QStringLiteral("nincs/q.sql") : QStringLiteral("q.sql"));
    const QString target = noname ? files.filePath(QStringLiteral("new.sql")) : named;
    if (!noname && !fails) WriteAll(named, "SELECT 1\r\n");
    TMDIChild* w = noname
                       ? OpenSqlWindow(area_.get(), QStringLiteral("Noname1.sql"), "SELECT 1\r\n")
                       : OpenSqlWindow(area_.get(), named, fails ? "SELECT 1\r\n" : "");
    QVERIFY(!w->IsModified());
    if (change) w->Memo1->setText(QStringLiteral("SELECT 2"));
    int dialogs = 0;
    SetFileDialogHook([&](bool save, const QString&, const QString&) -> QString {
      ++dialogs;
      return save && !save_as.isEmpty() ? files.filePath(save_as) : QString();
    });

    const QString question =
        QStringLiteral("A(z) %1 módosult. Menti?").arg(QFileInfo(w->FileName).fileName());
    ui::MessageRecorder rec(answer == 0);
    rec.cancel = answer == 2;
    FileClose(area_.get());
    const bool open = !area_->subWindowList().isEmpty();
    QCOMPARE(open, !closed);
    if (change) {
      QVERIFY(!rec.messages.empty());
      QCOMPARE(rec.messages[0].kind, ui::MessageKind::kQuestion);
      QCOMPARE(rec.messages[0].text, question);
      QCOMPARE(rec.messages[0].caption, QStringLiteral("Megerősítés"));
    } else {
      QVERIFY(rec.messages.empty());
    }
    // A failed write is reported and the text stays for another try.
    if (fails) {
      QCOMPARE(rec.messages.size(), size_t(2));
      QCOMPARE(rec.messages[1].caption, QStringLiteral("Vintrel"));
    }
    if (open) QCOMPARE(w->Memo1->text(), QStringLiteral("SELECT 2"));
    QCOMPARE(dialogs, save_as == QStringLiteral("-") ? 0 : 1);
    QCOMPARE(ReadAll(target), on_disk);
  }

  // A saved text counts as unchanged until it is edited again.
  void savedTextClosesWithoutQuestion() {
    QTemporaryDir files;
    const QString path = files.filePath(QStringLiteral("s.sql"));
    TMDIChild* w = OpenSqlWindow(area_.get(), path, "SELECT 1\r\n");
    w->Memo1->setText(QStringLiteral("SELECT 3"));
    QVERIFY(w->IsModified());
    FileSave(area_.get());
    QVERIFY(!w->IsModified());
    ui::MessageRecorder rec;
    FileClose(area_.get());
    QVERIFY(rec.messages.empty());
    QVERIFY(area_->subWindowList().isEmpty());
    QCOMPARE(ReadAll(path), QStringLiteral("SELECT 3\r\n"));
  }
};

QTEST_MAIN(WorkspaceUiTest)
#include "workspace_ui_test.moc"
