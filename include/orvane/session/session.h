#ifndef ORVANE_SESSION_SESSION_H_
#define ORVANE_SESSION_SESSION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/core/object.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/session/security.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/user_type_enum.h"

namespace orvane {

class ISocket;

// The server-side record of one connected user: who is logged on, from
// where, since when, with which privileges and symbols, and the connection's
// receive buffer. The server attaches the session to its socket, and the
// protocol objects read the session's sid from there.
//
// The session keeps its connection (Child) without owning it: the host owns
// its accepted sockets, and a socket owns the session attached to it, so the
// pair forms no cycle. Child reads as none once the host has let the socket
// go.
class CSession : public Object, NonCopyable {
 public:
  CSession();
  ~CSession() override;

  // A counter the host keeps for the session; the library never reads it.
  int16_t NoResponse() const { return m_no_response; }
  void NoResponse(int16_t value) { m_no_response = value; }

  std::shared_ptr<ISocket> Child() const { return m_child.lock(); }
  void Child(const std::shared_ptr<ISocket>& socket) { m_child = socket; }

  const std::string& LogonTime() const { return m_logon_time; }
  void LogonTime(std::string value) { m_logon_time = std::move(value); }
  const std::string& LogoutTime() const { return m_logout_time; }
  void LogoutTime(std::string value) { m_logout_time = std::move(value); }

  // 0 until the host sets a kind.
  UserTypeEnum UserType() const { return m_user_type; }
  void UserType(UserTypeEnum value) { m_user_type = value; }

  const std::string& Terminal() const { return m_terminal; }
  void Terminal(std::string value) { m_terminal = std::move(value); }
  const std::string& IP() const { return m_ip; }
  void IP(std::string value) { m_ip = std::move(value); }

  int32_t UserID() const { return m_user_id; }
  void UserID(int32_t value) { m_user_id = value; }
  int32_t CurrentAccount() const { return m_current_account; }
  void CurrentAccount(int32_t value) { m_current_account = value; }
  int32_t DBSID() const { return m_dbsid; }
  void DBSID(int32_t value) { m_dbsid = value; }
  // The session identifier written into requests; 0 for a new session.
  int32_t sid() const { return m_sid; }
  void sid(int32_t value) { m_sid = value; }

  const std::string& UserFirstName() const { return m_first_name; }
  void UserFirstName(std::string value) { m_first_name = std::move(value); }
  const std::string& UserSecondName() const { return m_second_name; }
  void UserSecondName(std::string value) { m_second_name = std::move(value); }
  const std::string& UserThirdName() const { return m_third_name; }
  void UserThirdName(std::string value) { m_third_name = std::move(value); }
  const std::string& UserLastName() const { return m_last_name; }
  void UserLastName(std::string value) { m_last_name = std::move(value); }
  // The four name parts joined by single spaces; the three spaces are always
  // there, also around empty parts.
  std::string UserFullName() const;

  // 0 until the host sets a kind.
  ClientTypeEnum ClientType() const { return m_client_type; }
  void ClientType(ClientTypeEnum value) { m_client_type = value; }

  bool ReadyForOrders() const { return m_ready_for_orders; }
  void ReadyForOrders(bool value) { m_ready_for_orders = value; }

  // The symbols the user may trade: numbers separated by ",".
  const std::string& SymbolsPriv() const { return m_symbols_priv; }
  void SymbolsPriv(std::string value) { m_symbols_priv = std::move(value); }
  // Appends a symbol number to SymbolsPriv (a "," before it unless
  // SymbolsPriv is empty). Duplicates are not checked.
  void AddSymbolPriv(int32_t SymbolID);

  // Set and read by the host only.
  int32_t StartWithPriv() const { return m_start_with_priv; }
  void StartWithPriv(int32_t value) { m_start_with_priv = value; }

  bool MarketStarted() const { return m_market_started; }
  void MarketStarted(bool value) { m_market_started = value; }
  const std::string& Username() const { return m_username; }
  void Username(std::string value) { m_username = std::move(value); }
  bool APILogin() const { return m_api_login; }
  void APILogin(bool value) { m_api_login = value; }

  // The user's privileges, created with the session.
  std::shared_ptr<CSecurity> Security() const { return m_security; }

  // -1 until the user selects a client.
  int32_t SelectedClientID() const { return m_selected_client_id; }
  void SelectedClientID(int32_t value) { m_selected_client_id = value; }

  // Set and read by the host only.
  bool TrustedSession() const { return m_trusted_session; }
  void TrustedSession(bool value) { m_trusted_session = value; }

  // Appends a received chunk to the connection's buffer and hands out the
  // complete messages, exactly as CDataProtocol::SplitBuffer does; the
  // unterminated tail waits in the session for the next chunk.
  int32_t SplitBuffer(std::string_view RecievedBuffer,
                      std::vector<std::string>& Rows);

 private:
  int16_t m_no_response = 0;
  std::weak_ptr<ISocket> m_child;
  std::string m_logon_time;
  std::string m_logout_time;
  UserTypeEnum m_user_type = static_cast<UserTypeEnum>(0);
  std::string m_terminal;
  std::string m_ip;
  int32_t m_user_id = 0;
  int32_t m_current_account = 0;
  int32_t m_dbsid = 0;
  int32_t m_sid = 0;
  std::string m_first_name;
  std::string m_second_name;
  std::string m_third_name;
  std::string m_last_name;
  ClientTypeEnum m_client_type = static_cast<ClientTypeEnum>(0);
  bool m_ready_for_orders = false;
  std::string m_symbols_priv;
  int32_t m_start_with_priv = 0;
  bool m_market_started = false;
  std::string m_username;
  bool m_api_login = false;
  std::shared_ptr<CSecurity> m_security;
  int32_t m_selected_client_id = -1;
  bool m_trusted_session = false;
  CDataProtocol m_protocol;
};

}  // namespace orvane

#endif  // ORVANE_SESSION_SESSION_H_
