#include "orvane/accounts/acc_history_row.h"

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

namespace orvane {
namespace {

constexpr int32_t kHistoryCells = 16;

bool boolean_of(std::string_view cell) {
  double number = 0;
  if (ParseLocalNumber(cell, number)) return number != 0;
  const std::string folded = ToUpper(cell);
  if (folded == "TRUE") return true;
  if (folded == "FALSE") return false;
  throw Error(ErrorCode::TypeMismatch,
              "history row: checked cell is no Boolean: '" + std::string(cell) + "'");
}

}  // namespace

void CAccHistoryRow::DefineRow(const std::shared_ptr<CSymbols>& Symbols,
                               std::string_view rData) {
  m_row.Add(rData);
  auto cell = [this](int32_t index) -> std::string {
    if (index > m_row.Count()) {
      throw Error(ErrorCode::SubscriptOutOfRange,
                  "history row has " + std::to_string(m_row.Count()) + " cells, needs " +
                      std::to_string(kHistoryCells));
    }
    return std::string(Trim(m_row.Item(index)));
  };
  m_ticket = TextToInt32(cell(1));
  m_his_time = cell(2);
  m_his_type = cell(3);
  const std::string symbol_key = cell(4);
  m_symbol = Symbols ? Symbols->Item(Variant(symbol_key)) : nullptr;
  m_lots = cell(5);
  m_buy_sell = cell(6);
  m_open_time = cell(7);
  m_open_price = cell(8);
  m_close_price = cell(9);
  m_acc_trans_amount = cell(10);
  m_comm = cell(11);
  m_interest = cell(12);
  m_checked = boolean_of(cell(13));
  m_ref_price = cell(14);
  m_profit = cell(15);
  m_symbol_name = cell(16);
}

void CAccHistoryRow::Define(const Variant& vTicket, std::string vTime, std::string vType,
                            const std::shared_ptr<CClientParam>& /*SymbolParam*/,
                            Variant vLots, Variant vBuySell, std::string vOpenTime,
                            Variant vOpenPrice, Variant vClosePrice,
                            Variant vAccTransAmount, Variant vComm, Variant vInt,
                            bool vChecked, Variant vRefPrice, Variant vProfit,
                            Variant vCurName) {
  m_ticket = ToInt32(vTicket);
  m_his_time = std::move(vTime);
  m_his_type = std::move(vType);
  m_lots = std::move(vLots);
  m_buy_sell = std::move(vBuySell);
  m_open_time = std::move(vOpenTime);
  m_open_price = std::move(vOpenPrice);
  m_close_price = std::move(vClosePrice);
  m_acc_trans_amount = std::move(vAccTransAmount);
  m_comm = std::move(vComm);
  m_interest = std::move(vInt);
  m_checked = vChecked;
  m_ref_price = std::move(vRefPrice);
  m_profit = std::move(vProfit);
  m_symbol_name = std::move(vCurName);
}

}  // namespace orvane
