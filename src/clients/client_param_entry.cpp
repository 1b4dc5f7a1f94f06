#include "orvane/clients/client_param_entry.h"

#include "orvane/core/error.h"
#include "orvane/market/symbol.h"

namespace orvane {

const CSymbol& ClientParamEntry::PricedSymbol() const {
  if (m_symbol == nullptr) {
    throw Error(ErrorCode::ObjectRequired,
                "Object required: the parameter entry has no symbol to price");
  }
  return *m_symbol;
}

double ClientParamEntry::ClosePriceWithSpread(OperationTypeEnum vBuySell) const {
  return PricedSymbol().ClosePriceWithSpread2(m_spread, m_source_plus, m_price_offset, vBuySell);
}

double ClientParamEntry::BidWithSpread() const {
  return PricedSymbol().BidWithSpread2(m_spread, m_source_plus, m_price_offset);
}

double ClientParamEntry::AskWithSpread() const {
  return PricedSymbol().AskWithSpread2(m_spread, m_source_plus, m_price_offset);
}

double ClientParamEntry::PriceWithSpread(OperationTypeEnum BuySell) const {
  return PricedSymbol().PriceWithSpread2(m_spread, m_source_plus, m_price_offset, BuySell);
}

void ClientParamEntry::Spread(const Variant& value) {
  if (value.kind() == Variant::Kind::Number) {
    m_spread = value;
  } else if (value.IsNumeric() && !value.IsNullOrEmptyText()) {
    m_spread = value.NumberValue();
  } else {
    m_spread = Null;
  }
}

void ClientParamEntry::Deallocate() {
  m_symbol.reset();
  m_parent.reset();
}

}  // namespace orvane
