// The figures and the price flow of the account engine.

#include <cstddef>
#include <cstdint>
#include <string>

#include "accounts_transactions_scratch.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/account_ref.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
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

int32_t IntOf(const Variant& value) { return ToInt32(value.NumberValue()); }

// The walk over a symbol's holders waits on memory, not on arithmetic: each
// account, its figures, its position list and the pricing figures the list
// keeps are separate objects. These warm them a few accounts ahead, one
// level of the chain per step, so that several accounts' reads are in
// flight at once. Each step reads only what the step before warmed.
constexpr size_t kWarmAccount = 12;
constexpr size_t kWarmMembers = 8;
constexpr size_t kWarmFigures = 4;
constexpr size_t kWarmEntries = 1;

// Written out on x86, where g++ was seen to drop the builtin's hint from
// this walk.
void WarmLine(uintptr_t address) {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("prefetcht0 (%0)" : : "r"(address));
#else
  __builtin_prefetch(reinterpret_cast<const void*>(address));
#endif
}

// Warms every line of memory that the bytes [from, to) of the object at p
// touch. `from` may be negative: make_shared lays an object's reference
// counts just before it. A hint only: nothing is read.
void WarmSpan(const void* p, ptrdiff_t from, ptrdiff_t to) {
  if (p == nullptr) return;
  const uintptr_t base = reinterpret_cast<uintptr_t>(p);
  const uintptr_t end = base + static_cast<uintptr_t>(to);
  for (uintptr_t line = (base + static_cast<uintptr_t>(from)) & ~uintptr_t{63}; line < end;
       line += 64) {
    WarmLine(line);
  }
}

// The parts a quote reads: an account's counts, references and flags; the
// figures of its summaries; the kept results' place in its position list;
// the figures of a position whose result is worked out again.
constexpr ptrdiff_t kCounts = -16;
constexpr ptrdiff_t kAccountRead = 72;
constexpr ptrdiff_t kFiguresFrom = 16;
constexpr ptrdiff_t kFiguresRead = 90;
constexpr ptrdiff_t kPositionsFrom = 16;
constexpr ptrdiff_t kPositionsRead = 73;
constexpr ptrdiff_t kRowRead = 64;

void WarmMembers(const CAccount& account) {
  WarmSpan(account.SummeryInfo().get(), kFiguresFrom, kFiguresRead);
  WarmSpan(account.OpenPositions().get(), kPositionsFrom, kPositionsRead);
}

void WarmFigures(const CAccount& account) {
  const COpenPositions* positions = account.OpenPositions().get();
  if (positions == nullptr) return;
  WarmSpan(positions->ResultsData(), 0, static_cast<ptrdiff_t>(positions->ResultsBytes()));
}

void WarmEntries(const CAccount& account) {
  const COpenPositions* positions = account.OpenPositions().get();
  if (positions == nullptr) return;
  for (size_t i = 0; i < positions->ResultsCount(); ++i) {
    WarmSpan(positions->FiguresToReprice(i), 0, kRowRead);
  }
}

void WarmAhead(const std::vector<std::shared_ptr<CAccount>>& accounts, size_t at) {
  const size_t n = accounts.size();
  if (at + kWarmAccount < n) WarmSpan(accounts[at + kWarmAccount].get(), kCounts, kAccountRead);
  if (at + kWarmMembers < n) WarmMembers(*accounts[at + kWarmMembers]);
  if (at + kWarmFigures < n) WarmFigures(*accounts[at + kWarmFigures]);
  if (at + kWarmEntries < n) WarmEntries(*accounts[at + kWarmEntries]);
}

// The same over the listed accounts themselves; an account that has gone is
// not followed.
const CAccount* LiveAt(const std::vector<CAccountRefs::Listed>& listed, size_t at) {
  if (at >= listed.size() || listed[at].account.expired()) return nullptr;
  return listed[at].address;
}

void WarmAhead(const std::vector<CAccountRefs::Listed>& listed, size_t at) {
  if (at + kWarmAccount < listed.size()) {
    WarmSpan(listed[at + kWarmAccount].address, kCounts, kAccountRead);
  }
  if (const CAccount* account = LiveAt(listed, at + kWarmMembers)) WarmMembers(*account);
  if (const CAccount* account = LiveAt(listed, at + kWarmFigures)) WarmFigures(*account);
  if (const CAccount* account = LiveAt(listed, at + kWarmEntries)) WarmEntries(*account);
}

// Taking each holder reads its reference counts; those are warmed a few
// holders ahead.
constexpr size_t kWarmCounts = 10;

void CopyAccounts(const CAccountRefs& refs, std::vector<std::shared_ptr<CAccount>>& out) {
  const auto& listed = refs.Accounts();
  const size_t n = listed.size();
  for (size_t i = 0; i < n; ++i) {
    if (i + kWarmCounts < n) WarmSpan(listed[i + kWarmCounts].address, kCounts, 0);
    if (auto account = listed[i].account.lock()) out.push_back(std::move(account));
  }
}

void CopyClients(const CClientRefs& refs, std::vector<std::shared_ptr<CClient>>& out) {
  for (const auto& ref : refs.Items()) {
    if (auto client = ref->Client()) out.push_back(std::move(client));
  }
}

bool TradesNow(const CSymbol& symbol) {
  const auto times = symbol.SymbolTradingTimes();
  return times && times->TradeIsOpen();
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
  const CSummaries& s = *vAccInfo->SummeryInfo();
  int32_t client_id = vAccInfo->ClientID();
  int32_t account_id = vAccInfo->AccountID();
  double balance = s.Balance();
  double credit = s.Credit();
  double equity = s.Equity();
  double margin_requirement = s.MarginRequirement();
  double margin_level = s.marginLevel();
  double effective_margin = s.EffectiveMargin();
  int32_t open_positions = vAccInfo->OpenPositions()->Count();
  m_events.Raise([&](CAccountsTransactionsEvents& l) {
    l.UpdateListView(client_id, account_id, balance, flt, credit, equity, margin_requirement,
                     margin_level, effective_margin, open_positions);
  });
}

void CAccountsTransactions::AnnounceNewAccount(int32_t client_id, int32_t account_id) {
  auto account = Account(client_id, account_id);
  if (!account) return;
  double flt = RefreshFloatingProfitLoss(account);
  const CSummaries& s = *account->SummeryInfo();
  double balance = s.Balance();
  double credit = s.Credit();
  double equity = s.Equity();
  double margin_requirement = s.MarginRequirement();
  double margin_level = s.marginLevel();
  double effective_margin = s.EffectiveMargin();
  int32_t open_positions = account->OpenPositions()->Count();
  m_events.Raise([&](CAccountsTransactionsEvents& l) {
    l.NewAccountSummeriesData(client_id, account_id, balance, flt, credit, equity,
                              margin_requirement, margin_level, effective_margin,
                              open_positions);
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
  auto account = Account(IntOf(cl_no), IntOf(acc_no));
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
  const bool trades = TradesNow(*symbol);
  ScratchLease scratch(*this);
  if (m_side == SERVER_SIDE_EXECUTION) {
    if (trades) {
      CopyAccounts(*index->AccountsHaveOrders(), scratch->accounts);
      for (const auto& account : scratch->accounts) {
        auto client = account->Client();
        if (!client) continue;
        if (auto param = client->SymbolParam(symbol_id)) CheckOrdersHit(account, param);
      }
      scratch->accounts.clear();
    }
    CopyClients(*index->ClientsHaveAlerts(), scratch->clients);
    for (const auto& client : scratch->clients) {
      if (auto param = client->SymbolParam(symbol_id)) CheckAlertsHit(client, param);
    }
  }
  if (!m_events.HasListeners() && !CSummaries::AnyHasListeners()) {
    // Nothing outside the engine runs during the walk, so the list stays as
    // it is, every account it lists stays or goes as it is now, and whether
    // the symbol trades is answered once for all of them.
    const auto& listed = index->AccountsHavePositions()->Accounts();
    for (size_t i = 0; i < listed.size(); ++i) {
      WarmAhead(listed, i);
      if (!listed[i].account.expired()) {
        RevalueQuietly(*listed[i].address, listed[i].account, trades);
      }
    }
    return;
  }
  CopyAccounts(*index->AccountsHavePositions(), scratch->accounts);
  auto& accounts = scratch->accounts;
  for (size_t i = 0; i < accounts.size(); ++i) {
    WarmAhead(accounts, i);
    RevalueHolder(accounts[i], *symbol);
    accounts[i].reset();  // while its memory is still at hand
  }
}

void CAccountsTransactions::RevalueQuietly(CAccount& account, const std::weak_ptr<CAccount>& held,
                                           bool trades) {
  CSummaries* summaries = account.SummeryInfo().get();
  if (summaries == nullptr) return;
  const CClient* client = account.ClientPtr();
  const auto comm_calc_type = client ? client->CommCalcType() : CommCalcTypeEnum{};
  summaries->FloatingProfitLoss(account.OpenPositions()->TotalFloatingProfitLoss(comm_calc_type));
  if (!trades || m_side != SERVER_SIDE_EXECUTION || account.DontLiquidate()) return;
  if (client == nullptr || !AtLiquidationPoint(*summaries, *client)) return;
  if (const auto shared = held.lock()) LiquidateAtPoint(shared);
}

void CAccountsTransactions::RevalueHolder(const std::shared_ptr<CAccount>& account,
                                          const CSymbol& symbol) {
  const std::shared_ptr<CSummaries>& summaries = account->SummeryInfo();
  if (!summaries) return;  // released while the walk ran
  // Handlers may run between holders and close or open the market, so
  // whether the symbol trades is asked again for each one.
  if (m_events.HasListeners() || summaries->HasListeners()) {
    // A handler runs between the steps and may change the account's client.
    SummariesChanged(account);
    if (m_side == SERVER_SIDE_EXECUTION && TradesNow(symbol)) CheckLiquidation(account);
    return;
  }
  const auto client = account->Client();
  const auto comm_calc_type = client ? client->CommCalcType() : CommCalcTypeEnum{};
  summaries->FloatingProfitLoss(account->OpenPositions()->TotalFloatingProfitLoss(comm_calc_type));
  if (m_side == SERVER_SIDE_EXECUTION && !account->DontLiquidate() && TradesNow(symbol)) {
    CheckLiquidation(account, client.get());
  }
}

}  // namespace orvane
