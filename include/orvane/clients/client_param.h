#ifndef ORVANE_CLIENTS_CLIENT_PARAM_H_
#define ORVANE_CLIENTS_CLIENT_PARAM_H_

#include <cstdint>
#include <memory>

#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/vocabulary/operation_type_enum.h"

namespace orvane {

class CSymbol;

// A client's trading parameters for one symbol, and the prices that client
// sees and deals at: the symbol's quote with the client's spread, source
// plus and price offset. Spreads, source plus and offsets are in pips.
//
// This is the interface behind the two kinds of entry, CClientParamCl (the
// full set) and CClientParamSvr (no lot limits or order offsets). Used on
// its own it holds nothing: every operation reads 0 or no object and every
// write is ignored.
class CClientParam : public Object, private NonCopyable {
 public:
  CClientParam() = default;
  ~CClientParam() override = default;

  // Commission x lots.
  virtual double CommissionValue(double /*lots*/) const { return 0.0; }
  // The price a deal in direction vBuySell closes at (a buy closes at the
  // bid).
  virtual double ClosePriceWithSpread(OperationTypeEnum /*vBuySell*/) const { return 0.0; }
  virtual double BidWithSpread() const { return 0.0; }
  virtual double AskWithSpread() const { return 0.0; }
  // The ask for a buy, the bid for anything else.
  virtual double PriceWithSpread(OperationTypeEnum /*BuySell*/) const { return 0.0; }

  // The client's fixed spread in pips, or null for the symbol's source
  // spread; empty until set. Numeric text given to the setter reads back as
  // its number ("2" as 2), by choice: every reader of a spread takes it as
  // a number, and the parameter texts deliver spreads as text.
  virtual Variant Spread() const { return Variant(); }
  virtual void Spread(const Variant& /*value*/) {}
  // Pips added to the source spread when no fixed spread is set.
  virtual int16_t SourcePlus() const { return 0; }
  virtual void SourcePlus(int16_t /*value*/) {}
  // Commission per lot.
  virtual double Commission() const { return 0.0; }
  virtual void Commission(double /*value*/) {}
  virtual double MaxLots() const { return 0.0; }
  virtual void MaxLots(double /*value*/) {}
  virtual double MinLots() const { return 0.0; }
  virtual void MinLots(double /*value*/) {}
  // Minimum distances of limit and stop orders, in pips.
  virtual double LimitOffset() const { return 0.0; }
  virtual void LimitOffset(double /*value*/) {}
  virtual double StopOffset() const { return 0.0; }
  virtual void StopOffset(double /*value*/) {}
  // The symbol this entry prices.
  virtual std::shared_ptr<CSymbol> Symbol() const { return nullptr; }
  virtual void Symbol(std::shared_ptr<CSymbol> /*value*/) {}
  // The same client's entry for the symbol's reference symbol.
  virtual std::shared_ptr<CClientParam> Parent() const { return nullptr; }
  virtual void Parent(std::shared_ptr<CClientParam> /*value*/) {}
  // Symbol and Parent for the pricing path: the object the entry itself
  // holds, valid while that reference is unchanged and the entry lives, with
  // no reference count touched. Null when the entry cannot lend it (callers
  // then use Symbol / Parent).
  virtual const CSymbol* SymbolPtr() const { return nullptr; }
  virtual const CClientParam* ParentPtr() const { return nullptr; }
  // Pips added to both sides, on top of the symbol's own PriceOffset.
  virtual int16_t PriceOffset() const { return 0; }
  virtual void PriceOffset(int16_t /*value*/) {}
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_PARAM_H_
