#include "orvane/accounts/summaries.h"

#include <array>
#include <atomic>
#include <cmath>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

// How many summaries objects have a listener advised.
std::atomic<int64_t> g_listened{0};

double figure_of(const Variant& value) {
  if (value.IsEmpty()) return 0;
  if (!value.IsNumeric()) {
    throw Error(ErrorCode::TypeMismatch,
                "account figure is not a number: '" + value.TextValue() + "'");
  }
  return value.NumberValue();
}

}  // namespace

CSummaries::CSummaries() { Init(); }

CSummaries::~CSummaries() {
  if (m_has_listeners) g_listened.fetch_sub(1, std::memory_order_relaxed);
}

bool CSummaries::AnyHasListeners() { return g_listened.load(std::memory_order_relaxed) != 0; }

void CSummaries::SetValues(const Variant& PrevMargin, const Variant& TotDep,
                           const Variant& TotComm, const Variant& MarginReq,
                           const Variant& NetProfit, const Variant& TotCredit,
                           const Variant& TotInt) {
  const std::array<double, 7> v = {
      figure_of(PrevMargin), figure_of(TotDep),    figure_of(TotComm),
      figure_of(MarginReq),  figure_of(NetProfit), figure_of(TotCredit),
      figure_of(TotInt)};
  m_previous_margin = v[0];
  m_total_deposit = v[1];
  m_total_commission = v[2];
  m_margin_requirement = v[3];
  m_net_profit = v[4];
  m_credit = v[5];
  m_total_interest = v[6];
  RaiseDataChanged();
}

void CSummaries::Init() {
  m_previous_margin = 0;
  m_total_deposit = 0;
  m_total_commission = 0;
  m_total_interest = 0;
  m_margin_requirement = 0;
  m_net_profit = 0;
  m_credit = 0;
  m_floating_profit_loss = 0;
  m_floating_value = 0;
}

void CSummaries::FloatingProfitLossChanged(double ChangeValue,
                                           bool ReflectInterface) {
  m_floating_profit_loss += ChangeValue;
  if (ReflectInterface) RaiseDataChanged();
}

void CSummaries::ValueChanged(double ChangeValue, bool ReflectInterface) {
  m_floating_value += ChangeValue;
  if (ReflectInterface) RaiseDataChanged();
}

void CSummaries::FloatingProfitLoss(double value) {
  m_floating_profit_loss = value;
  RaiseDataChanged();
}

void CSummaries::FloatingValue(double value) {
  m_floating_value = value;
  RaiseDataChanged();
}

double CSummaries::Cash() const {
  return Balance() - m_floating_value + m_floating_profit_loss;
}

double CSummaries::EffectiveMargin() const {
  if (m_margin_account) return RoundMoney(m_margin_requirement + Equity());
  return RoundMoney(m_credit + Balance() + m_margin_requirement);
}

std::shared_ptr<CSummaries> CSummaries::Copy() const {
  auto copy = std::make_shared<CSummaries>();
  copy->m_previous_margin = m_previous_margin;
  copy->m_total_deposit = m_total_deposit;
  copy->m_total_commission = m_total_commission;
  copy->m_total_interest = m_total_interest;
  copy->m_margin_requirement = m_margin_requirement;
  copy->m_net_profit = m_net_profit;
  copy->m_credit = m_credit;
  copy->m_floating_profit_loss = m_floating_profit_loss;
  copy->m_floating_value = m_floating_value;
  copy->m_margin_account = m_margin_account;
  return copy;
}

void CSummaries::Advise(CSummariesEvents* listener) {
  m_events.Advise(listener);
  ListenersChanged();
}

void CSummaries::Unadvise(CSummariesEvents* listener) {
  m_events.Unadvise(listener);
  ListenersChanged();
}

void CSummaries::ListenersChanged() {
  const bool listened = m_events.HasListeners();
  if (listened != m_has_listeners) {
    g_listened.fetch_add(listened ? 1 : -1, std::memory_order_relaxed);
  }
  m_has_listeners = listened;
}

void CSummaries::RaiseDataChanged() {
  if (!m_has_listeners) return;
  m_events.Raise([](CSummariesEvents& listener) { listener.DataChanged(); });
}

}  // namespace orvane
