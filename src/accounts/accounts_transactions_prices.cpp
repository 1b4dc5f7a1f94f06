// The figures and the price flow of the account engine.

#include <cstddef>
#include <cstdint>
#include <string>

#include "accounts_transactions_scratch.h"
#include "detail/holder_book.h"
#include "detail/position_figures.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/account_ref.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param_entry.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_ref.h"
#include "orvane/clients/client_refs.h"
#include "orvane/clients/clients.h"
#include "orvane/core/conversions.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbol_trading_times.h"

namespace orvane {

namespace {

int32_t int_of(const Variant& value) { return ToInt32(value.NumberValue()); }

void copy_clients(const CClientRefs& refs, std::vector<std::shared_ptr<CClient>>& out) {
  for (const auto& ref : refs.Items()) {
    if (auto client = ref->Client()) out.push_back(std::move(client));
  }
}

bool trades_now(const CSymbol& symbol) {
  const CSymbolTradingTimes* times = symbol.SymbolTradingTimesPtr();
  return times != nullptr && times->TradeIsOpen();
}

CommCalcTypeEnum comm_calc_type_of(const CClient* client) {
  return client != nullptr ? client->CommCalcType() : CommCalcTypeEnum{};
}

// A holder's revaluation waits on memory, not on arithmetic: its figures and
// its summaries are apart from the rows. They are asked for this many
// holders ahead, so that several holders' reads are in flight at once.
constexpr size_t kReadAhead = 6;
constexpr size_t kReadRowsAhead = 3;
// Reading ahead pays for itself only when the holders are not in cache. A
// list shorter than this was most likely walked by the symbol's last tick,
// and the asking costs more instructions than the misses it saves.
constexpr size_t kReadAheadFrom = 64;

// Asks for every line of memory that the bytes [object, object + bytes)
// touch, into the second-level cache.
void read_ahead(const void* object, size_t bytes, bool write) {
  constexpr uintptr_t kLine = 64;
  const uintptr_t end = reinterpret_cast<uintptr_t>(object) + bytes;
  for (uintptr_t line = reinterpret_cast<uintptr_t>(object) & ~(kLine - 1); line < end;
       line += kLine) {
    const auto* p = reinterpret_cast<const void*>(line);
    if (write) {
      __builtin_prefetch(p, 1, 1);
    } else {
      __builtin_prefetch(p, 0, 1);
    }
  }
}

// Two steps: a holder's figures and summaries first; nearer, the figures of
// the positions its kept results show out of date.
void read_ahead(const detail::HolderRows& rows, size_t i, uint64_t pricing_generation) {
  if (i + kReadAhead < rows.size()) {
    const detail::HolderRow& row = rows[i + kReadAhead];
    read_ahead(row.figures, row.figures_span, false);
    read_ahead(row.summaries, sizeof(CSummaries), true);
  }
  if (i + kReadRowsAhead < rows.size()) {
    const detail::HolderRow& row = rows[i + kReadRowsAhead];
    row.figures->ReadRowsAhead(pricing_generation, row.member);
  }
}

// The holder's floating result, its position in the symbol priced from the
// row's copy while that holds.
double total_of(detail::HolderRow& row, const CSymbol& symbol, uint64_t pricing_generation,
               int64_t& repriced) {
  detail::PositionFigures& figures =
      row.figures->Stale(pricing_generation)
          ? detail::PositionsAccess::CurrentFiguresOf(*row.positions)
          : *row.figures;
  if (row.version != figures.Version()) detail::HolderBook::Recopy(row, &symbol);
  return figures.Total(comm_calc_type_of(row.client), repriced, &row.position,
                       row.member == detail::HolderRow::kNoMember ? SIZE_MAX : row.member);
}

// What the summaries events tell of one account, read before any handler
// runs; the handlers are handed these very variables, as the events pass
// their figures by reference.
struct SummaryFigures {
  int32_t client_id;
  int32_t account_id;
  double balance;
  double flt;
  double credit;
  double equity;
  double margin_requirement;
  double margin_level;
  double effective_margin;
  int32_t open_positions;
};

SummaryFigures figures_of(int32_t client_id, int32_t account_id, const CSummaries& s,
                          double flt, int32_t open_positions) {
  return {client_id,         account_id,         s.Balance(),
          flt,               s.Credit(),         s.Equity(),
          s.MarginRequirement(), s.marginLevel(), s.EffectiveMargin(),
          open_positions};
}

}  // namespace

double CAccountsTransactions::RefreshFloatingProfitLoss(
    const std::shared_ptr<CAccount>& vAccInfo) {
  auto client = vAccInfo->Client();
  const auto comm_calc_type = client ? client->CommCalcType() : CommCalcTypeEnum{};
  const double value = vAccInfo->OpenPositions()->TotalFloatingProfitLoss(comm_calc_type);
  vAccInfo->SummeryInfo()->FloatingProfitLoss(value);
  return value;
}

void CAccountsTransactions::SummariesChanged(const std::shared_ptr<CAccount>& vAccInfo) {
  if (!vAccInfo || !vAccInfo->SummeryInfo()) return;
  double flt = RefreshFloatingProfitLoss(vAccInfo);
  if (!m_events.HasListeners()) return;  // the figures below only feed the event
  SummaryFigures f = figures_of(vAccInfo->ClientID(), vAccInfo->AccountID(),
                                      *vAccInfo->SummeryInfo(), flt,
                                      vAccInfo->OpenPositions()->Count());
  m_events.Raise([&](CAccountsTransactionsEvents& l) {
    l.UpdateListView(f.client_id, f.account_id, f.balance, f.flt, f.credit, f.equity,
                     f.margin_requirement, f.margin_level, f.effective_margin, f.open_positions);
  });
}

void CAccountsTransactions::AnnounceNewAccount(int32_t client_id, int32_t account_id) {
  auto account = Account(client_id, account_id);
  if (!account) return;
  const double flt = RefreshFloatingProfitLoss(account);
  SummaryFigures f = figures_of(client_id, account_id, *account->SummeryInfo(), flt,
                                      account->OpenPositions()->Count());
  m_events.Raise([&](CAccountsTransactionsEvents& l) {
    l.NewAccountSummeriesData(f.client_id, f.account_id, f.balance, f.flt, f.credit, f.equity,
                              f.margin_requirement, f.margin_level, f.effective_margin,
                              f.open_positions);
  });
}

void CAccountsTransactions::RefreshListView() {
  if (!m_clients) return;
  for (const auto& client : m_clients->Items().Snapshot()) {
    for (const auto& account : client->Accounts()->Items().Snapshot()) {
      SummariesChanged(account);
    }
  }
}

void CAccountsTransactions::UpdateAccountSummaries(
    const Variant& cl_no, const Variant& acc_no, const Variant& TotComm,
    const Variant& MarginReq, const Variant& NetProfit, const Variant& TotDep,
    const Variant& TotCr, const Variant& PrvMargin, bool LockLiquidation,
    const Variant& TotInt) {
  auto account = Account(int_of(cl_no), int_of(acc_no));
  if (!account) return;
  account->LockLiquidate(LockLiquidation);
  account->SummeryInfo()->SetValues(PrvMargin, TotDep, TotComm, MarginReq, NetProfit, TotCr,
                                    TotInt);
  SummariesChanged(account);
  CheckLiquidation(account);
}

void CAccountsTransactions::DealWithChangedSymbolPrices(
    const std::shared_ptr<CSymbol>& vSymbol) {
  // Held here: the caller's reference may be a member of a collection that a
  // handler changes.
  const std::shared_ptr<CSymbol> symbol = vSymbol;
  if (!symbol) return;
  auto index = std::dynamic_pointer_cast<CCurAccount>(symbol->Ref1());
  if (!index) return;
  const int32_t symbol_id = symbol->ID();
  const bool trades = trades_now(*symbol);
  ScratchLease scratch(*this);
  if (m_side == SERVER_SIDE_EXECUTION) {
    if (trades) CheckListedOrders(*index->AccountsHaveOrders(), symbol_id, *scratch);
    copy_clients(*index->ClientsHaveAlerts(), scratch->clients);
    for (const auto& client : scratch->clients) {
      if (auto param = client->SymbolParam(symbol_id)) CheckAlertsHit(client, param);
    }
  }
  if (!m_events.HasListeners() && !CSummaries::AnyHasListeners()) {
    RevalueQuietly(*index, *symbol, trades);
  } else {
    RevalueListened(*index, *symbol);
  }
}

// Nothing outside the engine runs during this walk (a liquidation raises its
// events to nobody), so the rows stay as they are and whether the symbol
// trades is answered once for all holders.
void CAccountsTransactions::RevalueQuietly(const CCurAccount& index, const CSymbol& symbol,
                                           bool trades) {
  const auto rows = m_book->RowsFor(index.AccountsHavePositions(), &symbol);
  detail::TickCounts& counts = detail::ThreadTickCounts();
  int64_t repriced = 0;
  const bool check = trades && m_side == SERVER_SIDE_EXECUTION;
  const uint64_t pricing_generation = ClientParamEntry::PricingGeneration();
  const bool ahead = rows->size() >= kReadAheadFrom;
  for (size_t i = 0; i < rows->size(); ++i) {
    if (ahead) read_ahead(*rows, i, pricing_generation);
    detail::HolderRow& row = (*rows)[i];
    row.summaries->FloatingProfitLoss(total_of(row, symbol, pricing_generation, repriced));
    if (check) CheckLiquidation(row);
  }
  counts.holders += static_cast<int64_t>(rows->size());
  counts.repriced += repriced;
}

// Handlers run between holders and may call back into the engine. The rows
// are read in place while the structure they copied stands; once a handler
// has moved it, each remaining holder is taken through the public objects,
// if it still lives.
void CAccountsTransactions::RevalueListened(const CCurAccount& index, const CSymbol& symbol) {
  const auto& refs = index.AccountsHavePositions();
  const auto rows = m_book->RowsFor(refs, &symbol);
  const uint64_t structure = detail::StructureGeneration();
  const uint64_t listed = refs->Generation();
  auto copied_holds = [&] {
    return structure == detail::StructureGeneration() && listed == refs->Generation();
  };
  detail::TickCounts& counts = detail::ThreadTickCounts();
  const bool ahead = rows->size() >= kReadAheadFrom;
  for (size_t i = 0; i < rows->size(); ++i) {
    detail::HolderRow& row = (*rows)[i];
    ++counts.holders;
    if (!copied_holds() || row.summaries->HasListeners()) {
      if (const auto account = row.held.lock()) RevalueHolder(account, symbol);
      continue;
    }
    // Asked for each holder: a handler may change an entry.
    const uint64_t pricing_generation = ClientParamEntry::PricingGeneration();
    if (ahead) read_ahead(*rows, i, pricing_generation);
    double flt = total_of(row, symbol, pricing_generation, counts.repriced);
    row.summaries->FloatingProfitLoss(flt);  // no listener: raises nothing
    if (m_events.HasListeners()) {
      SummaryFigures f = figures_of(row.client_id, row.account_id, *row.summaries, flt,
                                          static_cast<int32_t>(row.figures->Count()));
      m_events.Raise([&](CAccountsTransactionsEvents& l) {
        l.UpdateListView(f.client_id, f.account_id, f.balance, f.flt, f.credit, f.equity,
                         f.margin_requirement, f.margin_level, f.effective_margin,
                         f.open_positions);
      });
    }
    if (m_side != SERVER_SIDE_EXECUTION || !trades_now(symbol)) continue;
    if (copied_holds()) {
      CheckLiquidation(row);
    } else if (const auto account = row.held.lock()) {
      CheckLiquidation(account);
    }
  }
}

void CAccountsTransactions::CheckLiquidation(const detail::HolderRow& row) {
  // At the point is asked first: it reads what the walk has at hand.
  if (row.client == nullptr || !AtLiquidationPoint(*row.summaries, *row.client)) return;
  const auto account = row.held.lock();
  if (account && !account->DontLiquidate()) LiquidateAtPoint(account);
}

void CAccountsTransactions::RevalueHolder(const std::shared_ptr<CAccount>& account,
                                          const CSymbol& symbol) {
  if (!account->SummeryInfo()) return;  // released while the walk ran
  SummariesChanged(account);
  if (m_side == SERVER_SIDE_EXECUTION && trades_now(symbol)) CheckLiquidation(account);
}

}  // namespace orvane
