#ifndef ORVANE_ACCOUNTS_ACCOUNTS_H_
#define ORVANE_ACCOUNTS_ACCOUNTS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// The accounts of one client, keyed by IndexKey (decimal text of AccountID),
// in insertion order. The collection owns its accounts: Remove, Deallocate
// and the end of the collection release each account through its Deallocate.
class CAccounts : public Object, public ISafeObject, private NonCopyable {
 public:
  CAccounts() = default;
  ~CAccounts() override;

  // Creates an account, sets Client, SummeryInfo, AccountID, ClientID,
  // AccountType, DemoAccount, DontLiquidate and Locked, and adds it under the
  // text of AccountID. Returns none, leaving the collection unchanged, when
  // that key is already present.
  std::shared_ptr<CAccount> Add(const std::shared_ptr<CClient>& vClient,
                                const std::shared_ptr<CSummaries>& vSummaries,
                                int32_t AccountID, int32_t ClientID,
                                AccountTypeEnum AccountType, bool DemoAccount,
                                bool DontLiquidate, bool Locked);
  // The account under a key text or at a 1-based position; none for a miss.
  std::shared_ptr<CAccount> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return m_items.Count(); }
  // Deallocates the account, then removes it; a miss does nothing.
  void Remove(const Variant& vntIndexKey);
  // AccountInterest x vLots.
  double Interest(double AccountInterest, double vLots = 1.0) const {
    return AccountInterest * vLots;
  }
  // The members in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<CAccount>> NewEnum() const { return m_items.Snapshot(); }
  // The live collection; range-for walks it in insertion order.
  const KeyedCollection<CAccount>& Items() const { return m_items; }
  KeyedCollection<CAccount>::Iterator begin() const { return m_items.begin(); }
  KeyedCollection<CAccount>::Iterator end() const { return m_items.end(); }

  void Deallocate() override;

 private:
  KeyedCollection<CAccount> m_items;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNTS_H_
