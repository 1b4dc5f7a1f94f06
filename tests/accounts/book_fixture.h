#ifndef ORVANE_TESTS_ACCOUNTS_BOOK_FIXTURE_H_
#define ORVANE_TESTS_ACCOUNTS_BOOK_FIXTURE_H_

#include <memory>

#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/market/symbol.h"

namespace orvane::testing_book {

// A symbol priced to 4 decimals (or the unit symbol for id 1) with a 100,000
// contract and prices that enter profit as they stand.
inline std::shared_ptr<CSymbol> MakeSymbol(int32_t id, double bid, double ask,
                                           int32_t ref_id, double factor = 100000) {
  auto symbol = std::make_shared<CSymbol>();
  symbol->ID(id);
  symbol->PipLocation(-4);
  symbol->RefID(ref_id);
  symbol->Factor(factor);
  symbol->PriceCase(1);
  symbol->RefPriceCase(1);
  symbol->SpreadType(FromBidSpread);
  symbol->Bid(bid);
  symbol->Ask(ask);
  return symbol;
}

// A full client entry with a fixed spread in pips, laid on the bid.
inline std::shared_ptr<CClientParam> AddEntry(CClientParams& params,
                                              const std::shared_ptr<CSymbol>& symbol,
                                              double spread, double commission = 0) {
  return params.Add(spread, 0, commission, 100, 0.01, 0, 0, 0, symbol, 1);
}

}  // namespace orvane::testing_book

#endif  // ORVANE_TESTS_ACCOUNTS_BOOK_FIXTURE_H_
