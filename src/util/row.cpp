#include "orvane/util/row.h"

#include "orvane/core/error.h"

namespace orvane {

void CRow::Add(std::string_view vStrings) {
  m_cells.clear();
  if (vStrings.empty()) return;
  if (m_delimiter.empty()) {
    m_cells.emplace_back(vStrings);
    return;
  }
  size_t start = 0;
  while (true) {
    const size_t at = vStrings.find(m_delimiter, start);
    if (at == std::string_view::npos) {
      m_cells.emplace_back(vStrings.substr(start));
      return;
    }
    m_cells.emplace_back(vStrings.substr(start, at - start));
    start = at + m_delimiter.size();
  }
}

int32_t CRow::Count() const { return static_cast<int32_t>(m_cells.size()); }

const std::string& CRow::Item(int32_t Index) const {
  if (Index < 1 || Index > Count()) {
    throw Error(ErrorCode::SubscriptOutOfRange,
                "Subscript out of range: row cell " + std::to_string(Index) +
                    " of " + std::to_string(Count()));
  }
  return m_cells[static_cast<size_t>(Index - 1)];
}

void CRow::NewRow() { m_row = Null; }

void CRow::AddCell(const Variant& CellVal) {
  if (m_row.IsNull()) {
    m_row = CellVal;
    return;
  }
  std::string text = m_row.TextValue();
  text += m_delimiter;
  text += CellVal.TextValue();
  m_row = Variant(std::move(text));
}

}  // namespace orvane
