#include "orvane/protocol/data_protocol.h"

#include <array>
#include <charconv>

#include "orvane/connection/socket.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/protocol/detail/attached_sid.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/protocol/row.h"

namespace orvane {
namespace {

// Position of the first token end marker, found without regard to case (the
// marker's only letter is its first).
size_t FindTokenEndAnyCase(std::string_view text) {
  size_t at = text.find("?<");
  while (at != std::string_view::npos) {
    if (at > 0 && (text[at - 1] == 's' || text[at - 1] == 'S')) return at - 1;
    at = text.find("?<", at + 2);
  }
  return std::string_view::npos;
}

}  // namespace

CDataProtocol::CDataProtocol() = default;
CDataProtocol::~CDataProtocol() = default;

std::string CDataProtocol::TokenPublicDesc(int32_t Token) const {
  return std::string(detail::TokenDescriptionOf(Token));
}

std::string CDataProtocol::TokenDescription(int16_t TokenID) const {
  if (TokenID < 0 || TokenID >= detail::kTokenSlots) {
    throw Error(ErrorCode::SubscriptOutOfRange,
                "token index " + std::to_string(TokenID) + " is outside 0..350");
  }
  return std::string(detail::TokenCodeAt(TokenID));
}

template <typename Params>
std::string CDataProtocol::Build(int32_t token, bool with_sid, const Params& params) const {
  if (params.size() > kMaxParameters) {
    throw Error(ErrorCode::InvalidArgument,
                "a message takes at most 56 parameters, " +
                    std::to_string(params.size()) + " were given");
  }
  const std::string_view code = detail::TokenCodeAt(token);
  std::array<char, 16> sid_text{};
  size_t sid_length = 0;
  if (with_sid) {
    const auto result = std::to_chars(sid_text.data(), sid_text.data() + sid_text.size(), m_sid);
    sid_length = static_cast<size_t>(result.ptr - sid_text.data());
  }
  size_t sent = 0;
  size_t length = code.size() + kTokenEnd.size() + kMessageTerminator.size();
  if (with_sid) length += sid_length + kSidEnd.size();
  for (std::string_view param : params) {
    if (param == kNotSentMarker) break;
    length += kParameterMarker.size() + param.size();
    ++sent;
  }

  std::string text;
  text.reserve(length);
  text.append(code);
  text.append(kTokenEnd);
  if (with_sid) {
    text.append(sid_text.data(), sid_length);
    text.append(kSidEnd);
  }
  // Every parameter passes through ParamValue, which leaves it unchanged;
  // it is appended as it is.
  for (size_t i = 0; i < sent; ++i) {
    text.append(kParameterMarker);
    text.append(std::string_view(params.begin()[i]));
  }
  text.append(kMessageTerminator);
  return text;
}

std::string CDataProtocol::Request(int32_t Token,
                                   std::initializer_list<std::string_view> params) const {
  return Build(Token, true, params);
}

std::string CDataProtocol::Request(int32_t Token, std::span<const std::string> params) const {
  return Build(Token, true, params);
}

std::string CDataProtocol::Response(int32_t Token,
                                    std::initializer_list<std::string_view> params) const {
  return Build(Token, false, params);
}

std::string CDataProtocol::Response(int32_t Token, std::span<const std::string> params) const {
  return Build(Token, false, params);
}

int32_t CDataProtocol::TokenID(std::string_view Cmd) const {
  const size_t end = FindTokenEndAnyCase(Cmd);
  if (end == std::string_view::npos) return UNDEFINED;
  return detail::TokenByCode(Cmd.substr(0, end));
}

int32_t CDataProtocol::RequestSID(std::string_view Cmd) const {
  // Positions counted from 1, as the SID rule is stated: Start is the first
  // character behind "s?<" (or 3 without one), End the last one before "&h,".
  const size_t token_end = Cmd.find(kTokenEnd);
  const int64_t start =
      (token_end == std::string_view::npos ? 0 : static_cast<int64_t>(token_end) + 1) + 3;
  const size_t sid_end = Cmd.find(kSidEnd);
  const int64_t end = sid_end == std::string_view::npos ? -1 : static_cast<int64_t>(sid_end);
  if (end == 0 || end < start) return kNoSid;
  const std::string_view sid_text = Cmd.substr(static_cast<size_t>(start - 1),
                                               static_cast<size_t>(end - start + 1));
  return ToInt32(Val(sid_text));
}

std::string CDataProtocol::ParameterValue(std::string_view Cmd, int32_t Index) const {
  size_t at = Cmd.find(kParameterMarker);
  if (at == std::string_view::npos || Index < 0) return std::string(kInvalidParameter);
  if (Index == 0) return std::string();
  for (int32_t piece = 1;; ++piece) {
    const size_t begin = at + kParameterMarker.size();
    const size_t next = Cmd.find(kParameterMarker, begin);
    if (piece == Index) {
      return std::string(Cmd.substr(begin, next == std::string_view::npos
                                               ? std::string_view::npos
                                               : next - begin));
    }
    if (next == std::string_view::npos) return std::string(kInvalidParameter);
    at = next;
  }
}

int32_t CDataProtocol::SplitBuffer(std::string_view RecievedBuffer,
                                   std::vector<std::string>& Rows) {
  const bool in_buffer = !m_buffer.empty();
  if (in_buffer) m_buffer.append(RecievedBuffer);
  std::string_view data = in_buffer ? std::string_view(m_buffer) : RecievedBuffer;
  if (data.starts_with(kMessageTerminator)) data.remove_prefix(kMessageTerminator.size());

  size_t complete = 0;
  size_t begin = 0;
  for (size_t end; (end = data.find(kMessageTerminator, begin)) != std::string_view::npos;
       begin = end + kMessageTerminator.size()) {
    ++complete;
    if (Rows.size() <= complete) Rows.resize(complete + 1);
    Rows[complete].assign(data.substr(begin, end - begin));
  }
  Rows.resize(complete + 2);
  Rows.front().clear();
  Rows.back().clear();

  if (in_buffer) {
    m_buffer.erase(0, static_cast<size_t>(data.data() - m_buffer.data()) + begin);
  } else {
    m_buffer.assign(data.substr(begin));
  }
  return static_cast<int32_t>(complete);
}

bool CDataProtocol::IsValidFirstCommand(std::string_view Cmd) const {
  return Cmd.starts_with(detail::TokenCodeAt(LOGIN_TOKEN)) ||
         Cmd.starts_with(detail::TokenCodeAt(GENERATE_DEMO_ACCOUNT));
}

std::string CDataProtocol::SessionDescription(const std::shared_ptr<ISocket>& Child) const {
  if (!Child) throw Error(ErrorCode::ObjectRequired, "no socket is bound");
  const std::optional<int32_t> sid = detail::AttachedSid(*Child);
  std::string text = "<";
  if (sid) text += std::to_string(*sid);
  text += "> ";
  text += Child->RemoteAddress();
  text += "(";
  text += std::to_string(Child->RemotePort());
  text += ")";
  return text;
}

std::string CDataProtocol::ErrorMsg(int32_t err) {
  switch (err) {
    case -500:
      return "Invalid session ID";
    case -501:
      return "Undefined command";
    case -502:
      return "Invalid paramenter";
    default:
      return std::string();
  }
}

std::vector<std::string> CDataProtocol::TestUniquness() const {
  std::array<std::string_view, detail::kTokenSlots> codes;
  for (int32_t i = 0; i < detail::kTokenSlots; ++i) codes[i] = detail::TokenCodeAt(i);
  return detail::DuplicateCodeMessages(codes);
}

std::shared_ptr<CRow> CDataProtocol::Row() const {
  if (!m_row) m_row = std::make_shared<CRow>();
  return m_row;
}

}  // namespace orvane
