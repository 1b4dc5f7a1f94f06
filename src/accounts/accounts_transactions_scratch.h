#ifndef ORVANE_SRC_ACCOUNTS_ACCOUNTS_TRANSACTIONS_SCRATCH_H_
#define ORVANE_SRC_ACCOUNTS_ACCOUNTS_TRANSACTIONS_SCRATCH_H_

#include <memory>
#include <vector>

#include "orvane/accounts/accounts_transactions.h"

namespace orvane {

class CAlert;
class COpenPosition;

// One nesting level's copies of the members an engine walk visits. The
// vectors keep their capacity between walks.
struct CAccountsTransactions::Scratch {
  std::vector<std::shared_ptr<CAccount>> accounts;
  std::vector<std::shared_ptr<CClient>> clients;
  std::vector<std::shared_ptr<COrder>> orders;
  std::vector<std::shared_ptr<CAlert>> alerts;
  std::vector<std::shared_ptr<COpenPosition>> positions;

  void Clear() {
    accounts.clear();
    clients.clear();
    orders.clear();
    alerts.clear();
    positions.clear();
  }
};

// Takes the scratch set of the current nesting depth for a scope.
class CAccountsTransactions::ScratchLease {
 public:
  explicit ScratchLease(CAccountsTransactions& engine) : m_engine(engine) {
    if (engine.m_scratch.size() <= engine.m_depth) {
      engine.m_scratch.push_back(std::make_unique<Scratch>());
    }
    m_scratch = engine.m_scratch[engine.m_depth].get();
    ++engine.m_depth;
  }
  ~ScratchLease() {
    m_scratch->Clear();
    --m_engine.m_depth;
  }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;

  Scratch& operator*() const { return *m_scratch; }
  Scratch* operator->() const { return m_scratch; }

 private:
  CAccountsTransactions& m_engine;
  Scratch* m_scratch;
};

}  // namespace orvane

#endif  // ORVANE_SRC_ACCOUNTS_ACCOUNTS_TRANSACTIONS_SCRATCH_H_
