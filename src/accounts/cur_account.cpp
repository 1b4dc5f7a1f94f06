#include "orvane/accounts/cur_account.h"

#include <optional>

#include "orvane/accounts/account.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/orders.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"

namespace orvane {
namespace {

std::optional<int32_t> symbol_id_of(const std::shared_ptr<CSymbol>& symbol) {
  if (!symbol) return std::nullopt;
  return symbol->ID();
}

std::optional<int32_t> symbol_id_of(const std::shared_ptr<CClientParam>& param) {
  if (!param) return std::nullopt;
  return symbol_id_of(param->Symbol());
}

// Whether `records` holds a record other than `id` in the symbol `symbol`;
// the walk stops at the first such record.
template <typename Records, typename IdOf, typename SymbolOf>
bool another_in_symbol(const Records& records, int32_t id,
                       std::optional<int32_t> symbol, IdOf id_of,
                       SymbolOf symbol_of) {
  if (!symbol) return false;
  for (const auto& record : records) {
    if (id_of(*record) != id && symbol_id_of(symbol_of(*record)) == symbol) {
      return true;
    }
  }
  return false;
}

}  // namespace

CCurAccount::CCurAccount()
    : m_positions(std::make_shared<CAccountRefs>()),
      m_orders(std::make_shared<CAccountRefs>()),
      m_alerts(std::make_shared<CClientRefs>()) {}

CCurAccount::~CCurAccount() { Deallocate(); }

void CCurAccount::PositionDeleted(const std::shared_ptr<CAccount>& vAccount,
                                  const std::shared_ptr<COpenPosition>& vPos) {
  if (!vAccount || !vPos) return;
  const bool keep = another_in_symbol(
      vAccount->OpenPositions()->Items(), vPos->Ticket(),
      symbol_id_of(vPos->SymbolParam()),
      [](const COpenPosition& p) { return p.Ticket(); },
      [](const COpenPosition& p) { return p.SymbolParam(); });
  if (!keep) m_positions->Remove(vAccount->IndexKey());
}

void CCurAccount::OrderDeleted(const std::shared_ptr<CAccount>& vAccount,
                               const std::shared_ptr<COrder>& vOrder) {
  if (!vAccount || !vOrder) return;
  const bool keep = another_in_symbol(
      vAccount->Orders()->Items(), vOrder->OrderId(),
      symbol_id_of(vOrder->SymbolParam()),
      [](const COrder& o) { return o.OrderId(); },
      [](const COrder& o) { return o.SymbolParam(); });
  if (!keep) m_orders->Remove(vAccount->IndexKey());
}

void CCurAccount::AlertDeleted(const std::shared_ptr<CClient>& vClient,
                               const std::shared_ptr<CAlert>& vAlert) {
  if (!vClient || !vAlert) return;
  const bool keep = another_in_symbol(
      vClient->Alerts()->Items(), vAlert->ID(), symbol_id_of(vAlert->Symbol()),
      [](const CAlert& a) { return a.ID(); },
      [](const CAlert& a) { return a.Symbol(); });
  if (!keep) m_alerts->Remove(KeyOf(vClient->ClientID()));
}

void CCurAccount::AccountDeleted(int32_t /*vClient*/, int32_t vAccount) {
  const std::string key = KeyOf(vAccount);
  m_positions->Remove(key);
  m_orders->Remove(key);
}

void CCurAccount::ClientDeleted(int32_t vClient) {
  m_alerts->Remove(KeyOf(vClient));
}

void CCurAccount::Deallocate() {
  m_positions->Deallocate();
  m_orders->Deallocate();
  m_alerts->Deallocate();
}

}  // namespace orvane
