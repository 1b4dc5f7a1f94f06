#include "orvane/dealing/chat_order.h"

#include <cmath>
#include <limits>

#include "orvane/core/clock.h"

namespace orvane {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// The date-time as a count of whole seconds since the epoch, to the nearest.
double whole_seconds(DateTime t) { return std::nearbyint(t.Serial() * kSecondsPerDay); }

}  // namespace

CChatOrder::CChatOrder() : m_created_date(Now()) {}

void CChatOrder::OrderSentNow() { m_sent_time = Now(); }

void CChatOrder::OrderNotSent() {
  Dealer(-1);
  m_sent_time.reset();
  std::shared_ptr<Object> dealer = std::move(m_sent_to_dealer);
  m_sent_to_dealer.reset();
  if (auto safe = std::dynamic_pointer_cast<ISafeObject>(dealer)) safe->Deallocate();
}

int32_t CChatOrder::TimeAfterSend() const {
  if (!m_sent_time) return -1;
  const double seconds = std::fabs(whole_seconds(Now()) - whole_seconds(*m_sent_time));
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return seconds < kMax ? static_cast<int32_t>(seconds) : std::numeric_limits<int32_t>::max();
}

void CChatOrder::Dealer(int32_t value) {
  m_dealer = value;
  m_received_time = Now();
}

}  // namespace orvane
