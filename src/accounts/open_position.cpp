#include "orvane/accounts/open_position.h"

#include "orvane/accounts/open_positions.h"
#include "orvane/clients/client_param.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/market/symbol.h"

namespace orvane {
namespace {

const CClientParam& param_of(const std::shared_ptr<CClientParam>& param) {
  if (!param) {
    throw Error(ErrorCode::ObjectRequired, "position has no symbol parameter entry");
  }
  return *param;
}

std::shared_ptr<CSymbol> symbol_of(const CClientParam& param) {
  std::shared_ptr<CSymbol> symbol = param.Symbol();
  if (!symbol) {
    throw Error(ErrorCode::ObjectRequired, "parameter entry of position has no symbol");
  }
  return symbol;
}

std::shared_ptr<CClientParam> parent_of(const CClientParam& param) {
  std::shared_ptr<CClientParam> parent = param.Parent();
  if (!parent) {
    throw Error(ErrorCode::ObjectRequired,
                "parameter entry of position has no reference symbol entry");
  }
  return parent;
}

// The entry's symbol without touching its reference count when the entry can
// lend it; otherwise `hold` keeps the counted reference for the caller.
const CSymbol& symbol_ref(const CClientParam& param, std::shared_ptr<CSymbol>& hold) {
  if (const CSymbol* symbol = param.SymbolPtr()) return *symbol;
  hold = symbol_of(param);
  return *hold;
}

const CClientParam& parent_ref(const CClientParam& param,
                               std::shared_ptr<CClientParam>& hold) {
  if (const CClientParam* parent = param.ParentPtr()) return *parent;
  hold = parent_of(param);
  return *hold;
}

}  // namespace

double COpenPosition::AddInterest(int16_t vDayFactor, double YearlyBuyRate,
                                  double YearlySellRate, int16_t YearDays) {
  if (YearDays == 0) {
    throw Error(ErrorCode::InvalidArgument, "interest year of 0 days");
  }
  const std::shared_ptr<CSymbol> symbol = symbol_of(param_of(m_symbol_param));
  const double rate = m_type_no == BuyType ? YearlyBuyRate : YearlySellRate;
  const double base = static_cast<double>(vDayFactor) * m_lots * symbol->Factor();
  const double amount = RoundMoney((rate * base) / YearDays);
  m_interest += amount;
  FiguresChanged();
  return amount;
}

double COpenPosition::FloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const {
  const CClientParam& param = param_of(m_symbol_param);
  std::shared_ptr<CSymbol> symbol_hold;
  const CSymbol& symbol = symbol_ref(param, symbol_hold);
  const double close = param.ClosePriceWithSpread(m_type_no);
  const double commission = param.CommissionValue(m_lots);
  std::shared_ptr<CClientParam> parent_hold;
  const double ref_close = parent_ref(param, parent_hold).ClosePriceWithSpread(m_type_no);
  return RoundMoney(symbol.DealProfitValue(m_price, close, m_lots, m_type_no, m_interest,
                                           commission, vCommCalcType, ref_close, true));
}

double COpenPosition::RefClosePrice() const {
  std::shared_ptr<CClientParam> parent_hold;
  return parent_ref(param_of(m_symbol_param), parent_hold).ClosePriceWithSpread(m_type_no);
}

double COpenPosition::ClosePrice() const {
  return param_of(m_symbol_param).ClosePriceWithSpread(m_type_no);
}

double COpenPosition::Commission() const {
  return -param_of(m_symbol_param).CommissionValue(m_lots);
}

void COpenPosition::Price(double value) {
  const std::shared_ptr<CSymbol> symbol = symbol_of(param_of(m_symbol_param));
  double stored = 0;
  ParseLocalNumber(symbol->FormatPrice(value), stored);
  m_price = stored;
  FiguresChanged();
}

void COpenPosition::Type_no(OperationTypeEnum value) {
  m_type_no = value;
  FiguresChanged();
}

void COpenPosition::lots(double value) {
  m_lots = value;
  FiguresChanged();
}

void COpenPosition::Interest(double value) {
  m_interest = value;
  FiguresChanged();
}

void COpenPosition::SymbolParam(std::shared_ptr<CClientParam> value) {
  m_symbol_param = std::move(value);
  FiguresChanged();
}

void COpenPosition::FiguresChanged() {
  if (m_owner != nullptr) m_owner->PositionChanged();
}

}  // namespace orvane
