// The table and index maintenance commands.
#include "maintenance/ui/TableActions.h"

#include <memory>

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

}  // namespace

void PackTableCommand(QWidget* owner, Session& session, const std::string& table) {
  if (table.empty()) return;
  auto cursor = OpenExclusive(owner, session, table, "Sikertelen megnyitás");
  if (!cursor) return;
  const std::string driver_type = cursor->driver_type();
  session.DbCloseTable(*cursor);
  cursor.reset();
  if (session.DbPackTable(TableFile(table), driver_type))
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
