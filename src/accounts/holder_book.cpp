#include "detail/holder_book.h"


#include "detail/position_figures.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/open_positions.h"

namespace orvane {
namespace detail {
TickCounts& ThreadTickCounts() {
  thread_local TickCounts counts;
  return counts;
}

std::shared_ptr<HolderRows> HolderBook::RowsFor(const std::shared_ptr<CAccountRefs>& refs,
                                                const CSymbol* symbol) {
  SymbolHolders& holders = m_symbols[refs.get()];
  if (!holders.made || holders.refs_generation != refs->Generation() ||
      holders.structure_generation != StructureGeneration()) {
    holders.refs = refs;
    // A walk still reading the old rows keeps them.
    if (holders.rows.use_count() > 1) holders.rows = std::make_shared<HolderRows>();
    Make(holders, symbol);
  }
  return holders.rows;
}

void HolderBook::Recopy(HolderRow& row, const CSymbol* symbol) {
  const PositionFigures& figures = *row.figures;
  const size_t member = figures.FirstOn(symbol);
  row.version = figures.Version();
  row.member = member < HolderRow::kNoMember ? static_cast<uint16_t>(member) : HolderRow::kNoMember;
  row.position = row.member != HolderRow::kNoMember ? figures.RowAt(member) : PositionFigures::Row{};
}

void HolderBook::Make(SymbolHolders& holders, const CSymbol* symbol) {
  HolderRows& rows = *holders.rows;
  rows.clear();  // keeps the storage
  for (const CAccountRefs::Listed& listed : holders.refs->Accounts()) {
    if (listed.account.expired()) continue;
    CAccount* account = listed.address;
    CSummaries* summaries = account->SummeryInfo().get();
    if (summaries == nullptr) continue;
    const COpenPositions* positions = account->OpenPositions().get();
    PositionFigures& figures = PositionsAccess::CurrentFiguresOf(*positions);
    HolderRow& row = rows.emplace_back();
    row.figures = &figures;
    row.positions = positions;
    row.summaries = summaries;
    row.client = account->ClientPtr();
    row.client_id = account->ClientID();
    row.account_id = account->AccountID();
    row.figures_span = static_cast<uint16_t>(PositionFigures::ReadSpan(figures.Count()));
    row.held = listed.account;
    Recopy(row, symbol);
  }
  holders.refs_generation = holders.refs->Generation();
  holders.structure_generation = StructureGeneration();
  holders.made = true;
}

}  // namespace detail
}  // namespace orvane
