#ifndef ORVANE_ACCOUNTS_ACCOUNT_REF_H_
#define ORVANE_ACCOUNTS_ACCOUNT_REF_H_

#include <memory>
#include <string>

#include "orvane/core/object.h"

namespace orvane {

class CAccount;
class CAccountRefs;

// Lists an account in an index without owning it: the reference is weak, so
// an account that has gone reads as none.
class CAccountRef : public Object, public ISafeObject, private NonCopyable {
 public:
  CAccountRef() = default;

  // The IndexKey of the referenced account; empty when there is none.
  std::string IndexKey() const;
  std::shared_ptr<CAccount> Account() const { return m_account.lock(); }
  void Account(const std::shared_ptr<CAccount>& value);

  // Clears Account.
  void Deallocate() override;

 private:
  friend class CAccountRefs;

  std::weak_ptr<CAccount> m_account;
  // The list the reference is a member of, while it is one.
  CAccountRefs* m_owner = nullptr;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNT_REF_H_
