// Failures at every I/O step of the writing operations: whichever write, flush, truncate, rename
// or remove fails, the table that the next open recovers is exactly the table before the
// operation or exactly the table after it, and the journal and swap files are gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/paradox/io.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

using namespace tablorix;
using namespace tablorix::writer_check;
namespace fs = std::filesystem;

namespace {

const std::vector<NewFieldDef> kFields = {
    {"ID", paradox::kLong, 0},    {"NAME", paradox::kAlpha, 12}, {"AMOUNT", paradox::kLong, 0},
    {"NOTE", paradox::kMemo, 10}, {"EXTRA", paradox::kAlpha, 5},
};
const std::vector<IndexExpect> kIndexes = {{"X03", {2}, false}, {"XG0", {1, 2}, true}};

std::string Note(int i) {
  switch (i % 4) {
    case 0:
      return "";
    case 1:
      return "short";
    case 2:
      return std::string(size_t(100 + i), char('a' + i % 26));
    default:
      return std::string(size_t(3000 + 7 * i), char('A' + i % 26));
  }
}

void InsertRow(Cursor& c, int id) {
  c.Insert();
  c.SetValue("ID", Value::Int(id));
  c.SetValue("NAME",
             Value::Text(id % 3 ? "Name" + std::to_string(id) : "name" + std::to_string(id)));
  c.SetValue("AMOUNT", Value::Int(id % 17));
  c.SetValue("NOTE", Value::Text(Note(id)));
  c.SetValue("EXTRA", Value::Text("e" + std::to_string(id % 100)));
  c.Post();
}

// A table of a few hundred rows with blobs of every size and two secondary indexes, some rows
// deleted so that pack has work to do.
void MakeTable(const std::string& dir, bool keyed) {
  Session s;
  s.DbOpenDatabase(dir);
  s.DbCreateTable("T", kFields, keyed ? 1 : 0);
  s.DbAddIndex("T", "AMOUNT", "AMOUNT", 0);
  s.DbAddIndex("T", "ByName", "NAME;AMOUNT", ixCaseInsensitive);
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable("T", w);
  c->BeginBatch();
  for (int i = 0; i < 300; ++i) InsertRow(*c, keyed ? (i * 37) % 300 + 1 : i + 1);
  c->EndBatch();
  for (c->First(); !c->Eof();) {
    if (c->AsNumber("ID") == double(int(c->AsNumber("ID")) / 5 * 5))
      c->Delete();
    else
      c->Next();
  }
}

struct TableState {
  std::vector<Row> rows;
  std::vector<std::string> fields, indexes;
  bool operator==(const TableState& o) const {
    return rows == o.rows && fields == o.fields && indexes == o.indexes;
  }
};

TableState StateOf(const std::string& dir) {
  Session s;
  s.DbOpenDatabase(dir);
  return {Rows(s, "T"), s.DbListFields("T"), s.DbListIndexes("T")};
}

void CopyDir(const std::string& from, const std::string& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

std::vector<std::string> LeftOvers(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    const std::string ext = e.path().extension().string();
    if (ext == ".JNL" || ext == ".SWP" || ext == ".new" || n.find(".new") != std::string::npos)
      out.push_back(n);
  }
  return out;
}

struct Operation {
  const char* label;
  // Runs the operation on table T of `dir`; false (or a throw) when it failed.
  std::function<bool(const std::string& dir)> run;
  std::vector<IndexExpect> indexes_after;
};

bool WithWritable(const std::string& dir, const std::function<void(Cursor&)>& f) {
  Session s;
  s.DbOpenDatabase(dir);
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable("T", w);
  f(*c);
  return true;
}

std::vector<Operation> Operations() {
  auto with = [](std::vector<IndexExpect> extra) {
    auto v = kIndexes;
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
  };
  auto session_op = [](std::function<bool(Session&)> f) {
    return [f](const std::string& dir) {
      Session s;
      s.DbOpenDatabase(dir);
      return f(s);
    };
  };
  return {
      {"Pack", session_op([](Session& s) { return s.DbPackTable("T", "PARADOX"); }), kIndexes},
      {"AddField", session_op([](Session& s) {
         s.DbAddField("T", {"ADDED", paradox::kLong, 0});
         return true;
       }),
       kIndexes},
      {"DropField", session_op([](Session& s) {
         s.DbDropField("T", "EXTRA");
         return true;
       }),
       kIndexes},
      {"AddIndex", session_op([](Session& s) {
         s.DbAddIndex("T", "ByAmount", "AMOUNT;NAME", 0);
         return true;
       }),
       with({{"XG1", {2, 1}, false}})},
      {"Post", nullptr, kIndexes},
      {"Batch", nullptr, kIndexes},
  };
}

struct Case {
  const char* op;
  bool keyed;
};

class WriterFaults : public ::testing::TestWithParam<Case> {};

TEST_P(WriterFaults, EveryFailingStepLeavesTheTableBeforeOrAfter) {
  const Case& tc = GetParam();
  TempDir root;
  const std::string tmpl = root.path() + "/template", work = root.path() + "/work";
  fs::create_directories(tmpl);
  MakeTable(tmpl, tc.keyed);
  Operation op;
  for (auto& o : Operations())
    if (std::string(o.label) == tc.op) op = o;
  ASSERT_TRUE(op.label);
  // The writing operations open their cursor before the fault is armed, so that only the change
  // itself meets it.
  std::function<bool(const std::string&, long)> run;
  if (std::string(tc.op) == "Post" || std::string(tc.op) == "Batch") {
    const bool batch = std::string(tc.op) == "Batch";
    run = [batch](const std::string& dir, long fault_at) {
      return WithWritable(dir, [&](Cursor& c) {
        paradox::InjectFaultAt(fault_at);
        if (batch) {
          c.BeginBatch();
          for (int i = 0; i < 60; ++i) InsertRow(c, 1000 + i);
          c.EndBatch();
        } else {
          // A changed key and a new large blob in one post.
          c.First();
          c.Next();
          c.Edit();
          c.SetValue("ID", Value::Int(777));
          c.SetValue("AMOUNT", Value::Int(99));
          c.SetValue("NOTE", Value::Text(std::string(5000, 'q')));
          c.Post();
        }
      });
    };
  } else {
    run = [op](const std::string& dir, long fault_at) {
      paradox::InjectFaultAt(fault_at);
      return op.run(dir);
    };
  }

  const TableState before = StateOf(tmpl);
  ASSERT_GT(before.rows.size(), 200u);
  CopyDir(tmpl, work);
  ASSERT_TRUE(run(work, 1L << 40));
  paradox::ClearFaults();
  const TableState after = StateOf(work);
  // Pack changes the files, not what they hold.
  ASSERT_EQ(after == before, std::string(tc.op) == "Pack");
  CheckFamily(work, "T", op.indexes_after);

  long steps = 0;
  int saw_before = 0, saw_after = 0;
  for (long n = 1; n < 20000; ++n) {
    SCOPED_TRACE("fault at step " + std::to_string(n));
    CopyDir(tmpl, work);
    bool ok = false;
    try {
      ok = run(work, n);
    } catch (const EngineError&) {
    }
    const bool fired = paradox::FaultFired();
    paradox::ClearFaults();
    if (!fired) {
      EXPECT_TRUE(ok);
      steps = n - 1;
      break;
    }
    EXPECT_FALSE(ok);
    TableState now;
    ASSERT_NO_THROW(now = StateOf(work));
    EXPECT_EQ(LeftOvers(work), std::vector<std::string>{});
    if (now == before) {
      ++saw_before;
      CheckFamily(work, "T", kIndexes);
    } else if (now == after) {
      ++saw_after;
      CheckFamily(work, "T", op.indexes_after);
    } else {
      ADD_FAILURE() << "neither before nor after: " << now.rows.size() << " rows, "
                    << now.fields.size() << " fields, " << now.indexes.size() << " indexes";
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(steps, 3) << "the operation never completed";
  EXPECT_GT(saw_before, 0);
  RecordProperty("io_steps", int(steps));
  std::printf("[ %s %s: %ld I/O steps, %d failures recovered to before, %d to after ]\n", tc.op,
              tc.keyed ? "keyed" : "unkeyed", steps, saw_before, saw_after);
}

INSTANTIATE_TEST_SUITE_P(Operations, WriterFaults,
                         ::testing::Values(Case{"Pack", true}, Case{"AddField", true},
                                           Case{"DropField", true}, Case{"AddIndex", true},
                                           Case{"Post", true}, Case{"Batch", true},
                                           Case{"Pack", false}, Case{"AddIndex", false},
                                           Case{"Post", false}, Case{"Batch", false}),
                         [](const auto& info) {
                           return std::string(info.param.op) +
                                  (info.param.keyed ? "Keyed" : "Unkeyed");
                         });

}  // namespace
