// The index designer's field moves, definition and engine calls.
#include "maintenance/core/AddIndex.h"

#include "engine/paradox/file.h"

namespace tablorix::maintenance {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> Tokens(const std::string& text, char delimiter) {
  std::vector<std::string> tokens;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(delimiter, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) tokens.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return tokens;
}

// Removes item `at` of `from`, appends it to `to` and keeps a selection in `from` the way a
// list box does: on the item now at that place, or the last one.
void MoveItem(std::vector<std::string>& from, std::optional<size_t>& selected,
              std::vector<std::string>& to) {
  if (!selected || *selected >= from.size()) return;
  to.push_back(from[*selected]);
  from.erase(from.begin() + std::ptrdiff_t(*selected));
  if (from.empty()) {
    selected.reset();
  } else if (*selected >= from.size()) {
    selected = from.size() - 1;
  }
}

}  // namespace

AddIndexDesigner AddIndexDesigner::ForNew(const std::string& fields_text,
                                          const std::string& table) {
  AddIndexDesigner d;
  d.mode_ = AddIndexMode::kNew;
  d.table_file_ = table + ".DB";
  d.available_ = Lines(fields_text);
  if (!d.available_.empty()) d.available_selected = 0;
  return d;
}

AddIndexDesigner AddIndexDesigner::ForModify(Session& session, const std::string& fields_text,
                                             const std::string& table,
                                             const std::string& index_name) {
  AddIndexDesigner d;
  d.mode_ = AddIndexMode::kModify;
  d.button_caption_ = "Modify";
  d.table_file_ = table + ".DB";
  {
    OpenOptions exclusive;
    exclusive.exclusive = true;
    auto tbl = session.DbOpenTable(d.table_file_, exclusive);
    const bool wants_primary = index_name.empty() || paradox::EqualsNoCase(index_name, "Primary");
    bool found = false;
    for (const TIndexDef& def : tbl->DbIndexDefs()) {
      const bool is_primary = (def.options & ixPrimary) != 0;
      if (wants_primary ? is_primary : paradox::EqualsNoCase(def.name, index_name)) {
        d.original_ = def;
        found = true;
        break;
      }
    }
    session.DbCloseTable(*tbl);
    if (!found) throw EngineError("Index does not exist: " + index_name + " in " + table);
  }
  d.caption_ = "Index: " + d.original_.fields;
  d.name = d.original_.name;
  d.descending = (d.original_.options & ixDescending) != 0;
  d.unique = (d.original_.options & ixUnique) != 0;
  // The primary index is redefined as a primary index, not turned into a secondary one.
  d.primary = (d.original_.options & ixPrimary) != 0;
  d.available_ = Lines(fields_text);
  if (!d.available_.empty()) d.available_selected = 0;
  // Every field of the definition is listed: leaving some out would drop them from the index
  // on the next press of the button.
  for (const std::string& field : Tokens(d.original_.fields, ';')) {
    for (size_t i = 0; i < d.available_.size(); ++i) {
      if (paradox::EqualsNoCase(d.available_[i], field)) {
        d.available_.erase(d.available_.begin() + std::ptrdiff_t(i));
        break;
      }
    }
    d.index_fields_.push_back(field);
  }
  if (d.available_.empty()) d.available_selected.reset();
  return d;
}

void AddIndexDesigner::MoveToIndex() { MoveItem(available_, available_selected, index_fields_); }

void AddIndexDesigner::AvailableDoubleClick() {
  if (!available_selected || *available_selected >= available_.size()) return;
  const std::string field = available_[*available_selected];
  MoveToIndex();
  if (mode_ == AddIndexMode::kNew) name = "idx_" + field;
}

void AddIndexDesigner::MoveBack() { MoveItem(index_fields_, index_selected, available_); }

std::string AddIndexDesigner::FieldsText() const {
  std::string text;
  for (const std::string& f : index_fields_) {
    if (!text.empty()) text += ';';
    text += f;
  }
  return text;
}

TIndexOptions AddIndexDesigner::Options() const {
  if (primary) return ixPrimary;
  TIndexOptions options = ixCaseInsensitive;
  if (unique) options |= ixUnique;
  if (descending) options |= ixDescending;
  return options;
}

std::vector<IndexStep> AddIndexDesigner::Plan() {
  if (primary) {
    name.clear();
    unique = false;
    descending = false;
  }
  std::vector<IndexStep> steps;
  if (mode_ == AddIndexMode::kModify)
    steps.push_back({IndexStep::Kind::kDeleteIndex, table_file_, original_.name, "", 0});
  steps.push_back({IndexStep::Kind::kAddIndex, table_file_, name, FieldsText(), Options()});
  return steps;
}

std::string AddIndexDesigner::Apply(Session& session) {
  const std::vector<IndexStep> steps = Plan();
  bool deleted = false;
  for (const IndexStep& step : steps) {
    if (step.kind == IndexStep::Kind::kDeleteIndex) {
      session.DbDeleteIndex(step.table, step.name);
      deleted = true;
      continue;
    }
    try {
      session.DbAddIndex(step.table, step.name, step.fields, step.options);
    } catch (const EngineError&) {
      if (deleted) {
        try {
          session.DbAddIndex(table_file_, original_.name, original_.fields, original_.options);
        } catch (const EngineError&) {
          // The error of the new definition is the one to report.
        }
      }
      throw;
    }
  }
  return (mode_ == AddIndexMode::kNew ? "Index k\xE9sz: "
                                      : "Index m\xF3"
                                        "dos\xEDtva: ") +
         name;
}

}  // namespace tablorix::maintenance
