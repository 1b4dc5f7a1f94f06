#include "orvane/session/session.h"

#include "orvane/io/socket.h"

namespace orvane {

CSession::CSession() : m_security(std::make_shared<CSecurity>()) {}

CSession::~CSession() = default;

std::string CSession::UserFullName() const {
  std::string name;
  name.reserve(m_first_name.size() + m_second_name.size() +
               m_third_name.size() + m_last_name.size() + 3);
  name.append(m_first_name).append(" ").append(m_second_name).append(" ");
  name.append(m_third_name).append(" ").append(m_last_name);
  return name;
}

void CSession::AddSymbolPriv(int32_t SymbolID) {
  if (!m_symbols_priv.empty()) m_symbols_priv.push_back(',');
  m_symbols_priv.append(std::to_string(SymbolID));
}

int32_t CSession::SplitBuffer(std::string_view RecievedBuffer,
                              std::vector<std::string>& Rows) {
  return m_protocol.SplitBuffer(RecievedBuffer, Rows);
}

}  // namespace orvane
