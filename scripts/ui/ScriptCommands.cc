// The script wizard commands and their two targets.
#include "scripts/ui/ScriptCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QProgressDialog>

#include "common/ui/encoding.h"
#include "scripts/core/create_table_script.h"
#include "scripts/core/database_script.h"
#include "scripts/ui/NewField.h"
#include "scripts/ui/TablaCsinal.h"

namespace tablorix::scripts {

Script BuildScript(Session& session, ScriptCommand command, const std::string& table,
                   const std::string& field) {
  switch (command) {
    case ScriptCommand::kSelect:
      return {ScriptFileName(kSelectFilePrefix, table), SelectTemplate(session, table)};
    case ScriptCommand::kUpdate:
      return {ScriptFileName(kUpdateFilePrefix, table), UpdateTemplate(table)};
    case ScriptCommand::kInsert:
      return {ScriptFileName(kInsertFilePrefix, table), InsertTemplate(session, table)};
    case ScriptCommand::kDelete:
      return {ScriptFileName(kDeleteFilePrefix, table), DeleteTemplate(table)};
    case ScriptCommand::kCreate:
      return {ScriptFileName(kCreateFilePrefix, table),
              CreateTableScript(session, table, SqlFlavour::kEngine)};
    case ScriptCommand::kDrop:
      return {ScriptFileName(kDropFilePrefix, table), DropTableTemplate(table)};
    case ScriptCommand::kAlter:
      return {ScriptFileName(kAlterFilePrefix, table), AlterTemplate(table)};
    case ScriptCommand::kDropField:
      return {ScriptFileName(kDropFieldFilePrefix, table), DropFieldStatement(table, field)};
  }
  return {};
}

namespace {

bool HasSelection(ScriptCommand command, const std::string& table, const std::string& field) {
  return !table.empty() && (command != ScriptCommand::kDropField || !field.empty());
}

}  // namespace

void ScriptToWindow(Session& session, ScriptCommand command, const std::string& table,
                    const std::string& field, const OpenSqlWindowFn& open) {
  if (!HasSelection(command, table, field)) return;
  const Script script = BuildScript(session, command, table, field);
  open(ui::FromWin1250(script.file_name), script.text);
}

void ScriptToClipboard(Session& session, ScriptCommand command, const std::string& table,
                       const std::string& field) {
  if (!HasSelection(command, table, field)) return;
  SetClipboardScript(BuildScript(session, command, table, field).text);
}

void SetClipboardScript(const std::string& text) {
  QGuiApplication::clipboard()->setText(ui::FromWin1250(text));
}

void NewFieldToWindow(QWidget* owner, const std::string& table, const OpenSqlWindowFn& open) {
  if (table.empty()) return;
  const std::string statement = NewFieldStatement(owner, table);
  if (statement.empty()) return;
  open(ui::FromWin1250(ScriptFileName(kAddFieldFilePrefix, table)), statement);
}

void NewFieldToClipboard(QWidget* owner, const std::string& table) {
  if (table.empty()) return;
  SetClipboardScript(NewFieldStatement(owner, table));
}

void NewTableToWindow(QWidget* owner, bool table_selected, const OpenSqlWindowFn& open) {
  if (!table_selected) return;
  const std::string statement = NewTableStatement(owner);
  if (statement.empty()) return;
  open(QString::fromLatin1(kNewTableFileName), statement);
}

void DatabaseScriptToWindow(Session& session, SqlFlavour flavour, bool with_data,
                            const FormatSettings& settings, const OpenSqlWindowFn& open,
                            const std::function<void(const std::string&)>& select_table) {
  // A table at a time, so that the window stays painted and the user can stop a long run.
  const std::vector<std::string> tables = session.DbListTables();
  QProgressDialog progress(QString::fromUtf8("Script készítése..."), QString::fromUtf8("Mégsem"), 0,
                           int(tables.size()), QApplication::activeWindow());
  progress.setWindowTitle(QString::fromLatin1(kDatabaseScriptFileName));
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(0);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  progress.setValue(0);
  progress.show();
  const std::optional<std::string> text =
      DatabaseScript(session, flavour, with_data, settings,
                     [&](size_t done, size_t, const std::string& next_table) {
                       progress.setValue(int(done));
                       if (!next_table.empty()) progress.setLabelText(ui::FromWin1250(next_table));
                       QApplication::processEvents();
                       return !progress.wasCanceled();
                     });
  if (!text) return;
  progress.close();
  if (select_table && !tables.empty()) select_table(tables.back());
  open(QString::fromLatin1(kDatabaseScriptFileName), *text);
}

}  // namespace tablorix::scripts
