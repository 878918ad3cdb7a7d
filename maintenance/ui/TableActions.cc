// The table and index maintenance commands.
#include "maintenance/ui/TableActions.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QProgressDialog>
#include <exception>
#include <memory>
#include <thread>

#include "common/ui/encoding.h"
#include "common/ui/message_boxes.h"

namespace tablorix::maintenance {
namespace {

const QString kConfirm = QString::fromUtf8("Megerősítés");

// The table's file name as the engine receives it: the list item and ".DB".
std::string TableFile(const std::string& table) { return table + ".DB"; }

// Opens the table exclusively; on failure shows `failure` and returns null.
std::unique_ptr<Cursor> OpenExclusive(QWidget* owner, Session& session, const std::string& table,
                                      const char* failure) {
  OpenOptions options;
  options.exclusive = true;
  try {
    return session.DbOpenTable(TableFile(table), options);
  } catch (const std::exception&) {
    ui::ShowError(QString::fromUtf8(failure), owner);
    return nullptr;
  }
}

// A busy indicator that stays until the work behind it ends: it has no Cancel, and Esc or the
// close box do not take it away (the work cannot be stopped halfway).
class BusyDialog : public QProgressDialog {
 public:
  BusyDialog(const QString& label, QWidget* owner)
      : QProgressDialog(label, QString(), 0, 0, owner) {
    setCancelButton(nullptr);
    setWindowModality(Qt::ApplicationModal);
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
  }
  void Finish() {
    finished_ = true;
    close();
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (finished_)
      QProgressDialog::closeEvent(event);
    else
      event->ignore();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) return;
    QProgressDialog::keyPressEvent(event);
  }

 private:
  bool finished_ = false;
};

// Runs `work` on a thread of its own while the event loop keeps the windows painted behind a
// modal busy dialog; returns its result or rethrows its exception here. The loop takes no user
// input, so nothing else reaches the session while the work has it.
bool RunBusy(QWidget* owner, const QString& label, const std::function<bool()>& work) {
  BusyDialog dialog(label, owner);
  dialog.show();
  QEventLoop loop;
  bool result = false;
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      result = work();
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  dialog.Finish();
  if (error) std::rethrow_exception(error);
  return result;
}

}  // namespace

void PackTableCommand(QWidget* owner, Session& session, const std::string& table) {
  if (table.empty()) return;
  auto cursor = OpenExclusive(owner, session, table, "Sikertelen megnyitás");
  if (!cursor) return;
  const std::string driver_type = cursor->driver_type();
  session.DbCloseTable(*cursor);
  cursor.reset();
  const bool packed =
      RunBusy(owner, QString::fromUtf8("Tábla tömörítése: ") + ui::FromWin1250(table),
              [&] { return session.DbPackTable(TableFile(table), driver_type); });
  if (packed)
    ui::ShowInfo(QString::fromUtf8("Tábla tömörítés kész"), owner);
  else
    ui::ShowError(QString::fromUtf8("Hiba a tömörítés közben"), owner);
}

void EmptyTableCommand(QWidget* owner, Session& session, const std::string& table) {
  if (table.empty()) return;
  if (!ui::ShowQuestion(QString::fromUtf8("Valóban töröljem az összes rekordot?"), kConfirm, owner))
    return;
  auto cursor = OpenExclusive(owner, session, table, "Error on open table exclusively");
  if (!cursor) return;
  session.DbCloseTable(*cursor);
  cursor.reset();
  session.DbEmptyTable(TableFile(table));
  ui::ShowInfo(QString::fromUtf8("Tábla üres"), owner);
}

void DeleteTableCommand(QWidget* owner, Session& session, const std::string& table,
                        const RefreshListsFn& refresh) {
  if (table.empty()) return;
  if (!ui::ShowQuestion(QString::fromUtf8("Valóban töröljem a táblát?"), kConfirm, owner)) return;
  auto cursor = OpenExclusive(owner, session, table, "Sikertelen megnyitás");
  if (!cursor) return;
  session.DbCloseTable(*cursor);
  cursor.reset();
  session.DbDeleteTable(TableFile(table));
  ui::ShowInfo(QString::fromUtf8("Tábla törölve"), owner);
  if (refresh) refresh();
}

void DeleteIndexCommand(QWidget* owner, Session& session, const std::string& table,
                        const std::string& index, const RefreshListsFn& refresh) {
  if (table.empty() || index.empty()) return;
  auto cursor = OpenExclusive(owner, session, table, "Tábla exkluzív megnyitás sikertelen");
  if (!cursor) return;
  session.DbCloseTable(*cursor);
  cursor.reset();
  session.DbDeleteIndex(TableFile(table), index);
  ui::ShowInfo(QString::fromUtf8("Index törölve: ") + ui::FromWin1250(index), owner);
  if (refresh) refresh();
}

}  // namespace tablorix::maintenance
