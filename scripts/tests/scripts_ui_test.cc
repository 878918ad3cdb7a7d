// The script wizard commands with their two targets, the new-field dialog and the new-table
// designer, driven through their widgets over a small database made here.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "common/core/Seged.h"
#include "common/ui/encoding.h"
#include "common/ui/message_boxes.h"
#include "engine/paradox/format.h"
#include "scripts/core/create_table_script.h"
#include "scripts/core/database_script.h"
#include "scripts/ui/NewField.h"
#include "scripts/ui/ScriptCommands.h"
#include "scripts/ui/TablaCsinal.h"

using namespace tablorix;
using namespace tablorix::scripts;

namespace {

// Runs `drive` on the modal dialog of type D once its loop has started; a dialog the driver
// leaves open is cancelled, so a failing check never blocks the suite.
template <class D>
void WhenShown(std::function<void(D&)> drive) {
  QTimer::singleShot(0, [drive] {
    auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
    if (d == nullptr) return;
    drive(*d);
    if (d->isVisible()) d->reject();
  });
}

// Notes every progress dialog that is shown and, when asked, cancels it from the event loop as
// a click on its Cancel button would.
class ProgressSpy : public QObject {
 public:
  explicit ProgressSpy(bool cancel = false) : cancel_(cancel) { qApp->installEventFilter(this); }
  ~ProgressSpy() override { qApp->removeEventFilter(this); }
  int shown = 0;
  int maximum = -1;
  bool modal = false;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    auto* d = qobject_cast<QProgressDialog*>(o);
    if (d != nullptr && e->type() == QEvent::Show) {
      ++shown;
      maximum = d->maximum();
      modal = d->isModal();
      if (cancel_) QMetaObject::invokeMethod(d, &QProgressDialog::cancel, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  bool cancel_;
};

bool AnyProgressVisible() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QProgressDialog*>(w) && w->isVisible()) return true;
  return false;
}

struct Opened {
  QString file_name;
  std::string text;
};

}  // namespace

class ScriptsUiTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  Session session_;
  std::vector<Opened> opened_;
  OpenSqlWindowFn open_ = [this](const QString& f, const std::string& t) {
    opened_.push_back({f, t});
  };

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    // The settings file lives beside a pretend executable in the scratch folder.
    const std::string root = dir_.path().toStdString();
    QFile ini(dir_.filePath("Vintrel.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.close();
    common::InitSharedPaths(root + "/tablorix");
    QCOMPARE(QString::fromStdString(common::IniFileName()), dir_.filePath("Vintrel.ini"));

    QDir(dir_.path()).mkdir("db");
    session_.DbOpenDatabase(root + "/db");
    session_.DbCreateTable("Customer",
                           {{"CustNo", paradox::kLong, 0},
                            {"Name", paradox::kAlpha, 30},
                            {"City", paradox::kAlpha, 20}},
                           1);
    // A lower-case table name and one accented field: both are used exactly as listed.
    session_.DbCreateTable("orders", {{"N\xE9v", paradox::kAlpha, 10}}, 0);
  }

  void init() { opened_.clear(); }

  void generatorsGiveExactTextInBothTargets_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("file_name");
    QTest::addColumn<QString>("text");
    auto add = [](const char* tag, ScriptCommand c, const char* table, const char* field,
                  const char* file, const QString& text) {
      QTest::newRow(tag) << int(c) << QString(table) << QString(field) << QString(file) << text;
    };
    add("select", ScriptCommand::kSelect, "Customer", "", "SEL_Customer.sql",
        "SELECT\r\n CustNo,\r\n Name,\r\n City\r\nFROM Customer\r\nWHERE <conditions>\r\n");
    add("insert", ScriptCommand::kInsert, "Customer", "", "INS_Customer.sql",
        "INSERT INTO Customer\r\n ( CustNo, Name, City)\r\n");
    add("update", ScriptCommand::kUpdate, "Customer", "", "UPD_Customer.sql",
        "UPDATE Customer SET\r\nWHERE <conditions>\r\n");
    add("delete", ScriptCommand::kDelete, "Customer", "", "DEL_Customer.sql",
        "DELETE FROM Customer\r\nWHERE <conditions>\r\n");
    add("drop", ScriptCommand::kDrop, "Customer", "", "Drop_Customer.sql",
        "DROP TABLE Customer;\r\n");
    add("alter", ScriptCommand::kAlter, "Customer", "", "Alter_Customer.sql",
        "ALTER TABLE Customer DROP ADD <FieldName Datatype>;\r\n");
    add("drop field", ScriptCommand::kDropField, "Customer", "City", "DropField_Customer.sql",
        "ALTER TABLE Customer DROP City;\r\n");
    add("single accented field", ScriptCommand::kSelect, "orders", "", "SEL_orders.sql",
        QString::fromUtf8("SELECT\r\n Név\r\nFROM orders\r\nWHERE <conditions>\r\n"));
    add("insert single field", ScriptCommand::kInsert, "orders", "", "INS_orders.sql",
        QString::fromUtf8("INSERT INTO orders\r\n ( Név)\r\n"));
  }
  void generatorsGiveExactTextInBothTargets() {
    QFETCH(int, command);
    QFETCH(QString, table);
    QFETCH(QString, field);
    QFETCH(QString, file_name);
    QFETCH(QString, text);
    const auto c = ScriptCommand(command);
    ScriptToWindow(session_, c, ui::ToWin1250(table), ui::ToWin1250(field), open_);
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].file_name, file_name);
    QCOMPARE(ui::FromWin1250(opened_[0].text), text);
    QCOMPARE(opened_[0].text, ui::ToWin1250(text));  // Windows-1250 bytes reach the window

    QGuiApplication::clipboard()->setText("old");
    ScriptToClipboard(session_, c, ui::ToWin1250(table), ui::ToWin1250(field));
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
  }

  void createScriptIsTheEngineFlavourScript() {
    ScriptToWindow(session_, ScriptCommand::kCreate, "Customer", "", open_);
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].file_name, QString("Create_Customer.sql"));
    QCOMPARE(opened_[0].text, CreateTableScript(session_, "Customer", SqlFlavour::kEngine));
    QVERIFY(QString::fromStdString(opened_[0].text).startsWith("CREATE TABLE customer("));
    ScriptToClipboard(session_, ScriptCommand::kCreate, "Customer");
    QCOMPARE(QGuiApplication::clipboard()->text(), ui::FromWin1250(opened_[0].text));
  }

  void sameCommandTwiceOpensTwoWindows() {
    ScriptToWindow(session_, ScriptCommand::kSelect, "Customer", "", open_);
    ScriptToWindow(session_, ScriptCommand::kSelect, "Customer", "", open_);
    QCOMPARE(opened_.size(), size_t(2));
    QCOMPARE(opened_[1].file_name, opened_[0].file_name);
  }

  void withoutSelectionNothingHappens() {
    QGuiApplication::clipboard()->setText("keep");
    for (ScriptCommand c : {ScriptCommand::kSelect, ScriptCommand::kDrop}) {
      ScriptToWindow(session_, c, "", "", open_);
      ScriptToClipboard(session_, c, "");
    }
    // Dropping a field needs a selected field as well.
    ScriptToWindow(session_, ScriptCommand::kDropField, "Customer", "", open_);
    ScriptToClipboard(session_, ScriptCommand::kDropField, "Customer", "");
    NewFieldToWindow(nullptr, "", open_);
    NewFieldToClipboard(nullptr, "");
    NewTableToWindow(nullptr, false, open_);
    QVERIFY(opened_.empty());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("keep"));
  }

  void engineErrorOpensNothingAndKeepsClipboard() {
    QGuiApplication::clipboard()->setText("keep");
    QVERIFY_THROWS_EXCEPTION(EngineError,
                             ScriptToWindow(session_, ScriptCommand::kSelect, "Gone", "", open_));
    QVERIFY_THROWS_EXCEPTION(EngineError,
                             ScriptToClipboard(session_, ScriptCommand::kInsert, "Gone"));
    QVERIFY(opened_.empty());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("keep"));
  }

  void databaseScriptOpensAsData01() {
    std::string last;
    DatabaseScriptToWindow(session_, SqlFlavour::kEngine, false, FormatSettings{}, open_,
                           [&](const std::string& t) { last = t; });
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].file_name, QString("DATA01.sql"));
    QCOMPARE(opened_[0].text,
             DatabaseScript(session_, SqlFlavour::kEngine, false, FormatSettings{}));
    QCOMPARE(last, std::string("orders"));
  }

  // The whole-database script steps a modal progress dialog through the tables and still gives
  // DatabaseScript's text, in both flavours, with and without rows.
  void databaseScriptShowsProgress_data() {
    QTest::addColumn<int>("flavour");
    QTest::addColumn<bool>("with_data");
    QTest::newRow("engine") << int(SqlFlavour::kEngine) << false;
    QTest::newRow("engine, rows") << int(SqlFlavour::kEngine) << true;
    QTest::newRow("mysql, rows") << int(SqlFlavour::kMySql) << true;
  }
  void databaseScriptShowsProgress() {
    QFETCH(int, flavour);
    QFETCH(bool, with_data);
    const auto f = SqlFlavour(flavour);
    ProgressSpy spy;
    DatabaseScriptToWindow(session_, f, with_data, FormatSettings{}, open_);
    QCOMPARE(spy.shown, 1);
    QCOMPARE(spy.maximum, int(session_.DbListTables().size()));
    QVERIFY(spy.modal);
    QVERIFY(!AnyProgressVisible());
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].text, DatabaseScript(session_, f, with_data, FormatSettings{}));
  }

  void cancelledDatabaseScriptOpensNothing() {
    ProgressSpy spy(true);
    bool selected = false;
    DatabaseScriptToWindow(session_, SqlFlavour::kEngine, true, FormatSettings{}, open_,
                           [&](const std::string&) { selected = true; });
    QCOMPARE(spy.shown, 1);
    QVERIFY(opened_.empty());
    QVERIFY(!selected);
    QVERIFY(!AnyProgressVisible());
  }

  void newFieldDialogComposesFromItsBoxes() {
    WhenShown<Tfrm_NewField>([](Tfrm_NewField& d) {
      QCOMPARE(d.windowTitle(), QString::fromUtf8("Új mező létrehozás"));
      QCOMPARE(d.ComboBox1->count(), 16);
      QCOMPARE(d.ComboBox1->currentIndex(), -1);
      QCOMPARE(d.Edit2->text(), QString("0"));
      QTest::keyClicks(d.Edit1, "Phone");
      d.ComboBox1->setCurrentIndex(d.ComboBox1->findText("String - CHAR(n)"));
      d.Edit2->setText("20");
      QTest::mouseClick(d.Button1, Qt::LeftButton);
    });
    NewFieldToWindow(nullptr, "Customer", open_);
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].file_name, QString("ALTER_Customer.sql"));
    QCOMPARE(opened_[0].text, std::string("ALTER TABLE Customer ADD Phone CHAR(20);\r\n"));
  }

  void newFieldStatements_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("statement");
    QTest::newRow("untouched") << QString() << QString() << QString("0")
                               << "ALTER TABLE t ADD  ;\r\n";
    QTest::newRow("zero length") << "F"
                                 << "String - CHAR(n)"
                                 << "0"
                                 << "ALTER TABLE t ADD F CHAR(0);\r\n";
    QTest::newRow("size unused") << "F"
                                 << "Timestamp - TIMESTAMP"
                                 << "12"
                                 << "ALTER TABLE t ADD F TIMESTAMP;\r\n";
    QTest::newRow("bytes") << "B"
                           << "Bytes - BYTES(n)"
                           << "8"
                           << "ALTER TABLE t ADD B BYTES(8);\r\n";
    QTest::newRow("spaces and accents")
        << QString::fromUtf8("Új mező") << "Memo - BLOB(0,1)"
        << "0" << QString::fromUtf8("ALTER TABLE t ADD Új mező BLOB(0,1);\r\n");
  }
  void newFieldStatements() {
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, size);
    QFETCH(QString, statement);
    WhenShown<Tfrm_NewField>([=](Tfrm_NewField& d) {
      d.Edit1->setText(name);
      if (!type.isEmpty()) d.ComboBox1->setCurrentIndex(d.ComboBox1->findText(type));
      d.Edit2->setText(size);
      QTest::keyClick(d.Edit2, Qt::Key_Return);  // OK is the default button
    });
    NewFieldToClipboard(nullptr, "t");
    QCOMPARE(QGuiApplication::clipboard()->text(), statement);
  }

  void newFieldCancel() {
    WhenShown<Tfrm_NewField>([](Tfrm_NewField& d) {
      d.Edit1->setText("X");
      QTest::mouseClick(d.Button2, Qt::LeftButton);
    });
    NewFieldToWindow(nullptr, "Customer", open_);
    QVERIFY(opened_.empty());

    // The clipboard variant puts the empty result there all the same.
    QGuiApplication::clipboard()->setText("old");
    WhenShown<Tfrm_NewField>([](Tfrm_NewField& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    NewFieldToClipboard(nullptr, "Customer");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
  }

  void newFieldReopensWhereItWasClosed() {
    WhenShown<Tfrm_NewField>([](Tfrm_NewField& d) {
      d.move(123, 87);
      d.reject();
    });
    NewFieldToWindow(nullptr, "Customer", open_);
    QPoint seen;
    WhenShown<Tfrm_NewField>([&](Tfrm_NewField& d) { seen = d.pos(); });
    NewFieldToWindow(nullptr, "Customer", open_);
    QCOMPARE(seen, QPoint(123, 87));
  }

  void newFieldFocusColour() {
    Tfrm_NewField d(nullptr);
    d.show();
    QApplication::setActiveWindow(&d);
    QVERIFY(QTest::qWaitForWindowActive(&d));
    d.Edit1->setFocus();
    QTRY_COMPARE(d.Edit1->palette().color(QPalette::Base), QColor(166, 202, 240));
    d.Edit2->setFocus();
    QTRY_COMPARE(d.Edit2->palette().color(QPalette::Base), QColor(166, 202, 240));
    QCOMPARE(d.Edit1->palette().color(QPalette::Base),
             QApplication::palette().color(QPalette::Base));
  }

  // --- the new-table designer ---------------------------------------------------------------

  void designerComposesTheStatement() {
    WhenShown<Tfrm_TablaCsinal>([](Tfrm_TablaCsinal& d) {
      QCOMPARE(d.windowTitle(), QString::fromUtf8("Új tábla létrehozás"));
      QCOMPARE(d.size(), QSize(588, 379));
      d.Edit1->setText("Partner");
      auto* m = d.Grid->model();
      const struct {
        const char* name;
        const char* type;
        const char* length;
      } rows[] = {{"Id", "Autoinc - AUTOINC", ""},
                  {"Name", "String - CHAR(n)", "40"},
                  {"Born", "Date - DATE", ""}};
      for (int r = 0; r < 3; ++r) {
        d.Grid->setFocus();
        QTest::keyClick(d.Grid, Qt::Key_Down);  // the grid appends a row
        QCOMPARE(m->rowCount(), r + 1);
        m->setData(m->index(r, TablaCsinalModel::kMezonev), rows[r].name, Qt::EditRole);
        m->setData(m->index(r, TablaCsinalModel::kAdattipus), rows[r].type, Qt::EditRole);
        m->setData(m->index(r, TablaCsinalModel::kHossz), rows[r].length, Qt::EditRole);
      }
      QTest::mouseClick(d.BtnOK, Qt::LeftButton);
    });
    NewTableToWindow(nullptr, true, open_);
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].file_name, QString("CREATE_NewTable.sql"));
    QCOMPARE(opened_[0].text, std::string("CREATE TABLE Partner(\r\n Id AUTOINC,\r\n Name "
                                          "CHAR(40),\r\n Born DATE\r\n);\r\n"));
  }

  void designerCloseAndEmpty() {
    WhenShown<Tfrm_TablaCsinal>([](Tfrm_TablaCsinal& d) {
      d.Edit1->setText("T");
      QTest::mouseClick(d.BtnBezar, Qt::LeftButton);
    });
    NewTableToWindow(nullptr, true, open_);
    QVERIFY(opened_.empty());
    // Closing stores the designer's bounds, whichever button closed it.
    const common::FormBounds b = common::LoadFormBounds(common::IniFileName(), "frm_TablaCsinal",
                                                        {0, 0, 1, 1}, {100000, 100000});
    QCOMPARE(QSize(b.width, b.height), QSize(588, 379));

    // Enter in the grid does not close the designer; OK with no rows gives the two bare lines.
    WhenShown<Tfrm_TablaCsinal>([](Tfrm_TablaCsinal& d) {
      d.Edit1->setText("T");
      QTest::keyClick(d.Grid, Qt::Key_Return);
      QVERIFY(d.isVisible());
      QTest::mouseClick(d.BtnOK, Qt::LeftButton);
    });
    NewTableToWindow(nullptr, true, open_);
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0].text, std::string("CREATE TABLE T(\r\n);\r\n"));
  }
};

QTEST_MAIN(ScriptsUiTest)
#include "scripts_ui_test.moc"
