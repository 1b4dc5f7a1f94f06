#ifndef ORVANE_UTIL_ROW_H_
#define ORVANE_UTIL_ROW_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// One row of a result table: built cell by cell into a row string whose
// cells are joined by the delimiter ("R,@" by default), or a received row
// string taken apart again. Building (NewRow, AddCell, RowVal) and reading
// (Add, Count, Item) use separate data and do not disturb each other.
// Cells are never escaped: a cell that holds the delimiter splits in two.
class CRow : public Object, public ISafeObject, private NonCopyable {
 public:
  static constexpr std::string_view kDefaultDelimiter = "R,@";  // between cells

  CRow() = default;

  // Splits `vStrings` at every delimiter into the cells read by Count and
  // Item; empty cells are kept ("a" delimiter delimiter "c" is three cells).
  // The empty text gives no cell at all. With an empty delimiter the whole
  // text is one cell.
  void Add(std::string_view vStrings);
  // The number of cells of the last Add; 0 before any Add.
  int32_t Count() const;
  // Cell `Index`, counted from 1. Throws Error(SubscriptOutOfRange) for an
  // index outside 1..Count().
  const std::string& Item(int32_t Index) const;

  // Starts a new row: the row value becomes null.
  void NewRow();
  // Appends a cell. While the row value is null the cell becomes the row
  // value as it is (so a null first cell leaves the row null and is lost);
  // afterwards the row value becomes its text + delimiter + the cell's text
  // (null and empty cells add nothing but the delimiter).
  void AddCell(const Variant& CellVal);
  // The row built so far: null for a new row, else the first cell's value or
  // the joined text.
  const Variant& RowVal() const { return m_row; }

  // The text between cells, for building and reading alike.
  const std::string& Delimiter() const { return m_delimiter; }
  // Sets the delimiter (kDefaultDelimiter until set).
  void Delimiter(std::string_view value) { m_delimiter = value; }

  // The row holds no references; nothing to release.
  void Deallocate() override {}

 private:
  std::string m_delimiter{kDefaultDelimiter};
  Variant m_row{Null};
  std::vector<std::string> m_cells;
};

}  // namespace orvane

#endif  // ORVANE_UTIL_ROW_H_
