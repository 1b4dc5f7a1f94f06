#ifndef ORVANE_CLIENTS_CLIENT_PARAM_ENTRY_H_
#define ORVANE_CLIENTS_CLIENT_PARAM_ENTRY_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "orvane/clients/client_param.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// What both kinds of parameter entry share: the spread, source plus,
// commission and price offset they keep, the symbol and parent they point
// to, and the prices through the symbol. A client's prices are the symbol's
// prices with spread given this entry's Spread, SourcePlus and PriceOffset
// (the symbol adds its SpreadOffset once and its own PriceOffset).
//
// Every price operation throws Error(ObjectRequired) while Symbol is none,
// and passes on the symbol's Error(Overflow) when the two price offsets sum
// outside 16 bits.
//
// Every change of what the prices read (Spread, SourcePlus, Commission,
// PriceOffset, Symbol, Parent, Deallocate) advances PricingGeneration, so
// that a copy of these figures kept elsewhere knows when to read them again.
//
// The CClientParam_ names repeat the interface operations under the names
// the entries' own interfaces carry.
class ClientParamEntry : public CClientParam, public ISafeObject {
 public:
  double CommissionValue(double lots) const final { return m_commission * lots; }
  double ClosePriceWithSpread(OperationTypeEnum vBuySell) const final;
  double BidWithSpread() const final;
  double AskWithSpread() const final;
  double PriceWithSpread(OperationTypeEnum BuySell) const final;

  Variant Spread() const final { return m_spread; }
  // Stores null for the empty string or a value that is no number, else the
  // number (numeric text is kept as its number, see CClientParam::Spread).
  void Spread(const Variant& value) final;
  int16_t SourcePlus() const final { return m_source_plus; }
  void SourcePlus(int16_t value) final;
  double Commission() const final { return m_commission; }
  void Commission(double value) final;
  std::shared_ptr<CSymbol> Symbol() const final { return m_symbol; }
  void Symbol(std::shared_ptr<CSymbol> value) final;
  std::shared_ptr<CClientParam> Parent() const final { return m_parent; }
  void Parent(std::shared_ptr<CClientParam> value) final;
  const CSymbol* SymbolPtr() const final { return m_symbol.get(); }
  const CClientParam* ParentPtr() const final { return m_parent.get(); }
  int16_t PriceOffset() const final { return m_price_offset; }
  void PriceOffset(int16_t value) final;

  // Spread as CSymbol::ClosePriceWithSpreadPips takes it: none for a null
  // spread, else its pips (an unset spread counts as 0 pips). Inline: an
  // optional returned from a call is read back before its flag is stored.
  std::optional<double> SpreadPips() const {
    if (m_spread.kind() == Variant::Kind::Number) return m_spread.NumberValue();
    if (m_spread.IsNull()) return std::nullopt;
    return 0.0;
  }
  // Advanced by every change listed above, in any entry of the process.
  static uint64_t PricingGeneration();

  // Clears Symbol and Parent, breaking cycles between entries that are each
  // other's Parent.
  void Deallocate() override;

  double CClientParam_CommissionValue(double lots) const { return CommissionValue(lots); }
  double CClientParam_ClosePriceWithSpread(OperationTypeEnum vBuySell) const {
    return ClosePriceWithSpread(vBuySell);
  }
  double CClientParam_BidWithSpread() const { return BidWithSpread(); }
  double CClientParam_AskWithSpread() const { return AskWithSpread(); }
  double CClientParam_PriceWithSpread(OperationTypeEnum BuySell) const {
    return PriceWithSpread(BuySell);
  }
  Variant CClientParam_Spread() const { return Spread(); }
  void CClientParam_Spread(const Variant& value) { Spread(value); }
  int16_t CClientParam_SourcePlus() const { return SourcePlus(); }
  void CClientParam_SourcePlus(int16_t value) { SourcePlus(value); }
  double CClientParam_Commission() const { return Commission(); }
  void CClientParam_Commission(double value) { Commission(value); }
  double CClientParam_MaxLots() const { return MaxLots(); }
  void CClientParam_MaxLots(double value) { MaxLots(value); }
  double CClientParam_MinLots() const { return MinLots(); }
  void CClientParam_MinLots(double value) { MinLots(value); }
  double CClientParam_LimitOffset() const { return LimitOffset(); }
  void CClientParam_LimitOffset(double value) { LimitOffset(value); }
  double CClientParam_StopOffset() const { return StopOffset(); }
  void CClientParam_StopOffset(double value) { StopOffset(value); }
  std::shared_ptr<CSymbol> CClientParam_Symbol() const { return Symbol(); }
  void CClientParam_Symbol(std::shared_ptr<CSymbol> value) { Symbol(std::move(value)); }
  std::shared_ptr<CClientParam> CClientParam_Parent() const { return Parent(); }
  void CClientParam_Parent(std::shared_ptr<CClientParam> value) { Parent(std::move(value)); }

 protected:
  ClientParamEntry() = default;

 private:
  const CSymbol& PricedSymbol() const;

  Variant m_spread;
  int16_t m_source_plus = 0;
  double m_commission = 0.0;
  int16_t m_price_offset = 0;
  std::shared_ptr<CSymbol> m_symbol;
  std::shared_ptr<CClientParam> m_parent;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_PARAM_ENTRY_H_
