#include "orvane/accounts/alert.h"

#include "orvane/market/symbol.h"

namespace orvane {

void CAlert::Symbol(std::shared_ptr<CSymbol> value) {
  if (value != nullptr) m_symbol_id = value->ID();
  m_symbol = std::move(value);
}

}  // namespace orvane
