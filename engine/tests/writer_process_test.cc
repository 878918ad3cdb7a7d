// Two processes on one table: opens that exclude each other are refused across processes, the
// operations on closed tables are refused while the other process has the table open, and
// concurrent writers through shared cursors lose nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

using namespace tablorix;
using namespace tablorix::writer_check;

namespace {

const std::vector<NewFieldDef> kFields = {
    {"ID", paradox::kLong, 0},
    {"NAME", paradox::kAlpha, 16},
    {"NOTE", paradox::kMemo, 10},
};

// A one-way pipe for "I am ready" / "go on" between the processes.
class Signal {
 public:
  Signal() {
    if (::pipe(fd_) != 0) std::abort();
  }
  ~Signal() {
    for (int fd : fd_)
      if (fd >= 0) ::close(fd);
  }
  void Send() {
    const char c = 1;
    if (::write(fd_[1], &c, 1) != 1) std::abort();
  }
  // False when the other side went away without sending.
  bool Wait() {
    char c;
    return ::read(fd_[0], &c, 1) == 1;
  }
  // Each side keeps only its end.
  void KeepReadEnd() { Close(1); }
  void KeepWriteEnd() { Close(0); }

 private:
  void Close(int i) {
    ::close(fd_[i]);
    fd_[i] = -1;
  }
  int fd_[2];
};

// Runs `body` in a child process that exits with its result (0 = fine); a throw is 3, a child
// that runs longer than `seconds` is killed by its alarm.
pid_t Spawn(const std::function<int()>& body, unsigned seconds = 30) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    int rc = 3;
    try {
      rc = body();
    } catch (...) {
    }
    ::_exit(rc);
  }
  return pid;
}

// The child's exit status, or a description of how it ended otherwise.
std::string Reap(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return "waitpid failed";
  if (WIFEXITED(status))
    return WEXITSTATUS(status) == 0 ? "" : "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

bool Throws(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError&) {
    return true;
  }
  return false;
}

void MakeTable(const std::string& dir, const std::string& name, int keys) {
  Session s;
  s.DbOpenDatabase(dir);
  s.DbCreateTable(name, kFields, keys);
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable(name, w);
  for (int i = 1; i <= 5; ++i) {
    c->Insert();
    c->SetValue("ID", Value::Int(i));
    c->SetValue("NAME", Value::Text("row " + std::to_string(i)));
    c->Post();
  }
}

struct Holder {
  const char* label;
  bool exclusive;
  bool read_only;
};
const Holder kHolders[] = {
    {"shared read-only", false, true},
    {"shared writable", false, false},
    {"exclusive", true, true},
    {"exclusive writable", true, false},
};

// What another process may do while `h` holds the table open: 0 when every refusal happened,
// else the number of the first check that failed.
int OthersAreRefused(const std::string& dir, const Holder& h) {
  Session s;
  s.DbOpenDatabase(dir);
  OpenOptions ex;
  ex.exclusive = true;
  if (!Throws([&] { s.DbOpenTable("T", ex); })) return 10;
  OpenOptions sh;
  if (h.exclusive == !Throws([&] { s.DbOpenTable("T", sh); })) return 11;
  if (s.DbPackTable("T", "PARADOX")) return 12;
  if (!Throws([&] { s.DbEmptyTable("T"); })) return 13;
  if (!Throws([&] { s.DbAddIndex("T", "NAME", "NAME", 0); })) return 14;
  if (!Throws([&] { s.DbDeleteTable("T"); })) return 15;
  return 0;
}

TEST(WriterProcesses, OpensThatExcludeEachOtherAreRefusedAcrossProcesses) {
  TempDir dir;
  MakeTable(dir.path(), "T", 1);
  for (const Holder& h : kHolders) {
    SCOPED_TRACE(h.label);
    // The child holds the table; the parent is refused.
    {
      Signal ready, done;
      const pid_t pid = Spawn([&] {
        ready.KeepWriteEnd();
        done.KeepReadEnd();
        Session s;
        s.DbOpenDatabase(dir.path());
        OpenOptions o;
        o.exclusive = h.exclusive;
        o.read_only = h.read_only;
        auto c = s.DbOpenTable("T", o);
        ready.Send();
        done.Wait();
        return c->RowCount() == 5 ? 0 : 1;
      });
      ready.KeepReadEnd();
      done.KeepWriteEnd();
      ASSERT_TRUE(ready.Wait()) << "the child could not open the table: " << Reap(pid);
      EXPECT_EQ(OthersAreRefused(dir.path(), h), 0);
      done.Send();
      EXPECT_EQ(Reap(pid), "");
    }
    // The parent holds the table; the child is refused.
    {
      Session s;
      s.DbOpenDatabase(dir.path());
      OpenOptions o;
      o.exclusive = h.exclusive;
      o.read_only = h.read_only;
      auto c = s.DbOpenTable("T", o);
      const pid_t pid = Spawn([&] { return OthersAreRefused(dir.path(), h); });
      EXPECT_EQ(Reap(pid), "");
    }
    // Once nobody holds it, the table is free again.
    Session s;
    s.DbOpenDatabase(dir.path());
    OpenOptions ex;
    ex.exclusive = true;
    EXPECT_NO_THROW(s.DbOpenTable("T", ex));
  }
  Session s;
  s.DbOpenDatabase(dir.path());
  EXPECT_TRUE(s.DbPackTable("T", "PARADOX"));
  EXPECT_EQ(Rows(s, "T").size(), 5u);
}

// Two processes insert distinct keys into one table at the same time through shared writable
// cursors; every row arrives whole.
TEST(WriterProcesses, ConcurrentWritersLoseNothing) {
  constexpr int kPerProcess = 500;
  TempDir dir;
  for (const auto& [table, keys] : {std::pair<const char*, int>{"K", 1}, {"U", 0}}) {
    SCOPED_TRACE(table);
    const std::string name = table;
    MakeTable(dir.path(), name, keys);
    {
      Session s;
      s.DbOpenDatabase(dir.path());
      s.DbAddIndex(name, "NAME", "NAME", 0);
    }
    Signal go;
    std::vector<pid_t> pids;
    for (int p = 0; p < 2; ++p) {
      pids.push_back(Spawn(
          [&, p] {
            Session s;
            s.DbOpenDatabase(dir.path());
            OpenOptions w;
            w.read_only = false;
            auto c = s.DbOpenTable(name, w);
            if (!go.Wait()) return 4;
            for (int i = 0; i < kPerProcess; ++i) {
              // Interleaved keys, so that both writers split the same blocks.
              const int id = 100 + 2 * i + p;
              c->Insert();
              c->SetValue("ID", Value::Int(id));
              c->SetValue("NAME", Value::Text("p" + std::to_string(p) + "-" + std::to_string(i)));
              if (i % 10 == 0)
                c->SetValue("NOTE", Value::Text(std::string(size_t(50 + i * 7), 'n')));
              c->Post();
            }
            return 0;
          },
          120));
    }
    // Both children have their cursors open (or are about to): let them go together.
    go.Send();
    go.Send();
    for (pid_t pid : pids) EXPECT_EQ(Reap(pid), "");
    Session s;
    s.DbOpenDatabase(dir.path());
    const auto rows = Rows(s, name);
    ASSERT_EQ(rows.size(), size_t(5 + 2 * kPerProcess));
    std::set<int> ids;
    for (const Row& r : rows) {
      const int id = std::stoi(r[0]);
      ids.insert(id);
      if (id < 100) continue;
      const int p = (id - 100) % 2, i = (id - 100) / 2;
      EXPECT_EQ(r[1], "p" + std::to_string(p) + "-" + std::to_string(i));
      EXPECT_EQ(r[2], i % 10 == 0 ? std::string(size_t(50 + i * 7), 'n') : "null");
    }
    EXPECT_EQ(ids.size(), rows.size());
    if (keys) {
      EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::stoi(a[0]) < std::stoi(b[0]);
      }));
    }
    CheckFamily(dir.path(), name, {{"X02", {1}, false}});
  }
}

}  // namespace
