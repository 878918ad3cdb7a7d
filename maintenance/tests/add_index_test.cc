// The index designer: field moves, the definition its boxes make, and the new and modify
// sequences run against real tables.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"
#include "maintenance/core/AddIndex.h"

namespace tablorix::maintenance {
namespace {

using Kind = IndexStep::Kind;

const char kFields[] = "ID\r\nNEV\r\nVAROS\r\n";

class AddIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_.DbOpenDatabase(dir_.path());
    sql_ = std::make_unique<SqlSession>(session_);
    Run("CREATE TABLE Partner (ID INT, NEV CHAR(20), VAROS CHAR(20))");
    Run("INSERT INTO Partner VALUES (1, 'Kiss', 'Pecs'), (2, 'nagy', 'Eger'), (3, 'Kovacs', "
        "'Gyor')");
  }
  void Run(const std::string& text) { sql_->Prepare(text)->Exec(); }

  std::optional<TIndexDef> Index(const std::string& name) {
    auto c = session_.DbOpenTable("Partner");
    for (const TIndexDef& d : c->DbIndexDefs())
      if (d.name == name) return d;
    return std::nullopt;
  }

  // Selects `field` among the available fields, as a click does.
  static void Pick(AddIndexDesigner& d, const std::string& field) {
    for (size_t i = 0; i < d.available().size(); ++i)
      if (d.available()[i] == field) d.available_selected = i;
  }

  writer_check::TempDir dir_;
  Session session_;
  std::unique_ptr<SqlSession> sql_;
};

TEST_F(AddIndexTest, FieldMovesKeepListOrder) {
  auto d = AddIndexDesigner::ForNew(kFields, "Partner");
  EXPECT_EQ(d.table_file(), "Partner.DB");
  EXPECT_EQ(d.available(), (std::vector<std::string>{"ID", "NEV", "VAROS"}));
  EXPECT_EQ(d.available_selected, 0u);
  d.MoveToIndex();  // ID; the selection passes to NEV
  EXPECT_EQ(d.available_selected, 0u);
  d.MoveBack();  // nothing selected among the index fields
  d.index_selected = 0;
  d.MoveBack();  // ID goes to the end of the available fields
  EXPECT_EQ(d.available(), (std::vector<std::string>{"NEV", "VAROS", "ID"}));
  EXPECT_TRUE(d.index_fields().empty());
  EXPECT_FALSE(d.index_selected);
  d.available_selected = 2;
  d.MoveToIndex();  // ID, the last: the selection goes to the new last
  EXPECT_EQ(d.available_selected, 1u);
  d.MoveToIndex();
  d.MoveToIndex();
  EXPECT_FALSE(d.available_selected);
  d.MoveToIndex();  // nothing left to move
  EXPECT_EQ(d.FieldsText(), "ID;VAROS;NEV");
}

TEST_F(AddIndexTest, DoubleClickNamesTheIndexAndItIsCreatedCaseInsensitive) {
  auto d = AddIndexDesigner::ForNew(kFields, "Partner");
  Pick(d, "NEV");
  d.AvailableDoubleClick();
  EXPECT_EQ(d.name, "idx_NEV");
  EXPECT_EQ(d.Plan(), (std::vector<IndexStep>{
                          {Kind::kAddIndex, "Partner.DB", "idx_NEV", "NEV", ixCaseInsensitive}}));
  EXPECT_EQ(d.Apply(session_), "Index k\xE9sz: idx_NEV");
  auto ix = Index("idx_NEV");
  ASSERT_TRUE(ix);
  EXPECT_EQ(ix->fields, "NEV");
  EXPECT_EQ(ix->options, ixCaseInsensitive);
}

TEST_F(AddIndexTest, OptionsFromTheBoxes) {
  struct Case {
    bool primary, unique, descending;
    TIndexOptions options;
  } cases[] = {
      {false, false, false, ixCaseInsensitive},
      {false, true, false, ixCaseInsensitive | ixUnique},
      {false, false, true, ixCaseInsensitive | ixDescending},
      {false, true, true, ixCaseInsensitive | ixUnique | ixDescending},
      {true, false, false, ixPrimary},
      {true, true, true, ixPrimary},
  };
  for (const Case& c : cases) {
    auto d = AddIndexDesigner::ForNew(kFields, "Partner");
    d.primary = c.primary;
    d.unique = c.unique;
    d.descending = c.descending;
    EXPECT_EQ(d.Options(), c.options);
  }
}

TEST_F(AddIndexTest, CompositeUniqueDescendingIndexIsCreatedInListOrder) {
  auto d = AddIndexDesigner::ForNew(kFields, "Partner");
  Pick(d, "NEV");
  d.MoveToIndex();
  Pick(d, "VAROS");
  d.MoveToIndex();
  d.name = "NevVaros";
  d.unique = true;
  d.descending = true;
  d.Apply(session_);
  auto ix = Index("NevVaros");
  ASSERT_TRUE(ix);
  EXPECT_EQ(ix->fields, "NEV;VAROS");
  EXPECT_EQ(ix->options, ixCaseInsensitive | ixUnique | ixDescending);
}

TEST_F(AddIndexTest, PrimaryClearsNameAndOtherOptions) {
  auto d = AddIndexDesigner::ForNew(kFields, "Partner");
  d.AvailableDoubleClick();  // ID, named idx_ID
  d.primary = d.unique = d.descending = true;
  EXPECT_EQ(d.Apply(session_), "Index k\xE9sz: ");
  EXPECT_EQ(d.name, "");
  EXPECT_FALSE(d.unique);
  EXPECT_FALSE(d.descending);
  auto c = session_.DbOpenTable("Partner");
  EXPECT_EQ(c->table_file().header().key_fields, 1);
}

TEST_F(AddIndexTest, ModifyRedefinesUnderTheSameName) {
  Run("CREATE UNIQUE INDEX NevVaros ON Partner (NEV, VAROS)");
  ASSERT_TRUE(Index("NevVaros"));
  auto d = AddIndexDesigner::ForModify(session_, kFields, "Partner", "nevvaros");
  EXPECT_EQ(d.mode(), AddIndexMode::kModify);
  EXPECT_EQ(d.caption(), "Index: NEV;VAROS");
  EXPECT_EQ(d.button_caption(), "Modify");
  EXPECT_TRUE(d.name_read_only());
  EXPECT_EQ(d.name, "NevVaros");
  EXPECT_TRUE(d.unique);
  EXPECT_FALSE(d.descending);
  EXPECT_FALSE(d.primary);
  EXPECT_EQ(d.available(), std::vector<std::string>{"ID"});
  EXPECT_EQ(d.index_fields(), (std::vector<std::string>{"NEV", "VAROS"}));
  // The table is closed again: an exclusive open succeeds.
  OpenOptions exclusive;
  exclusive.exclusive = true;
  session_.DbOpenTable("Partner", exclusive);

  d.AvailableDoubleClick();  // ID joins, the name stays
  EXPECT_EQ(d.name, "NevVaros");
  d.index_selected = 1;
  d.MoveBack();  // VAROS leaves
  d.unique = false;
  d.descending = true;
  EXPECT_EQ(d.Plan(), (std::vector<IndexStep>{{Kind::kDeleteIndex, "Partner.DB", "NevVaros", "", 0},
                                              {Kind::kAddIndex, "Partner.DB", "NevVaros", "NEV;ID",
                                               ixCaseInsensitive | ixDescending}}));
  EXPECT_EQ(d.Apply(session_),
            "Index m\xF3"
            "dos\xEDtva: NevVaros");
  auto ix = Index("NevVaros");
  ASSERT_TRUE(ix);
  EXPECT_EQ(ix->fields, "NEV;ID");
  EXPECT_EQ(ix->options, ixCaseInsensitive | ixDescending);
}

// When the new definition cannot be added, the table keeps the old one and the button can be
// pressed again.
TEST_F(AddIndexTest, FailedModifyKeepsTheOldIndex) {
  Run("CREATE UNIQUE INDEX NevVaros ON Partner (NEV, VAROS)");
  auto d = AddIndexDesigner::ForModify(session_, kFields, "Partner", "NevVaros");
  d.index_selected = 0;
  d.MoveBack();
  d.MoveBack();  // no fields left
  EXPECT_THROW(d.Apply(session_), EngineError);
  auto ix = Index("NevVaros");
  ASSERT_TRUE(ix);
  EXPECT_EQ(ix->fields, "NEV;VAROS");
  EXPECT_EQ(ix->options & (ixUnique | ixDescending), ixUnique);

  Pick(d, "VAROS");
  d.MoveToIndex();
  d.Apply(session_);
  ix = Index("NevVaros");
  ASSERT_TRUE(ix);
  EXPECT_EQ(ix->fields, "VAROS");
}

TEST_F(AddIndexTest, ModifyListsEveryFieldOfALongIndex) {
  std::string columns, names, list;
  for (int i = 1; i <= 12; ++i) {
    const std::string f = "F" + std::to_string(i);
    columns += (i > 1 ? ", " : "") + f + " INT";
    names += (i > 1 ? ", " : "") + f;
    list += f + "\r\n";
  }
  Run("CREATE TABLE Wide (" + columns + ", EXTRA INT)");
  Run("CREATE INDEX Long ON Wide (" + names + ")");
  auto d = AddIndexDesigner::ForModify(session_, list + "EXTRA\r\n", "Wide", "Long");
  EXPECT_EQ(d.index_fields().size(), 12u);
  EXPECT_EQ(d.available(), std::vector<std::string>{"EXTRA"});
  d.Apply(session_);
  auto c = session_.DbOpenTable("Wide");
  ASSERT_EQ(c->DbIndexDefs().size(), 1u);
  EXPECT_EQ(c->DbIndexDefs()[0].fields, "F1;F2;F3;F4;F5;F6;F7;F8;F9;F10;F11;F12");
}

TEST_F(AddIndexTest, ModifyOfThePrimaryIndexKeepsItPrimary) {
  Run("CREATE TABLE Keyed (ID INT, KOD INT, NEV CHAR(10), PRIMARY KEY (ID))");
  auto d = AddIndexDesigner::ForModify(session_, "ID\nKOD\nNEV\n", "Keyed", "");
  EXPECT_TRUE(d.primary);
  EXPECT_EQ(d.index_fields(), std::vector<std::string>{"ID"});
  Pick(d, "KOD");
  d.MoveToIndex();
  EXPECT_EQ(d.Plan(),
            (std::vector<IndexStep>{{Kind::kDeleteIndex, "Keyed.DB", "", "", 0},
                                    {Kind::kAddIndex, "Keyed.DB", "", "ID;KOD", ixPrimary}}));
  d.Apply(session_);
  auto c = session_.DbOpenTable("Keyed");
  EXPECT_EQ(c->table_file().header().key_fields, 2);
}

TEST_F(AddIndexTest, ModifyNeedsTheTableFreeAndTheIndexPresent) {
  Run("CREATE INDEX idx_NEV ON Partner (NEV)");
  {
    auto browser = session_.DbOpenTable("Partner");
    EXPECT_THROW(AddIndexDesigner::ForModify(session_, kFields, "Partner", "idx_NEV"), EngineError);
  }
  EXPECT_THROW(AddIndexDesigner::ForModify(session_, kFields, "Partner", "nincs"), EngineError);
  EXPECT_NO_THROW(AddIndexDesigner::ForModify(session_, kFields, "Partner", "idx_NEV"));
}

}  // namespace
}  // namespace tablorix::maintenance
