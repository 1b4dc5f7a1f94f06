#ifndef ORVANE_ACCOUNTS_SUMMARIES_H_
#define ORVANE_ACCOUNTS_SUMMARIES_H_

#include <cmath>
#include <memory>

#include "orvane/core/event_source.h"
#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// Listener of a CSummaries. DataChanged tells a display that a figure of the
// account changed.
class CSummariesEvents {
 public:
  virtual ~CSummariesEvents() = default;
  // A figure of the account changed.
  virtual void DataChanged() {}

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(CSummariesEvents, Handler, DataChanged);
  }
};

// The money figures of one account (account currency) and the figures derived
// from them: balance, cash, equity, margin level and effective margin.
//
// Nine stored figures start at 0. MarginRequirement is held negative by
// convention (it is added to equity for the free margin); TotalCommission is
// added to the balance unchanged, so a cost is negative. Derived figures are
// recomputed on every read; only EffectiveMargin is rounded (2 decimals,
// halves to even).
//
// DataChanged is raised by SetValues (once), by the FloatingProfitLoss and
// FloatingValue setters, and by FloatingProfitLossChanged / ValueChanged
// unless asked not to. The setters of the other figures raise nothing.
class CSummaries : public Object, public ISafeObject, private NonCopyable {
 public:
  CSummaries();
  ~CSummaries() override;

  // Stores, in this order, PreviousMargin, TotalDeposit, TotalCommission,
  // MarginRequirement, NetProfit, Credit and TotalInterest from numbers or
  // numeric text (Empty reads as 0), then raises DataChanged once. Throws
  // Error(TypeMismatch) for Null or text that is no number; then no figure
  // is changed and no event is raised.
  void SetValues(const Variant& PrevMargin, const Variant& TotDep,
                 const Variant& TotComm, const Variant& MarginReq,
                 const Variant& NetProfit, const Variant& TotCredit,
                 const Variant& TotInt);
  // Sets the nine stored figures to 0; MarginAccount keeps its value. No
  // event.
  void Init();
  void FloatingProfitLossChanged(double ChangeValue,
                                 bool ReflectInterface = true);
  void ValueChanged(double ChangeValue, bool ReflectInterface = true);

  double PreviousMargin() const { return m_previous_margin; }
  void PreviousMargin(double value) { m_previous_margin = value; }
  double TotalDeposit() const { return m_total_deposit; }
  void TotalDeposit(double value) { m_total_deposit = value; }
  double TotalCommission() const { return m_total_commission; }
  void TotalCommission(double value) { m_total_commission = value; }
  double TotalInterest() const { return m_total_interest; }
  void TotalInterest(double value) { m_total_interest = value; }
  double MarginRequirement() const { return m_margin_requirement; }
  void MarginRequirement(double value) { m_margin_requirement = value; }
  double NetProfit() const { return m_net_profit; }
  void NetProfit(double value) { m_net_profit = value; }
  double Credit() const { return m_credit; }
  void Credit(double value) { m_credit = value; }
  double FloatingProfitLoss() const { return m_floating_profit_loss; }
  // Stores and raises DataChanged.
  void FloatingProfitLoss(double value);
  double FloatingValue() const { return m_floating_value; }
  // Stores and raises DataChanged.
  void FloatingValue(double value);

  // TotalDeposit + PreviousMargin + NetProfit + TotalCommission +
  // TotalInterest.
  double Balance() const {
    return m_total_deposit + m_previous_margin + m_net_profit + m_total_commission +
           m_total_interest;
  }
  // Balance - FloatingValue + FloatingProfitLoss.
  double Cash() const;
  // Equity / |MarginRequirement| as a ratio (1.0 = 100 %); exactly 1.0 when
  // no margin is required.
  double marginLevel() const {
    if (m_margin_requirement == 0) return 1.0;
    return Equity() / std::fabs(m_margin_requirement);
  }
  // FloatingProfitLoss + Balance + Credit.
  double Equity() const { return m_floating_profit_loss + Balance() + m_credit; }
  // Margin account: MarginRequirement + Equity; otherwise Credit + Balance +
  // MarginRequirement (the floating result does not enter). Rounded to cents,
  // halves to even.
  double EffectiveMargin() const;

  bool MarginAccount() const { return m_margin_account; }
  void MarginAccount(bool value) { m_margin_account = value; }

  // A new object with the nine figures and MarginAccount copied; it has no
  // listeners and no event is raised.
  std::shared_ptr<CSummaries> Copy() const;

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<CSummariesEvents> Handler>
  void Advise(Handler* listener) {
    CSummariesEvents::CheckHandler<Handler>();
    Advise(static_cast<CSummariesEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(CSummariesEvents* listener);
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(CSummariesEvents* listener);
  // Whether a listener is advised.
  bool HasListeners() const { return m_has_listeners; }
  // Whether any summaries object of the process has a listener advised: a
  // walk that sets the figures of many accounts runs no listener when not.
  static bool AnyHasListeners();

  // Holds no references; nothing to release.
  void Deallocate() override {}

 private:
  void RaiseDataChanged();
  void ListenersChanged();

  double m_previous_margin = 0;
  double m_total_deposit = 0;
  double m_total_commission = 0;
  double m_total_interest = 0;
  double m_margin_requirement = 0;
  double m_net_profit = 0;
  double m_credit = 0;
  double m_floating_profit_loss = 0;
  double m_floating_value = 0;
  bool m_margin_account = false;
  // Whether anyone listens, kept beside the figures so that a setter with no
  // listener does not read the listener list.
  bool m_has_listeners = false;
  EventSource<CSummariesEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_SUMMARIES_H_
