#ifndef ORVANE_SRC_ACCOUNTS_DETAIL_HOLDER_BOOK_H_
#define ORVANE_SRC_ACCOUNTS_DETAIL_HOLDER_BOOK_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "position_figures.h"

namespace orvane {

class CAccount;
class CAccountRefs;
class CClient;
class COpenPositions;
class CSummaries;
class CSymbol;

namespace detail {

// Advanced whenever an account, its summaries, its client or its position
// collection may have gone or been replaced, or an account's IDs changed:
// addresses copied from those objects hold while it does not move.
inline std::atomic<uint64_t> g_structure_generation{1};
inline uint64_t StructureGeneration() {
  return g_structure_generation.load(std::memory_order_relaxed);
}
inline void StructureChanged() { g_structure_generation.fetch_add(1, std::memory_order_relaxed); }

// What the price walk reads of one holder of a symbol, copied from the
// public objects into two adjacent lines: where the holder's figures and
// summaries lie, and the pricing figures of its (first) position in the
// symbol. The addresses hold while StructureGeneration and the symbol's
// holder list stay as they were when the row was made; `held` tells
// afterwards whether the account lives. The position's figures hold while
// the holder's figures are at `version`.
struct alignas(64) HolderRow {
  static constexpr uint16_t kNoMember = UINT16_MAX;

  PositionFigures* figures;
  const COpenPositions* positions;
  CSummaries* summaries;
  const CClient* client;  // none when the account had no client
  int32_t client_id;
  int32_t account_id;
  // How many bytes of the figures a total read when the row was made: a
  // hint for reading ahead, never followed.
  uint16_t figures_span;
  uint16_t member;  // the position's place among the holder's, or kNoMember
  uint32_t version;
  std::weak_ptr<CAccount> held;
  PositionFigures::Row position;
};

// The holders of a symbol in list order. Shared so that a walk keeps its
// rows while a handler's call into the engine makes new ones.
using HolderRows = std::vector<HolderRow>;

// What one tick did, for measurement: holders revalued and positions whose
// result was worked out again (the others kept theirs).
struct TickCounts {
  int64_t holders = 0;
  int64_t repriced = 0;
};
TickCounts& ThreadTickCounts();

// The engine's copy of every symbol's position holders (the accounts in the
// index's AccountsHavePositions), made when a symbol is first quoted and
// made again when the list or StructureGeneration has moved since.
class HolderBook {
 public:
  // The current rows of the holders listed in `refs`, the index of
  // `symbol`.
  std::shared_ptr<HolderRows> RowsFor(const std::shared_ptr<CAccountRefs>& refs,
                                      const CSymbol* symbol);
  // Copies again the position figures of a row whose holder's figures have
  // moved past its version. The figures must be current.
  static void Recopy(HolderRow& row, const CSymbol* symbol);
  // Forgets every copy (Unload, symbols deleted or replaced).
  void Clear() { m_symbols.clear(); }

 private:
  struct SymbolHolders {
    std::shared_ptr<CAccountRefs> refs;  // kept, so its address names it
    std::shared_ptr<HolderRows> rows = std::make_shared<HolderRows>();
    uint64_t refs_generation = 0;
    uint64_t structure_generation = 0;
    bool made = false;
  };
  static void Make(SymbolHolders& holders, const CSymbol* symbol);

  std::unordered_map<const CAccountRefs*, SymbolHolders> m_symbols;
};

}  // namespace detail
}  // namespace orvane

#endif  // ORVANE_SRC_ACCOUNTS_DETAIL_HOLDER_BOOK_H_
