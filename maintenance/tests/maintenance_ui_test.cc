// The table and index commands and the index designer over a small table made here: their
// questions and messages (answered and read through the message recorder), the refusal while
// another session holds the table, and the indexes the designer creates and redefines.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "common/core/Seged.h"
#include "common/ui/message_boxes.h"
#include "engine/paradox/format.h"
#include "maintenance/ui/AddIndex.h"
#include "maintenance/ui/TableActions.h"

using namespace tablorix;
using namespace tablorix::maintenance;
using ui::MessageKind;
using ui::MessageRecorder;

namespace {

template <class D>
void WhenShown(std::function<void(D&)> drive) {
  QTimer::singleShot(0, [drive] {
    auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
    if (d == nullptr) return;
    drive(*d);
    if (d->isVisible()) d->reject();
  });
}

void DoubleClick(QListWidget* list, const QString& text) {
  const auto items = list->findItems(text, Qt::MatchExactly);
  QVERIFY(!items.isEmpty());
  const QRect r = list->visualItemRect(items.first());
  // A real double-click starts with a press on the item.
  QTest::mousePress(list->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

QStringList Items(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

const TIndexDef* FindIndex(const std::vector<TIndexDef>& defs, const std::string& name) {
  for (const auto& d : defs)
    if (d.name == name) return &d;
  return nullptr;
}

}  // namespace

class MaintenanceUiTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::string db_;
  Session session_;
  QWidget main_;  // stands for the main window, the owner of every box
  int refreshed_ = 0;
  RefreshListsFn refresh_ = [this] { ++refreshed_; };
  const std::string fields_ = "ID\r\nNEV\r\nVAROS\r\n";

  int64_t Rows(const std::string& table) {
    auto c = session_.DbOpenTable(table);
    const int64_t n = c->RowCount();
    session_.DbCloseTable(*c);
    return n;
  }
  std::vector<TIndexDef> Indexes(const std::string& table) {
    auto c = session_.DbOpenTable(table);
    auto defs = c->DbIndexDefs();
    session_.DbCloseTable(*c);
    return defs;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QFile ini(dir_.filePath("Vintrel.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.close();
    common::InitSharedPaths(dir_.path().toStdString() + "/tablorix");
    db_ = dir_.path().toStdString() + "/db";
    QVERIFY(QDir().mkpath(QString::fromStdString(db_)));
    session_.DbOpenDatabase(db_);
  }

  // A fresh table for every test: ID key, NEV, VAROS, three rows, a secondary index idx_NEV.
  void init() {
    refreshed_ = 0;
    for (const auto& t : session_.DbListTables()) session_.DbDeleteTable(t);
    session_.DbCreateTable(
        "Vevo",
        {{"ID", paradox::kLong, 0}, {"NEV", paradox::kAlpha, 20}, {"VAROS", paradox::kAlpha, 20}},
        1);
    OpenOptions o;
    o.read_only = false;
    auto c = session_.DbOpenTable("Vevo", o);
    for (int i = 1; i <= 3; ++i) {
      c->Insert();
      c->SetValue(0, Value::Int(i));
      c->SetValue(1, Value::Text("nev" + std::to_string(i)));
      c->Post();
    }
    session_.DbCloseTable(*c);
    session_.DbAddIndex("Vevo", "idx_NEV", "NEV", ixCaseInsensitive);
  }

  void refusedWhileTheTableIsHeldElsewhere_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("message");
    QTest::newRow("pack") << 0 << QString::fromUtf8("Sikertelen megnyitás");
    QTest::newRow("empty") << 1 << QString("Error on open table exclusively");
    QTest::newRow("delete table") << 2 << QString::fromUtf8("Sikertelen megnyitás");
    QTest::newRow("delete index") << 3 << QString::fromUtf8("Tábla exkluzív megnyitás sikertelen");
  }
  void refusedWhileTheTableIsHeldElsewhere() {
    QFETCH(int, action);
    QFETCH(QString, message);
    // Another session (a browser window, another program) holds the table exclusively.
    Session other;
    other.DbOpenDatabase(db_);
    OpenOptions exclusive;
    exclusive.exclusive = true;
    auto held = other.DbOpenTable("Vevo", exclusive);

    MessageRecorder yes(true);
    switch (action) {
      case 0:
        PackTableCommand(&main_, session_, "Vevo");
        break;
      case 1:
        EmptyTableCommand(&main_, session_, "Vevo");
        break;
      case 2:
        DeleteTableCommand(&main_, session_, "Vevo", refresh_);
        break;
      case 3:
        DeleteIndexCommand(&main_, session_, "Vevo", "idx_NEV", refresh_);
        break;
    }
    QVERIFY(!yes.messages.empty());
    const ui::ShownMessage& last = yes.messages.back();
    QCOMPARE(last.kind, MessageKind::kError);
    QCOMPARE(last.text, message);
    QCOMPARE(last.owner, &main_);
    QCOMPARE(refreshed_, 0);

    // Nothing changed, and the holder keeps working.
    QCOMPARE(held->RowCount(), int64_t(3));
    held->First();
    QCOMPARE(held->AsText("NEV"), std::string("nev1"));
    other.DbCloseTable(*held);
    QCOMPARE(Rows("Vevo"), int64_t(3));
    QVERIFY(FindIndex(Indexes("Vevo"), "idx_NEV") != nullptr);
  }

  void packKeepsRowsAndReports() {
    MessageRecorder rec;
    PackTableCommand(&main_, session_, "Vevo");
    QCOMPARE(rec.messages.size(), size_t(1));  // no question first
    QCOMPARE(rec.messages[0].kind, MessageKind::kInfo);
    QCOMPARE(rec.messages[0].text, QString::fromUtf8("Tábla tömörítés kész"));
    QCOMPARE(rec.messages[0].owner, &main_);
    QCOMPARE(Rows("Vevo"), int64_t(3));
    QVERIFY(FindIndex(Indexes("Vevo"), "idx_NEV") != nullptr);
  }

  // The pack runs behind a modal busy dialog (no Cancel: it cannot stop halfway) that is gone
  // when the message comes; the table keeps its live rows and its index.
  void packShowsBusyDialogUntilDone() {
    {
      OpenOptions o;
      o.read_only = false;
      auto c = session_.DbOpenTable("Vevo", o);
      c->First();
      c->Delete();
      session_.DbCloseTable(*c);
    }
    struct Spy : QObject {
      int shown = 0;
      bool modal = false, busy = false, cancel_button = true;
      bool eventFilter(QObject* o, QEvent* e) override {
        if (auto* d = qobject_cast<QProgressDialog*>(o); d && e->type() == QEvent::Show) {
          ++shown;
          modal = d->isModal();
          busy = d->minimum() == 0 && d->maximum() == 0;
          cancel_button = d->findChild<QPushButton*>() != nullptr;
        }
        return false;
      }
    } spy;
    qApp->installEventFilter(&spy);
    MessageRecorder rec;
    PackTableCommand(&main_, session_, "Vevo");
    qApp->removeEventFilter(&spy);
    QCOMPARE(spy.shown, 1);
    QVERIFY(spy.modal);
    QVERIFY(spy.busy);
    QVERIFY(!spy.cancel_button);
    for (QWidget* w : QApplication::topLevelWidgets())
      QVERIFY(!(qobject_cast<QProgressDialog*>(w) && w->isVisible()));
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].text, QString::fromUtf8("Tábla tömörítés kész"));
    QCOMPARE(Rows("Vevo"), int64_t(2));
    auto c = session_.DbOpenTable("Vevo");
    c->First();
    QCOMPARE(c->AsText("NEV"), std::string("nev2"));
    session_.DbCloseTable(*c);
    QVERIFY(FindIndex(Indexes("Vevo"), "idx_NEV") != nullptr);
  }

  void emptyAsksFirst() {
    {
      MessageRecorder no(false);
      EmptyTableCommand(&main_, session_, "Vevo");
      QCOMPARE(no.messages.size(), size_t(1));
      QCOMPARE(no.messages[0].kind, MessageKind::kQuestion);
      QCOMPARE(no.messages[0].caption, QString::fromUtf8("Megerősítés"));
      QCOMPARE(no.messages[0].text, QString::fromUtf8("Valóban töröljem az összes rekordot?"));
      QCOMPARE(no.messages[0].owner, &main_);
      QCOMPARE(Rows("Vevo"), int64_t(3));
    }
    MessageRecorder yes(true);
    EmptyTableCommand(&main_, session_, "Vevo");
    QCOMPARE(yes.messages.size(), size_t(2));
    QCOMPARE(yes.messages[1].kind, MessageKind::kInfo);
    QCOMPARE(yes.messages[1].text, QString::fromUtf8("Tábla üres"));
    QCOMPARE(Rows("Vevo"), int64_t(0));
    QVERIFY(FindIndex(Indexes("Vevo"), "idx_NEV") != nullptr);
  }

  void deleteTableAsksFirstAndRefreshes() {
    {
      MessageRecorder no(false);
      DeleteTableCommand(&main_, session_, "Vevo", refresh_);
      QCOMPARE(no.messages.size(), size_t(1));
      QCOMPARE(no.messages[0].text, QString::fromUtf8("Valóban töröljem a táblát?"));
      QCOMPARE(no.messages[0].caption, QString::fromUtf8("Megerősítés"));
      QCOMPARE(refreshed_, 0);
      QCOMPARE(session_.DbListTables(), std::vector<std::string>{"Vevo"});
    }
    MessageRecorder yes(true);
    DeleteTableCommand(&main_, session_, "Vevo", refresh_);
    QCOMPARE(yes.messages.size(), size_t(2));
    QCOMPARE(yes.messages[1].text, QString::fromUtf8("Tábla törölve"));
    QCOMPARE(refreshed_, 1);
    QVERIFY(session_.DbListTables().empty());
  }

  void deleteIndexNamesItAndRefreshes() {
    MessageRecorder rec;
    DeleteIndexCommand(&main_, session_, "Vevo", "idx_NEV", refresh_);
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].kind, MessageKind::kInfo);
    QCOMPARE(rec.messages[0].text, QString::fromUtf8("Index törölve: idx_NEV"));
    QCOMPARE(refreshed_, 1);
    QVERIFY(FindIndex(Indexes("Vevo"), "idx_NEV") == nullptr);
    QCOMPARE(Rows("Vevo"), int64_t(3));
  }

  void laterEngineErrorsReachTheCaller() {
    // The exclusive open succeeds; the delete of a missing index then fails: no message of the
    // command's own and no refresh, the error goes on to the error report.
    MessageRecorder rec;
    QVERIFY_THROWS_EXCEPTION(EngineError,
                             DeleteIndexCommand(&main_, session_, "Vevo", "idx_NONE", refresh_));
    QVERIFY(rec.messages.empty());
    QCOMPARE(refreshed_, 0);
  }

  void withoutSelectionNothingHappens() {
    MessageRecorder rec;
    PackTableCommand(&main_, session_, "");
    EmptyTableCommand(&main_, session_, "");
    DeleteTableCommand(&main_, session_, "", refresh_);
    DeleteIndexCommand(&main_, session_, "Vevo", "", refresh_);
    ShowAddIndexDialog(&main_, session_, fields_, "");
    ShowModifyIndexDialog(&main_, session_, fields_, "Vevo", "");
    QVERIFY(rec.messages.empty());
    QCOMPARE(refreshed_, 0);
    QCOMPARE(Rows("Vevo"), int64_t(3));
  }

  // --- the index designer -------------------------------------------------------------------

  void designerCreatesAnIndex() {
    MessageRecorder rec;
    WhenShown<Tfrm_AddIndex>([](Tfrm_AddIndex& d) {
      QCOMPARE(d.windowTitle(), QString::fromUtf8("Index hozzáadás"));
      QCOMPARE(d.Button5->text(), QString::fromUtf8("Létrehoz"));
      QCOMPARE(d.size(), QSize(343, 316));
      QCOMPARE(d.ListBox1->currentRow(), 0);
      DoubleClick(d.ListBox1, "VAROS");
      QCOMPARE(d.Edit1->text(), QString("idx_VAROS"));
      // Each double-click proposes a name after its field; ">" leaves the name alone.
      d.ListBox1->setCurrentRow(int(Items(d.ListBox1).indexOf("NEV")));
      QTest::mouseClick(d.Button1, Qt::LeftButton);
      QCOMPARE(Items(d.ListBox2), (QStringList{"VAROS", "NEV"}));
      QCOMPARE(Items(d.ListBox1), QStringList{"ID"});
      QCOMPARE(d.Edit1->text(), QString("idx_VAROS"));
      d.CheckBox1->setChecked(true);
      QTest::mouseClick(d.Button5, Qt::LeftButton);
      QVERIFY(!d.isVisible());
    });
    ShowAddIndexDialog(&main_, session_, fields_, "Vevo");
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].text, QString::fromUtf8("Index kész: idx_VAROS"));
    const TIndexDef* def = FindIndex(Indexes("Vevo"), "idx_VAROS");
    QVERIFY(def != nullptr);
    QCOMPARE(def->fields, std::string("VAROS;NEV"));
    QCOMPARE(def->options, TIndexOptions(ixCaseInsensitive | ixUnique));
  }

  void designerPrimaryIsPrimaryOnly() {
    session_.DbCreateTable("Nokey", {{"ID", paradox::kLong, 0}, {"NEV", paradox::kAlpha, 20}}, 0);
    MessageRecorder rec;
    WhenShown<Tfrm_AddIndex>([](Tfrm_AddIndex& d) {
      DoubleClick(d.ListBox1, "ID");
      d.CheckBox2->setChecked(true);
      d.CheckBox1->setChecked(true);
      d.CheckBox4->setChecked(true);
      QTest::mouseClick(d.Button5, Qt::LeftButton);
      // Primary empties the name and unticks the other two before the index is made.
      QCOMPARE(d.Edit1->text(), QString());
      QVERIFY(!d.CheckBox1->isChecked());
      QVERIFY(!d.CheckBox4->isChecked());
      QVERIFY(!d.isVisible());
    });
    ShowAddIndexDialog(&main_, session_, "ID\r\nNEV\r\n", "Nokey");
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].text, QString::fromUtf8("Index kész: "));
    const auto defs = Indexes("Nokey");
    QCOMPARE(defs.size(), size_t(1));
    QCOMPARE(defs[0].fields, std::string("ID"));
    QCOMPARE(defs[0].options, TIndexOptions(ixPrimary));
  }

  void designerKeepsItsContentsAfterAnEngineError() {
    MessageRecorder rec;
    WhenShown<Tfrm_AddIndex>([&rec](Tfrm_AddIndex& d) {
      // No field chosen: the engine refuses, the dialog stays with its name.
      d.Edit1->setText("idx_X");
      QTest::mouseClick(d.Button5, Qt::LeftButton);
      QVERIFY(d.isVisible());
      QCOMPARE(rec.messages.size(), size_t(1));
      QCOMPARE(rec.messages[0].kind, MessageKind::kReport);
      QCOMPARE(d.Edit1->text(), QString("idx_X"));
      // Corrected, the same press succeeds.
      DoubleClick(d.ListBox1, "NEV");
      d.Edit1->setText("idx_X");
      QTest::mouseClick(d.Button5, Qt::LeftButton);
      QVERIFY(!d.isVisible());
    });
    ShowAddIndexDialog(&main_, session_, fields_, "Vevo");
    QCOMPARE(rec.messages.back().text, QString::fromUtf8("Index kész: idx_X"));
    QVERIFY(FindIndex(Indexes("Vevo"), "idx_X") != nullptr);
  }

  void designerCloseChangesNothing() {
    MessageRecorder rec;
    WhenShown<Tfrm_AddIndex>([](Tfrm_AddIndex& d) {
      DoubleClick(d.ListBox1, "NEV");
      QTest::mouseClick(d.Button6, Qt::LeftButton);
    });
    ShowAddIndexDialog(&main_, session_, fields_, "Vevo");
    QVERIFY(rec.messages.empty());
    QCOMPARE(Indexes("Vevo").size(), size_t(2));
  }

  void designerModifiesAnIndex() {
    MessageRecorder rec;
    WhenShown<Tfrm_AddIndex>([](Tfrm_AddIndex& d) {
      QCOMPARE(d.windowTitle(), QString("Index: NEV"));
      QCOMPARE(d.Button5->text(), QString("Modify"));
      QCOMPARE(d.Edit1->text(), QString("idx_NEV"));
      QVERIFY(d.Edit1->isReadOnly());
      QCOMPARE(Items(d.ListBox2), QStringList{"NEV"});
      QCOMPARE(Items(d.ListBox1), (QStringList{"ID", "VAROS"}));
      // In modify mode a double-click keeps the name.
      DoubleClick(d.ListBox1, "VAROS");
      QCOMPARE(d.Edit1->text(), QString("idx_NEV"));
      d.CheckBox4->setChecked(true);
      QTest::mouseClick(d.Button5, Qt::LeftButton);
      QVERIFY(!d.isVisible());
    });
    ShowModifyIndexDialog(&main_, session_, fields_, "Vevo", "idx_NEV");
    QCOMPARE(rec.messages.size(), size_t(1));
    QCOMPARE(rec.messages[0].text, QString::fromUtf8("Index módosítva: idx_NEV"));
    const auto defs = Indexes("Vevo");
    QCOMPARE(defs.size(), size_t(2));
    const TIndexDef* def = FindIndex(defs, "idx_NEV");
    QVERIFY(def != nullptr);
    QCOMPARE(def->fields, std::string("NEV;VAROS"));
    QCOMPARE(def->options, TIndexOptions(ixCaseInsensitive | ixDescending));
  }

  void modifyRefusedWhileTheTableIsHeld() {
    Session other;
    other.DbOpenDatabase(db_);
    auto held = other.DbOpenTable("Vevo");  // a shared open is enough to refuse exclusive use
    bool shown = false;
    WhenShown<Tfrm_AddIndex>([&shown](Tfrm_AddIndex&) { shown = true; });
    QVERIFY_THROWS_EXCEPTION(EngineError,
                             ShowModifyIndexDialog(&main_, session_, fields_, "Vevo", "idx_NEV"));
    QCoreApplication::processEvents();
    QVERIFY(!shown);
    other.DbCloseTable(*held);
  }

  void designerReopensWhereItWasClosed() {
    WhenShown<Tfrm_AddIndex>([](Tfrm_AddIndex& d) {
      d.move(140, 60);
      QTest::keyClick(&d, Qt::Key_Escape);
    });
    ShowAddIndexDialog(&main_, session_, fields_, "Vevo");
    QPoint seen;
    WhenShown<Tfrm_AddIndex>([&seen](Tfrm_AddIndex& d) { seen = d.pos(); });
    ShowAddIndexDialog(&main_, session_, fields_, "Vevo");
    QCOMPARE(seen, QPoint(140, 60));
  }
};

QTEST_MAIN(MaintenanceUiTest)
#include "maintenance_ui_test.moc"
