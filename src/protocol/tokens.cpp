#include "orvane/protocol/tokens.h"

namespace orvane {

int16_t CTokens::TokenID(std::string TokenDesc) {
  TokenDesc.append(kTokenEnd);
  return static_cast<int16_t>(m_protocol.TokenID(TokenDesc));
}

std::string CTokens::TokenPublicDescription(int16_t TokenID) {
  return m_protocol.TokenPublicDesc(TokenID);
}

std::string CTokens::TokenDescription(int16_t TokenID) {
  return m_protocol.TokenDescription(TokenID);
}

}  // namespace orvane
