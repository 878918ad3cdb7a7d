// The shared Qt layer: the encoding boundary, the action factory, the error report and the
// one-line input dialog, over a settings file in a temporary folder.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

#include "common/core/Seged.h"
#include "common/core/ini_file.h"
#include "common/ui/InpStr.h"
#include "common/ui/actions.h"
#include "common/ui/encoding.h"
#include "common/ui/error_report.h"
#include "common/ui/message_boxes.h"

using namespace tablorix;
using namespace tablorix::ui;

class CommonUiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    // A Vintrel.ini beside the "executable" makes it the settings file.
    QString exe = dir_.path() + "/tablorix";
    common::IniFile().Save((dir_.path() + "/Vintrel.ini").toStdString());
    common::InitSharedPaths(exe.toStdString());
    QCOMPARE(QString::fromStdString(common::IniFileName()), dir_.path() + "/Vintrel.ini");
  }

  void encodingRoundTrip() {
    // "Árvíztűrő tükörfúrógép" in Windows-1250 bytes.
    std::string win = "\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p";
    QString q = FromWin1250(win);
    QCOMPARE(q, QStringLiteral("Árvíztűrő tükörfúrógép"));
    QCOMPARE(ToWin1250(q), win);
  }

  void actionsCarryNameTextAndShortcut() {
    QObject owner;
    QAction* a = MakeAction(&owner, "aRun", QStringLiteral("Futtat"), QKeySequence(Qt::Key_F5));
    QCOMPARE(owner.findChild<QAction*>("aRun"), a);
    QCOMPARE(a->text(), QStringLiteral("Futtat"));
    QCOMPARE(a->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(a->statusTip(), QStringLiteral("Futtat"));
  }

  void errorReportShowsTheMessageAndCarriesOn() {
    MessageRecorder rec;
    bool after = false;
    QVERIFY(!RunReported(nullptr, [&] {
      throw std::runtime_error(
          "T\xE1"
          "bla nem tal\xE1lhat\xF3");
      after = true;
    }));
    QVERIFY(!after);
    QCOMPARE(rec.messages.size(), size_t{1});
    QCOMPARE(rec.messages[0].caption, QStringLiteral("Vintrel"));
    QCOMPARE(rec.messages[0].text, QStringLiteral("Tábla nem található"));

    QVERIFY(!RunReported(nullptr, [] { throw 42; }));
    QCOMPARE(rec.messages.size(), size_t{2});
    QVERIFY(RunReported(nullptr, [] {}));
    QCOMPARE(rec.messages.size(), size_t{2});
  }

  void messageBoxCaptions() {
    MessageRecorder rec(false);
    ShowError("e", nullptr);
    ShowInfo("i", nullptr);
    QVERIFY(!ShowQuestion("q", "Törlés", nullptr));
    QCOMPARE(rec.messages.size(), size_t{3});
    QCOMPARE(rec.messages[0].caption, QStringLiteral("Hiba"));
    QCOMPARE(rec.messages[0].kind, MessageKind::kError);
    QCOMPARE(rec.messages[1].caption, QStringLiteral("Üzenet"));
    QCOMPARE(rec.messages[1].kind, MessageKind::kInfo);
    QCOMPARE(rec.messages[2].caption, QStringLiteral("Törlés"));
  }

  // What the user types, with and without keep-case, and what InputText returns.
  void inputTextFoldsUnlessKeepCase_data() {
    QTest::addColumn<bool>("keep_case");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("folded") << false << "='abc'"
                            << "= ABC ";
    QTest::newRow("accents folded") << false << "öt 'x'"
                                    << "OT  X ";
    QTest::newRow("kept") << true << "='abc'"
                          << "='abc'";
  }
  void inputTextFoldsUnlessKeepCase() {
    QFETCH(bool, keep_case);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    SetInpStrDriver([&](Tfrm_InpStr& d) {
      d.Edit1->clear();
      // One character at a time, as typing changes the box (keyClicks knows only ASCII).
      for (QChar c : typed) d.Edit1->insert(QString(c));
      // The caret follows the folded text.
      return d.Edit1->cursorPosition() == d.Edit1->text().size();
    });
    std::string value = "start";
    QVERIFY(InputText(nullptr, "Param", "Value:", &value, keep_case));
    SetInpStrDriver({});
    QCOMPARE(FromWin1250(value), expected);
  }

  void inputTextCancelKeepsValueAndPositionIsStored() {
    QString title, label;
    SetInpStrDriver([&](Tfrm_InpStr& d) {
      title = d.windowTitle();
      label = d.Label1->text();
      d.Edit1->setText("other");
      d.move(123, 45);
      return false;
    });
    std::string value = "kept";
    QVERIFY(!InputText(nullptr, "Cím", "Kérdés", &value, true));
    SetInpStrDriver({});
    QCOMPARE(title, QStringLiteral("Cím"));
    QCOMPARE(label, QStringLiteral("Kérdés"));
    QCOMPARE(value, std::string("kept"));
    int left = 0, top = 0;
    common::LoadFormPos(common::IniFileName(), "frm_InpStr", &left, &top);
    QCOMPARE(left, 123);
    QCOMPARE(top, 45);

    // The next dialog opens where the last one was closed.
    SetInpStrDriver([](Tfrm_InpStr& d) { return d.pos() == QPoint(123, 45); });
    QVERIFY(InputText(nullptr, "Cím", "Kérdés", &value, true));
    SetInpStrDriver({});
  }

 private:
  QTemporaryDir dir_;
};

QTEST_MAIN(CommonUiTest)
#include "common_ui_test.moc"
