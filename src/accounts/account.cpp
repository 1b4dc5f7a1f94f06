#include "orvane/accounts/account.h"

#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/core/keyed_collection.h"

namespace orvane {

CAccount::CAccount()
    : m_open_positions(std::make_shared<COpenPositions>()),
      m_index_key(KeyOf(0)),
      m_orders(std::make_shared<COrders>()) {}

CAccount::~CAccount() { Deallocate(); }

void CAccount::AccountID(int32_t value) {
  m_account_id = value;
  m_index_key = KeyOf(value);
}

void CAccount::Deallocate() {
  if (m_summery_info) m_summery_info->Deallocate();
  m_open_positions->Deallocate();
  m_orders->Deallocate();
  m_client.reset();
}

}  // namespace orvane
