#include "orvane/accounts/alerts.h"

#include "orvane/core/keyed_lookup.h"

namespace orvane {

CAlerts::~CAlerts() { Deallocate(); }

std::shared_ptr<CAlert> CAlerts::Add(int32_t ClientID, int32_t ID,
                                     std::shared_ptr<CSymbol> Symbol,
                                     AlertConditionsEnum AlertCondition, double AlertValue) {
  if (Symbol == nullptr) return nullptr;
  const std::string key = KeyOf(ID);
  if (m_alerts.Contains(key)) return nullptr;
  auto alert = std::make_shared<CAlert>();
  alert->ClientID(ClientID);
  alert->AlertValue(AlertValue);
  alert->AlertCondition(AlertCondition);
  alert->Symbol(std::move(Symbol));
  alert->ID(ID);
  m_alerts.Add(key, alert);
  return alert;
}

std::shared_ptr<CAlert> CAlerts::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_alerts, vntIndexKey);
}

void CAlerts::Remove(const Variant& vntIndexKey) { RemoveByIndexKey(m_alerts, vntIndexKey); }

void CAlerts::Deallocate() {
  for (const auto& alert : m_alerts.Snapshot()) alert->Deallocate();
  m_alerts.Clear();
}

}  // namespace orvane
