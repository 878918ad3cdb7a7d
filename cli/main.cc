// tablorix-cli: the command-line companion (tables, describe, dump) on the same engine.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

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
      "       tablorix-cli dump DIR TABLE [--format=csv|jsonl]\n",
      stderr);
  return 2;
}

std::string Json(const std::string& win1250) {
  std::string u = paradox::Win1250ToUtf8(win1250), out = "\"";
  for (char ch : u) {
    unsigned char c = uint8_t(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(char(c));
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else {
      out.push_back(char(c));
    }
  }
  return out + "\"";
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  try {
    Session s;
    const std::string& cmd = args[0];
    s.DbOpenDatabase(args[1]);
    if (cmd == "tables" && args.size() == 2) {
      for (const auto& t : s.DbListTables()) std::printf("%s\n", paradox::Win1250ToUtf8(t).c_str());
      return 0;
    }
    if (cmd == "describe" && (args.size() == 3 || (args.size() == 4 && args[3] == "--json")))
      return Describe(s, paradox::Utf8ToWin1250(args[2]), args.size() == 4);
    if (cmd == "dump" && args.size() >= 3 && args.size() <= 4) {
      exchange::DumpFormat f = exchange::DumpFormat::kCsv;
      if (args.size() == 4) {
        if (args[3] == "--format=jsonl")
          f = exchange::DumpFormat::kJsonl;
        else if (args[3] != "--format=csv")
          return Usage();
      }
      auto c = s.DbOpenTable(paradox::Utf8ToWin1250(args[2]));
      exchange::DumpTable(*c, f, stdout);
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tablorix-cli: write error\n");
        return 1;
      }
      return 0;
    }
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tablorix-cli: %s\n", e.what());
    return 1;
  }
}
