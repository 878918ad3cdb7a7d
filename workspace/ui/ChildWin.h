// The SQL editor window: an MDI child holding one SQL text with the name of its file, the
// window's own query result and a read-only grid over it, and the file commands that act on it.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "engine/dataset.h"
#include "engine/sql/query_dataset.h"
#include "engine/sql/sql_session.h"

class QMdiArea;
class QMenu;
class QMdiSubWindow;
class QTabWidget;
class QTableView;
class QsciScintilla;

namespace tablorix::workspace {

class DatasetModel;

class TMDIChild : public QWidget {
  Q_OBJECT

 public:
  explicit TMDIChild(QWidget* parent = nullptr);
  ~TMDIChild() override;

  // The file the window saves to; Save As replaces it, the caption keeps the first name.
  QString FileName;

  QTabWidget* PageControl1;
  QWidget* TabSheet1;  // "SQL"
  QWidget* TabSheet2;  // "Eredmény"
  QsciScintilla* Memo1;
  QTableView* DBGrid1;

  // The open result set, or nullptr: what the export and print commands work on.
  tablorix::Dataset* Dataset();
  DatasetModel* ResultModel() { return model_.get(); }
  // Shows the rows of a prepared SELECT on the result tab. Throws EngineError when the statement
  // fails or its first rows cannot be read; the grid is empty then.
  void OpenResult(std::unique_ptr<SqlStatement> statement);
  // Empties the grid and closes the result set (before another database is opened).
  void CloseResult();

  // The editor's text in Windows-1250: every line followed by CR LF.
  std::string Lines() const;
  // What a run takes: the selection when there is one, otherwise Lines().
  std::string SqlText() const;
  void SetText(const std::string& text_win1250);
  // Whole-file reading and writing; a file that cannot be read or written throws
  // std::runtime_error with a message naming it. Relative names are taken from the current
  // directory.
  void LoadFromFile(const QString& file_name);
  void SaveToFile(const QString& file_name) const;
  // Whether the text changed since the window was opened, loaded or saved.
  bool IsModified() const;

  // The editor's context menu, made afresh for each use; the caller owns it.
  QMenu* MakeMemo1Menu(QWidget* parent);

  // The size the window's fonts take when it is shown (not the editor's).
  void SetScreenFontSize(int points) { font_size_ = points; }

 protected:
  void showEvent(QShowEvent* event) override;
  // A changed text asks first: Yes saves (Save As for a Noname window) and closes unless the
  // save is cancelled or fails, No closes, Cancel keeps the window.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Memo1ContextMenu(const QPoint& pos);

  std::unique_ptr<DatasetModel> model_;
  std::unique_ptr<QueryDataset> dataset_;
  int font_size_ = 0;
};

// The SQL window of an MDI child window, or nullptr when it is something else.
TMDIChild* SqlWindowOf(QMdiSubWindow* window);
// The active MDI child when it is an SQL window.
TMDIChild* ActiveSqlWindow(QMdiArea* area);

// A new SQL window in `area`, captioned `file_name`: the file's lines when it exists, then
// `text_win1250` instead when that is not empty. `font_size` 0 takes the screen font size.
TMDIChild* OpenSqlWindow(QMdiArea* area, const QString& file_name,
                         const std::string& text_win1250 = {}, int font_size = 0);

// The file commands. FileNew1: "Noname" + (child windows + 1) + ".sql". FileOpen1 asks for a
// file. FileSave1 and FileSaveAs1 act only on an active SQL window; a name starting "Noname" is
// saved as. FileClose1 closes the active child window of any kind. File errors are thrown.
TMDIChild* FileNew(QMdiArea* area);
TMDIChild* FileOpen(QMdiArea* area);
void FileSave(QMdiArea* area);
void FileSaveAs(QMdiArea* area);
void FileClose(QMdiArea* area);

// Closes the result set of every SQL window (another database is being opened).
void CloseResults(QMdiArea* area);

// Runs the window's SQL (its selection or its whole text) against `sql` as the "Futtat" command
// does; `refresh_lists` runs after statements other than a SELECT. Errors are shown in the
// window's boxes; anything else reaches the top-level error report.
void RunSqlInWindow(TMDIChild* window, SqlSession& sql, const std::function<void()>& refresh_lists);

// For tests: while set, the file dialogs are not shown and the hook answers instead (an empty
// name for Cancel). `save` tells the save dialog from the open one.
using FileDialogHook =
    std::function<QString(bool save, const QString& title, const QString& suggested)>;
void SetFileDialogHook(FileDialogHook hook);

}  // namespace tablorix::workspace
