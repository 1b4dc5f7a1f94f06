#ifndef ORVANE_SRC_ACCOUNTS_DETAIL_POSITION_FIGURES_H_
#define ORVANE_SRC_ACCOUNTS_DETAIL_POSITION_FIGURES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvane/core/keyed_collection.h"
#include "orvane/vocabulary/comm_calc_type_enum.h"
#include "slab.h"

namespace orvane {

class CClientParam;
class COpenPosition;
class COpenPositions;
class CSymbol;

namespace detail {

// The pricing figures of one account's open positions and each position's
// last floating result, side by side in member order: COpenPositions's
// private part, which the engine's price walk reads in place.
//
// A position's setters and the collection mark the figures stale; they are
// copied again from the members before the next total. Parameter entries
// count their changes (ClientParamEntry::PricingGeneration), which also
// makes the copy stale. A kept result holds while the price stamps of its
// symbol and reference symbol (CSymbol::PricesStamp) do.
class alignas(64) PositionFigures {
 public:
  // The figures one position is priced from. With `symbol` set the row holds
  // the entry's figures and `parent` is the entry's Parent; otherwise (an
  // entry of another kind or lacking a reference, or a side beyond 16 bits)
  // the position prices itself.
  struct Row {
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
    bool own_parent;  // the entry is its own Parent: the symbol is its own reference
  };

  // A position's last result: valid while `stamps` is the sum of its symbol's
  // and reference symbol's price stamps (never 0, so 0 marks no result).
  // Stamps only grow, so an equal sum means neither moved.
  struct Kept {
    double profit;
    uint64_t stamps;
    const CSymbol* symbol;
    const CSymbol* ref_symbol;
  };

  PositionFigures() = default;
  PositionFigures(const PositionFigures&) = delete;
  PositionFigures& operator=(const PositionFigures&) = delete;

  // Whether the figures must be copied again from the members, given the
  // entries' PricingGeneration.
  bool Stale(uint64_t pricing_generation) const {
    return m_stale || m_pricing_generation != pricing_generation;
  }
  bool Stale() const;
  void MarkStale() { m_stale = true; }
  // Copies the figures of `members` (in order), dropping every kept result.
  void Refresh(const KeyedCollection<COpenPosition>& members);
  // Copies the figures of a member added last; when the figures are stale
  // already, they stay so.
  void Append(const COpenPosition& position);
  void Clear();

  // The sum of the members' floating results in member order, not rounded.
  // Works out again the results whose prices moved; `repriced` counts them.
  // The figures must be current (see Stale). A caller holding a copy of
  // member `copied`'s row (made at this Version) passes it, and that member
  // is priced from the copy.
  double Total(CommCalcTypeEnum comm_calc_type, int64_t& repriced,
               const Row* copy = nullptr, size_t copied = SIZE_MAX);
  // Advanced by every Refresh: rows copied at one version hold while it
  // does.
  uint32_t Version() const { return m_version; }
  // The first member priced on `symbol`'s figures, SIZE_MAX for none.
  size_t FirstOn(const CSymbol* symbol) const;
  const Row& RowAt(size_t i) const { return m_rows[i]; }
  size_t Count() const { return m_count; }
  // Results kept in the object itself, beside what a total reads first.
  static constexpr size_t kInline = 6;
  // The bytes from the object's start that a total of `members` members
  // reads there (beyond kInline members, their results lie elsewhere), for a
  // walk that starts reading them ahead.
  static size_t ReadSpan(size_t members);
  // Starts reading the figures of the members whose kept result will be
  // worked out again; reads only what ReadSpan covers, and nothing when the
  // figures are stale.
  void ReadRowsAhead(uint64_t pricing_generation, size_t copied) const;


 private:
  static Row RowOf(const COpenPosition& position);
  static Kept KeptFor(const Row& row);
  // Sets `reusable` false when the result read prices beyond the stamps.
  // `ref_symbol` is the parent entry's symbol when the row keeps its result
  // (see KeptFor), else nullptr.
  static double ProfitOf(const Row& row, CommCalcTypeEnum comm_calc_type, bool& reusable,
                         const CSymbol* ref_symbol);
  double Reprice(size_t i, const Row& row, CommCalcTypeEnum comm_calc_type);
  Kept* KeptData() { return m_count <= kInline ? m_inline : m_more.data(); }
  const Kept* KeptData() const { return m_count <= kInline ? m_inline : m_more.data(); }
  static bool Holds(const Kept& kept);

  // What a total reads comes first, the results of up to kInline members
  // with it; more members keep theirs in m_more.
  uint64_t m_pricing_generation = 0;
  const Row* m_row_data = nullptr;  // m_rows.data()
  uint32_t m_count = 0;
  uint32_t m_version = 0;
  CommCalcTypeEnum m_kept_for{};
  bool m_stale = false;
  Kept m_inline[kInline];
  std::vector<Kept> m_more;
  std::vector<Row, SlabAllocator<Row>> m_rows;  // up to eight beside other accounts' rows
};

inline size_t PositionFigures::ReadSpan(size_t members) {
  return offsetof(PositionFigures, m_inline) + sizeof(Kept) * (members < kInline ? members : kInline);
}

// Gives the engine the private part of a collection.
struct PositionsAccess {
  static PositionFigures& FiguresOf(const COpenPositions& positions);
  // Brought up to date when stale.
  static PositionFigures& CurrentFiguresOf(const COpenPositions& positions);
};

}  // namespace detail
}  // namespace orvane

#endif  // ORVANE_SRC_ACCOUNTS_DETAIL_POSITION_FIGURES_H_
