#ifndef ORVANE_APPS_DESK_DESK_DETAIL_H_
#define ORVANE_APPS_DESK_DESK_DETAIL_H_

// Small helpers the desk's source files share; not part of its interface.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "orvane/accounts/account.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client_param.h"
#include "orvane/core/conversions.h"
#include "orvane/market/symbol.h"
#include "records.h"

namespace orvane::apps {

namespace desk_detail {

// The quote time of symbols that have not been quoted yet.
constexpr const char* kNoQuoteYet = "01/01/1900 00:00:00";

inline std::string money(double value) { return NumberText(RoundMoney(value)); }

inline model::Totals totals_of(const CAccount& account) {
  const CSummaries& s = *account.SummeryInfo();
  return {s.TotalCommission(), s.MarginRequirement(), s.NetProfit(),    s.TotalDeposit(),
          s.Credit(),          s.PreviousMargin(),    s.TotalInterest()};
}

inline int64_t lot_key(int32_t client, int32_t symbol) {
  return (static_cast<int64_t>(client) << 32) | static_cast<uint32_t>(symbol);
}

// The outcome of a request refused with `code` and `text`.
inline model::OrderNumber refused(model::OrderNumber outcome, int32_t code, std::string text) {
  outcome.code = code;
  outcome.text = std::move(text);
  return outcome;
}

// The size of one pip of the symbol's prices.
inline double pip_of(const CSymbol& symbol) {
  const auto location = static_cast<int32_t>(symbol.PipLocation().NumberValue());
  return std::pow(10.0, location == 100 ? -2 : location);
}

inline int32_t symbol_of(const std::shared_ptr<CClientParam>& param) {
  return param && param->Symbol() ? param->Symbol()->ID() : 0;
}

}  // namespace desk_detail

}  // namespace orvane::apps

#endif  // ORVANE_APPS_DESK_DESK_DETAIL_H_
