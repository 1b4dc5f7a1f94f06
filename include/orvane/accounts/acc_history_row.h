#ifndef ORVANE_ACCOUNTS_ACC_HISTORY_ROW_H_
#define ORVANE_ACCOUNTS_ACC_HISTORY_ROW_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/util/row.h"

namespace orvane {

class CClientParam;
class CSymbol;
class CSymbols;

// One entry of an account's history (a closed trade or a money
// transaction), read from a received history row or filled field by field,
// for grids and statements. The variant fields hold what they were given;
// after DefineRow they hold the trimmed cell texts, not numbers.
class CAccHistoryRow : public Object, private NonCopyable {
 public:
  CAccHistoryRow() = default;

  // Fills the entry from a history row (cells joined by "R,@"): cells 1 to
  // 16, each trimmed, go to Ticket (a 32-bit integer), HisTime, HisType,
  // Symbol (the symbol Symbols holds under the text of cell 4, none when
  // absent), lots, BuySell, OpenTime, OpenPrice, ClosePrice, AccTransAmount,
  // Comm, Interest, Checked (0 false, another number true, or the texts
  // True / False), RefPrice, Profit and SymbolName. Cells 17 and 18 are not
  // read. Throws Error(SubscriptOutOfRange) for a row of fewer than 16
  // cells, Error(TypeMismatch) or Error(Overflow) for a cell 1 that is no
  // 32-bit number and Error(TypeMismatch) for a cell 13 that is no Boolean;
  // the fields before the failing cell keep their new values.
  void DefineRow(const std::shared_ptr<CSymbols>& Symbols, std::string_view rData);
  // Sets every field but Symbol from the arguments, in field order; Ticket
  // is vTicket rounded to a 32-bit integer (Error(TypeMismatch) when it is
  // no number, Error(Overflow) out of range; nothing is changed then).
  // SymbolParam is not used and Symbol keeps its value.
  void Define(const Variant& vTicket, std::string vTime, std::string vType,
              const std::shared_ptr<CClientParam>& SymbolParam, Variant vLots,
              Variant vBuySell, std::string vOpenTime, Variant vOpenPrice,
              Variant vClosePrice, Variant vAccTransAmount, Variant vComm,
              Variant vInt, bool vChecked, Variant vRefPrice, Variant vProfit,
              Variant vCurName);

  int32_t Ticket() const { return m_ticket; }
  void Ticket(int32_t value) { m_ticket = value; }
  const std::string& HisTime() const { return m_his_time; }
  void HisTime(std::string value) { m_his_time = std::move(value); }
  const std::string& HisType() const { return m_his_type; }
  void HisType(std::string value) { m_his_type = std::move(value); }
  const std::shared_ptr<CSymbol>& Symbol() const { return m_symbol; }
  void Symbol(std::shared_ptr<CSymbol> value) { m_symbol = std::move(value); }
  const Variant& lots() const { return m_lots; }
  void lots(Variant value) { m_lots = std::move(value); }
  const Variant& BuySell() const { return m_buy_sell; }
  void BuySell(Variant value) { m_buy_sell = std::move(value); }
  const std::string& OpenTime() const { return m_open_time; }
  void OpenTime(std::string value) { m_open_time = std::move(value); }
  const Variant& OpenPrice() const { return m_open_price; }
  void OpenPrice(Variant value) { m_open_price = std::move(value); }
  const Variant& ClosePrice() const { return m_close_price; }
  void ClosePrice(Variant value) { m_close_price = std::move(value); }
  const Variant& AccTransAmount() const { return m_acc_trans_amount; }
  void AccTransAmount(Variant value) { m_acc_trans_amount = std::move(value); }
  const Variant& Comm() const { return m_comm; }
  void Comm(Variant value) { m_comm = std::move(value); }
  const Variant& Interest() const { return m_interest; }
  void Interest(Variant value) { m_interest = std::move(value); }
  bool Checked() const { return m_checked; }
  void Checked(bool value) { m_checked = value; }
  const Variant& RefPrice() const { return m_ref_price; }
  void RefPrice(Variant value) { m_ref_price = std::move(value); }
  const Variant& Profit() const { return m_profit; }
  void Profit(Variant value) { m_profit = std::move(value); }
  const Variant& SymbolName() const { return m_symbol_name; }
  void SymbolName(Variant value) { m_symbol_name = std::move(value); }

 private:
  int32_t m_ticket = 0;
  std::string m_his_time;
  std::string m_his_type;
  std::shared_ptr<CSymbol> m_symbol;
  Variant m_lots;
  Variant m_buy_sell;
  std::string m_open_time;
  Variant m_open_price;
  Variant m_close_price;
  Variant m_acc_trans_amount;
  Variant m_comm;
  Variant m_interest;
  bool m_checked = false;
  Variant m_ref_price;
  Variant m_profit;
  Variant m_symbol_name;
  CRow m_row;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACC_HISTORY_ROW_H_
