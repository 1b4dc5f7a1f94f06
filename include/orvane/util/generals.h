#ifndef ORVANE_UTIL_GENERALS_H_
#define ORVANE_UTIL_GENERALS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/date_time.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/vocabulary/account_history_type_enum.h"
#include "orvane/vocabulary/account_trans_type_enum.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/market_order_status_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "orvane/vocabulary/orders_type_enum.h"
#include "orvane/vocabulary/transaction_type_enum.h"
#include "orvane/vocabulary/user_type_enum.h"

namespace orvane {

class CRow;
class CStringValues;

// What an "other group" party of the broker's tree is.
enum ClientSubTypeEnum : int32_t {
  GROUP_SUB_TYPE = 1,
  LOGICAL_SERVER_SUB_TYPE = 2,
};

// The kind of a logical server.
enum LogicalServerTypeEnum : int32_t {
  REAL_SERVER_TYPE = 1,
  DEMO_SERVER_TYPE = 2,
  HISTORY_SERVER_TYPE = 3,
};

// The kind of a transaction log entry.
enum TransactionLogTypeEnum : int32_t {
  NewPositionTransLog = 1,
  LiqPositionTransLog = 2,
  AccountTransTransLog = 3,
  TakeProfitStopLossTransLog = 4,
  LimitStopTransLog = 5,
};

// The text forms in which positions, pending orders, order audit entries,
// account history entries, closed-position lists and per-symbol client
// parameters travel and are stored, and the short display texts of the
// trading enumerations.
//
// Rows are cells joined by "R,@"; cells are never escaped, so a value that
// holds "R,@" corrupts its row. Number cells are NumberToString texts
// (empty for null, empty or non-numeric values).
//
// Splitters assign their outputs in cell order. A missing cell throws
// Error(SubscriptOutOfRange) and a cell that must hold an integer but holds
// other text throws Error(TypeMismatch) (Error(Overflow) when it does not
// fit); the outputs before the failing cell are already assigned.
class CGenerals : public Object, public ISafeObject, private NonCopyable {
 public:
  CGenerals();
  ~CGenerals() override;

  // Position row of 16 cells: client, Val(account), ticket, time,
  // "Buy"/"Sell" of the operation type, lots, trimmed symbol, price, "M" or
  // "" for stop-loss and take-profit, checked flag, original lots, symbol
  // name, open interest, method, note. Throws Error(Overflow) when the
  // operation type is beyond 32 bits.
  std::string PosRowString(const Variant& vClient, const Variant& vAccount,
                           const Variant& vTicket, std::string_view vTime,
                           const Variant& vLots, const Variant& vPrice,
                           const Variant& vCur, const Variant& vSL,
                           const Variant& vTP, const Variant& vop_type,
                           const Variant& vChecked,
                           const Variant& vOriginalAllLots,
                           const Variant& vCurName, const Variant& vInt,
                           const Variant& vMethod, const Variant& vNote);
  // Reads a position row back. Integer cells (client, account, ticket,
  // symbol, checked) must hold numbers; lots, prices and interest are read by
  // the Val rule; the direction by BuySellCode.
  void SplitPosRow(std::string_view rData, int32_t& vClient, int32_t& vAccount,
                   int32_t& Ticket, std::string& PosTime,
                   OperationTypeEnum& BuySell, double& lots, int32_t& vCur,
                   double& Price, std::string& SLDesc, std::string& TPDesc,
                   int16_t& Checked, double& OriginalAllLots,
                   std::string& SymName, double& OpenInt,
                   std::string& OpenMethod, std::string& OpenNote);

  // Pending order row of 12 cells.
  std::string OrderRowString(const Variant& vTicket, std::string_view vTime,
                             const Variant& vop_type, const Variant& vLots,
                             const Variant& vCur, const Variant& vPrice,
                             const Variant& vOpCpLoST, const Variant& vCpIoID,
                             const Variant& vSL, const Variant& vTP,
                             const Variant& vStatus, const Variant& vNote);
  // The 12 cells of an order row, untrimmed.
  void SplitOrderRow(std::string_view OrderRow, std::string& vOrder,
                     std::string& vTime, std::string& vBuySell,
                     std::string& vLots, std::string& vCur, std::string& vPrice,
                     std::string& vOpCpLoST, std::string& vCpIoID,
                     std::string& vSL, std::string& vTP, std::string& vStatus,
                     std::string& vNote);

  // Order audit row of 16 cells; cell 8 is the local date and time at which
  // the row is built ("dd/mm/yyyy hh:nn:ss").
  std::string OrdersAuditRowString(
      int32_t vClient, int32_t vAccount, OrdersTypeEnum OrderType,
      int32_t vOrderID, int32_t vStatus, const Variant& OrIoID,
      const Variant& OrCpIoID, const Variant& NewBuy, const Variant& NewSell,
      const Variant& OrAmount, const Variant& SymID, const Variant& OldBuy,
      const Variant& OldSell, OperationTypeEnum BuySell,
      std::string_view Comment);
  // The 16 cells of an order audit row, untrimmed.
  void SplitOrderAuditRow(std::string_view OrderRow, std::string& Client,
                          std::string& Account, std::string& OrType,
                          std::string& OrID, std::string& OrStatus,
                          std::string& OrIoID, std::string& OrCpIoID,
                          std::string& vTime, std::string& OrNewBuy,
                          std::string& OrNewSell, std::string& OrAmount,
                          std::string& OrCur, std::string& OrOldBuy,
                          std::string& OrOldSell, std::string& OrBuySell,
                          std::string& Comment);

  // Account history row of 18 cells.
  std::string AccHistoryRowString(
      const Variant& vTicket, std::string_view vTime, const Variant& vType,
      const Variant& vCur, const Variant& vLots, const Variant& vop_type,
      std::string_view vOpenTime, const Variant& vOpenPrice,
      const Variant& vClosePrice, const Variant& vAccTransAmount,
      const Variant& vComm, const Variant& vInterest, const Variant& vChecked,
      const Variant& RefPrice, const Variant& vProfit,
      std::string_view vCurName, std::string_view vMethod,
      std::string_view vNote);
  // Cells 1 to 17 of a history row, trimmed. Cell 18 (the note) is not
  // read: `vNote` receives cell 17, the method.
  void SplitHistoryRow(std::string_view rData, std::string& Ticket,
                       std::string& HisTime, std::string& HisType,
                       std::string& SymbolID, std::string& lots,
                       std::string& BuySell, std::string& OpenTime,
                       std::string& OpenPrice, std::string& ClosePrice,
                       std::string& AccTransAmount, std::string& Comm,
                       std::string& Interest, std::string& Checked,
                       std::string& RefPrice, std::string& Profit,
                       std::string& SymbolName, std::string& vNote);

  // Splits a ","-separated list of closings, ten fields each (open ticket,
  // close ticket, close lots, close price, close reference price, close
  // time, close commission, close interest, close profit, open time), into
  // the arrays at indices 1..count; index 0 stays empty. Every array is
  // first replaced by round(n / 10) + 1 empty texts (n fields, halves to
  // even). The empty text returns 0 and leaves the arrays as they are. A
  // field count that is not a multiple of ten throws
  // Error(SubscriptOutOfRange) at the incomplete group, after the complete
  // groups (and whatever of the incomplete one fits) are stored.
  int16_t SplitClosesPos(std::string_view ClosesPos,
                         std::vector<std::string>& OpenTicket,
                         std::vector<std::string>& CloseTicket,
                         std::vector<std::string>& CloseLots,
                         std::vector<std::string>& ClosePrice,
                         std::vector<std::string>& CloseRefPrice,
                         std::vector<std::string>& CloseTime,
                         std::vector<std::string>& CloseComm,
                         std::vector<std::string>& CloseInt,
                         std::vector<std::string>& CloseProfit,
                         std::vector<std::string>& OpenTime);

  // The seven-field parameters text (symbol, spread, limit offset, stop
  // offset, commission, max lots, min lots) of indices 1..SymID.size()-1,
  // groups joined by ","; index 0 is not written. Throws
  // Error(SubscriptOutOfRange) when another array is shorter than SymID.
  std::string ParametersString(const std::vector<int32_t>& SymID,
                               const std::vector<Variant>& SpreadVal,
                               const std::vector<double>& LimitOff,
                               const std::vector<double>& StopOff,
                               const std::vector<double>& Comm,
                               const std::vector<double>& MaxLots,
                               const std::vector<double>& MinLots);
  // Reads the nine-field client parameters text (symbol, spread, spread
  // source plus, limit offset, stop offset, commission, max lots, min lots,
  // price offset) into indices 1..count and returns count. Every array is
  // first resized to round(n / 9) + 1 (n fields, halves to even), keeping
  // what it held. Numbers are read in the local number form; a field that
  // is no number throws Error(TypeMismatch) naming it, a value beyond its
  // integer type Error(Overflow). A field count that is not a multiple of
  // nine throws Error(SubscriptOutOfRange) at the incomplete group; the
  // groups before it are stored. Text that is empty after trimming returns 0
  // and leaves the arrays as they are.
  int32_t SplitClientParameters(std::string_view vPars,
                                std::vector<int32_t>& SymID,
                                std::vector<Variant>& SpreadVal,
                                std::vector<int16_t>& SourcePlus,
                                std::vector<double>& LimitOff,
                                std::vector<double>& StopOff,
                                std::vector<double>& Comm,
                                std::vector<double>& MaxLots,
                                std::vector<double>& MinLots,
                                std::vector<int16_t>& PriceOffset);

  // Descriptions: the empty text for a value not listed unless stated.
  std::string ClientDescription(
      ClientTypeEnum vType, ClientSubTypeEnum vSubType = GROUP_SUB_TYPE,
      LogicalServerTypeEnum vSubType2 = REAL_SERVER_TYPE) const;
  std::string OrderDescription(OrdersTypeEnum vType) const;
  std::string MarketOrderStatusDesc(MarketOrderStatusEnum vStatus) const;
  std::string AccountTransDesc(AccountTransTypeEnum vType) const;
  // "New", "Update", and "Delete" for every other value.
  Variant TransactionDesc(TransactionTypeEnum vType) const;
  // "Dealer", "Client", and "Demo Client" for every other value.
  std::string UserTypeDesc(UserTypeEnum UserType) const;
  // The short code stored in history rows: "N", "L", or the money movement
  // code ("DP", "WD", "AJ", "CI", "CO", "PR").
  std::string AccountHistoryDesc(
      AccountHistoryTypeEnum vType,
      AccountTransTypeEnum SubType = WithdrawalAccTrans) const;
  // "N", "L-<ticket>", the money movement text, "TP/SL-<ticket>", or the
  // limit/stop direction text of `SubType`.
  std::string TransactionLogDesc(TransactionLogTypeEnum tType, int32_t SubType,
                                 const Variant& Ticket2) const;
  // "Buy"/"Sell", or with `WithLimitStop` "Buy Limit", "Sell Limit",
  // "Buy Stop", "Sell Stop"; every value not listed counts as SellStopType.
  std::string BuySellDesc(OperationTypeEnum b_s, bool WithLimitStop = false) const;
  // The direction whose description is exactly `b_sDesc` (case-sensitive),
  // trying 1, -1, 2, -2 in turn; 0 for any other text.
  OperationTypeEnum BuySellCode(std::string_view b_sDesc) const;
  // The opposite direction; 0 for a value not listed.
  OperationTypeEnum BuySellRevCode(OperationTypeEnum b_s) const;
  // "" when the value is null, empty or numerically 0, else "M".
  std::string SlTpDesc(const Variant& sl_tp_number) const;
  // `NvlVal` when `Exp` is null or the empty string, else `Exp`.
  Variant NVL(const Variant& Exp, const Variant& NvlVal) const;

  // Date texts; all put the day first.
  std::string MonthDayYear(DateTime vDate) const;               // dd-mm-yy
  std::string HourMinuteSecond(DateTime vDate) const;           // hh:mm:ss
  std::string MonthDayYearTime(DateTime vDate) const;           // both
  std::string YearMonthDateFileName(DateTime vDate) const;      // dd-mm-yyyy
  std::string YearMonthDateTimeFileName(DateTime vDate) const;  // + hh-mm-ss
  // "mmm dd hh:mm" for a date in the current year, else "mmm dd  yyyy".
  std::string FormatDateString(DateTime vDate) const;

  // Releases the row builder and the value formatter; a later call makes
  // new ones.
  void Deallocate() override;

 private:
  CRow& Row();
  const CStringValues& Values() const;

  std::unique_ptr<CRow> m_row;
  mutable std::unique_ptr<CStringValues> m_values;
};

}  // namespace orvane

#endif  // ORVANE_UTIL_GENERALS_H_
