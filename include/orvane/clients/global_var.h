#ifndef ORVANE_CLIENTS_GLOBAL_VAR_H_
#define ORVANE_CLIENTS_GLOBAL_VAR_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/object.h"

namespace orvane {

// The platform-wide settings that the server hands to the terminals: session
// policy, dealing and connection timers, lot precision, the server's offset
// from GMT and a few texts. Filled in one call from the comma-separated
// settings text (SetValues) or property by property.
class CGlobalVar : public Object, public ISafeObject, private NonCopyable {
 public:
  CGlobalVar() = default;

  // Applies the settings text, whose comma-separated positions are:
  //   0 MultiSessionsAllowed (true exactly when the number is 1),
  //   1 carried but unused, 2 PriceChangedTimer, 3 ValidLotsLocation,
  //   4 CustumizeTradeMsg (true exactly when 1), 5 ClientConnectTimer,
  //   6 ClientTimeoutTimer, 7 WebSecurityID (the text as it stands),
  //   8 ServerGMT (hours); later positions are ignored.
  // Numbers are the leading number of a position's text with "." as decimal
  // separator whatever the local number form; empty or non-numeric text
  // reads 0. Integers are rounded half to even. Never throws: a short text
  // sets the properties it reaches, an empty text sets nothing, and a number
  // too large for its property stops the assignment there, leaving that
  // property and every later one as they were.
  void SetValues(std::string_view StrVals);

  bool MultiSessionsAllowed() const { return m_multi_sessions_allowed; }
  void MultiSessionsAllowed(bool value) { m_multi_sessions_allowed = value; }

  // Timer of the price-changed step of dealing.
  int16_t PriceChangedTimer() const { return m_price_changed_timer; }
  void PriceChangedTimer(int16_t value) { m_price_changed_timer = value; }

  // Number of decimals allowed in a lot size.
  int16_t ValidLotsLocation() const { return m_valid_lots_location; }
  void ValidLotsLocation(int16_t value) { m_valid_lots_location = value; }

  bool CustumizeTradeMsg() const { return m_custumize_trade_msg; }
  void CustumizeTradeMsg(bool value) { m_custumize_trade_msg = value; }

  const std::string& FirstWhiteLabeledOffice() const { return m_first_white_labeled_office; }
  void FirstWhiteLabeledOffice(std::string value) {
    m_first_white_labeled_office = std::move(value);
  }

  int32_t DealerTreePriv() const { return m_dealer_tree_priv; }
  void DealerTreePriv(int32_t value) { m_dealer_tree_priv = value; }

  int32_t ClientConnectTimer() const { return m_client_connect_timer; }
  void ClientConnectTimer(int32_t value) { m_client_connect_timer = value; }

  int32_t ClientTimeoutTimer() const { return m_client_timeout_timer; }
  void ClientTimeoutTimer(int32_t value) { m_client_timeout_timer = value; }

  // The smallest lot step, 1 / 10^ValidLotsLocation (0.01 for 2 decimals).
  double DefaultLots() const;

  const std::string& WebSecurityID() const { return m_web_security_id; }
  void WebSecurityID(std::string value) { m_web_security_id = std::move(value); }

  // The server's offset from GMT, in hours.
  double ServerGMT() const { return m_server_gmt; }

  // Holds no references; nothing to release.
  void Deallocate() override {}

 private:
  bool m_multi_sessions_allowed = false;
  int16_t m_price_changed_timer = 0;
  int16_t m_valid_lots_location = 0;
  bool m_custumize_trade_msg = false;
  std::string m_first_white_labeled_office;
  int32_t m_dealer_tree_priv = 0;
  int32_t m_client_connect_timer = 0;
  int32_t m_client_timeout_timer = 0;
  std::string m_web_security_id;
  double m_server_gmt = 0.0;
  // The positions of the last SetValues text.
  std::vector<std::string> m_values;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_GLOBAL_VAR_H_
