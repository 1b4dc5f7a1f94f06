#include "orvane/clients/client_param_entry.h"

#include <atomic>

#include "orvane/core/error.h"
#include "orvane/market/symbol.h"

namespace orvane {
namespace {

std::atomic<uint64_t> g_pricing_generation{0};

void pricing_changed() { g_pricing_generation.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

uint64_t ClientParamEntry::PricingGeneration() {
  return g_pricing_generation.load(std::memory_order_relaxed);
}

const CSymbol& ClientParamEntry::PricedSymbol() const {
  if (m_symbol == nullptr) {
    throw Error(ErrorCode::ObjectRequired,
                "Object required: the parameter entry has no symbol to price");
  }
  return *m_symbol;
}

// The prices take the spread as pips (the entry keeps only a number or
// null), not through the variant path: the same results, read for every
// position the price walk revalues.
double ClientParamEntry::ClosePriceWithSpread(OperationTypeEnum vBuySell) const {
  return PricedSymbol().ClosePriceWithSpreadPips(SpreadPips(), m_source_plus, m_price_offset,
                                                 vBuySell);
}

// A buy closes at the bid, a sell at the ask.
double ClientParamEntry::BidWithSpread() const { return ClosePriceWithSpread(BuyType); }

double ClientParamEntry::AskWithSpread() const { return ClosePriceWithSpread(SellType); }

double ClientParamEntry::PriceWithSpread(OperationTypeEnum BuySell) const {
  return BuySell == BuyType ? AskWithSpread() : BidWithSpread();
}

void ClientParamEntry::Spread(const Variant& value) {
  if (value.kind() == Variant::Kind::Number) {
    m_spread = value;
  } else if (value.IsNumeric() && !value.IsNullOrEmptyText()) {
    m_spread = value.NumberValue();
  } else {
    m_spread = Null;
  }
  pricing_changed();
}

void ClientParamEntry::SourcePlus(int16_t value) {
  m_source_plus = value;
  pricing_changed();
}

void ClientParamEntry::Commission(double value) {
  m_commission = value;
  pricing_changed();
}

void ClientParamEntry::Symbol(std::shared_ptr<CSymbol> value) {
  m_symbol = std::move(value);
  pricing_changed();
}

void ClientParamEntry::Parent(std::shared_ptr<CClientParam> value) {
  m_parent = std::move(value);
  pricing_changed();
}

void ClientParamEntry::PriceOffset(int16_t value) {
  m_price_offset = value;
  pricing_changed();
}

void ClientParamEntry::Deallocate() {
  m_symbol.reset();
  m_parent.reset();
  pricing_changed();
}

}  // namespace orvane
