#ifndef ORVANE_ACCOUNTS_ACCOUNT_H_
#define ORVANE_ACCOUNTS_ACCOUNT_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/accounts/account_type_enum.h"
#include "orvane/core/object.h"

namespace orvane {

class CClient;
class COpenPositions;
class COrders;
class CSummaries;

// One trading account of a client: its flags, its money figures
// (SummeryInfo), its open positions and its pending orders. The account owns
// its summaries, positions and orders; Client is a back reference (held weakly,
// so an account never keeps its client alive).
//
// An account is created by CAccounts::Add. Deallocate (also run when the
// object ends) releases the positions and orders through their own Deallocate
// (the collections stay, empty) and clears Client; the summaries object holds
// no references and stays attached.
class CAccount : public Object, public ISafeObject, private NonCopyable {
 public:
  CAccount();
  ~CAccount() override;

  int32_t ClientID() const { return m_client_id; }
  void ClientID(int32_t value);
  // Account number, unique over all clients. Setting it also changes
  // IndexKey.
  int32_t AccountID() const { return m_account_id; }
  void AccountID(int32_t value);
  const std::shared_ptr<CSummaries>& SummeryInfo() const { return m_summery_info; }
  void SummeryInfo(std::shared_ptr<CSummaries> value);
  // Never null.
  const std::shared_ptr<COpenPositions>& OpenPositions() const { return m_open_positions; }
  // Never null.
  const std::shared_ptr<COrders>& Orders() const { return m_orders; }
  AccountTypeEnum AccountType() const { return m_account_type; }
  void AccountType(AccountTypeEnum value) { m_account_type = value; }
  bool Locked() const { return m_locked; }
  void Locked(bool value) { m_locked = value; }
  bool DemoAccount() const { return m_demo_account; }
  void DemoAccount(bool value) { m_demo_account = value; }
  // The decimal text of AccountID ("-5" for -5): the account's key in every
  // keyed collection.
  const std::string& IndexKey() const { return m_index_key; }
  bool DontLiquidate() const { return m_dont_liquidate; }
  void DontLiquidate(bool value) { m_dont_liquidate = value; }
  bool LockLiquidate() const { return m_lock_liquidate; }
  void LockLiquidate(bool value) { m_lock_liquidate = value; }
  // The owning client; none once the client is gone or after Deallocate.
  std::shared_ptr<CClient> Client() const { return m_client.lock(); }
  void Client(const std::shared_ptr<CClient>& value);
  // The owning client without sharing it, for a caller that runs nothing
  // between reading and using it; none when Client would give none.
  CClient* ClientPtr() const { return m_client.expired() ? nullptr : m_client_address; }

  void Deallocate() override;

 private:
  std::shared_ptr<CSummaries> m_summery_info;
  std::shared_ptr<COpenPositions> m_open_positions;
  std::weak_ptr<CClient> m_client;
  CClient* m_client_address = nullptr;  // valid while m_client has not expired
  AccountTypeEnum m_account_type = DemoAccountType;
  bool m_dont_liquidate = false;
  bool m_lock_liquidate = false;
  bool m_locked = false;
  bool m_demo_account = false;
  int32_t m_client_id = 0;
  int32_t m_account_id = 0;
  std::string m_index_key;
  std::shared_ptr<COrders> m_orders;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNT_H_
