#ifndef ORVANE_PROTOCOL_DATA_PROTOCOL_H_
#define ORVANE_PROTOCOL_DATA_PROTOCOL_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/object.h"
#include "orvane/protocol/detail/find_marker.h"
#include "orvane/protocol/framing.h"
#include "orvane/protocol/tokens_enum.h"

namespace orvane {

class CRow;
class ISocket;

// The framing of every protocol message: the token code table, building
// requests and responses, reading the token, SID and parameters of a received
// message, and cutting a received byte stream into whole messages.
//
// A message is: token code, "s?<", [SID, "&h,"] (requests only), then for
// each parameter "G)_" and its text, then "+3!". Parameters are not escaped.
//
// Each instance carries its own SID and its own receive buffer, so one
// instance serves one connection or one message. The code table is shared,
// fixed in the source and identical for every build, so both ends of every
// connection agree on it.
class CDataProtocol : public Object, NonCopyable {
 public:
  // The most optional parameters a message builder takes.
  static constexpr size_t kMaxParameters = 56;

  CDataProtocol() = default;
  ~CDataProtocol() override = default;

  // The token's description; "UNDEFINED" for any value outside 1..317 or
  // without an entry of its own.
  std::string TokenPublicDesc(int32_t Token) const;
  // The wire code at index TokenID, empty for an index without a token.
  // Throws Error(SubscriptOutOfRange) for an index outside 0..350.
  std::string TokenDescription(int16_t TokenID) const;

  std::string TokenEnd() const { return std::string(kTokenEnd); }
  std::string ParameterDefaultValue() const { return std::string(kNotSentMarker); }
  std::string InvalidParameter() const { return std::string(kInvalidParameter); }
  // The hook every parameter passes on its way into a message: unchanged.
  std::string ParamValue(std::string_view text) const { return std::string(text); }

  // The SID that Request writes; -1 for a new object.
  int32_t sid() const { return m_sid; }
  void sid(int32_t value) { m_sid = value; }

  // The request text: code, "s?<", sid, "&h,", parameters, "+3!". Parameters
  // are taken in order up to the first one equal to the not-sent marker;
  // that one and all after it are not sent. A Token without a code (outside
  // the table) gives an empty code. Throws Error(InvalidArgument) for more
  // than kMaxParameters parameters.
  std::string Request(int32_t Token,
                      std::initializer_list<std::string_view> params = {}) const;
  std::string Request(int32_t Token, std::span<const std::string> params) const;
  // The response text: code, "s?<", parameters, "+3!" (no SID). Parameters
  // as for Request.
  std::string Response(int32_t Token,
                       std::initializer_list<std::string_view> params = {}) const;
  std::string Response(int32_t Token, std::span<const std::string> params) const;

  // The token of a received message: the text before the first "s?<" (found
  // in either letter case) compared exactly with every code; 0 when there is
  // no marker or no code equals that text.
  int32_t TokenID(std::string_view Cmd) const;
  // The SID of a received request: the leading number between the first
  // "s?<" and the first "&h,", rounded to 32 bits (0 when that text is no
  // number); -100 when the message carries no SID. Throws Error(Overflow)
  // when the number does not fit in 32 bits.
  int32_t RequestSID(std::string_view Cmd) const;
  // Parameter Index (1-based) of a message given without its terminator;
  // Index 0 is the empty text; "%$#InVaLID" past the last parameter, for a
  // negative Index and for a message without parameters.
  std::string ParameterValue(std::string_view Cmd, int32_t Index) const;

  // Appends a received chunk to the receive buffer and hands out every
  // complete message. A leading "+3!" of the buffer is dropped (once). Rows
  // is resized to n + 1 slots; slots 1..n-1 receive the complete messages
  // without their terminators, in arrival order; slots 0 and n are empty.
  // Returns n - 1, the number of complete messages; the unterminated tail
  // stays in the buffer. Two adjacent terminators hand out an empty message
  // between them (it counts). The strings already in Rows are reused, and
  // the slots a call drops are kept for the next one, so a caller that keeps
  // its vector allocates nothing in steady state.
  int32_t SplitBuffer(std::string_view RecievedBuffer, std::vector<std::string>& Rows);
  // The same cut as SplitBuffer without copying each message: Rows gets one
  // view per complete message (0-based, no empty slots around them), without
  // its terminator. The views point into RecievedBuffer or into Held, which
  // takes over the bytes that were waiting in the receive buffer, so they stay
  // valid until the caller changes Held or RecievedBuffer, whatever happens to
  // this object meanwhile. The unterminated tail stays in the buffer.
  int32_t SplitBufferViews(std::string_view RecievedBuffer, std::string& Held,
                           std::vector<std::string_view>& Rows);
  // The same cut for a reader that takes the messages one at a time, each
  // right after it is found: every complete message, terminators included,
  // as one region (pointing into RecievedBuffer or Held, as the views of
  // SplitBufferViews do). NextMessage takes the messages off its front. The
  // unterminated tail stays in the buffer.
  std::string_view SplitBufferRegion(std::string_view RecievedBuffer, std::string& Held);
  // The first message of a region from SplitBufferRegion, without its
  // terminator; Region then begins behind that terminator. A region
  // without a terminator is taken whole.
  static std::string_view NextMessage(std::string_view& Region) {
    const size_t end = detail::FindMarker(Region, kMessageTerminator, 0);
    const std::string_view message = Region.substr(0, end);
    Region.remove_prefix(end == std::string_view::npos ? Region.size()
                                                       : end + kMessageTerminator.size());
    return message;
  }
  // Empties the receive buffer.
  void ClearBuffer() { m_buffer.clear(); }
  // The unterminated tail waiting for the next chunk.
  const std::string& Buffer() const { return m_buffer; }

  // Whether a message may open a connection: it begins with the code of
  // LOGIN_TOKEN or of GENERATE_DEMO_ACCOUNT.
  bool IsValidFirstCommand(std::string_view Cmd) const;
  // "<" + sid of the session attached to Child + "> " + remote address +
  // "(" + remote port + ")". The sid is left empty when no session offering
  // one is attached. Throws Error(ObjectRequired) for a null Child; errors of
  // the socket reach the caller.
  std::string SessionDescription(const std::shared_ptr<ISocket>& Child) const;
  // -500 "Invalid session ID", -501 "Undefined command", -502 "Invalid
  // paramenter", anything else the empty text.
  static std::string ErrorMsg(int32_t err);

  // Self-check of the code table: one message (the code) for every ordered
  // pair of different indexes whose codes are equal and not empty. Empty for
  // a sound table.
  std::vector<std::string> TestUniquness() const;

  // The row builder and reader used through this object.
  std::shared_ptr<CRow> Row() const;

 private:
  template <typename Params>
  std::string Build(int32_t token, bool with_sid, const Params& params) const;
  void ShrinkRows(std::vector<std::string>& rows, size_t size);
  void GrowRows(std::vector<std::string>& rows, size_t size);

  int32_t m_sid = kUnsetSid;
  std::string m_buffer;
  std::vector<std::string> m_spare_rows;
  mutable std::shared_ptr<CRow> m_row;
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_DATA_PROTOCOL_H_
