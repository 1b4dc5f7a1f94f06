#ifndef ORVANE_ACCOUNTS_OPEN_POSITIONS_H_
#define ORVANE_ACCOUNTS_OPEN_POSITIONS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvane/accounts/open_position.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

class CSymbol;

namespace detail {
class PositionFigures;
struct PositionsAccess;
}  // namespace detail

// The open positions of one account, keyed by the decimal text of Ticket, in
// insertion order. Remove and Clear only drop members; Deallocate and the end
// of the collection release each member through its Deallocate.
//
// The members' pricing figures and last results are also kept in a private
// compact form that the account engine's price walk reads; a member's
// setters keep it current.
class COpenPositions : public Object, public ISafeObject, private NonCopyable {
 public:
  COpenPositions();
  ~COpenPositions() override;

  // The sum of every position's FloatingProfitLoss in collection order, not
  // rounded; 0 when empty. Allocates nothing once the members are added.
  // Passes on a member's Error(ObjectRequired); the total is then not given.
  double TotalFloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const;
  // Creates a position, sets SymbolParam, Price, lots, Type_no, Ticket,
  // Interest, PosTime, Note and Account in this order and adds it under the
  // text of Ticket. Returns none, leaving the collection unchanged, when the
  // ticket is already present. Throws Error(ObjectRequired) when vSymbol (or
  // its symbol) is missing; nothing is added then.
  std::shared_ptr<COpenPosition> Add(double Price,
                                     const std::shared_ptr<CClientParam>& vSymbol,
                                     double lots, OperationTypeEnum Type_no,
                                     int32_t Ticket,
                                     const std::shared_ptr<CAccount>& Account,
                                     double Interest, std::string PosTime,
                                     std::string vNote);
  // Empties the collection; the members are dropped, not deallocated.
  void Clear();
  std::shared_ptr<COpenPosition> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return m_items.Count(); }
  // Drops the member; a miss does nothing.
  void Remove(const Variant& vntIndexKey);
  // The members in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<COpenPosition>> NewEnum() const { return m_items.Snapshot(); }
  const KeyedCollection<COpenPosition>& Items() const { return m_items; }
  KeyedCollection<COpenPosition>::Iterator begin() const { return m_items.begin(); }
  KeyedCollection<COpenPosition>::Iterator end() const { return m_items.end(); }

  void Deallocate() override;

 private:
  friend class COpenPosition;
  friend struct detail::PositionsAccess;

  void PositionChanged();
  void Release(COpenPosition& position) const;

  KeyedCollection<COpenPosition> m_items;
  detail::PositionFigures* m_figures;  // the private part; its layout is the library's own
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_OPEN_POSITIONS_H_
