#ifndef ORVANE_PROTOCOL_TOKENS_H_
#define ORVANE_PROTOCOL_TOKENS_H_

#include <cstdint>
#include <string>

#include "orvane/core/object.h"
#include "orvane/protocol/data_protocol.h"

namespace orvane {

// The token table as offered to other components.
class ITokens {
 public:
  virtual ~ITokens() = default;
  // The token whose wire code equals TokenDesc exactly (a bare code, without
  // the token end marker), else 0.
  virtual int16_t TokenID(std::string TokenDesc) = 0;
  // The token's description; "UNDEFINED" for a value without one.
  virtual std::string TokenPublicDescription(int16_t TokenID) = 0;
  // The token's wire code; empty for an index without a token. Throws
  // Error(SubscriptOutOfRange) for an index outside 0..350.
  virtual std::string TokenDescription(int16_t TokenID) = 0;
};

// Offers the token table through ITokens, on a protocol object of its own.
class CTokens : public Object, public ITokens, private NonCopyable {
 public:
  CTokens() = default;

  int16_t TokenID(std::string TokenDesc) override;
  std::string TokenPublicDescription(int16_t TokenID) override;
  std::string TokenDescription(int16_t TokenID) override;

 private:
  CDataProtocol m_protocol;
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_TOKENS_H_
