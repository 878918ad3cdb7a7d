// tablorix-cli: the command-line companion on the same engine: reading tables (tables, describe,
// dump), the demo database, the maintenance actions (pack, empty, drop, add-index, drop-index)
// SQL (sql), the whole-database script (script), the text export and the CSV import (export,
// import).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/demo_database.h"
#include "cli/exchange_commands.h"
#include "cli/script_command.h"
#include "cli/sql_command.h"
#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/table_file.h"
#include "engine/session.h"
#include "exchange/core/table_dump.h"

using namespace tablorix;

namespace {

int Usage() {
  std::fputs(
      "usage: tablorix-cli tables DIR\n"
      "       tablorix-cli describe DIR TABLE [--json]\n"
      "       tablorix-cli dump DIR TABLE [--format=csv|jsonl]\n"
      "       tablorix-cli demo DIR [--force]\n"
      "       tablorix-cli pack DIR TABLE\n"
      "       tablorix-cli empty DIR TABLE\n"
      "       tablorix-cli drop DIR TABLE\n"
      "       tablorix-cli add-index DIR TABLE NAME FIELDS [--primary] [--unique] [--descending]\n"
      "                              [--case-insensitive]\n"
      "       tablorix-cli drop-index DIR TABLE NAME\n"
      "       tablorix-cli sql DIR (\"STATEMENT\" | -f FILE) [--format=text|csv|jsonl]\n"
      "                        [--param NAME=VALUE]...\n"
      "       tablorix-cli script DIR [--mysql] [--data] [-o FILE]\n"
      "       tablorix-cli export DIR (TABLE | --sql \"SELECT ...\") FILE [--separator=;|tab|,||]\n"
      "                           [--quote=double|single|none] [--names] [--no-header] [--memo]\n"
      "       tablorix-cli import DIR TABLE FILE [--columns=a,b,...]\n"
      "\n"
      "demo writes the demo database into DIR (refused when DIR already holds tables, unless\n"
      "--force, which replaces the demo tables). FIELDS of add-index are joined by ';'; an\n"
      "empty NAME of drop-index (or \"Primary\") drops the primary index. Names are UTF-8.\n",
      stderr);
  return 2;
}

using Args = std::vector<std::string>;  // the arguments after the subcommand, DIR first

std::string W(const std::string& utf8) { return paradox::Utf8ToWin1250(utf8); }

// Opens the table exclusively and closes it again, so that a table someone else holds is
// refused with the action's own message before anything is changed.
bool ProveExclusive(Session& s, const std::string& table, const char* refusal) {
  try {
    OpenOptions o;
    o.exclusive = true;
    s.DbOpenTable(table, o);
    return true;
  } catch (const EngineError& e) {
    std::fprintf(stderr, "%s\ntablorix-cli: %s\n", refusal,
                 paradox::Win1250ToUtf8(e.what()).c_str());
    return false;
  }
}

std::string Json(const std::string& win1250) {
  return cli::JsonString(paradox::Win1250ToUtf8(win1250));
}

int Describe(Session& s, const std::string& table, bool json) {
  auto c = s.DbOpenTable(table);
  const auto& h = c->table_file().header();
  const auto& defs = c->DbFieldDefs();
  const auto indexes = c->DbIndexDefs();
  auto u = [](const std::string& t) { return paradox::Win1250ToUtf8(t); };
  if (json) {
    std::string o = "{\"table\":" + Json(c->table_name()) + ",\"version\":\"" + h.VersionText() +
                    "\",\"keyed\":" + (h.keyed() ? "true" : "false") +
                    ",\"records\":" + std::to_string(h.num_records) +
                    ",\"code_page\":" + std::to_string(c->code_page()) +
                    ",\"block_size\":" + std::to_string(h.block_size) + ",\"fields\":[";
    for (size_t i = 0; i < defs.size(); ++i) {
      if (i) o += ",";
      o += "{\"name\":" + Json(defs[i].name) + ",\"type\":\"" +
           paradox::FieldCodeName(h.fields[i].type) +
           "\",\"size\":" + std::to_string(h.fields[i].size) +
           ",\"required\":" + (defs[i].required ? "true" : "false") + "}";
    }
    o += "],\"indexes\":[";
    for (size_t i = 0; i < indexes.size(); ++i) {
      const auto& d = indexes[i];
      if (i) o += ",";
      o += "{\"name\":" + Json(d.name) + ",\"fields\":[";
      size_t start = 0;
      bool first = true;
      while (start <= d.fields.size()) {
        size_t end = d.fields.find(';', start);
        if (end == std::string::npos) end = d.fields.size();
        if (!first) o += ",";
        o += Json(d.fields.substr(start, end - start));
        first = false;
        start = end + 1;
      }
      auto b = [](bool v) { return v ? "true" : "false"; };
      o += std::string("],\"primary\":") + b(d.options & ixPrimary) +
           ",\"unique\":" + b(d.options & ixUnique) +
           ",\"descending\":" + b(d.options & ixDescending) +
           ",\"case_insensitive\":" + b(d.options & ixCaseInsensitive) + "}";
    }
    o += "]}\n";
    std::fputs(o.c_str(), stdout);
    return 0;
  }
  std::printf("Table %s\n  version %s, %s, %u records, code page %d, block size %d\n",
              u(c->table_name()).c_str(), h.VersionText(), h.keyed() ? "keyed" : "not keyed",
              h.num_records, c->code_page(), h.block_size);
  std::printf("  Fields:\n");
  for (size_t i = 0; i < defs.size(); ++i)
    std::printf("    %-25s %-10s %3d%s\n", u(defs[i].name).c_str(),
                paradox::FieldCodeName(h.fields[i].type), h.fields[i].size,
                defs[i].required ? " required" : "");
  std::printf("  Indexes:\n");
  for (const auto& d : indexes) {
    std::string opts;
    if (d.options & ixPrimary) opts += " primary";
    if (d.options & ixUnique) opts += " unique";
    if (d.options & ixDescending) opts += " descending";
    if (d.options & ixCaseInsensitive) opts += " case-insensitive";
    std::printf("    %-25s (%s)%s\n", d.name.empty() ? "<primary>" : u(d.name).c_str(),
                u(d.fields).c_str(), opts.c_str());
  }
  return 0;
}

int CmdTables(Session& s, const Args& a) {
  if (a.size() != 1) return Usage();
  for (const auto& t : s.DbListTables()) std::printf("%s\n", paradox::Win1250ToUtf8(t).c_str());
  return 0;
}

int CmdDescribe(Session& s, const Args& a) {
  if (a.size() == 2) return Describe(s, W(a[1]), false);
  if (a.size() == 3 && a[2] == "--json") return Describe(s, W(a[1]), true);
  return Usage();
}

int CmdDump(Session& s, const Args& a) {
  if (a.size() < 2 || a.size() > 3) return Usage();
  exchange::DumpFormat f = exchange::DumpFormat::kCsv;
  if (a.size() == 3) {
    if (a[2] == "--format=jsonl")
      f = exchange::DumpFormat::kJsonl;
    else if (a[2] != "--format=csv")
      return Usage();
  }
  auto c = s.DbOpenTable(W(a[1]));
  exchange::DumpTable(*c, f, stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tablorix-cli: write error\n");
    return 1;
  }
  return 0;
}

int CmdDemo(const Args& a) {
  if (a.empty() || a.size() > 2 || (a.size() == 2 && a[1] != "--force")) return Usage();
  const bool force = a.size() == 2;
  if (!force && std::filesystem::is_directory(a[0])) {
    Session s;
    s.DbOpenDatabase(a[0]);
    if (!s.DbListTables().empty()) {
      std::fprintf(stderr,
                   "tablorix-cli: %s already holds tables; --force replaces the demo tables\n",
                   a[0].c_str());
      return 1;
    }
  }
  const auto counts = demo::WriteDemoDatabase(a[0], force);
  std::printf("Demo database written to %s\n", a[0].c_str());
  for (const auto& [name, rows] : counts)
    std::printf("  %-10s %6lld rows\n", name.c_str(), static_cast<long long>(rows));
  return 0;
}

int CmdPack(Session& s, const Args& a) {
  if (a.size() != 2) return Usage();
  const std::string table = W(a[1]);
  if (!ProveExclusive(s, table, "Sikertelen megnyitás")) return 1;
  if (!s.DbPackTable(table, "PARADOX")) {
    std::fprintf(stderr, "Hiba a tömörítés közben\n");
    return 1;
  }
  std::printf("Tábla tömörítés kész\n");
  return 0;
}

int CmdEmpty(Session& s, const Args& a) {
  if (a.size() != 2) return Usage();
  const std::string table = W(a[1]);
  if (!ProveExclusive(s, table, "Error on open table exclusively")) return 1;
  s.DbEmptyTable(table);
  std::printf("Tábla üres\n");
  return 0;
}

int CmdDrop(Session& s, const Args& a) {
  if (a.size() != 2) return Usage();
  const std::string table = W(a[1]);
  if (!ProveExclusive(s, table, "Sikertelen megnyitás")) return 1;
  s.DbDeleteTable(table);
  std::printf("Tábla törölve\n");
  return 0;
}

int CmdAddIndex(Session& s, const Args& a) {
  if (a.size() < 4) return Usage();
  TIndexOptions options = 0;
  for (size_t i = 4; i < a.size(); ++i) {
    if (a[i] == "--primary")
      options |= ixPrimary;
    else if (a[i] == "--unique")
      options |= ixUnique;
    else if (a[i] == "--descending")
      options |= ixDescending;
    else if (a[i] == "--case-insensitive")
      options |= ixCaseInsensitive;
    else
      return Usage();
  }
  const std::string table = W(a[1]);
  if (!ProveExclusive(s, table, "Cannot open the table exclusively")) return 1;
  s.DbAddIndex(table, W(a[2]), W(a[3]), options);
  if (options & ixPrimary)
    std::printf("Primary index created on %s\n", a[3].c_str());
  else
    std::printf("Index created: %s\n", a[2].c_str());
  return 0;
}

int CmdDropIndex(Session& s, const Args& a) {
  if (a.size() != 3) return Usage();
  const std::string table = W(a[1]);
  if (!ProveExclusive(s, table, "Tábla exkluzív megnyitás sikertelen")) return 1;
  s.DbDeleteIndex(table, W(a[2]));
  std::printf("Index törölve: %s\n", a[2].c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string cmd = argv[1];
  const Args args(argv + 2, argv + argc);
  using Command = int (*)(Session&, const Args&);
  static const std::pair<const char*, Command> kCommands[] = {
      {"tables", CmdTables},      {"describe", CmdDescribe},    {"dump", CmdDump},
      {"pack", CmdPack},          {"empty", CmdEmpty},          {"drop", CmdDrop},
      {"add-index", CmdAddIndex}, {"drop-index", CmdDropIndex}, {"sql", cli::CmdSql},
      {"script", cli::CmdScript}, {"export", cli::CmdExport},   {"import", cli::CmdImport}};
  try {
    if (cmd == "demo") return CmdDemo(args);
    for (const auto& [name, run] : kCommands) {
      if (cmd != name) continue;
      Session s;
      s.DbOpenDatabase(args[0]);
      return run(s, args);
    }
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tablorix-cli: %s\n", paradox::Win1250ToUtf8(e.what()).c_str());
    return 1;
  }
}
