#include "orvane/accounts/account_refs.h"

#include "orvane/accounts/account.h"
#include "orvane/core/keyed_lookup.h"

namespace orvane {

std::string CAccountRef::IndexKey() const {
  std::shared_ptr<CAccount> account = m_account.lock();
  return account ? account->IndexKey() : std::string();
}

void CAccountRef::Account(const std::shared_ptr<CAccount>& value) {
  m_account = value;
  if (m_owner != nullptr) m_owner->ReferenceChanged();
}

void CAccountRef::Deallocate() {
  m_account.reset();
  if (m_owner != nullptr) m_owner->ReferenceChanged();
}

CAccountRefs::~CAccountRefs() { Deallocate(); }

std::shared_ptr<CAccountRef> CAccountRefs::Add(
    const std::shared_ptr<CAccount>& Account) {
  if (!Account || m_items.Contains(Account->IndexKey())) return nullptr;
  auto ref = std::make_shared<CAccountRef>();
  ref->Account(Account);
  m_items.Add(Account->IndexKey(), ref);
  ref->m_owner = this;
  m_accounts.push_back(Listed{ref->m_account, Account.get()});
  ++m_generation;
  return ref;
}

std::shared_ptr<CAccountRef> CAccountRefs::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void CAccountRefs::Remove(const Variant& vntIndexKey) {
  const auto ref = RemoveByIndexKey(m_items, vntIndexKey);
  if (!ref) return;
  Release(*ref);
  m_accounts_stale = true;
  ++m_generation;
}

const std::vector<CAccountRefs::Listed>& CAccountRefs::Accounts() const {
  if (m_accounts_stale) {
    m_accounts.clear();  // keeps the storage: the members are never more than the entries were
    for (const auto& ref : m_items) {
      m_accounts.push_back(Listed{ref->m_account, ref->m_account.lock().get()});
    }
    m_accounts_stale = false;
  }
  return m_accounts;
}

void CAccountRefs::Deallocate() {
  for (const auto& ref : m_items) {
    Release(*ref);
    ref->Deallocate();
  }
  m_items.Clear();
  m_accounts.clear();
  m_accounts_stale = false;
  ++m_generation;
}

void CAccountRefs::Release(CAccountRef& ref) const {
  if (ref.m_owner == this) ref.m_owner = nullptr;
}

}  // namespace orvane
