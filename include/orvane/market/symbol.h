#ifndef ORVANE_MARKET_SYMBOL_H_
#define ORVANE_MARKET_SYMBOL_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/market/high_low_compute_type_enum.h"
#include "orvane/market/market_order_type_enum.h"
#include "orvane/market/spread_cal_type_enum.h"
#include "orvane/market/symbol_trading_times.h"
#include "orvane/market/symbol_type_enum.h"
#include "orvane/util/string_values.h"
#include "orvane/vocabulary/comm_calc_type_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"

namespace orvane {

// One tradable instrument (or a group heading of a symbol list): its
// identity, its quote, its contract figures and trading settings, and every
// price calculation the library performs on a symbol.
//
// Units: prices are plain numbers; spreads, source plus and offsets are in
// pips, one pip being 10^PipLocation (PipLocation -4: 0.0001). Prices are
// shown and stored with |PipLocation| decimals; PipLocation 100 switches
// formatting and rounding off.
//
// Stored prices: the setters of Bid, Ask, High, Low, Last, DayOpenPrice and
// DayClosePrice store the number FormatPrice of the value denotes: a tenth
// of a pip is added, then the value is rounded half away from zero to the
// symbol's decimals. The rounding is numeric, with a fallback to the text
// form only next to a rounding half, so the stored number is always the one
// the text shows. Changing PipLocation does not re-round prices already held.
//
// The unit symbol (ID 1): Bid and Ask read 1.0 whatever was set, and
// LastPrice and every price with spread are 1.0.
//
// Errors: operations throw orvane::Error only where stated on them.
class CSymbol : public Object, public ISafeObject, private NonCopyable {
 public:
  CSymbol();
  ~CSymbol() override;

  // The reference symbol (profit conversion) and four untyped references
  // that hosts and the account engine attach (the engine keeps its
  // per-symbol account list in Ref1). m_oRefSymbol and RefSymbol, and
  // m_oRefN and RefN, are the same reference.
  std::shared_ptr<CSymbol> m_oRefSymbol() const { return m_ref_symbol; }
  void m_oRefSymbol(std::shared_ptr<CSymbol> value) { m_ref_symbol = std::move(value); }
  std::shared_ptr<Object> m_oRef1() const { return m_refs[0]; }
  void m_oRef1(std::shared_ptr<Object> value) { m_refs[0] = std::move(value); }
  std::shared_ptr<Object> m_oRef2() const { return m_refs[1]; }
  void m_oRef2(std::shared_ptr<Object> value) { m_refs[1] = std::move(value); }
  std::shared_ptr<Object> m_oRef3() const { return m_refs[2]; }
  void m_oRef3(std::shared_ptr<Object> value) { m_refs[2] = std::move(value); }
  std::shared_ptr<Object> m_oRef4() const { return m_refs[3]; }
  void m_oRef4(std::shared_ptr<Object> value) { m_refs[3] = std::move(value); }
  // Created with the symbol; none after Deallocate.
  std::shared_ptr<CSymbolTradingTimes> SymbolTradingTimes() const { return m_trading_times; }
  // The same without sharing it, for a caller that runs nothing between
  // reading and using it.
  const CSymbolTradingTimes* SymbolTradingTimesPtr() const { return m_trading_times.get(); }
  void SymbolTradingTimes(std::shared_ptr<CSymbolTradingTimes> value) {
    m_trading_times = std::move(value);
  }

  // vPips pips as a price distance: 10^PipLocation x vPips.
  double Pips(double vPips) const { return PipsFormula(vPips, m_pip_location); }
  // 10^vPipLoc x vPips.
  static double PipsFormula(double vPips, int16_t vPipLoc);

  // Price written as the symbol shows it: the empty string for null, the
  // empty string or a value that is no number; its plain text when the pip
  // location is 100; otherwise Price plus a tenth of a pip with exactly
  // |pip location| decimals, rounded half away from zero, a leading zero,
  // no grouping and the local decimal separator. A value that is no finite
  // number after the addition is written as its plain text.
  std::string FormatPrice(const Variant& Price) const {
    return FormatPriceFormula(Price, m_pip_location);
  }
  static std::string FormatPriceFormula(const Variant& Price, int16_t vPipLoc);
  // An average price: the empty string for null or empty text, else
  // MyFormatNumber(Price, |PipLocation|, |PipLocation| + 4). Throws
  // Error(TypeMismatch) for text that is no number.
  std::string AvgFormatPrice(const Variant& Price) const;
  // vNumber rounded half to even to MaxDig decimals, written with as few
  // decimals as show it exactly but at least minDig (leading zero, no
  // grouping, local decimal separator). Digit counts are taken within
  // 0..15. Throws Error(TypeMismatch) for a value that is no number.
  static std::string MyFormatNumber(const Variant& vNumber, int16_t minDig, int16_t MaxDig);

  // Ask for a buy, Bid for anything else.
  double Price(OperationTypeEnum OpType) const { return OpType == BuyType ? Ask() : Bid(); }
  // AskWithSpread for a buy, BidWithSpread for anything else.
  double PriceWithSpread(OperationTypeEnum OpType) const;
  // AskWithSpread2 for a buy, BidWithSpread2 for anything else, with the
  // given spread, source plus and price offset.
  double PriceWithSpread2(const Variant& vSpread, int16_t vSourcePlus, int16_t PriceOffset,
                          OperationTypeEnum OpType) const;

  int32_t ID() const { return m_id; }
  // Advanced by every change of a figure that the client prices and
  // DealProfitValue read from the symbol itself (ID, Bid, Ask, PipLocation,
  // SpreadType, SpreadOffset, PriceOffset, Factor, PriceCase,
  // RefPriceCase): a result worked out from these at one stamp holds while
  // the stamp does.
  uint64_t PricesStamp() const { return m_prices_stamp; }
  void ID(int32_t value) {
    m_id = value;
    PricesChanged();
  }
  Variant Name() const { return m_name; }
  void Name(const Variant& value) { m_name = value.TextValue(); }
  Variant Description() const { return m_description; }
  void Description(const Variant& value) { m_description = value.TextValue(); }
  SymbolTypeEnum SymbolType() const { return m_symbol_type; }
  void SymbolType(SymbolTypeEnum value) { m_symbol_type = value; }
  // Read as a number. The setter rounds to a 16-bit integer (an empty value
  // is 0): Error(TypeMismatch) for a value that is no number, Error(Overflow)
  // out of range; the pip location is unchanged on failure.
  Variant PipLocation() const { return static_cast<int>(m_pip_location); }
  void PipLocation(const Variant& value);
  // Read as a number. The setter rounds to a 32-bit integer (an empty value
  // is 0), with the errors of PipLocation.
  Variant RefID() const { return m_ref_id; }
  void RefID(const Variant& value);
  bool isUsed() const { return m_is_used; }
  void isUsed(bool value) { m_is_used = value; }
  bool isDisplay() const { return m_is_display; }
  void isDisplay(bool value) { m_is_display = value; }

  double Ask() const { return m_id == 1 ? 1.0 : m_ask; }
  void Ask(double value) {
    m_ask = m_id == 1 ? 1.0 : StoredPrice(value);
    PricesChanged();
  }
  double Bid() const { return m_id == 1 ? 1.0 : m_bid; }
  void Bid(double value) {
    m_bid = m_id == 1 ? 1.0 : StoredPrice(value);
    PricesChanged();
  }
  // The mid price (Bid + Ask) / 2 as the symbol shows it.
  double LastPrice() const;

  // The prices with a spread. vSpread is null (use the source quote widened
  // by vSourcePlus pips) or a number of pips, to which SpreadOffset is
  // added; both sides move by PriceOffset + this argument pips. With
  // FromBidSpread the bid moves only by the offsets and the whole spread
  // goes to the ask; otherwise the spread is split around the quote (source
  // spread) or the mid price (fixed spread), the ask side getting the lower
  // half. Throws Error(Overflow) when PriceOffset + the argument leaves the
  // 16-bit range.
  double BidWithSpread2(const Variant& vSpread, int16_t vSourcePlus, int16_t PriceOffset) const;
  // With the symbol's own Spread (which already holds SpreadOffset, so a
  // fixed spread counts SpreadOffset twice here), SourcePlus and
  // ClientPriceOffset.
  double BidWithSpread() const;
  double AskWithSpread() const;
  double AskWithSpread2(const Variant& vSpread, int16_t vSourcePlus, int16_t PriceOffset) const;

  double High() const { return m_high; }
  void High(double value) { m_high = StoredPrice(value); }
  double Last() const { return m_last; }
  void Last(double value) { m_last = StoredPrice(value); }
  double Low() const { return m_low; }
  void Low(double value) { m_low = StoredPrice(value); }

  // The time of the last quote as text ("01/01/1900 00:00:00" until set).
  const std::string& LastQuteTime() const { return m_last_qute_time; }
  // The moment of the last quote, "dd/mm/yyyy hh:nn:ss": today's date
  // joined with LastQuteTime. A moment more than 10 hours from the present
  // is moved one day towards it (a quote of 23:59 read at 00:30 is
  // yesterday's). Throws Error(Overflow) for a time whose parts do not fit
  // 16 bits, and Error(ObjectRequired) after Deallocate.
  std::string LastQuteDateTime() const;
  void LastQuteTime(const std::string& value) { m_last_qute_time = value; }

  double Factor() const { return m_factor; }
  void Factor(double value) {
    m_factor = value;
    PricesChanged();
  }
  // 1: prices enter profit as they stand; anything else: as reciprocals.
  int16_t PriceCase() const { return m_price_case; }
  void PriceCase(int16_t value) {
    m_price_case = value;
    PricesChanged();
  }
  int16_t RefPriceCase() const { return m_ref_price_case; }
  void RefPriceCase(int16_t value) {
    m_ref_price_case = value;
    PricesChanged();
  }
  // Read as a number. The setter takes a number (empty reads as 0) and
  // throws Error(TypeMismatch) for anything else.
  Variant TickPips() const { return m_tick_pips; }
  void TickPips(const Variant& value);

  // Null for null vSpread, else its number plus SpreadOffset. Throws
  // Error(TypeMismatch) for a value that is neither null nor a number.
  Variant SpreadFormula(const Variant& vSpread) const;
  // The fixed spread in pips including SpreadOffset, or null when the
  // source spread is used. The setter stores null for empty text or a value
  // that is no number.
  Variant Spread() const;
  void Spread(const Variant& value);
  int16_t SourcePlus() const { return m_source_plus; }
  void SourcePlus(int16_t value) { m_source_plus = value; }

  // The profit of a deal of `lots` opened at Price and closed at
  // close_price: (C(close) - C(open)) x R(rp) x lots x BuySell x Factor,
  // C and R taking reciprocals unless PriceCase / RefPriceCase is 1 (the
  // reciprocal of 0 counts as 0). rp is RefPrice, or with the default -1.0
  // the reference symbol's ClosePriceWithSpread(BuySell); then a missing
  // reference symbol throws Error(ObjectRequired). With ON_CLOSE_TYPE and
  // ComputeCommInt the result is that minus |RemainOpenComm| plus Interest.
  Variant DealProfit(double Price, double close_price, double lots, OperationTypeEnum BuySell,
                     double Interest, double RemainOpenComm, CommCalcTypeEnum CommCalcType,
                     double RefPrice = -1.0, bool ComputeCommInt = true) const;
  // DealProfit as a plain number, for the pricing path; same result and
  // errors.
  double DealProfitValue(double Price, double close_price, double lots,
                         OperationTypeEnum BuySell, double Interest, double RemainOpenComm,
                         CommCalcTypeEnum CommCalcType, double RefPrice = -1.0,
                         bool ComputeCommInt = true) const;
  // A buy closes at the bid with spread, anything else at the ask with spread.
  double ClosePriceWithSpread(OperationTypeEnum vBuySell) const;
  double ClosePriceWithSpread2(const Variant& vSpread, int16_t vSourcePlus, int16_t PriceOffset,
                               OperationTypeEnum vBuySell) const;
  // ClosePriceWithSpread2 for the pricing path, with the spread read out of
  // its variant: none for a null spread, else its pips (an empty spread is
  // 0 pips). Same result and errors.
  double ClosePriceWithSpreadPips(const std::optional<double>& spread_pips, int16_t vSourcePlus,
                                  int16_t PriceOffset, OperationTypeEnum vBuySell) const;
  // Bid for a buy, Ask otherwise (a number).
  Variant ClosePrice(OperationTypeEnum vBuySell) const {
    return vBuySell == BuyType ? Bid() : Ask();
  }

  std::shared_ptr<CSymbol> RefSymbol() const { return m_ref_symbol; }
  void RefSymbol(std::shared_ptr<CSymbol> value) { m_ref_symbol = std::move(value); }
  int16_t SortOrder() const { return m_sort_order; }
  void SortOrder(int16_t value) { m_sort_order = value; }
  int32_t RowForeColor() const { return m_row_fore_color; }
  void RowForeColor(int32_t value) { m_row_fore_color = value; }
  bool RowBold() const { return m_row_bold; }
  void RowBold(bool value) { m_row_bold = value; }
  const std::shared_ptr<Object>& Ref1() const { return m_refs[0]; }
  void Ref1(std::shared_ptr<Object> value) { m_refs[0] = std::move(value); }
  const std::shared_ptr<Object>& Ref2() const { return m_refs[1]; }
  void Ref2(std::shared_ptr<Object> value) { m_refs[1] = std::move(value); }
  const std::shared_ptr<Object>& Ref3() const { return m_refs[2]; }
  void Ref3(std::shared_ptr<Object> value) { m_refs[2] = std::move(value); }
  const std::shared_ptr<Object>& Ref4() const { return m_refs[3]; }
  void Ref4(std::shared_ptr<Object> value) { m_refs[3] = std::move(value); }
  const std::string& Bank() const { return m_bank; }
  void Bank(const std::string& value) { m_bank = value; }
  const std::string& DDESymbols() const { return m_dde_symbols; }
  void DDESymbols(const std::string& value) { m_dde_symbols = value; }
  // Pips added to every fixed spread.
  int16_t SpreadOffset() const { return m_spread_offset; }
  void SpreadOffset(int16_t value) {
    m_spread_offset = value;
    PricesChanged();
  }
  // Pips added to both sides of every price with spread.
  int16_t PriceOffset() const { return m_price_offset; }
  void PriceOffset(int16_t value) {
    m_price_offset = value;
    PricesChanged();
  }
  // The second price offset, used by the forms without arguments.
  int16_t ClientPriceOffset() const { return m_client_price_offset; }
  void ClientPriceOffset(int16_t value) { m_client_price_offset = value; }
  bool StopFeed() const { return m_stop_feed; }
  void StopFeed(bool value) { m_stop_feed = value; }
  bool MoveIfClosed() const { return m_move_if_closed; }
  void MoveIfClosed(bool value) { m_move_if_closed = value; }
  bool StopTradeIfNoPrices() const { return m_stop_trade_if_no_prices; }
  void StopTradeIfNoPrices(bool value) { m_stop_trade_if_no_prices = value; }
  // Seconds a quote may age before trading stops (when StopTradeIfNoPrices).
  int16_t StopTradeAfterSeconds() const { return m_stop_trade_after_seconds; }
  void StopTradeAfterSeconds(int16_t value) { m_stop_trade_after_seconds = value; }
  HighLowComputeTypeEnum HighType() const { return m_high_type; }
  void HighType(HighLowComputeTypeEnum value) { m_high_type = value; }
  HighLowComputeTypeEnum LowType() const { return m_low_type; }
  void LowType(HighLowComputeTypeEnum value) { m_low_type = value; }
  // |Ask - Bid|.
  double BidAskSpread() const;
  bool GiveQuoteFromNewHighLow() const { return m_give_quote_from_new_high_low; }
  void GiveQuoteFromNewHighLow(bool value) { m_give_quote_from_new_high_low = value; }
  // Commission per lot.
  double Commission() const { return m_commission; }
  void Commission(double value) { m_commission = value; }
  // Commission x lots.
  double CommissionValue(double lots) const { return m_commission * lots; }
  double MaxLots() const { return m_max_lots; }
  void MaxLots(double value) { m_max_lots = value; }
  // A value of 0 or less stores 0.1.
  double MinLots() const { return m_min_lots; }
  void MinLots(double value) { m_min_lots = value <= 0 ? 0.1 : value; }
  int16_t AmountUnitID() const { return m_amount_unit_id; }
  void AmountUnitID(int16_t value) { m_amount_unit_id = value; }
  // Minimum distances of limit and stop orders, in pips.
  double LimitOffset() const { return m_limit_offset; }
  void LimitOffset(double value) { m_limit_offset = value; }
  double StopOffset() const { return m_stop_offset; }
  void StopOffset(double value) { m_stop_offset = value; }
  const Variant& ParentID() const { return m_parent_id; }
  void ParentID(const Variant& value) { m_parent_id = value; }
  double MWColor() const { return m_mw_color; }
  void MWColor(double value) { m_mw_color = value; }
  bool Requotable() const { return m_requotable; }
  void Requotable(bool value) { m_requotable = value; }
  // True when StopTradeIfNoPrices is off. Otherwise true when
  // ClientLastQTime (read as "dd/mm/yyyy hh:nn:ss" or "hh:nn:ss") lies at
  // most StopTradeAfterSeconds whole seconds from the present, either way;
  // false when it lies further or cannot be read.
  bool ValidateStopTradeIfNoPrices(const std::string& ClientLastQTime) const;
  MarketOrderTypeEnum MarketOrderType() const { return m_market_order_type; }
  void MarketOrderType(MarketOrderTypeEnum value) { m_market_order_type = value; }
  const std::string& DisplayTime() const { return m_display_time; }
  void DisplayTime(const std::string& value) { m_display_time = value; }
  SpreadCalTypeEnum SpreadType() const { return m_spread_type; }
  void SpreadType(SpreadCalTypeEnum value) {
    m_spread_type = value;
    PricesChanged();
  }
  bool JustClose() const { return m_just_close; }
  void JustClose(bool value) { m_just_close = value; }
  bool BuyOnly() const { return m_buy_only; }
  void BuyOnly(bool value) { m_buy_only = value; }
  const std::string& DDEName() const { return m_dde_name; }
  void DDEName(const std::string& value) { m_dde_name = value; }
  bool HasPriv() const { return m_has_priv; }
  void HasPriv(bool value) { m_has_priv = value; }
  const std::string& ExpiryDate() const { return m_expiry_date; }
  void ExpiryDate(const std::string& value) { m_expiry_date = value; }
  double DayOpenPrice() const { return m_day_open_price; }
  void DayOpenPrice(double value) { m_day_open_price = StoredPrice(value); }
  double DayClosePrice() const { return m_day_close_price; }
  void DayClosePrice(double value) { m_day_close_price = StoredPrice(value); }
  // Bid - DayClosePrice, and the same from BidWithSpread.
  double NetChange() const { return Bid() - m_day_close_price; }
  double NetChangeWithSpread() const { return BidWithSpread() - m_day_close_price; }
  // The net changes as fractions of DayClosePrice (not percent); 0 while
  // DayClosePrice is 0.
  double PercentChange() const;
  double PercentChangeWithSpread() const;
  bool EnableDelivery() const { return m_enable_delivery; }
  void EnableDelivery(bool value) { m_enable_delivery = value; }

  // Releases the trading times and the private string values (through their
  // Deallocate) and clears the
  // reference symbol and Ref1..Ref4.
  void Deallocate() override;

 private:
  // The number FormatPrice(value) denotes.
  double StoredPrice(double value) const;
  // One pip location's scale: 10^PipLocation, a tenth of a pip and the
  // number of decimals (-1 while formatting is off).
  void CachePipScale();
  // The pip distance of PriceOffset + `extra`, a 16-bit sum.
  double OffsetPips(int16_t extra) const {
    const int32_t sum = static_cast<int32_t>(m_price_offset) + extra;
    if (sum != static_cast<int16_t>(sum)) ThrowOffsetOverflow(extra);
    return m_pip * sum;
  }
  [[noreturn]] void ThrowOffsetOverflow(int16_t extra) const;
  std::optional<double> SpreadPips(const Variant& vSpread) const;
  double BidWith(const std::optional<double>& spread, int16_t source_plus, int16_t offset) const;
  double AskWith(const std::optional<double>& spread, int16_t source_plus, int16_t offset) const;
  // Works out and keeps the price BidWith or AskWith did not find kept,
  // named by its spread's bits and its other settings packed in one word.
  [[gnu::noinline]] double KeepPrice(uint64_t spread_bits, uint64_t shape) const;
  double WorkOutBid(const std::optional<double>& spread, int16_t source_plus,
                    int16_t offset) const;
  double WorkOutAsk(const std::optional<double>& spread, int16_t source_plus,
                    int16_t offset) const;
  std::optional<double> OwnSpreadPips() const;
  void PricesChanged() { ++m_prices_stamp; }
  static uint64_t NewInstanceNumber();

  uint64_t m_prices_stamp = 1;  // PricesStamp
  // No other symbol object has had this number: with the price stamp it
  // names one state of this symbol's prices for good.
  const uint64_t m_instance = NewInstanceNumber();

  std::shared_ptr<CSymbol> m_ref_symbol;
  std::shared_ptr<Object> m_refs[4];
  std::shared_ptr<CSymbolTradingTimes> m_trading_times;
  std::shared_ptr<CStringValues> m_string_values;

  int32_t m_id = 0;
  std::string m_name;
  std::string m_description;
  SymbolTypeEnum m_symbol_type = static_cast<SymbolTypeEnum>(0);
  int16_t m_pip_location = 0;
  double m_pip = 1.0;         // 10^PipLocation
  double m_tenth_pip = 0.1;   // a tenth of a pip
  int m_decimals = 0;         // |PipLocation|, -1 when formatting is off
  int32_t m_ref_id = 0;
  bool m_is_used = false;
  bool m_is_display = false;
  double m_bid = 1.0;
  double m_ask = 1.0;
  double m_high = 0;
  double m_low = 0;
  double m_last = 0;
  double m_day_open_price = 0;
  double m_day_close_price = 0;
  std::string m_last_qute_time = "01/01/1900 00:00:00";
  double m_factor = 0;
  int16_t m_price_case = 0;
  int16_t m_ref_price_case = 0;
  double m_tick_pips = 0;
  std::optional<double> m_spread;
  int16_t m_source_plus = 0;
  int16_t m_spread_offset = 0;
  int16_t m_price_offset = 0;
  int16_t m_client_price_offset = 0;
  SpreadCalTypeEnum m_spread_type = FromBidSpread;
  HighLowComputeTypeEnum m_high_type = FromBid;
  HighLowComputeTypeEnum m_low_type = FromBid;
  bool m_give_quote_from_new_high_low = false;
  bool m_stop_feed = false;
  bool m_move_if_closed = false;
  bool m_stop_trade_if_no_prices = false;
  int16_t m_stop_trade_after_seconds = 60;
  double m_commission = 0;
  double m_max_lots = 0;
  double m_min_lots = 0;
  double m_limit_offset = 0;
  double m_stop_offset = 0;
  int16_t m_amount_unit_id = 0;
  Variant m_parent_id;
  int16_t m_sort_order = 0;
  int32_t m_row_fore_color = 0;
  bool m_row_bold = false;
  double m_mw_color = 0;
  bool m_requotable = false;
  MarketOrderTypeEnum m_market_order_type = static_cast<MarketOrderTypeEnum>(0);
  bool m_just_close = false;
  bool m_buy_only = false;
  bool m_has_priv = false;
  bool m_enable_delivery = false;
  std::string m_bank;
  std::string m_dde_symbols;
  std::string m_dde_name;
  std::string m_display_time;
  std::string m_expiry_date;
};

}  // namespace orvane

#endif  // ORVANE_MARKET_SYMBOL_H_
