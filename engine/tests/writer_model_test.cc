// Long random edit sequences against an in-memory model: after every few steps the table must
// read back exactly as the model says, and its primary and secondary indexes must match its
// data blocks.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

using namespace tablorix;
using namespace tablorix::writer_check;

namespace {

struct ModelRow {
  int id = 0;
  std::string name;
  int amount = 0;
  std::string note;
  Row AsRow() const {
    return {std::to_string(id), name, std::to_string(amount), note.empty() ? "null" : note};
  }
};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return s;
}

const std::vector<NewFieldDef> kFields = {
    {"ID", paradox::kLong, 0},
    {"NAME", paradox::kAlpha, 12},
    {"AMOUNT", paradox::kLong, 0},
    {"NOTE", paradox::kMemo, 10},
};

struct Case {
  const char* label;
  bool keyed;
  uint32_t seed;
  int steps;
};

class WriterModel : public ::testing::TestWithParam<Case> {};

TEST_P(WriterModel, RandomEditsMatchTheModel) {
  const Case& tc = GetParam();
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  s.DbCreateTable("M", kFields, tc.keyed ? 1 : 0);
  // A single-field index on AMOUNT (.X03) and a case-insensitive composite one on NAME;AMOUNT,
  // unique on the keyed table.
  s.DbAddIndex("M", "AMOUNT", "AMOUNT", 0);
  s.DbAddIndex("M", "ByName", "NAME;AMOUNT",
               ixCaseInsensitive | (tc.keyed ? unsigned(ixUnique) : 0u));
  const std::vector<IndexExpect> indexes = {{"X03", {2}, false}, {"XG0", {1, 2}, true}};
  const bool unique = tc.keyed;

  std::mt19937 rng(tc.seed);
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  static const char* const kNames[] = {"alma", "Alma", "ALMA", "korte", "Korte", "szilva", "b"};
  auto note = [&]() -> std::string {
    switch (pick(6)) {
      case 0:
      case 1:
        return "";
      case 2:
        return std::string(size_t(1 + pick(10)), char('a' + pick(26)));  // in the leader
      case 3:
      case 4:
        return std::string(size_t(11 + pick(2000)), char('a' + pick(26)));  // small blob
      default:
        return std::string(size_t(2100 + pick(8000)), char('A' + pick(26)));  // large blob
    }
  };

  std::map<int, ModelRow> keyed_model;
  std::vector<ModelRow> unkeyed_model;
  auto model_rows = [&]() {
    std::vector<Row> rows;
    if (tc.keyed)
      for (const auto& [k, r] : keyed_model) rows.push_back(r.AsRow());
    else
      for (const auto& r : unkeyed_model) rows.push_back(r.AsRow());
    return rows;
  };
  auto model_size = [&]() { return tc.keyed ? keyed_model.size() : unkeyed_model.size(); };
  auto model_at = [&](size_t i) -> ModelRow& {
    if (!tc.keyed) return unkeyed_model[i];
    auto it = keyed_model.begin();
    std::advance(it, long(i));
    return it->second;
  };
  // Would `r` collide in the unique index with a row other than `except_id`?
  auto unique_clash = [&](const ModelRow& r, int except_id) {
    if (!unique) return false;
    for (const auto& [k, o] : keyed_model)
      if (k != except_id && o.amount == r.amount && Upper(o.name) == Upper(r.name)) return true;
    return false;
  };

  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable("M", w);
  auto go_to = [&](size_t i) {
    c->First();
    for (size_t k = 0; k < i; ++k) c->Next();
    ASSERT_FALSE(c->Eof());
  };
  auto set_all = [&](const ModelRow& r, bool note_too = true) {
    c->SetValue("ID", Value::Int(r.id));
    c->SetValue("NAME", Value::Text(r.name));
    c->SetValue("AMOUNT", Value::Int(r.amount));
    if (note_too) c->SetValue("NOTE", Value::Text(r.note));
  };
  auto check = [&](int step) {
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_EQ(c->RowCount(), int64_t(model_size()));
    std::vector<Row> rows;
    for (c->First(); !c->Eof(); c->Next()) rows.push_back(CurrentRow(*c));
    ASSERT_EQ(rows, model_rows());
    CheckFamily(dir.path(), "M", indexes);
  };

  int next_id = 1;
  int violations = 0, unique_violations = 0;
  for (int step = 0; step < tc.steps; ++step) {
    const int op = pick(100);
    ModelRow r;
    r.name = kNames[pick(7)];
    r.amount = pick(40);
    r.note = note();
    if (op < 45 || model_size() == 0) {
      // Insert: keyed ids are random so that rows land everywhere; some are duplicates.
      r.id = tc.keyed ? 1 + pick(600) : next_id++;
      const bool dup = tc.keyed && keyed_model.count(r.id) > 0;
      const bool clash = !dup && unique_clash(r, -1);
      c->Insert();
      set_all(r);
      if (dup || clash) {
        try {
          c->Post();
          FAIL() << "insert of id " << r.id << " was accepted";
        } catch (const EngineError& e) {
          EXPECT_NE(std::string(e.what()).find("Key violation"), std::string::npos) << e.what();
        }
        c->Cancel();
        (dup ? violations : unique_violations)++;
      } else {
        ASSERT_NO_THROW(c->Post()) << "id " << r.id;
        if (tc.keyed)
          keyed_model[r.id] = r;
        else
          unkeyed_model.push_back(r);
        if (tc.keyed) {
          EXPECT_EQ(c->AsText("ID"), std::to_string(r.id));
        }
      }
    } else if (op < 80) {
      // Update, sometimes changing the key.
      const size_t i = size_t(pick(int(model_size())));
      ModelRow old = model_at(i);
      r.id = old.id;
      if (tc.keyed && pick(3) == 0) r.id = 1 + pick(600);
      const bool keep_note = pick(4) == 0;  // the blob stays as it is
      if (keep_note) r.note = old.note;
      const bool dup = tc.keyed && r.id != old.id && keyed_model.count(r.id) > 0;
      const bool clash = !dup && unique_clash(r, old.id);
      go_to(i);
      c->Edit();
      set_all(r, !keep_note);
      if (dup || clash) {
        EXPECT_THROW(c->Post(), EngineError);
        c->Cancel();
        (dup ? violations : unique_violations)++;
      } else {
        ASSERT_NO_THROW(c->Post()) << "update of id " << old.id << " to " << r.id;
        if (tc.keyed) {
          keyed_model.erase(old.id);
          keyed_model[r.id] = r;
        } else {
          unkeyed_model[i] = r;
        }
      }
    } else if (op < 97) {
      const size_t i = size_t(pick(int(model_size())));
      go_to(i);
      ASSERT_NO_THROW(c->Delete());
      if (tc.keyed)
        keyed_model.erase(model_at(i).id);
      else
        unkeyed_model.erase(unkeyed_model.begin() + long(i));
    } else if (op < 99) {
      c->Refresh();
    } else {
      c.reset();
      c = s.DbOpenTable("M", w);
    }
    if (step % 7 == 0 || step + 1 == tc.steps) {
      check(step);
      if (HasFatalFailure() || HasFailure()) return;
    }
  }
  c.reset();
  EXPECT_EQ(Rows(s, "M"), model_rows());
  if (tc.keyed) {
    EXPECT_GT(violations, 10);
    EXPECT_GT(unique_violations, 10);
  }
  // Packing keeps every row and rebuilds the indexes consistently.
  ASSERT_TRUE(s.DbPackTable("M", "PARADOX"));
  EXPECT_EQ(Rows(s, "M"), model_rows());
  CheckFamily(dir.path(), "M", indexes);
}

// An unkeyed table's indexes are rebuilt with each change: a unique one refuses a second equal
// value there too, and the refused row leaves the table and its indexes as they were.
TEST(WriterUnique, UnkeyedTableRefusesADuplicateOfAUniqueIndex) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  s.DbCreateTable("U", kFields, 0);
  s.DbAddIndex("U", "ByName", "NAME;AMOUNT", ixUnique | ixCaseInsensitive);
  const std::vector<IndexExpect> indexes = {{"XG0", {1, 2}, true}};
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable("U", w);
  auto insert = [&](int id, const char* name, int amount) {
    c->Insert();
    c->SetValue("ID", Value::Int(id));
    c->SetValue("NAME", Value::Text(name));
    c->SetValue("AMOUNT", Value::Int(amount));
    c->Post();
  };
  insert(1, "alma", 1);
  insert(2, "alma", 2);
  insert(3, "korte", 1);
  const std::vector<Row> rows = Rows(s, "U");
  EXPECT_THROW(insert(4, "ALMA", 2), EngineError);
  c->Cancel();
  EXPECT_EQ(Rows(s, "U"), rows);
  CheckFamily(dir.path(), "U", indexes);
  c->First();
  c->Edit();
  c->SetValue("NAME", Value::Text("Korte"));
  EXPECT_THROW(c->Post(), EngineError);
  c->Cancel();
  EXPECT_EQ(Rows(s, "U"), rows);
  CheckFamily(dir.path(), "U", indexes);
  c->Refresh();
  EXPECT_EQ(c->RowCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(Tables, WriterModel,
                         ::testing::Values(Case{"Keyed", true, 1, 3000},
                                           Case{"KeyedOtherSeed", true, 77, 2500},
                                           Case{"Unkeyed", false, 5, 2500}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
