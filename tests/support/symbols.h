#ifndef ORVANE_TESTS_SUPPORT_SYMBOLS_H_
#define ORVANE_TESTS_SUPPORT_SYMBOLS_H_

// The one symbol builder of the tests: a symbol with its ID, reference symbol,
// decimals and quote set, outside any collection.

#include <cstdint>
#include <memory>

#include "orvane/market/symbol.h"

namespace orvane::test {

inline std::shared_ptr<CSymbol> MakeSymbol(int32_t id, int32_t ref_id = 0, double bid = 0,
                                           double ask = 0, int16_t pip_location = -4) {
  auto symbol = std::make_shared<CSymbol>();
  symbol->ID(id);
  symbol->RefID(ref_id);
  symbol->PipLocation(pip_location);
  symbol->Bid(bid);
  symbol->Ask(ask);
  return symbol;
}

}  // namespace orvane::test

#endif  // ORVANE_TESTS_SUPPORT_SYMBOLS_H_
