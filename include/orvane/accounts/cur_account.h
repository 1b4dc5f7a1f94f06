#ifndef ORVANE_ACCOUNTS_CUR_ACCOUNT_H_
#define ORVANE_ACCOUNTS_CUR_ACCOUNT_H_

#include <cstdint>
#include <memory>

#include "orvane/accounts/account_refs.h"
#include "orvane/clients/client_refs.h"
#include "orvane/core/object.h"

namespace orvane {

class CAccount;
class CAlert;
class CClient;
class COpenPosition;
class COrder;

// The per-symbol index that the account engine hangs on every symbol (its
// Ref1): which accounts hold a position, which hold a pending order, and
// which clients hold a price alert in the symbol, so that a price change
// reaches only those. The account lists hold their accounts weakly; the
// client list refers to its clients like every client list, until the
// client is dropped from it or the index is deallocated.
//
// The *Deleted operations are called before the record leaves its
// collection: they look for another record of the same owner in the same
// symbol, and drop the owner from the index only when there is none.
class CCurAccount : public Object, public ISafeObject, private NonCopyable {
 public:
  CCurAccount();
  ~CCurAccount() override;

  // Never null.
  const std::shared_ptr<CAccountRefs>& AccountsHavePositions() const { return m_positions; }
  const std::shared_ptr<CAccountRefs>& AccountsHaveOrders() const { return m_orders; }
  // Keyed by the decimal text of ClientID.
  const std::shared_ptr<CClientRefs>& ClientsHaveAlerts() const { return m_alerts; }

  // Drops vAccount from AccountsHavePositions unless another of its
  // positions (a different Ticket) is in vPos's symbol. A record without a
  // symbol matches no other.
  void PositionDeleted(const std::shared_ptr<CAccount>& vAccount,
                       const std::shared_ptr<COpenPosition>& vPos);
  // The same for orders (a different OrderId) and AccountsHaveOrders.
  void OrderDeleted(const std::shared_ptr<CAccount>& vAccount,
                    const std::shared_ptr<COrder>& vOrder);
  // The same for the client's alerts (a different ID) and ClientsHaveAlerts.
  void AlertDeleted(const std::shared_ptr<CClient>& vClient,
                    const std::shared_ptr<CAlert>& vAlert);
  // Drops the account key from both account lists; vClient is not used.
  void AccountDeleted(int32_t vClient, int32_t vAccount);
  void ClientDeleted(int32_t vClient);

  // Releases the three lists through their Deallocate; they stay, empty.
  void Deallocate() override;

 private:
  std::shared_ptr<CAccountRefs> m_positions;
  std::shared_ptr<CAccountRefs> m_orders;
  std::shared_ptr<CClientRefs> m_alerts;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_CUR_ACCOUNT_H_
