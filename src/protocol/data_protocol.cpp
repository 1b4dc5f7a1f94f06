#include "orvane/protocol/data_protocol.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <charconv>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/io/socket.h"
#include "orvane/protocol/detail/attached_sid.h"
#include "orvane/protocol/detail/find_marker.h"
#include "orvane/protocol/detail/request_sid.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/protocol/framing.h"
#include "orvane/util/row.h"

namespace orvane {
namespace {

// A receive buffer keeps at most this many spare row strings.
constexpr size_t kMaxSpareRows = 4096;

// A SID written as the builders write it: an optional minus and up to nine
// digits, nothing else. Val reads such a text as exactly this number.
bool read_plain_sid(std::string_view text, int32_t& value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 9) return false;
  int32_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  value = negative ? -number : number;
  return true;
}

// The SID rule, with positions counted from 1 as it is stated: Start is the
// first character behind the case-sensitive token end marker (or 3 without
// one), End the last one before the SID end marker.
int32_t sid_between(std::string_view cmd, size_t token_end, size_t sid_end) {
  const int64_t start =
      (token_end == std::string_view::npos ? 0 : static_cast<int64_t>(token_end) + 1) + 3;
  const int64_t end = sid_end == std::string_view::npos ? -1 : static_cast<int64_t>(sid_end);
  if (end == 0 || end < start) return kNoSid;
  const std::string_view sid_text =
      cmd.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1));
  int32_t plain;
  if (read_plain_sid(sid_text, plain)) return plain;
  return ToInt32(Val(sid_text));
}

}  // namespace

namespace detail {

int32_t ReadRequestSid(std::string_view cmd, const MessageHead& head) {
  if (head.token == UNDEFINED) {
    return sid_between(cmd, cmd.find(kTokenEnd), cmd.find(kSidEnd));
  }
  // No code holds a marker, and no marker can straddle the code's end or the
  // token end marker, so the first of each stands behind the head.
  return ReadRequestSid(cmd, head, FindMarker(cmd, kSidEnd, head.body));
}

int32_t ReadRequestSid(std::string_view cmd, const MessageHead& head, size_t sid_end) {
  const size_t marker = head.body - kTokenEnd.size();
  const size_t token_end =
      cmd[marker] == kTokenEnd[0] ? marker : FindMarker(cmd, kTokenEnd, head.body);
  return sid_between(cmd, token_end, sid_end);
}

}  // namespace detail

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
  return detail::ReadMessageHead(Cmd).token;
}

int32_t CDataProtocol::RequestSID(std::string_view Cmd) const {
  return sid_between(Cmd, Cmd.find(kTokenEnd), Cmd.find(kSidEnd));
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
  detail::ForEachMarker(data, kMessageTerminator, 0, [&](size_t end) {
    ++complete;
    if (Rows.size() <= complete) GrowRows(Rows, complete + 1);
    Rows[complete].assign(data.substr(begin, end - begin));
    begin = end + kMessageTerminator.size();
    return true;
  });
  GrowRows(Rows, complete + 2);
  ShrinkRows(Rows, complete + 2);
  Rows.front().clear();
  Rows.back().clear();

  if (in_buffer) {
    m_buffer.erase(0, static_cast<size_t>(data.data() - m_buffer.data()) + begin);
  } else {
    m_buffer.assign(data.substr(begin));
  }
  return static_cast<int32_t>(complete);
}

int32_t CDataProtocol::SplitBufferViews(std::string_view RecievedBuffer,
                                        std::string& Held,
                                        std::vector<std::string_view>& Rows) {
  Rows.clear();
  std::string_view region = SplitBufferRegion(RecievedBuffer, Held);
  while (!region.empty()) Rows.push_back(NextMessage(region));
  return static_cast<int32_t>(Rows.size());
}

// The terminator cannot overlap itself, so the last one found from the end
// is the last one the cut from the front finds.
std::string_view CDataProtocol::SplitBufferRegion(std::string_view RecievedBuffer,
                                                  std::string& Held) {
  Held.clear();
  std::string_view data = RecievedBuffer;
  if (!m_buffer.empty()) {
    Held.swap(m_buffer);
    Held.append(RecievedBuffer);
    data = Held;
  }
  if (data.starts_with(kMessageTerminator)) data.remove_prefix(kMessageTerminator.size());
  size_t complete = 0;
  for (size_t at = data.size(); at >= kMessageTerminator.size(); --at) {
    if (data.substr(at - kMessageTerminator.size(), kMessageTerminator.size()) ==
        kMessageTerminator) {
      complete = at;
      break;
    }
  }
  m_buffer.assign(data.substr(complete));
  return data.substr(0, complete);
}

// Rows that a shorter split gives up wait in m_spare_rows with their storage,
// so that a caller whose message counts vary from chunk to chunk does not
// free and allocate row strings every time.
void CDataProtocol::ShrinkRows(std::vector<std::string>& rows, size_t size) {
  if (rows.size() <= size) return;
  const size_t kept = std::min(rows.size() - size, kMaxSpareRows - m_spare_rows.size());
  const auto first = rows.begin() + static_cast<ptrdiff_t>(size);
  m_spare_rows.insert(m_spare_rows.end(), std::make_move_iterator(first),
                      std::make_move_iterator(first + static_cast<ptrdiff_t>(kept)));
  rows.erase(first, rows.end());
}

// Grows `rows` to at least `size` slots, with every spare row at hand.
void CDataProtocol::GrowRows(std::vector<std::string>& rows, size_t size) {
  if (rows.size() >= size) return;
  rows.insert(rows.end(), std::make_move_iterator(m_spare_rows.begin()),
              std::make_move_iterator(m_spare_rows.end()));
  m_spare_rows.clear();
  if (rows.size() < size) rows.resize(std::max(size, 2 * rows.size()));
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
