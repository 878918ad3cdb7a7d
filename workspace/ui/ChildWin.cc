// The SQL editor window, its file commands and the running of its SQL.
#include "workspace/ui/ChildWin.h"

#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <stdexcept>

#include "common/ui/InpStr.h"
#include "common/ui/actions.h"
#include "common/ui/encoding.h"
#include "common/ui/error_report.h"
#include "common/ui/form_placement.h"
#include "common/ui/message_boxes.h"
#include "engine/sql/db_query.h"
#include "workspace/core/run_sql.h"
#include "workspace/ui/dataset_model.h"

namespace tablorix::workspace {
namespace {

constexpr int kColumnWidth = 64;
FileDialogHook g_file_dialog_hook;

// The editor's colours, given as 0x00BBGGRR.
QColor FromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

void SetUpEditor(QsciScintilla* memo) {
  memo->setUtf8(true);
  memo->setEolMode(QsciScintilla::EolWindows);
  const QFont text_font(QStringLiteral("Courier New"), 10);
  auto* lexer = new QsciLexerSQL(memo);
  lexer->setDefaultFont(text_font);
  lexer->setFont(text_font);
  for (int style :
       {QsciLexerSQL::Comment, QsciLexerSQL::CommentLine, QsciLexerSQL::CommentDoc,
        QsciLexerSQL::CommentLineHash, QsciLexerSQL::PlusComment, QsciLexerSQL::CommentDocKeyword})
    lexer->setColor(Qt::darkGreen, style);
  lexer->setColor(Qt::blue, QsciLexerSQL::Number);
  for (int style : {QsciLexerSQL::SingleQuotedString, QsciLexerSQL::DoubleQuotedString})
    lexer->setColor(Qt::red, style);
  memo->setLexer(lexer);
  // Line numbers three digits wide in a smaller face.
  const QFont gutter_font(QStringLiteral("Courier New"), 8);
  memo->setMarginType(0, QsciScintilla::NumberMargin);
  memo->setMarginsFont(gutter_font);
  memo->setMarginWidth(0, QStringLiteral("0000"));
  memo->setMarginLineNumbers(0, true);
  memo->setCaretLineVisible(true);
  memo->setCaretLineBackgroundColor(FromBgr(0xD7FFFF));
  memo->setSelectionBackgroundColor(QColor(0xC0, 0xC0, 0xC0));
  memo->setContextMenuPolicy(Qt::CustomContextMenu);
}

// Lines of a text as a memo keeps them: CR LF, LF or CR ends a line, and a final line end does
// not start another line.
QStringList SplitLines(const QString& text) {
  QString t = text;
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), '\n');
  QStringList lines = t.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
  return lines;
}

std::runtime_error FileError(const QString& what, const QString& file_name, const QFile& f) {
  return std::runtime_error(ui::ToWin1250(what + QStringLiteral(" \"") + file_name +
                                          QStringLiteral("\": ") + f.errorString()));
}

QString AskFileName(QWidget* owner, bool save, const QString& title, const QString& suggested) {
  if (g_file_dialog_hook) return g_file_dialog_hook(save, title, suggested);
  QFileDialog dialog(owner, title, suggested);
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("sql"));
    dialog.setNameFilters({QStringLiteral("SQL files (*.sql)"), QStringLiteral("All files (*.*)")});
    dialog.selectFile(suggested);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("db"));
    dialog.setNameFilters({QStringLiteral("SQL files (*.sql)"), QStringLiteral("All files (*.*)")});
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

// False when the name dialog was cancelled.
bool SaveAs(TMDIChild* w) {
  const QString name = AskFileName(w, true, QStringLiteral("Save SQL file"), w->FileName);
  if (name.isEmpty()) return false;
  w->FileName = name;
  w->SaveToFile(name);
  return true;
}

// A window still under its generated name has no file yet: it is saved as.
bool Save(TMDIChild* w) {
  if (w->FileName.startsWith(QStringLiteral("Noname"), Qt::CaseSensitive)) return SaveAs(w);
  w->SaveToFile(w->FileName);
  return true;
}

// RunSql's window: boxes owned by the SQL window, the caption on its MDI frame.
class WindowHost : public RunSqlHost {
 public:
  WindowHost(TMDIChild* window, const std::function<void()>& refresh)
      : window_(window), refresh_(refresh) {}
  bool InputText(const std::string& caption, const std::string& prompt,
                 std::string* value) override {
    return ui::InputText(window_, ui::FromWin1250(caption), ui::FromWin1250(prompt), value, false);
  }
  void ShowError(const std::string& text) override {
    ui::ShowError(ui::FromWin1250(text), window_);
  }
  void ShowInfo(const std::string& text) override { ui::ShowInfo(ui::FromWin1250(text), window_); }
  void SetCaption(const std::string& text) override {
    window_->setWindowTitle(ui::FromWin1250(text));
  }
  void OpenResult(std::unique_ptr<SqlStatement> statement) override {
    window_->OpenResult(std::move(statement));
  }
  void RefreshLists() override {
    if (refresh_) refresh_();
  }

 private:
  TMDIChild* window_;
  const std::function<void()>& refresh_;
};

}  // namespace

TMDIChild::TMDIChild(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MDIChild"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(719, 510);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  layout->addWidget(PageControl1);

  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  auto* l1 = new QVBoxLayout(TabSheet1);
  l1->setContentsMargins(0, 0, 0, 0);
  Memo1 = new QsciScintilla(TabSheet1);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  SetUpEditor(Memo1);
  l1->addWidget(Memo1);
  connect(Memo1, &QWidget::customContextMenuRequested, this, &TMDIChild::Memo1ContextMenu);
  PageControl1->addTab(TabSheet1, QStringLiteral("SQL"));

  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  auto* l2 = new QVBoxLayout(TabSheet2);
  l2->setContentsMargins(0, 0, 0, 0);
  DBGrid1 = new QTableView(TabSheet2);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSortingEnabled(false);
  DBGrid1->horizontalHeader()->setSectionsClickable(false);
  DBGrid1->horizontalHeader()->setFont(QFont(QStringLiteral("Tahoma"), 8));
  // One line per record, texts clipped at the column's edge, as a data grid shows them.
  DBGrid1->setWordWrap(false);
  DBGrid1->setTextElideMode(Qt::ElideNone);
  DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  l2->addWidget(DBGrid1);
  PageControl1->addTab(TabSheet2, QStringLiteral("Eredmény"));
  PageControl1->setCurrentWidget(TabSheet1);
}

// The view lets go of the model, then the model of the dataset, before the dataset goes.
TMDIChild::~TMDIChild() { CloseResult(); }

tablorix::Dataset* TMDIChild::Dataset() { return dataset_.get(); }

void TMDIChild::CloseResult() {
  DBGrid1->setModel(nullptr);
  model_.reset();
  dataset_.reset();
}

void TMDIChild::OpenResult(std::unique_ptr<SqlStatement> statement) {
  CloseResult();
  auto dataset = DbOpenQuery(std::move(statement));
  auto model =
      std::make_unique<DatasetModel>(*dataset, FormatSettingsFromLocale(QLocale::system()));
  dataset_ = std::move(dataset);
  model_ = std::move(model);
  connect(
      model_.get(), &DatasetModel::ReadFailed, this,
      [this](const QString& message) {
        ui::ShowError(QStringLiteral("SQL error:\r\n") + message, this);
      },
      Qt::QueuedConnection);
  DBGrid1->setModel(model_.get());
  DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 4);
  for (int c = 0; c < model_->columnCount(); ++c) DBGrid1->setColumnWidth(c, kColumnWidth);
  PageControl1->setCurrentWidget(TabSheet2);
}

std::string TMDIChild::Lines() const {
  std::string out;
  for (const QString& line : SplitLines(Memo1->text())) out += ui::ToWin1250(line) + "\r\n";
  return out;
}

std::string TMDIChild::SqlText() const {
  if (Memo1->hasSelectedText()) return ui::ToWin1250(Memo1->selectedText());
  return Lines();
}

void TMDIChild::SetText(const std::string& text_win1250) {
  Memo1->setText(SplitLines(ui::FromWin1250(text_win1250)).join(QStringLiteral("\r\n")));
}

void TMDIChild::LoadFromFile(const QString& file_name) {
  QFile f(file_name);
  if (!f.open(QIODevice::ReadOnly))
    throw FileError(QStringLiteral("Cannot open file"), file_name, f);
  const QByteArray bytes = f.readAll();
  SetText(std::string(bytes.constData(), size_t(bytes.size())));
}

void TMDIChild::SaveToFile(const QString& file_name) const {
  const std::string text = Lines();
  QFile f(file_name);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw FileError(QStringLiteral("Cannot create file"), file_name, f);
  if (f.write(text.data(), qint64(text.size())) != qint64(text.size()) || !f.flush())
    throw FileError(QStringLiteral("Cannot write file"), file_name, f);
  Memo1->setModified(false);
}

bool TMDIChild::IsModified() const { return Memo1->isModified(); }

void TMDIChild::closeEvent(QCloseEvent* event) {
  bool may_close = !IsModified();
  if (!may_close) {
    // A failed save is reported and keeps the window with its text.
    ui::RunReported(this, [&] {
      const QString question =
          QStringLiteral("A(z) %1 módosult. Menti?").arg(QFileInfo(FileName).fileName());
      switch (ui::ShowYesNoCancel(question, QStringLiteral("Megerősítés"), this)) {
        case ui::Answer::kYes:
          may_close = Save(this);
          break;
        case ui::Answer::kNo:
          may_close = true;
          break;
        case ui::Answer::kCancel:
          break;
      }
    });
  }
  if (may_close)
    event->accept();
  else
    event->ignore();
}

void TMDIChild::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The window's font follows the screen font size; the editor keeps its own through the lexer.
  QFont f = font();
  f.setPointSize(font_size_ > 0 ? font_size_ : ui::ScreenFontSize());
  setFont(f);
  Memo1->setFocus();
}

// The main window's edit commands and "Futtat" when it has them; otherwise the editor's own edit
// commands (a window outside a main window has nothing to run with).
QMenu* TMDIChild::MakeMemo1Menu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  QWidget* top = window();
  auto add = [&](const char* name, const QString& text, const std::function<void()>& own) {
    QAction* a = top != this ? top->findChild<QAction*>(QLatin1String(name)) : nullptr;
    if (a) {
      menu->addAction(a);
    } else if (own) {
      connect(menu->addAction(text), &QAction::triggered, Memo1, own);
    }
  };
  add("EditUndo1", QStringLiteral("Visszavon"), [this] { Memo1->undo(); });
  menu->addSeparator();
  add("EditCut1", QStringLiteral("Kivág"), [this] { Memo1->cut(); });
  add("EditCopy1", QStringLiteral("Másol"), [this] { Memo1->copy(); });
  add("EditPaste1", QStringLiteral("Beilleszt"), [this] { Memo1->paste(); });
  menu->addSeparator();
  add("EditSelectAll1", QStringLiteral("Mindet kijelöl"), [this] { Memo1->selectAll(); });
  menu->addSeparator();
  add("aRun", QStringLiteral("Futtat"), {});
  return menu;
}

void TMDIChild::Memo1ContextMenu(const QPoint& pos) {
  std::unique_ptr<QMenu> menu(MakeMemo1Menu(this));
  menu->exec(Memo1->mapToGlobal(pos));
}

TMDIChild* SqlWindowOf(QMdiSubWindow* window) {
  return window ? qobject_cast<TMDIChild*>(window->widget()) : nullptr;
}

TMDIChild* ActiveSqlWindow(QMdiArea* area) {
  return area ? SqlWindowOf(area->activeSubWindow()) : nullptr;
}

TMDIChild* OpenSqlWindow(QMdiArea* area, const QString& file_name, const std::string& text_win1250,
                         int font_size) {
  auto* child = new TMDIChild;
  child->SetScreenFontSize(font_size);
  child->setWindowTitle(file_name);
  QMdiSubWindow* sub = area->addSubWindow(child);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  child->show();
  if (QFile::exists(file_name)) child->LoadFromFile(file_name);
  if (!text_win1250.empty()) child->SetText(text_win1250);
  child->FileName = file_name;
  // What the window opens with counts as unchanged.
  child->Memo1->setModified(false);
  area->setActiveSubWindow(sub);
  return child;
}

TMDIChild* FileNew(QMdiArea* area) {
  const int n = int(area->subWindowList().size()) + 1;
  return OpenSqlWindow(area, QStringLiteral("Noname%1.sql").arg(n));
}

TMDIChild* FileOpen(QMdiArea* area) {
  const QString name =
      AskFileName(area->window(), false, QStringLiteral("Open SQLite database"), QString());
  if (name.isEmpty()) return nullptr;
  return OpenSqlWindow(area, QFileInfo(name).absoluteFilePath());
}

void FileSave(QMdiArea* area) {
  TMDIChild* w = ActiveSqlWindow(area);
  if (w) Save(w);
}

void FileSaveAs(QMdiArea* area) {
  if (TMDIChild* w = ActiveSqlWindow(area)) SaveAs(w);
}

void FileClose(QMdiArea* area) {
  if (QMdiSubWindow* sub = area->activeSubWindow()) sub->close();
}

void CloseResults(QMdiArea* area) {
  for (QMdiSubWindow* sub : area->subWindowList())
    if (TMDIChild* w = SqlWindowOf(sub)) w->CloseResult();
}

void RunSqlInWindow(TMDIChild* window, SqlSession& sql,
                    const std::function<void()>& refresh_lists) {
  if (!window) return;
  ui::RunReported(window, [&] {
    // The new text closes the result still open in this window.
    const std::string text = window->SqlText();
    window->CloseResult();
    WindowHost host(window, refresh_lists);
    RunSql(sql, text, host);
  });
}

void SetFileDialogHook(FileDialogHook hook) { g_file_dialog_hook = std::move(hook); }

}  // namespace tablorix::workspace
