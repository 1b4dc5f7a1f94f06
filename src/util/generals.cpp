#include "orvane/util/generals.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/util/row.h"
#include "orvane/util/string_values.h"

namespace orvane {
namespace {

constexpr int kPosRowCells = 16;

std::vector<std::string_view> split_fields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

[[noreturn]] void out_of_range(const char* what, size_t index, size_t size) {
  throw Error(ErrorCode::SubscriptOutOfRange,
              std::string("Subscript out of range: ") + what + " " +
                  std::to_string(index) + " of " + std::to_string(size));
}

// Reads the groups of a ","-separated list into arrays; an index error
// names the incomplete group it stopped at.
class GroupReader {
 public:
  GroupReader(const std::vector<std::string_view>& fields, size_t group_size,
              const char* list)
      : m_fields(fields), m_group_size(group_size), m_list(list) {}

  void start(size_t first) { m_first = first; }

  std::string_view field(size_t k) const {
    if (m_first + k >= m_fields.size()) Fail();
    return m_fields[m_first + k];
  }

  template <typename T>
  T& slot(std::vector<T>& items, size_t index) const {
    if (index >= items.size()) Fail();
    return items[index];
  }

 private:
  [[noreturn]] void Fail() const {
    std::string group;
    const size_t end = std::min(m_first + m_group_size, m_fields.size());
    for (size_t i = m_first; i < end; ++i) {
      if (i > m_first) group += ',';
      group += m_fields[i];
    }
    throw Error(ErrorCode::SubscriptOutOfRange,
                "Subscript out of range: the " + std::string(m_list) + " of " +
                    std::to_string(m_fields.size()) +
                    " fields ends in the incomplete group '" + group + "'");
  }

  const std::vector<std::string_view>& m_fields;
  size_t m_group_size;
  const char* m_list;
  size_t m_first = 0;
};

// The number of array slots a splitter makes for n fields in groups of
// `group`: round(n / group) + 1, halves to even.
size_t slots_for(size_t n, int group) {
  return static_cast<size_t>(
             std::nearbyint(static_cast<double>(n) / static_cast<double>(group))) +
         1;
}

double text_to_double(std::string_view text) {
  double value = 0;
  if (!ParseLocalNumber(text, value)) {
    throw Error(ErrorCode::TypeMismatch,
                "Type mismatch: '" + std::string(text) + "' is not a number");
  }
  return value;
}

std::string trimmed(std::string_view text) { return std::string(Trim(text)); }

// Starts a group count one higher, failing as a 16-bit counter does.
int16_t next_count(int16_t count) {
  if (count == std::numeric_limits<int16_t>::max()) {
    throw Error(ErrorCode::Overflow, "Overflow: more than 32767 closings");
  }
  return static_cast<int16_t>(count + 1);
}

}  // namespace

CGenerals::CGenerals()
    : m_row(std::make_unique<CRow>()), m_values(std::make_unique<CStringValues>()) {}

CGenerals::~CGenerals() = default;

void CGenerals::Deallocate() {
  m_row.reset();
  m_values.reset();
}

CRow& CGenerals::Row() {
  if (!m_row) m_row = std::make_unique<CRow>();
  return *m_row;
}

const CStringValues& CGenerals::Values() const {
  if (!m_values) m_values = std::make_unique<CStringValues>();
  return *m_values;
}

std::string CGenerals::PosRowString(
    const Variant& vClient, const Variant& vAccount, const Variant& vTicket,
    std::string_view vTime, const Variant& vLots, const Variant& vPrice,
    const Variant& vCur, const Variant& vSL, const Variant& vTP,
    const Variant& vop_type, const Variant& vChecked,
    const Variant& vOriginalAllLots, const Variant& vCurName,
    const Variant& vInt, const Variant& vMethod, const Variant& vNote) {
  const CStringValues& sv = Values();
  const auto direction =
      static_cast<OperationTypeEnum>(ToInt32(Val(vop_type.TextValue())));
  CRow& row = Row();
  row.NewRow();
  row.AddCell(sv.NumberToString(vClient));
  row.AddCell(sv.NumberToString(Val(vAccount.TextValue())));
  row.AddCell(sv.NumberToString(vTicket));
  row.AddCell(vTime);
  row.AddCell(BuySellDesc(direction, false));
  row.AddCell(sv.NumberToString(vLots));
  row.AddCell(trimmed(NVL(vCur, "").TextValue()));
  row.AddCell(sv.NumberToString(vPrice));
  row.AddCell(SlTpDesc(vSL));
  row.AddCell(SlTpDesc(vTP));
  row.AddCell(sv.NumberToString(vChecked));
  row.AddCell(sv.NumberToString(vOriginalAllLots));
  row.AddCell(NVL(vCurName, ""));
  row.AddCell(sv.NumberToString(vInt));
  row.AddCell(NVL(vMethod, ""));
  row.AddCell(NVL(vNote, ""));
  return row.RowVal().TextValue();
}

void CGenerals::SplitPosRow(std::string_view rData, int32_t& vClient,
                            int32_t& vAccount, int32_t& Ticket,
                            std::string& PosTime, OperationTypeEnum& BuySell,
                            double& lots, int32_t& vCur, double& Price,
                            std::string& SLDesc, std::string& TPDesc,
                            int16_t& Checked, double& OriginalAllLots,
                            std::string& SymName, double& OpenInt,
                            std::string& OpenMethod, std::string& OpenNote) {
  CRow& row = Row();
  row.Add(rData);
  vClient = TextToInt32(row.Item(1));
  vAccount = TextToInt32(row.Item(2));
  Ticket = TextToInt32(Trim(row.Item(3)));
  PosTime = row.Item(4);
  BuySell = BuySellCode(row.Item(5));
  lots = Val(row.Item(6));
  vCur = TextToInt32(row.Item(7));
  Price = Val(row.Item(8));
  SLDesc = row.Item(9);
  TPDesc = row.Item(10);
  Checked = TextToInt16(row.Item(11));
  OriginalAllLots = Val(row.Item(12));
  SymName = row.Item(13);
  OpenInt = Val(row.Item(14));
  OpenMethod = row.Item(15);
  OpenNote = row.Item(kPosRowCells);
}

std::string CGenerals::OrderRowString(
    const Variant& vTicket, std::string_view vTime, const Variant& vop_type,
    const Variant& vLots, const Variant& vCur, const Variant& vPrice,
    const Variant& vOpCpLoST, const Variant& vCpIoID, const Variant& vSL,
    const Variant& vTP, const Variant& vStatus, const Variant& vNote) {
  const CStringValues& sv = Values();
  CRow& row = Row();
  row.NewRow();
  row.AddCell(sv.NumberToString(vTicket));
  row.AddCell(vTime);
  row.AddCell(vop_type);
  row.AddCell(sv.NumberToString(vLots));
  row.AddCell(trimmed(NVL(vCur, "").TextValue()));
  row.AddCell(NVL(vPrice, ""));
  row.AddCell(NVL(vOpCpLoST, ""));
  row.AddCell(NVL(vCpIoID, ""));
  row.AddCell(NVL(vSL, ""));
  row.AddCell(NVL(vTP, ""));
  row.AddCell(NVL(vStatus, ""));
  row.AddCell(NVL(vNote, ""));
  return row.RowVal().TextValue();
}

void CGenerals::SplitOrderRow(std::string_view OrderRow, std::string& vOrder,
                              std::string& vTime, std::string& vBuySell,
                              std::string& vLots, std::string& vCur,
                              std::string& vPrice, std::string& vOpCpLoST,
                              std::string& vCpIoID, std::string& vSL,
                              std::string& vTP, std::string& vStatus,
                              std::string& vNote) {
  CRow& row = Row();
  row.Add(OrderRow);
  std::string* outputs[] = {&vOrder, &vTime,    &vBuySell, &vLots,
                            &vCur,   &vPrice,   &vOpCpLoST, &vCpIoID,
                            &vSL,    &vTP,      &vStatus,  &vNote};
  int32_t cell = 1;
  for (std::string* out : outputs) *out = row.Item(cell++);
}

std::string CGenerals::OrdersAuditRowString(
    int32_t vClient, int32_t vAccount, OrdersTypeEnum OrderType,
    int32_t vOrderID, int32_t vStatus, const Variant& OrIoID,
    const Variant& OrCpIoID, const Variant& NewBuy, const Variant& NewSell,
    const Variant& OrAmount, const Variant& SymID, const Variant& OldBuy,
    const Variant& OldSell, OperationTypeEnum BuySell,
    std::string_view Comment) {
  const CStringValues& sv = Values();
  CRow& row = Row();
  row.NewRow();
  row.AddCell(std::to_string(vClient));
  row.AddCell(vAccount);
  row.AddCell(sv.NumberToString(static_cast<int32_t>(OrderType)));
  row.AddCell(vOrderID);
  row.AddCell(vStatus);
  row.AddCell(NVL(OrIoID, 0));
  row.AddCell(trimmed(NVL(OrCpIoID, 0).TextValue()));
  row.AddCell(sv.DateToString(Now(), "dd/mm/yyyy hh:nn:ss"));
  row.AddCell(trimmed(NewBuy.TextValue()));
  row.AddCell(trimmed(NewSell.TextValue()));
  row.AddCell(trimmed(OrAmount.TextValue()));
  row.AddCell(trimmed(SymID.TextValue()));
  row.AddCell(trimmed(OldBuy.TextValue()));
  row.AddCell(trimmed(OldSell.TextValue()));
  row.AddCell(sv.NumberToString(static_cast<int32_t>(BuySell)));
  row.AddCell(Comment);
  return row.RowVal().TextValue();
}

void CGenerals::SplitOrderAuditRow(
    std::string_view OrderRow, std::string& Client, std::string& Account,
    std::string& OrType, std::string& OrID, std::string& OrStatus,
    std::string& OrIoID, std::string& OrCpIoID, std::string& vTime,
    std::string& OrNewBuy, std::string& OrNewSell, std::string& OrAmount,
    std::string& OrCur, std::string& OrOldBuy, std::string& OrOldSell,
    std::string& OrBuySell, std::string& Comment) {
  CRow& row = Row();
  row.Add(OrderRow);
  std::string* outputs[] = {&Client,   &Account,   &OrType,   &OrID,
                            &OrStatus, &OrIoID,    &OrCpIoID, &vTime,
                            &OrNewBuy, &OrNewSell, &OrAmount, &OrCur,
                            &OrOldBuy, &OrOldSell, &OrBuySell, &Comment};
  int32_t cell = 1;
  for (std::string* out : outputs) *out = row.Item(cell++);
}

std::string CGenerals::AccHistoryRowString(
    const Variant& vTicket, std::string_view vTime, const Variant& vType,
    const Variant& vCur, const Variant& vLots, const Variant& vop_type,
    std::string_view vOpenTime, const Variant& vOpenPrice,
    const Variant& vClosePrice, const Variant& vAccTransAmount,
    const Variant& vComm, const Variant& vInterest, const Variant& vChecked,
    const Variant& RefPrice, const Variant& vProfit, std::string_view vCurName,
    std::string_view vMethod, std::string_view vNote) {
  const CStringValues& sv = Values();
  CRow& row = Row();
  row.NewRow();
  row.AddCell(sv.NumberToString(vTicket));
  row.AddCell(vTime);
  row.AddCell(vType);
  row.AddCell(sv.NumberToString(vCur));
  row.AddCell(sv.NumberToString(vLots));
  row.AddCell(sv.NumberToString(vop_type));
  row.AddCell(vOpenTime);
  row.AddCell(sv.NumberToString(vOpenPrice));
  row.AddCell(sv.NumberToString(vClosePrice));
  row.AddCell(sv.NumberToString(vAccTransAmount));
  row.AddCell(sv.NumberToString(vComm));
  row.AddCell(sv.NumberToString(vInterest));
  row.AddCell(sv.NumberToString(vChecked));
  row.AddCell(sv.NumberToString(RefPrice));
  row.AddCell(NVL(vProfit, ""));
  row.AddCell(vCurName);
  row.AddCell(vMethod);
  row.AddCell(vNote);
  return row.RowVal().TextValue();
}

void CGenerals::SplitHistoryRow(
    std::string_view rData, std::string& Ticket, std::string& HisTime,
    std::string& HisType, std::string& SymbolID, std::string& lots,
    std::string& BuySell, std::string& OpenTime, std::string& OpenPrice,
    std::string& ClosePrice, std::string& AccTransAmount, std::string& Comm,
    std::string& Interest, std::string& Checked, std::string& RefPrice,
    std::string& Profit, std::string& SymbolName, std::string& vNote) {
  CRow& row = Row();
  row.Add(rData);
  std::string* outputs[] = {&Ticket,   &HisTime,    &HisType,        &SymbolID,
                            &lots,     &BuySell,    &OpenTime,       &OpenPrice,
                            &ClosePrice, &AccTransAmount, &Comm,     &Interest,
                            &Checked,  &RefPrice,   &Profit,         &SymbolName,
                            &vNote};
  int32_t cell = 1;
  for (std::string* out : outputs) *out = trimmed(row.Item(cell++));
}

int16_t CGenerals::SplitClosesPos(
    std::string_view ClosesPos, std::vector<std::string>& OpenTicket,
    std::vector<std::string>& CloseTicket, std::vector<std::string>& CloseLots,
    std::vector<std::string>& ClosePrice,
    std::vector<std::string>& CloseRefPrice,
    std::vector<std::string>& CloseTime, std::vector<std::string>& CloseComm,
    std::vector<std::string>& CloseInt, std::vector<std::string>& CloseProfit,
    std::vector<std::string>& OpenTime) {
  if (ClosesPos.empty()) return 0;
  const std::vector<std::string_view> fields = split_fields(ClosesPos, ',');
  std::vector<std::string>* arrays[] = {&OpenTicket, &CloseTicket, &CloseLots,
                                        &ClosePrice, &CloseRefPrice, &CloseTime,
                                        &CloseComm,  &CloseInt,    &CloseProfit,
                                        &OpenTime};
  const size_t slots = slots_for(fields.size(), 10);
  for (std::vector<std::string>* array : arrays) {
    array->assign(slots, std::string());
  }
  GroupReader reader(fields, 10, "closed-position list");
  int16_t count = 0;
  for (size_t first = 0; first < fields.size(); first += 10) {
    count = next_count(count);
    reader.start(first);
    size_t k = 0;
    for (std::vector<std::string>* array : arrays) {
      reader.slot(*array, static_cast<size_t>(count)) = reader.field(k++);
    }
  }
  return count;
}

std::string CGenerals::ParametersString(const std::vector<int32_t>& SymID,
                                        const std::vector<Variant>& SpreadVal,
                                        const std::vector<double>& LimitOff,
                                        const std::vector<double>& StopOff,
                                        const std::vector<double>& Comm,
                                        const std::vector<double>& MaxLots,
                                        const std::vector<double>& MinLots) {
  auto number = [](const std::vector<double>& values, size_t i) {
    if (i >= values.size()) out_of_range("parameter", i, values.size());
    return NumberText(values[i]);
  };
  std::string text;
  for (size_t i = 1; i < SymID.size(); ++i) {
    if (i >= SpreadVal.size()) out_of_range("spread", i, SpreadVal.size());
    const Variant& spread = SpreadVal[i];
    if (i > 1) text += ',';
    text += std::to_string(SymID[i]);
    text += ',';
    text += spread.IsNumeric() ? NumberText(spread.NumberValue()) : spread.TextValue();
    for (const std::vector<double>* values :
         {&LimitOff, &StopOff, &Comm, &MaxLots, &MinLots}) {
      text += ',';
      text += number(*values, i);
    }
  }
  return text;
}

int32_t CGenerals::SplitClientParameters(
    std::string_view vPars, std::vector<int32_t>& SymID,
    std::vector<Variant>& SpreadVal, std::vector<int16_t>& SourcePlus,
    std::vector<double>& LimitOff, std::vector<double>& StopOff,
    std::vector<double>& Comm, std::vector<double>& MaxLots,
    std::vector<double>& MinLots, std::vector<int16_t>& PriceOffset) {
  if (Trim(vPars).empty()) return 0;
  const std::vector<std::string_view> fields = split_fields(vPars, ',');
  const size_t slots = slots_for(fields.size(), 9);
  SymID.resize(slots);
  SpreadVal.resize(slots);
  SourcePlus.resize(slots);
  PriceOffset.resize(slots);
  for (std::vector<double>* values : {&LimitOff, &StopOff, &Comm, &MaxLots, &MinLots}) {
    values->resize(slots);
  }
  GroupReader r(fields, 9, "client parameters list");
  int32_t count = 0;
  for (size_t first = 0; first < fields.size(); first += 9) {
    ++count;
    r.start(first);
    const auto i = static_cast<size_t>(count);
    r.slot(SymID, i) = TextToInt32(r.field(0));
    r.slot(SpreadVal, i) = Variant(r.field(1));
    r.slot(SourcePlus, i) = TextToInt16(r.field(2));
    r.slot(LimitOff, i) = text_to_double(r.field(3));
    r.slot(StopOff, i) = text_to_double(r.field(4));
    r.slot(Comm, i) = text_to_double(r.field(5));
    r.slot(MaxLots, i) = text_to_double(r.field(6));
    r.slot(MinLots, i) = text_to_double(r.field(7));
    r.slot(PriceOffset, i) = TextToInt16(r.field(8));
  }
  return count;
}

std::string CGenerals::ClientDescription(ClientTypeEnum vType,
                                         ClientSubTypeEnum vSubType,
                                         LogicalServerTypeEnum vSubType2) const {
  switch (vType) {
    case CLIENT_TYPE:
      return "Client";
    case OFFICE_TYPE:
      return "Office";
    case OTHER_GROUPS_TYPE:
      if (vSubType == GROUP_SUB_TYPE) return "Group";
      if (vSubType != LOGICAL_SERVER_SUB_TYPE) return "";
      switch (vSubType2) {
        case REAL_SERVER_TYPE:
          return "Real Server";
        case DEMO_SERVER_TYPE:
          return "Demo Server";
        case HISTORY_SERVER_TYPE:
          return "History Server";
      }
      return "";
  }
  return "";
}

std::string CGenerals::OrderDescription(OrdersTypeEnum vType) const {
  switch (vType) {
    case MarketDataType:
      return "Market Order";
    case LimitOrdersType:
      return "Limit/Stop";
    case SlTpType:
      return "SL/TP";
  }
  return "";
}

std::string CGenerals::MarketOrderStatusDesc(MarketOrderStatusEnum vStatus) const {
  switch (vStatus) {
    case HedgingIsNotAllowed:
      return "Hedging is not allowed";
    case NewOrder_RequestType:
      return "New order - Request";
    case Rejected_RequestType:
    case InvalidPrice:
      return "Rejected";
    case PriceSent_RequestType:
      return "Price Sent - Request";
    case TimerExpired_RequestType:
      return "Sent-Timer expired";
    case RequestNewBuy:
      return "New Buy - Request";
    case RequestNewSell:
      return "New Sell - Request";
    case RequestLiqBuy:
      return "Liq Buy - Request";
    case RequestLiqSell:
      return "Liq Sell - Request";
    case LiqAccepted:
    case NewAccepted:
    case DeliveryAccepted:
    case FutureLiqAccepted:
    case FutureNewAccepted:
      return "Accepted";
    case NewBuyPriceChanged:
    case NewSellPriceChanged:
    case LiqBuyPriceChanged:
    case LiqSellPriceChanged:
    case FutureBuyPriceChanged:
    case FutureSellPriceChanged:
      return "Changed - client offline";
    case PriceChangedClientAccept_PendingType:
      return "Changed-client accept";
    case PriceChangedTimerExpired_PendingType:
      return "Changed-Timer expired";
    case PriceChangedClientReject_PendingType:
      return "Changed-client reject";
    case ClientCancelWhenNew_RequestType:
      return "Client cancel-new";
    case ClientCancelWhenPriceSent_RequestType:
      return "Client cancel-price sent";
  }
  return "";
}

std::string CGenerals::AccountTransDesc(AccountTransTypeEnum vType) const {
  switch (vType) {
    case DepositAccTrans:
      return "Deposit";
    case WithdrawalAccTrans:
      return "Withdrawal";
    case AdjustmentAccTrans:
      return "Adjustment";
    case CreditInAccTrans:
      return "Credit in";
    case CreditOutAccTrans:
      return "Credit out";
    case DeliveryAccTrans:
      return "Physical Redemption";
  }
  return "";
}

Variant CGenerals::TransactionDesc(TransactionTypeEnum vType) const {
  if (vType == InsertTransType) return Variant("New");
  if (vType == UpdateTransType) return Variant("Update");
  return Variant("Delete");
}

std::string CGenerals::UserTypeDesc(UserTypeEnum UserType) const {
  if (UserType == DEALER_USER_TYPE) return "Dealer";
  if (UserType == CLIENT_USER_TYPE) return "Client";
  return "Demo Client";
}

std::string CGenerals::AccountHistoryDesc(AccountHistoryTypeEnum vType,
                                          AccountTransTypeEnum SubType) const {
  switch (vType) {
    case NewPositionAccHis:
      return "N";
    case LiquidatePositionAccHis:
      return "L";
    case AccountTransAccHis:
      switch (SubType) {
        case DepositAccTrans:
          return "DP";
        case WithdrawalAccTrans:
          return "WD";
        case AdjustmentAccTrans:
          return "AJ";
        case CreditInAccTrans:
          return "CI";
        case CreditOutAccTrans:
          return "CO";
        case DeliveryAccTrans:
          return "PR";
      }
      return "";
  }
  return "";
}

std::string CGenerals::TransactionLogDesc(TransactionLogTypeEnum tType,
                                          int32_t SubType,
                                          const Variant& Ticket2) const {
  switch (tType) {
    case NewPositionTransLog:
      return "N";
    case LiqPositionTransLog:
      return "L-" + Ticket2.TextValue();
    case AccountTransTransLog:
      return AccountTransDesc(static_cast<AccountTransTypeEnum>(SubType));
    case TakeProfitStopLossTransLog:
      return "TP/SL-" + Ticket2.TextValue();
    case LimitStopTransLog:
      return BuySellDesc(static_cast<OperationTypeEnum>(SubType), true);
  }
  return "";
}

std::string CGenerals::BuySellDesc(OperationTypeEnum b_s, bool WithLimitStop) const {
  switch (b_s) {
    case BuyType:
      return WithLimitStop ? "Buy Limit" : "Buy";
    case SellType:
      return WithLimitStop ? "Sell Limit" : "Sell";
    case BuyStopType:
      return WithLimitStop ? "Buy Stop" : "Buy";
    default:
      return WithLimitStop ? "Sell Stop" : "Sell";
  }
}

OperationTypeEnum CGenerals::BuySellCode(std::string_view b_sDesc) const {
  for (OperationTypeEnum code : {BuyType, SellType, BuyStopType, SellStopType}) {
    if (BuySellDesc(code, true) == b_sDesc || BuySellDesc(code, false) == b_sDesc) {
      return code;
    }
  }
  return static_cast<OperationTypeEnum>(0);
}

OperationTypeEnum CGenerals::BuySellRevCode(OperationTypeEnum b_s) const {
  switch (b_s) {
    case BuyType:
      return SellType;
    case SellType:
      return BuyType;
    case BuyStopType:
      return SellStopType;
    case SellStopType:
      return BuyStopType;
  }
  return static_cast<OperationTypeEnum>(0);
}

std::string CGenerals::SlTpDesc(const Variant& sl_tp_number) const {
  const Variant value = NVL(sl_tp_number, 0);
  if (value.IsEmpty()) return "";
  if (value.IsNumeric() && value.NumberValue() == 0) return "";
  return "M";
}

Variant CGenerals::NVL(const Variant& Exp, const Variant& NvlVal) const {
  return Nvl(Exp, NvlVal);
}

std::string CGenerals::MonthDayYear(DateTime vDate) const {
  return Values().MyFormat(vDate, "dd-mm-yy");
}

std::string CGenerals::HourMinuteSecond(DateTime vDate) const {
  return Values().MyFormat(vDate, "hh:mm:ss");
}

std::string CGenerals::MonthDayYearTime(DateTime vDate) const {
  return MonthDayYear(vDate) + " " + HourMinuteSecond(vDate);
}

std::string CGenerals::YearMonthDateFileName(DateTime vDate) const {
  return Values().MyFormat(vDate, "dd-mm-yyyy");
}

std::string CGenerals::YearMonthDateTimeFileName(DateTime vDate) const {
  return Values().MyFormat(vDate, "dd-mm-yyyy hh-mm-ss");
}

std::string CGenerals::FormatDateString(DateTime vDate) const {
  const bool this_year = vDate.Serial() > -657434.0 &&
                         vDate.Serial() < 2958466.0 &&
                         vDate.Year() == Now().Year();
  return Values().MyFormat(vDate, this_year ? "mmm dd hh:mm" : "mmm dd  yyyy");
}

}  // namespace orvane
