// The main window: an MDI frame with the metadata lists of the open database on the left, the
// program's commands in menus and a toolbar, and a three-panel status bar. It owns the settings
// record, the engine session of the database directory and its SQL connection.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QStyledItemDelegate>
#include <array>
#include <memory>
#include <string>

#include "common/core/settings.h"
#include "engine/session.h"
#include "engine/sql/sql_session.h"

class QLabel;
class QListWidget;
class QMdiArea;
class QMenu;
class QToolBar;

namespace tablorix::app {

// Draws the field list: fixed 13-pixel rows, the fields of the primary index in bold.
class KeyFieldDelegate : public QStyledItemDelegate {
 public:
  // `marker` is the main window's KeyFieldsMarker: ";" + key fields joined by ";" + ";".
  KeyFieldDelegate(const std::string* marker, QObject* parent);
  bool IsKeyField(const QString& name) const;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Public so that the font a row is drawn with can be checked.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  const std::string* marker_;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // Reads the settings (common::IniFileName()) and opens their database directory; an engine
  // error goes to the error report and leaves the lists empty.
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The program's arguments (without the program name); the first is handled when the window is
  // first shown.
  void SetCommandLine(const QStringList& arguments) { arguments_ = arguments; }
  // The splash picture appears when the window is first shown (tests may turn it off).
  void SetSplashEnabled(bool on) { splash_enabled_ = on; }

  common::TBeall& Beall() { return settings_; }
  Session& session() { return *session_; }
  // The SQL connection of the open database, nullptr when none is open.
  SqlSession* sql() { return sql_.get(); }

  // Opens the database directory `path` and fills the lists; throws EngineError (after
  // DatabasePath already took `path`, the lists and the status bar keeping their contents).
  void OpenDatabasePath(const std::string& path);
  // Refills the three lists from the open database; the first table and field get selected.
  void RefreshLists();
  // Reloads the field and index lists (and KeyFieldsMarker) for the selected table.
  void SelectTable();
  // Selects `table` (letter case ignored) in the table list and runs SelectTable; false when
  // the list has no such table.
  bool SelectTableNamed(const std::string& table);

  // The selected items (Windows-1250), empty when nothing is selected.
  std::string SelectedTable() const;
  std::string SelectedField() const;
  std::string SelectedIndex() const;

  QMdiArea* MDIClient;
  QListWidget* ListBox1;  // tables
  QListWidget* ListBox2;  // fields of the selected table
  QListWidget* ListBox3;  // indexes of the selected table
  QLabel* Panel2;         // title of the tables
  QLabel* Panel6;         // title of the fields
  QLabel* Panel5;         // title of the indexes
  std::array<QLabel*, 3> StatusPanels;
  QToolBar* ToolBar1;
  QMenu* WindowMenu;  // "Ablakok"
  KeyFieldDelegate* FieldDelegate;
  // ";" + the primary index's fields + ";", or empty when the selected table has no primary index.
  std::string KeyFieldsMarker;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void WireCommands();
  void CreateMenus();
  void CreateToolBar();
  QWidget* CreateLeftPanel();
  void CreateStatusBar();
  // Connects the command `name` to `handler`, run through the error report.
  void On(const char* name, std::function<void()> handler);
  QAction* Action(const char* name) const;
  void FillFieldsAndIndexes(const std::string& table);
  void SetTitles();
  void HandleCommandLine();
  void OpenSqlText(const QString& file_name, const std::string& text);
  void EditCommand(const char* method);
  void TileChildren(bool horizontal);
  void ArrangeIcons();
  void RebuildWindowMenu();
  void ListContextMenu(QListWidget* list, const QPoint& pos);

  common::TBeall settings_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<SqlSession> sql_;
  bool db_open_ = false;
  QStringList arguments_;
  bool splash_enabled_ = true;
  bool shown_once_ = false;
  QMenu* table_menu_ = nullptr;
  QMenu* field_menu_ = nullptr;
  QMenu* index_menu_ = nullptr;
};

}  // namespace tablorix::app
