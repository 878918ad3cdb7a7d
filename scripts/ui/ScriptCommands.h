// The script wizard commands: each builds its SQL text from the selected table (and field) and
// hands it to a new SQL window or puts it on the clipboard. The main window's actions call these.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "engine/format_settings.h"
#include "engine/session.h"
#include "scripts/core/script_templates.h"

namespace tablorix::scripts {

// Opens a new SQL window captioned `file_name` holding `text` (Windows-1250): OpenSqlWindow.
using OpenSqlWindowFn = std::function<void(const QString& file_name, const std::string& text)>;

// The single-statement wizards (aWizSelect ... aWizAlter, aDropField).
enum class ScriptCommand { kSelect, kUpdate, kInsert, kDelete, kCreate, kDrop, kAlter, kDropField };

struct Script {
  std::string file_name;  // the new window's name, Windows-1250
  std::string text;       // lines ending in CR LF
};

// The text and window name of `command` on `table` (and `field`, for kDropField). Throws
// EngineError when the table cannot be read.
Script BuildScript(Session& session, ScriptCommand command, const std::string& table,
                   const std::string& field = {});

// The new-window and clipboard variants. With no table selected (an empty name), or for
// kDropField no field, they do nothing. An engine error leaves no window and the clipboard as it
// was.
void ScriptToWindow(Session& session, ScriptCommand command, const std::string& table,
                    const std::string& field, const OpenSqlWindowFn& open);
void ScriptToClipboard(Session& session, ScriptCommand command, const std::string& table,
                       const std::string& field = {});

// Puts a script on the clipboard as plain text, replacing what it held.
void SetClipboardScript(const std::string& text);

// aAddNewField / aAddNewFieldC: the new-field dialog's statement for `table`. The window opens only
// after OK; the clipboard takes the result whatever it is, so Cancel leaves it holding an empty
// text.
void NewFieldToWindow(QWidget* owner, const std::string& table, const OpenSqlWindowFn& open);
void NewFieldToClipboard(QWidget* owner, const std::string& table);

// aUjTabla: runs only while a table is selected (`table_selected`); the designer's statement
// opens as "CREATE_NewTable.sql" after OK.
void NewTableToWindow(QWidget* owner, bool table_selected, const OpenSqlWindowFn& open);

// aTeljes, aTeljesAdat, aTeljes2, aTeljesAdat2: the whole-database script, opened as
// "DATA01.sql". Values are written in `settings`' formats. `select_table`, when given, is told
// the last table of the script, so that the lists end on it. A modal progress dialog steps
// through the tables; its Cancel stops the run, and then no window opens.
void DatabaseScriptToWindow(Session& session, SqlFlavour flavour, bool with_data,
                            const FormatSettings& settings, const OpenSqlWindowFn& open,
                            const std::function<void(const std::string&)>& select_table = {});

}  // namespace tablorix::scripts
