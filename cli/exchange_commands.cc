// tablorix-cli export and import. Names and SQL arrive in UTF-8 and go to the engine in
// Windows-1250; file contents are the engine's bytes, as the windows write and read them.
#include "cli/exchange_commands.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/core/Seged.h"
#include "engine/dataset.h"
#include "engine/paradox/codepage.h"
#include "engine/sql/query_dataset.h"
#include "engine/sql/sql_session.h"
#include "exchange/core/Betolt.h"
#include "exchange/core/Hatarolt.h"

namespace tablorix::cli {
namespace {

std::string U(const std::string& win1250) { return paradox::Win1250ToUtf8(win1250); }
std::string W(const std::string& utf8) { return paradox::Utf8ToWin1250(utf8); }

int Bad(const std::string& message) {
  std::fprintf(stderr, "tablorix-cli: %s\n", message.c_str());
  return 2;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

int CmdExport(Session& session, const std::vector<std::string>& args) {
  exchange::TextExportOptions options;
  std::vector<std::string> positional;
  std::string sql;
  bool have_sql = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--sql") {
      if (i + 1 >= args.size()) return Bad("--sql needs a statement");
      sql = args[++i];
      have_sql = true;
    } else if (StartsWith(a, "--separator=")) {
      const std::string v = a.substr(12);
      if (v == ";" || v == "," || v == "|") {
        options.separator = v[0];
      } else if (v == "tab") {
        options.separator = '\t';
      } else {
        return Bad("unknown separator: " + v);
      }
    } else if (StartsWith(a, "--quote=")) {
      const std::string v = a.substr(8);
      if (v == "double") {
        options.quote = '"';
      } else if (v == "single") {
        options.quote = '\'';
      } else if (v == "none") {
        options.quote = 0;
      } else {
        return Bad("unknown quote: " + v);
      }
    } else if (a == "--names") {
      options.field_names = true;
    } else if (a == "--no-header") {
      options.no_header = true;
    } else if (a == "--memo") {
      options.memo_as_text = true;
    } else if (StartsWith(a, "--")) {
      return Bad("unknown option: " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != (have_sql ? 1u : 2u))
    return Bad("usage: export DIR (TABLE | --sql \"SELECT ...\") FILE [options]");
  const std::string& file = positional.back();

  std::unique_ptr<Cursor> cursor;
  std::unique_ptr<SqlSession> sql_session;
  std::unique_ptr<Dataset> dataset;
  if (have_sql) {
    sql_session = std::make_unique<SqlSession>(session);
    dataset = std::make_unique<QueryDataset>(sql_session->Prepare(W(sql)));
  } else {
    cursor = session.DbOpenTable(W(positional[0]));
    dataset = std::make_unique<TableDataset>(*cursor);
  }
  const FormatSettings settings;
  exchange::TextExport exp(*dataset);
  if (exchange::ExportKindOf(file) != exchange::ExportFileKind::kText) {
    exp.ExportToWorksheet(file, settings);
    return 0;
  }
  try {
    exp.Run(file, options, settings);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", U(std::string(exchange::kExportErrorPrefix) + e.what()).c_str());
    return 1;
  }
  std::printf("%s\n", (file + U(exchange::kExportDoneSuffix)).c_str());
  return 0;
}

int CmdImport(Session& session, const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::vector<std::string> wanted;
  bool have_columns = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (StartsWith(a, "--columns=")) {
      have_columns = true;
      std::stringstream list(W(a.substr(10)));
      for (std::string name; std::getline(list, name, ',');)
        if (!name.empty()) wanted.push_back(common::LowerCase(name));
    } else if (StartsWith(a, "--")) {
      return Bad("unknown option: " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return Bad("usage: import DIR TABLE FILE [--columns=a,b,...]");
  const std::string table = W(positional[0]);
  const std::string& file = positional[1];

  std::vector<exchange::ImportColumn> columns;
  exchange::FillColumnList(file, &columns);
  if (have_columns) {
    for (const std::string& name : wanted) {
      bool found = false;
      for (const auto& c : columns) found = found || common::SameText(c.name, name);
      if (!found) return Bad("no column " + U(name) + " in " + file);
    }
    for (auto& c : columns) {
      c.checked = false;
      for (const std::string& name : wanted)
        c.checked = c.checked || common::SameText(c.name, name);
    }
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();

  exchange::ImportOutcome outcome;
  auto print_log = [&] {
    for (const std::string& line : outcome.log) std::printf("%s\n", U(line).c_str());
  };
  try {
    exchange::LoadImportText(session, table, text.str(), columns, FormatSettings{}, &outcome);
  } catch (const exchange::ImportError& e) {
    print_log();
    std::fprintf(stderr, "tablorix-cli: Sor: %d Hiba: %s\n", e.line(), U(e.what()).c_str());
    return 1;
  }
  print_log();
  return 0;
}

}  // namespace tablorix::cli
