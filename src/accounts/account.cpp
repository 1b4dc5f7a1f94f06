#include "orvane/accounts/account.h"

#include "detail/holder_book.h"

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

// The engine's price walk copies these; it learns of a change through the
// structure generation.
void CAccount::AccountID(int32_t value) {
  m_account_id = value;
  m_index_key = KeyOf(value);
  detail::StructureChanged();
}

void CAccount::ClientID(int32_t value) {
  m_client_id = value;
  detail::StructureChanged();
}

void CAccount::SummeryInfo(std::shared_ptr<CSummaries> value) {
  m_summery_info = std::move(value);
  detail::StructureChanged();
}

void CAccount::Client(const std::shared_ptr<CClient>& value) {
  m_client = value;
  m_client_address = value.get();
  detail::StructureChanged();
}

void CAccount::Deallocate() {
  if (m_summery_info) m_summery_info->Deallocate();
  m_open_positions->Deallocate();
  m_orders->Deallocate();
  m_client.reset();
  detail::StructureChanged();
}

}  // namespace orvane
