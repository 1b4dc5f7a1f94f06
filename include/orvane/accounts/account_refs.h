#ifndef ORVANE_ACCOUNTS_ACCOUNT_REFS_H_
#define ORVANE_ACCOUNTS_ACCOUNT_REFS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "orvane/accounts/account_ref.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// A list of accounts that does not own them, keyed by the accounts'
// IndexKey, in insertion order. Removing an entry only drops the reference.
//
// Beside the reference objects the list keeps their accounts side by side
// (Accounts), so that a walk over every listed account reads one array
// instead of every reference object. References tell their list when they
// change; the array is brought up to date when next asked for, in its own
// storage.
class CAccountRefs : public Object, public ISafeObject, private NonCopyable {
 public:
  CAccountRefs() = default;
  ~CAccountRefs() override;

  // A new reference to Account under its IndexKey; none, and nothing
  // changed, when the key is already listed or Account is none.
  std::shared_ptr<CAccountRef> Add(const std::shared_ptr<CAccount>& Account);
  // The reference under a key text or at a 1-based position; none for a
  // miss.
  std::shared_ptr<CAccountRef> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return m_items.Count(); }
  // Drops the reference; a miss does nothing.
  void Remove(const Variant& vntIndexKey);
  // The members in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<CAccountRef>> NewEnum() const { return m_items.Snapshot(); }
  const KeyedCollection<CAccountRef>& Items() const { return m_items; }
  KeyedCollection<CAccountRef>::Iterator begin() const { return m_items.begin(); }
  KeyedCollection<CAccountRef>::Iterator end() const { return m_items.end(); }
  // A member's account as a walk takes it: held weakly like the member
  // holds it, with the address it had when listed. The address may be read
  // ahead of use; it may be followed only while `account` has not expired.
  struct Listed {
    std::weak_ptr<CAccount> account;
    CAccount* address;
  };
  // The members' accounts in member order. Valid until the list or one of
  // its members next changes.
  const std::vector<Listed>& Accounts() const;
  // Advanced by every change of the list or of a member's account.
  uint64_t Generation() const { return m_generation; }

  // Deallocates every reference (clearing it) and empties the list.
  void Deallocate() override;

 private:
  friend class CAccountRef;

  void ReferenceChanged() {
    m_accounts_stale = true;
    ++m_generation;
  }
  void Release(CAccountRef& ref) const;

  KeyedCollection<CAccountRef> m_items;
  // Valid while m_accounts_stale is false: one entry per member, in order.
  mutable std::vector<Listed> m_accounts;
  mutable bool m_accounts_stale = false;
  uint64_t m_generation = 1;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNT_REFS_H_
