// The index designer's core: the field lists, the name and option boxes, the index definition
// they make, and the engine calls that add a new index or redefine an existing one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/types.h"

namespace tablorix::maintenance {

enum class AddIndexMode { kNew, kModify };

// One engine call of a new or modify sequence.
struct IndexStep {
  enum class Kind { kDeleteIndex, kAddIndex };
  Kind kind = Kind::kAddIndex;
  std::string table;  // the table's file name: item + ".DB"
  std::string name;
  std::string fields;  // kAddIndex: joined by ";"
  TIndexOptions options = 0;
  bool operator==(const IndexStep&) const = default;
};

// The state of one Tfrm_AddIndex dialog. A window shows these members and forwards its
// controls' events to the methods.
class AddIndexDesigner {
 public:
  // New mode over the main window's field list text (one field name per line).
  static AddIndexDesigner ForNew(const std::string& fields_text, const std::string& table);
  // Modify mode: reads the definition of `index_name` through an exclusive open of the table,
  // closed again before this returns. Throws EngineError when the table cannot be opened or has
  // no index of that name.
  static AddIndexDesigner ForModify(Session& session, const std::string& fields_text,
                                    const std::string& table, const std::string& index_name);

  AddIndexMode mode() const { return mode_; }
  const std::string& table_file() const { return table_file_; }
  const std::string& caption() const { return caption_; }
  const std::string& button_caption() const { return button_caption_; }
  bool name_read_only() const { return mode_ == AddIndexMode::kModify; }

  // ListBox1 (available fields) and ListBox2 (index fields, in index order), with their
  // selected items.
  const std::vector<std::string>& available() const { return available_; }
  const std::vector<std::string>& index_fields() const { return index_fields_; }
  std::optional<size_t> available_selected;
  std::optional<size_t> index_selected;

  // The boxes of the dialog.
  std::string name;  // Edit1
  bool primary = false;
  bool unique = false;
  bool descending = false;

  // ">": moves the selected available field to the end of the index fields.
  void MoveToIndex();
  // Double-click on an available field: the same move; in new mode the name becomes "idx_" +
  // the field name.
  void AvailableDoubleClick();
  // "<" and a double-click on an index field: moves it back to the end of the available list.
  void MoveBack();

  // The index fields joined by ";".
  std::string FieldsText() const;
  // The options the boxes stand for: {ixPrimary} alone for a primary index, otherwise
  // case-insensitive with Unique and Descending as ticked.
  TIndexOptions Options() const;

  // The engine calls "Létrehoz" / "Modify" makes. Ticking Primary empties the name and unticks
  // Unique and Descending, as the button does; the delete of a modify names the index being
  // redefined even then.
  std::vector<IndexStep> Plan();
  // Runs Plan() and returns the information message ("Index kész: " / "Index módosítva: " and
  // the name). When the add of a modify fails, the old definition is put back before the
  // error goes on, so the table keeps its index and the button can be pressed again.
  std::string Apply(Session& session);

 private:
  AddIndexMode mode_ = AddIndexMode::kNew;
  std::string table_file_;
  std::string caption_ =
      "Index hozz\xE1"
      "ad\xE1"
      "s";
  std::string button_caption_ = "L\xE9trehoz";
  std::vector<std::string> available_;
  std::vector<std::string> index_fields_;
  TIndexDef original_;  // modify mode: the definition read when the dialog opened
};

}  // namespace tablorix::maintenance
