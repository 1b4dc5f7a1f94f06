#ifndef ORVANE_ACCOUNTS_ALERT_H_
#define ORVANE_ACCOUNTS_ALERT_H_

#include <cstdint>
#include <memory>

#include "orvane/core/date_time.h"
#include "orvane/core/object.h"

namespace orvane {

class CSymbol;

// Which price of the symbol an alert compares with its level, and how.
enum AlertConditionsEnum : int32_t {
  BID_GREATER = 1,
  BID_LESS = 2,
  ASK_GREATER = 3,
  ASK_LESS = 4,
};

// How a fired alert is announced (not stored in the alert).
enum AlertTypeEnum : int32_t {
  SoundAlertType = 1,
  SMSAlertType = 2,
};

// A client's standing request to be told when a symbol's bid or ask crosses
// a level, and, once it fired, when and at which price. Whether it fires is
// decided by the account engine; the alert only holds the record.
class CAlert : public Object, public ISafeObject, private NonCopyable {
 public:
  CAlert() = default;

  // The alert's identifier and its key in CAlerts.
  int32_t ID() const { return m_id; }
  void ID(int32_t value) { m_id = value; }

  int32_t ClientID() const { return m_client_id; }
  void ClientID(int32_t value) { m_client_id = value; }

  // The ID of the watched symbol, copied when Symbol is set.
  int32_t SymbolID() const { return m_symbol_id; }

  const std::shared_ptr<CSymbol>& Symbol() const { return m_symbol; }
  // Stores the symbol and copies its ID into SymbolID. Setting no symbol
  // drops the reference and keeps SymbolID, so the alert can be linked again
  // to a symbol object of that ID.
  void Symbol(std::shared_ptr<CSymbol> value);

  AlertConditionsEnum AlertCondition() const { return m_alert_condition; }
  void AlertCondition(AlertConditionsEnum value) { m_alert_condition = value; }

  // The price level.
  double AlertValue() const { return m_alert_value; }
  void AlertValue(double value) { m_alert_value = value; }

  // When the alert fired.
  DateTime hitTime() const { return m_hit_time; }
  void hitTime(DateTime value) { m_hit_time = value; }

  // The price at which it fired.
  double hitPrice() const { return m_hit_price; }
  void hitPrice(double value) { m_hit_price = value; }

  // Releases Symbol (SymbolID stays).
  void Deallocate() override { m_symbol.reset(); }

 private:
  int32_t m_id = 0;
  int32_t m_client_id = 0;
  int32_t m_symbol_id = 0;
  std::shared_ptr<CSymbol> m_symbol;
  AlertConditionsEnum m_alert_condition = static_cast<AlertConditionsEnum>(0);
  double m_alert_value = 0.0;
  DateTime m_hit_time;
  double m_hit_price = 0.0;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ALERT_H_
