// The table and index maintenance commands of the main window: pack, empty and delete a table,
// delete an index. Each first proves that the table can be opened exclusively, so that a table
// held open anywhere else (a browser window, another program) is left alone.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "engine/session.h"

namespace tablorix::maintenance {

// Refills the main window's lists (RefreshLists).
using RefreshListsFn = std::function<void()>;

// `owner` is the main window: every question and message names it. `table` is the selected
// item of the tables list (a bare name), `index` the selected item of the index list; an empty
// name makes the command do nothing. Engine errors after the exclusive open are not caught:
// they reach the caller's error report, and the message and the refresh do not come.

// aPackTable: "Tábla tömörítés kész", or "Hiba a tömörítés közben" when the pack failed. The
// pack runs on a worker thread behind a modal busy dialog, the windows kept painted meanwhile.
void PackTableCommand(QWidget* owner, Session& session, const std::string& table);
// aEmptyTable: asks first; "Tábla üres".
void EmptyTableCommand(QWidget* owner, Session& session, const std::string& table);
// aDeleteTable: asks first; "Tábla törölve", then the lists are refilled.
void DeleteTableCommand(QWidget* owner, Session& session, const std::string& table,
                        const RefreshListsFn& refresh);
// aDeleteIndex: "Index törölve: " and the name, then the lists are refilled.
void DeleteIndexCommand(QWidget* owner, Session& session, const std::string& table,
                        const std::string& index, const RefreshListsFn& refresh);

}  // namespace tablorix::maintenance
