#include "orvane/accounts/account_refs.h"

#include "orvane/accounts/account.h"
#include "orvane/core/keyed_lookup.h"

namespace orvane {

std::string CAccountRef::IndexKey() const {
  std::shared_ptr<CAccount> account = m_account.lock();
  return account ? account->IndexKey() : std::string();
}

CAccountRefs::~CAccountRefs() { Deallocate(); }

std::shared_ptr<CAccountRef> CAccountRefs::Add(
    const std::shared_ptr<CAccount>& Account) {
  if (!Account || m_items.Contains(Account->IndexKey())) return nullptr;
  auto ref = std::make_shared<CAccountRef>();
  ref->Account(Account);
  m_items.Add(Account->IndexKey(), ref);
  return ref;
}

std::shared_ptr<CAccountRef> CAccountRefs::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void CAccountRefs::Remove(const Variant& vntIndexKey) {
  RemoveByIndexKey(m_items, vntIndexKey);
}

void CAccountRefs::Deallocate() {
  for (const auto& ref : m_items) ref->Deallocate();
  m_items.Clear();
}

}  // namespace orvane
