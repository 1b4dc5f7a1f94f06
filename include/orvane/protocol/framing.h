#ifndef ORVANE_PROTOCOL_FRAMING_H_
#define ORVANE_PROTOCOL_FRAMING_H_

#include <cstdint>
#include <string_view>

namespace orvane {

// The framing literals shared by every part that builds or reads messages.
// Token end marker: right behind the token code of every message.
inline constexpr std::string_view kTokenEnd = "s?<";
// SID end marker: right behind the SID of a request.
inline constexpr std::string_view kSidEnd = "&h,";
// Parameter marker: in front of every parameter.
inline constexpr std::string_view kParameterMarker = "G)_";
// Message terminator: ends every message; there is no length field.
inline constexpr std::string_view kMessageTerminator = "+3!";
// Not-sent marker: the default of every optional builder parameter; a
// parameter with this value, and every one after it, is not sent.
inline constexpr std::string_view kNotSentMarker = "!&NS&!";
// What a parameter read past the last parameter yields.
inline constexpr std::string_view kInvalidParameter = "%$#InVaLID";

// The SID a message without one reads as.
inline constexpr int32_t kNoSid = -100;
// The SID of a protocol object that was never given one.
inline constexpr int32_t kUnsetSid = -1;

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_FRAMING_H_
