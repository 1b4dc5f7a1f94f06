#include "orvane/accounts/accounts.h"

#include "orvane/core/keyed_lookup.h"

namespace orvane {

CAccounts::~CAccounts() { Deallocate(); }

std::shared_ptr<CAccount> CAccounts::Add(const std::shared_ptr<CClient>& vClient,
                                         const std::shared_ptr<CSummaries>& vSummaries,
                                         int32_t AccountID, int32_t ClientID,
                                         AccountTypeEnum AccountType,
                                         bool DemoAccount, bool DontLiquidate,
                                         bool Locked) {
  if (m_items.Contains(KeyOf(AccountID))) return nullptr;
  auto account = std::make_shared<CAccount>();
  account->Client(vClient);
  account->SummeryInfo(vSummaries);
  account->AccountID(AccountID);
  account->ClientID(ClientID);
  account->AccountType(AccountType);
  account->DemoAccount(DemoAccount);
  account->DontLiquidate(DontLiquidate);
  account->Locked(Locked);
  m_items.Add(account->IndexKey(), account);
  return account;
}

std::shared_ptr<CAccount> CAccounts::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void CAccounts::Remove(const Variant& vntIndexKey) {
  std::shared_ptr<CAccount> account = ItemByIndexKey(m_items, vntIndexKey);
  if (!account) return;
  account->Deallocate();
  RemoveByIndexKey(m_items, vntIndexKey);
}

void CAccounts::Deallocate() {
  for (const auto& account : m_items) account->Deallocate();
  m_items.Clear();
}

}  // namespace orvane
