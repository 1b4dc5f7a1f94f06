#include "detail/holder_book.h"

#include <atomic>

#include "detail/position_figures.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/open_positions.h"

namespace orvane {
namespace detail {
namespace {

std::atomic<uint64_t> g_structure_generation{1};

}  // namespace

uint64_t StructureGeneration() { return g_structure_generation.load(std::memory_order_relaxed); }
void StructureChanged() { g_structure_generation.fetch_add(1, std::memory_order_relaxed); }

TickCounts& ThreadTickCounts() {
  thread_local TickCounts counts;
  return counts;
}

std::shared_ptr<const HolderRows> HolderBook::RowsFor(const std::shared_ptr<CAccountRefs>& refs) {
  SymbolHolders& holders = m_symbols[refs.get()];
  if (!holders.made || holders.refs_generation != refs->Generation() ||
      holders.structure_generation != StructureGeneration()) {
    holders.refs = refs;
    // A walk still reading the old rows keeps them.
    if (holders.rows.use_count() > 1) holders.rows = std::make_shared<HolderRows>();
    Make(holders);
  }
  return holders.rows;
}

void HolderBook::Make(SymbolHolders& holders) {
  HolderRows& rows = *holders.rows;
  rows.clear();  // keeps the storage
  for (const CAccountRefs::Listed& listed : holders.refs->Accounts()) {
    if (listed.account.expired()) continue;
    CAccount* account = listed.address;
    CSummaries* summaries = account->SummeryInfo().get();
    if (summaries == nullptr) continue;
    const COpenPositions* positions = account->OpenPositions().get();
    PositionFigures& figures = PositionsAccess::FiguresOf(*positions);
    rows.push_back(HolderRow{&figures, positions, summaries, account->ClientPtr(),
                             account->ClientID(), account->AccountID(),
                             static_cast<uint32_t>(figures.ReadSpan(positions->Count())),
                             listed.account});
  }
  holders.refs_generation = holders.refs->Generation();
  holders.structure_generation = StructureGeneration();
  holders.made = true;
}

}  // namespace detail
}  // namespace orvane
