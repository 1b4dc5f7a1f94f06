#include "orvane/market/symbol.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/number_format.h"
#include "orvane/market/detail/price_rounding.h"

namespace orvane {
namespace {

constexpr int16_t kFormattingOff = 100;

// 10^exponent; the nearest double for every exponent the table covers.
double pow10(int exponent) {
  static const double kPowers[] = {
      1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12,
      1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,
      1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,
      1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21, 1e22};
  if (exponent >= -22 && exponent <= 22) return kPowers[exponent + 22];
  return std::pow(10.0, exponent);
}

// Replaces the "." of a number text by the local decimal separator.
std::string localized(std::string text) {
  const char decimal = CurrentNumberFormat().decimal;
  if (decimal != '.') {
    for (char& c : text) {
      if (c == '.') c = decimal;
    }
  }
  return text;
}

std::string fixed_text(double value, int decimals) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  if (length >= 0 && static_cast<size_t>(length) < sizeof buffer) return buffer;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
  text.resize(static_cast<size_t>(length));
  return text;
}

int clamp_digits(int16_t digits) { return digits < 0 ? 0 : (digits > 15 ? 15 : digits); }

[[noreturn]] void throw_not_a_number(const Variant& value) {
  throw Error(ErrorCode::TypeMismatch,
              "Type mismatch: '" + value.TextValue() + "' is not a number");
}

// Whole seconds since the epoch of the serial dates.
int64_t whole_seconds(DateTime t) { return std::llround(t.Serial() * 86400.0); }

std::atomic<uint64_t> g_symbol_instances{0};

// The prices with a spread this thread worked out last. Clients share a few
// spread settings, so a tick asks for the same few prices for every holder
// of the symbol. An entry is for one state of one symbol's prices (its
// instance number and price stamp) and holds for as long as that state does.
struct PricedWith {
  uint64_t instance;
  uint64_t stamp;
  uint64_t spread_bits;
  uint64_t shape;  // see shape_of
  double price;
};
constexpr size_t kPricedWith = 64;
thread_local PricedWith t_priced_with[kPricedWith];

uint64_t spread_bits_of(const std::optional<double>& spread) {
  return spread ? std::bit_cast<uint64_t>(*spread) : 0;
}

// The settings of a price besides its spread, in one word.
uint64_t shape_of(bool ask, const std::optional<double>& spread, int16_t source_plus,
                  int16_t offset) {
  return static_cast<uint64_t>(static_cast<uint16_t>(source_plus)) |
         (static_cast<uint64_t>(static_cast<uint16_t>(offset)) << 16) |
         (static_cast<uint64_t>(ask) << 32) | (static_cast<uint64_t>(spread.has_value()) << 33);
}

PricedWith& priced_slot(uint64_t instance, uint64_t spread_bits, uint64_t shape) {
  // Not the stamp: a symbol's new prices take the place of its old ones.
  const uint64_t key = ((instance << 40) ^ spread_bits ^ (shape << 17)) * 0x9E3779B97F4A7C15ull;
  static_assert(kPricedWith == 64, "the hash's top six bits pick the entry");
  return t_priced_with[key >> 58];
}

}  // namespace

CSymbol::CSymbol()
    : m_trading_times(std::make_shared<CSymbolTradingTimes>()),
      m_string_values(std::make_shared<CStringValues>()) {
  CachePipScale();
  Bid(1.0);
  Ask(1.0);
}

CSymbol::~CSymbol() { Deallocate(); }

void CSymbol::Deallocate() {
  if (m_trading_times) m_trading_times->Deallocate();
  m_trading_times.reset();
  if (m_string_values) m_string_values->Deallocate();
  m_string_values.reset();
  m_ref_symbol.reset();
  for (auto& ref : m_refs) ref.reset();
}

double CSymbol::PipsFormula(double vPips, int16_t vPipLoc) { return pow10(vPipLoc) * vPips; }

std::string CSymbol::FormatPriceFormula(const Variant& Price, int16_t vPipLoc) {
  if (!Price.IsNumeric()) return std::string();
  if (vPipLoc == kFormattingOff) return Price.TextValue();
  const double value = Price.NumberValue() + PipsFormula(0.1, vPipLoc);
  if (!std::isfinite(value)) return NumberText(value);
  return localized(detail::FixedHalfAwayText(value, std::abs(static_cast<int>(vPipLoc))));
}

std::string CSymbol::AvgFormatPrice(const Variant& Price) const {
  if (Price.IsEmpty() || Price.IsNullOrEmptyText()) return std::string();
  const int decimals = std::abs(static_cast<int>(m_pip_location));
  return MyFormatNumber(Price, static_cast<int16_t>(std::min(decimals, 15)),
                        static_cast<int16_t>(std::min(decimals + 4, 15)));
}

std::string CSymbol::MyFormatNumber(const Variant& vNumber, int16_t minDig, int16_t MaxDig) {
  if (!vNumber.IsNumeric()) throw_not_a_number(vNumber);
  const int max_digits = clamp_digits(MaxDig);
  const double rounded = RoundHalfEven(vNumber.NumberValue(), max_digits);
  int shown = max_digits;
  for (int n = 0; n < max_digits; ++n) {
    if (std::strtod(fixed_text(rounded, n).c_str(), nullptr) == rounded) {
      shown = n;
      break;
    }
  }
  return localized(fixed_text(rounded, std::max(shown, clamp_digits(minDig))));
}

double CSymbol::PriceWithSpread(OperationTypeEnum OpType) const {
  return OpType == BuyType ? AskWithSpread() : BidWithSpread();
}

double CSymbol::PriceWithSpread2(const Variant& vSpread, int16_t vSourcePlus,
                                 int16_t PriceOffset, OperationTypeEnum OpType) const {
  return OpType == BuyType ? AskWithSpread2(vSpread, vSourcePlus, PriceOffset)
                           : BidWithSpread2(vSpread, vSourcePlus, PriceOffset);
}

void CSymbol::PipLocation(const Variant& value) {
  m_pip_location = value.IsEmpty() ? int16_t{0} : ToInt16(value);
  CachePipScale();
}

void CSymbol::RefID(const Variant& value) { m_ref_id = value.IsEmpty() ? 0 : ToInt32(value); }

void CSymbol::CachePipScale() {
  m_pip = PipsFormula(1.0, m_pip_location);
  m_tenth_pip = PipsFormula(0.1, m_pip_location);
  m_decimals = m_pip_location == kFormattingOff ? -1 : std::abs(static_cast<int>(m_pip_location));
  PricesChanged();
}

double CSymbol::StoredPrice(double value) const {
  if (m_decimals < 0) return value;
  return detail::RoundHalfAwayPrice(value + m_tenth_pip, m_decimals);
}

double CSymbol::LastPrice() const {
  if (m_id == 1) return 1.0;
  return StoredPrice((m_bid + m_ask) / 2);
}

void CSymbol::ThrowOffsetOverflow(int16_t extra) const {
  throw Error(ErrorCode::Overflow, "Overflow: the price offsets " + std::to_string(m_price_offset) +
                                       " and " + std::to_string(extra) +
                                       " add up beyond a 16-bit integer");
}

std::optional<double> CSymbol::SpreadPips(const Variant& vSpread) const {
  if (vSpread.IsNull()) return std::nullopt;
  if (vSpread.IsEmpty()) return static_cast<double>(m_spread_offset);
  if (!vSpread.IsNumeric()) throw_not_a_number(vSpread);
  return vSpread.NumberValue() + m_spread_offset;
}

std::optional<double> CSymbol::OwnSpreadPips() const {
  if (!m_spread) return std::nullopt;
  // The Spread getter adds SpreadOffset and SpreadFormula adds it again.
  return (*m_spread + m_spread_offset) + m_spread_offset;
}

// A kept price is found without a call; working one out and keeping it is
// a call of its own, so that finding needs no saved registers.
double CSymbol::BidWith(const std::optional<double>& spread, int16_t source_plus,
                        int16_t offset) const {
  if (m_id == 1) return 1.0;
  if (m_spread_type == FromBidSpread) return m_bid + OffsetPips(offset);
  const uint64_t bits = spread_bits_of(spread);
  const uint64_t shape = shape_of(false, spread, source_plus, offset);
  const PricedWith& kept = priced_slot(m_instance, bits, shape);
  if (kept.instance == m_instance && kept.stamp == m_prices_stamp && kept.spread_bits == bits &&
      kept.shape == shape) {
    return kept.price;
  }
  return KeepPrice(bits, shape);
}

double CSymbol::AskWith(const std::optional<double>& spread, int16_t source_plus,
                        int16_t offset) const {
  if (m_id == 1) return 1.0;
  const uint64_t bits = spread_bits_of(spread);
  const uint64_t shape = shape_of(true, spread, source_plus, offset);
  const PricedWith& kept = priced_slot(m_instance, bits, shape);
  if (kept.instance == m_instance && kept.stamp == m_prices_stamp && kept.spread_bits == bits &&
      kept.shape == shape) {
    return kept.price;
  }
  return KeepPrice(bits, shape);
}

double CSymbol::KeepPrice(uint64_t spread_bits, uint64_t shape) const {
  const auto source_plus = static_cast<int16_t>(shape & 0xFFFF);
  const auto offset = static_cast<int16_t>((shape >> 16) & 0xFFFF);
  const bool ask = ((shape >> 32) & 1) != 0;
  const std::optional<double> spread =
      ((shape >> 33) & 1) != 0 ? std::optional<double>(std::bit_cast<double>(spread_bits))
                               : std::nullopt;
  const double price = ask ? WorkOutAsk(spread, source_plus, offset)
                           : WorkOutBid(spread, source_plus, offset);
  priced_slot(m_instance, spread_bits, shape) =
      PricedWith{m_instance, m_prices_stamp, spread_bits, shape, price};
  return price;
}

double CSymbol::WorkOutBid(const std::optional<double>& spread, int16_t source_plus,
                           int16_t offset) const {
  const double off = OffsetPips(offset);
  if (!spread) {
    // ceil(SP / 2) for every whole SP: the bid takes the larger half.
    const double down = std::nearbyint(source_plus / 2.0 + 0.1);
    return StoredPrice(m_bid - down * m_pip + off);
  }
  const double s = *spread;
  return StoredPrice(LastPrice() - (s - std::floor(s / 2)) * m_pip + off);
}

double CSymbol::WorkOutAsk(const std::optional<double>& spread, int16_t source_plus,
                           int16_t offset) const {
  const double off = OffsetPips(offset);
  if (!spread) {
    const double up = m_spread_type == FromBidSpread ? static_cast<double>(source_plus)
                                                     : std::floor(source_plus / 2.0);
    return StoredPrice(m_ask + up * m_pip + off);
  }
  const double s = *spread;
  if (m_spread_type == FromBidSpread) return StoredPrice(m_bid + s * m_pip + off);
  return StoredPrice(LastPrice() + std::floor(s / 2) * m_pip + off);
}

uint64_t CSymbol::NewInstanceNumber() {
  return g_symbol_instances.fetch_add(1, std::memory_order_relaxed) + 1;
}

double CSymbol::BidWithSpread2(const Variant& vSpread, int16_t vSourcePlus,
                               int16_t PriceOffset) const {
  if (m_id == 1) return 1.0;
  return BidWith(SpreadPips(vSpread), vSourcePlus, PriceOffset);
}

double CSymbol::AskWithSpread2(const Variant& vSpread, int16_t vSourcePlus,
                               int16_t PriceOffset) const {
  if (m_id == 1) return 1.0;
  return AskWith(SpreadPips(vSpread), vSourcePlus, PriceOffset);
}

double CSymbol::BidWithSpread() const {
  return BidWith(OwnSpreadPips(), m_source_plus, m_client_price_offset);
}

double CSymbol::AskWithSpread() const {
  return AskWith(OwnSpreadPips(), m_source_plus, m_client_price_offset);
}

void CSymbol::TickPips(const Variant& value) {
  if (value.IsEmpty()) {
    m_tick_pips = 0;
    return;
  }
  if (!value.IsNumeric()) throw_not_a_number(value);
  m_tick_pips = value.NumberValue();
}

Variant CSymbol::SpreadFormula(const Variant& vSpread) const {
  const std::optional<double> pips = SpreadPips(vSpread);
  if (!pips) return Null;
  return *pips;
}

Variant CSymbol::Spread() const {
  if (!m_spread) return Null;
  return *m_spread + m_spread_offset;
}

void CSymbol::Spread(const Variant& value) {
  if (value.IsNumeric()) {
    m_spread = value.NumberValue();
  } else {
    m_spread.reset();
  }
}

Variant CSymbol::DealProfit(double Price, double close_price, double lots,
                            OperationTypeEnum BuySell, double Interest, double RemainOpenComm,
                            CommCalcTypeEnum CommCalcType, double RefPrice,
                            bool ComputeCommInt) const {
  return DealProfitValue(Price, close_price, lots, BuySell, Interest, RemainOpenComm,
                         CommCalcType, RefPrice, ComputeCommInt);
}

double CSymbol::DealProfitValue(double Price, double close_price, double lots,
                                OperationTypeEnum BuySell, double Interest,
                                double RemainOpenComm, CommCalcTypeEnum CommCalcType,
                                double RefPrice, bool ComputeCommInt) const {
  double rp = RefPrice;
  if (RefPrice == -1.0) {
    if (!m_ref_symbol) {
      throw Error(ErrorCode::ObjectRequired,
                  "Object required: symbol " + std::to_string(m_id) +
                      " has no reference symbol to price its profit");
    }
    rp = m_ref_symbol->ClosePriceWithSpread(BuySell);
  }
  const auto as_case = [](int16_t price_case, double x) {
    if (price_case == 1) return x;
    return x == 0 ? 0.0 : 1 / x;
  };
  const double gross = (as_case(m_price_case, close_price) - as_case(m_price_case, Price)) *
                       as_case(m_ref_price_case, rp) * lots * static_cast<double>(BuySell) *
                       m_factor;
  if (CommCalcType == ON_CLOSE_TYPE && ComputeCommInt) {
    return gross - std::fabs(RemainOpenComm) + Interest;
  }
  return gross;
}

double CSymbol::ClosePriceWithSpread(OperationTypeEnum vBuySell) const {
  return vBuySell == BuyType ? BidWithSpread() : AskWithSpread();
}

double CSymbol::ClosePriceWithSpread2(const Variant& vSpread, int16_t vSourcePlus,
                                      int16_t PriceOffset, OperationTypeEnum vBuySell) const {
  return vBuySell == BuyType ? BidWithSpread2(vSpread, vSourcePlus, PriceOffset)
                             : AskWithSpread2(vSpread, vSourcePlus, PriceOffset);
}

double CSymbol::ClosePriceWithSpreadPips(const std::optional<double>& spread_pips,
                                         int16_t vSourcePlus, int16_t PriceOffset,
                                         OperationTypeEnum vBuySell) const {
  if (m_id == 1) return 1.0;
  std::optional<double> spread;
  if (spread_pips) spread = *spread_pips + m_spread_offset;
  return vBuySell == BuyType ? BidWith(spread, vSourcePlus, PriceOffset)
                             : AskWith(spread, vSourcePlus, PriceOffset);
}

double CSymbol::BidAskSpread() const { return std::fabs(Ask() - Bid()); }

bool CSymbol::ValidateStopTradeIfNoPrices(const std::string& ClientLastQTime) const {
  if (!m_stop_trade_if_no_prices) return true;
  DateTime quoted;
  if (!Variant(ClientLastQTime).TryDateValue(quoted)) return false;
  const int64_t seconds = whole_seconds(Now()) - whole_seconds(quoted);
  return std::llabs(seconds) <= m_stop_trade_after_seconds;
}

std::string CSymbol::LastQuteDateTime() const {
  if (!m_string_values) {
    throw Error(ErrorCode::ObjectRequired,
                "Object required: symbol " + std::to_string(m_id) + " has been deallocated");
  }
  const CStringValues& values = *m_string_values;
  const DateTime now = Now();
  const auto on_day = [&](DateTime day) {
    const std::string text = values.MyFormat(day, "dd/mm/yyyy") + " " + m_last_qute_time;
    return values.ToDateTime(text, "/", ":", DDspMMspYYYY_HHspNNspSS);
  };
  DateTime quoted = on_day(now);
  if (std::fabs(quoted - now) * 24 > 10) {
    quoted = on_day(now.DatePart() + (quoted >= now ? -1.0 : 1.0));
  }
  return values.MyFormat(quoted, "dd/mm/yyyy hh:nn:ss");
}

double CSymbol::PercentChange() const {
  if (m_day_close_price == 0) return 0;
  return NetChange() / m_day_close_price;
}

double CSymbol::PercentChangeWithSpread() const {
  if (m_day_close_price == 0) return 0;
  return NetChangeWithSpread() / m_day_close_price;
}

}  // namespace orvane
