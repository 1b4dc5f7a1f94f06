#ifndef ORVANE_ACCOUNTS_ALERTS_H_
#define ORVANE_ACCOUNTS_ALERTS_H_

#include <cstdint>
#include <memory>

#include "orvane/accounts/alert.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// A client's price alerts, keyed by the decimal text of their ID, in
// insertion order. Releasing the collection (or Deallocate) deallocates every
// alert in it, which releases their symbols.
class CAlerts : public Object, public ISafeObject, private NonCopyable {
 public:
  CAlerts() = default;
  ~CAlerts() override;

  // Creates an alert, sets ClientID, AlertValue, AlertCondition, Symbol and
  // ID in that order, and adds it under the text of ID. Never throws: with no
  // symbol or an ID already present nothing is added and the result is
  // nullptr.
  std::shared_ptr<CAlert> Add(int32_t ClientID, int32_t ID, std::shared_ptr<CSymbol> Symbol,
                              AlertConditionsEnum AlertCondition, double AlertValue);

  // The alert under a key text or at a 1-based position; nullptr when there
  // is none.
  std::shared_ptr<CAlert> Item(const Variant& vntIndexKey) const;

  int32_t Count() const { return m_alerts.Count(); }

  // Removes the alert under a key text or at a position (the alert keeps its
  // symbol); a miss is ignored.
  void Remove(const Variant& vntIndexKey);

  // The live collection, not a copy.
  KeyedCollection<CAlert>& Items() { return m_alerts; }
  const KeyedCollection<CAlert>& Items() const { return m_alerts; }

  // Starts an empty collection; the alerts that were in it are dropped
  // without being deallocated.
  void Clear() { m_alerts = KeyedCollection<CAlert>(); }

  KeyedCollection<CAlert>::Iterator begin() const { return m_alerts.begin(); }
  KeyedCollection<CAlert>::Iterator end() const { return m_alerts.end(); }

  // Deallocates every alert and empties the collection.
  void Deallocate() override;

 private:
  KeyedCollection<CAlert> m_alerts;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ALERTS_H_
