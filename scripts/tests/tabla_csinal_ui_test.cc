// The new-table designer's grid: row numbering, "Fel" / "Le", the two ways of deleting a row and
// the type column's editor.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "common/ui/message_boxes.h"
#include "scripts/core/TablaCsinal.h"
#include "scripts/ui/TablaCsinal.h"

using namespace tablorix;
using namespace tablorix::scripts;

class TablaCsinalUiTest : public QObject {
  Q_OBJECT

 private slots:
  void designerNumbersRows() {
    Tfrm_TablaCsinal d(nullptr);
    auto* m = d.Grid->model();
    auto numbers = [m] {
      QStringList out;
      for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, TablaCsinalModel::kSsz).data().toString();
      return out.join(",");
    };
    for (const char* name : {"A", "B", "C"}) {
      QTest::keyClick(d.Grid, Qt::Key_Down);
      m->setData(m->index(m->rowCount() - 1, TablaCsinalModel::kMezonev), name, Qt::EditRole);
    }
    // A new row shows the default type until another is picked; Down on an untouched new row
    // adds no second one, and leaving it drops it.
    QTest::keyClick(d.Grid, Qt::Key_Down);
    QCOMPARE(m->rowCount(), 4);
    QCOMPARE(m->index(3, TablaCsinalModel::kAdattipus).data().toString(), QString("Float - FLOAT"));
    QTest::keyClick(d.Grid, Qt::Key_Down);
    QCOMPARE(m->rowCount(), 4);
    d.Grid->setCurrentIndex(m->index(1, TablaCsinalModel::kMezonev));
    QTRY_COMPARE(m->rowCount(), 3);
    QCOMPARE(numbers(), QString("1,2,3"));

    // "Fel" on the second row exchanges numbers; the rows stay where they are.
    QTest::mouseClick(d.BtnFel, Qt::LeftButton);
    QCOMPARE(numbers(), QString("2,1,3"));
    QCOMPARE(d.Grid->currentIndex().row(), 1);
    QTest::mouseClick(d.BtnLe, Qt::LeftButton);
    QCOMPARE(numbers(), QString("1,2,3"));
    QVERIFY(!numbers().contains("999"));

    // The grid's delete key asks first; "Töröl" does not. Both renumber.
    {
      ui::MessageRecorder no(false);
      QTest::keyClick(d.Grid, Qt::Key_Delete, Qt::ControlModifier);
      QCOMPARE(no.messages.size(), size_t(1));
      QCOMPARE(no.messages[0].kind, ui::MessageKind::kQuestion);
      QCOMPARE(m->rowCount(), 3);
    }
    {
      ui::MessageRecorder yes(true);
      QTest::keyClick(d.Grid, Qt::Key_Delete, Qt::ControlModifier);
      QCOMPARE(m->rowCount(), 2);
      QCOMPARE(numbers(), QString("1,2"));
      QTest::mouseClick(d.BtnTorol, Qt::LeftButton);
      QCOMPARE(yes.messages.size(), size_t(1));
    }
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(numbers(), QString("1"));
    d.Edit1->setText("X");
    QCOMPARE(d.Statement(), std::string("CREATE TABLE X(\r\n A FLOAT\r\n);\r\n"));
  }

  void designerTypeEditorOffersTheTypeList() {
    Tfrm_TablaCsinal d(nullptr);
    auto* m = d.Grid->model();
    QTest::keyClick(d.Grid, Qt::Key_Down);
    const QModelIndex cell = m->index(0, TablaCsinalModel::kAdattipus);
    QAbstractItemDelegate* delegate = d.Grid->itemDelegateForColumn(TablaCsinalModel::kAdattipus);
    QVERIFY(delegate != nullptr);
    QWidget* editor = delegate->createEditor(d.Grid->viewport(), {}, cell);
    auto* box = qobject_cast<QComboBox*>(editor);
    QVERIFY(box != nullptr);
    QCOMPARE(box->count(), int(TablaCsinalTypeList().size()));
    delegate->setEditorData(box, cell);
    QCOMPARE(box->currentText(), QString("Float - FLOAT"));
    box->setCurrentIndex(box->findText("Bytes - BYTES(n)"));
    delegate->setModelData(box, m, cell);
    m->setData(m->index(0, TablaCsinalModel::kHossz), "6", Qt::EditRole);
    delete editor;
    QCOMPARE(d.rows().Row(0).adattipus, std::optional<int>(16));
    d.Edit1->setText("B");
    QCOMPARE(d.Statement(), std::string("CREATE TABLE B(\r\n  BYTES(6)\r\n);\r\n"));
  }

  void typingIntoTheGridFillsTheRows() {
    Tfrm_TablaCsinal d(nullptr);
    d.show();
    QApplication::setActiveWindow(&d);
    QVERIFY(QTest::qWaitForWindowActive(&d));
    d.Grid->setFocus();
    QTest::keyClick(d.Grid, Qt::Key_Down);
    d.Grid->setCurrentIndex(d.Grid->model()->index(0, TablaCsinalModel::kMezonev));
    // A key typed into a cell opens its editor; Tab takes the text and goes to the next cell.
    QTest::keyClicks(QApplication::focusWidget(), "Nev");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(d.Grid->currentIndex().column(), int(TablaCsinalModel::kAdattipus));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(d.Grid->currentIndex().column(), int(TablaCsinalModel::kHossz));
    QTest::keyClicks(QApplication::focusWidget(), "12");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // Enter hands the text over on the next turn of the event loop.
    QTRY_COMPARE(d.rows().Row(0).hossz, std::optional<int>(12));
    QCOMPARE(d.rows().Row(0).mezonev, std::optional<std::string>("Nev"));
    // A name still in its editor when OK is pressed is part of the statement.
    d.Grid->setFocus();
    QTest::keyClick(d.Grid, Qt::Key_Down);
    d.Grid->setCurrentIndex(d.Grid->model()->index(1, TablaCsinalModel::kMezonev));
    QTest::keyClicks(QApplication::focusWidget(), "Kor");
    d.Edit1->setText("T");
    QTest::mouseClick(d.BtnOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.Statement(), std::string("CREATE TABLE T(\r\n Nev FLOAT,\r\n Kor FLOAT\r\n);\r\n"));
  }
};

QTEST_MAIN(TablaCsinalUiTest)
#include "tabla_csinal_ui_test.moc"
