#ifndef ORVANE_SRC_ACCOUNTS_DETAIL_HOLDER_BOOK_H_
#define ORVANE_SRC_ACCOUNTS_DETAIL_HOLDER_BOOK_H_

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace orvane {

class CAccount;
class CAccountRefs;
class CClient;
class COpenPositions;
class CSummaries;

namespace detail {

class PositionFigures;

// Advanced whenever an account, its summaries, its client or its position
// collection may have gone or been replaced, or an account's IDs changed:
// addresses copied from those objects hold while it does not move.
uint64_t StructureGeneration();
void StructureChanged();

// What the price walk reads of one holder of a symbol, copied from the
// public objects into one line. The addresses hold while
// StructureGeneration and the symbol's holder list stay as they were when
// the row was made; `held` tells afterwards whether the account lives.
struct alignas(64) HolderRow {
  PositionFigures* figures;
  const COpenPositions* positions;
  CSummaries* summaries;
  const CClient* client;  // none when the account had no client
  int32_t client_id;
  int32_t account_id;
  // How many bytes of the figures a total read when the row was made: a
  // hint for reading ahead, never followed.
  uint32_t figures_span;
  std::weak_ptr<CAccount> held;
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
  // The current rows of the holders listed in `refs`.
  std::shared_ptr<const HolderRows> RowsFor(const std::shared_ptr<CAccountRefs>& refs);
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
  static void Make(SymbolHolders& holders);

  std::unordered_map<const CAccountRefs*, SymbolHolders> m_symbols;
};

}  // namespace detail
}  // namespace orvane

#endif  // ORVANE_SRC_ACCOUNTS_DETAIL_HOLDER_BOOK_H_
