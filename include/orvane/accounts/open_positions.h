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

// The open positions of one account, keyed by the decimal text of Ticket, in
// insertion order. Remove and Clear only drop members; Deallocate and the end
// of the collection release each member through its Deallocate.
//
// Beside the members the collection keeps their pricing figures (open
// price, lots, side, interest and what their parameter entry prices with)
// side by side in member order, so that revaluing an account reads a few
// adjacent lines instead of every position and entry object. A member's
// setters tell the collection when a figure changes, entries count their
// changes (ClientParamEntry::PricingGeneration); the copy is brought up to
// date before the next total, reusing its storage. Each member's last
// result is kept with the price stamps (CSymbol::PricesStamp) of its symbol
// and reference symbol, and worked out again only when one has moved.
class COpenPositions : public Object, public ISafeObject, private NonCopyable {
 public:
  COpenPositions() = default;
  ~COpenPositions() override;

  // The sum of every position's FloatingProfitLoss in collection order, not
  // rounded; 0 when empty. Allocates nothing once the members are added.
  // Passes on a member's Error(ObjectRequired); the total is then not given.
  double TotalFloatingProfitLoss(CommCalcTypeEnum vCommCalcType) const;
  // For walks over many accounts that start reading memory ahead of use:
  // where the results kept for the members lie, ResultsBytes long, and the
  // figures the i-th member is priced from when its kept result is out of
  // date (null otherwise, and past the end). Reading there changes nothing
  // and may find figures not yet brought up to date.
  const void* ResultsData() const { return m_results.data(); }
  size_t ResultsBytes() const { return m_results.size() * sizeof(KeptResult); }
  size_t ResultsCount() const { return m_results.size(); }
  const void* FiguresToReprice(size_t i) const {
    return i < m_results.size() && !m_results[i].Current() ? &m_rows[i] : nullptr;
  }
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

  // One line of memory per position. With `symbol` set the row holds the
  // entry's figures and `parent` is the entry's Parent; otherwise (an entry
  // of another kind or lacking a reference, or a side beyond 16 bits) the
  // position prices itself.
  struct alignas(64) PricingRow {
    const CSymbol* symbol;
    union {
      const CClientParam* parent;
      const COpenPosition* position;
    };
    double spread_pips;
    double commission;  // of the position's lots
    double price;
    double lots;
    double interest;
    int16_t type;
    int16_t source_plus;
    int16_t price_offset;
    bool has_spread;
  };

  // A member's last result and what it was worked out from. Only a member
  // priced from an entry's figures, whose symbol and reference symbol are
  // known, keeps one.
  struct KeptResult {
    const CSymbol* symbol = nullptr;
    const CSymbol* ref_symbol = nullptr;
    uint64_t stamp = 0;
    uint64_t ref_stamp = 0;
    double profit = 0;
    CommCalcTypeEnum comm_calc_type{};
    bool known = false;

    bool Current() const;
    bool CurrentFor(CommCalcTypeEnum comm_calc_type) const {
      return Current() && this->comm_calc_type == comm_calc_type;
    }
  };

  static PricingRow RowOf(const COpenPosition& position);
  static KeptResult KeptFor(const PricingRow& row);
  // Sets `reusable` false when the result read prices beyond the stamps.
  static double ProfitOf(const PricingRow& row, CommCalcTypeEnum comm_calc_type, bool& reusable);
  static double Reprice(const PricingRow& row, KeptResult& kept, CommCalcTypeEnum comm_calc_type);
  void PositionChanged() { m_rows_stale = true; }
  void RefreshRows() const;
  void Release(COpenPosition& position) const;

  // Valid while m_rows_stale is false and the entries' generation is
  // m_rows_generation: one row and one kept result per member, in member
  // order. Placed first, where a quote reads the collection.
  mutable std::vector<KeptResult> m_results;
  mutable std::vector<PricingRow> m_rows;
  mutable uint64_t m_rows_generation = 0;
  mutable bool m_rows_stale = false;
  KeyedCollection<COpenPosition> m_items;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_OPEN_POSITIONS_H_
