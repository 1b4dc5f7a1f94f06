#ifndef ORVANE_TESTS_PROTOCOL_RECEIVED_MESSAGE_H_
#define ORVANE_TESTS_PROTOCOL_RECEIVED_MESSAGE_H_

// Reads one input as a received message the way a host does and checks the
// receive path's shortcuts against the plain reading rules. Shared by the
// process fuzz target and by the test that replays its corpus.
//
// Input: one byte for the log levels, then the message text.
//
// Rules checked:
// - the token is the code equal to the whole text before the first "s?<"
//   (either letter case), 0 without one, and the body starts past it;
// - the process reads the SID the protocol object reads from the bare text,
//   and both refuse a SID beyond 32 bits with orvane::Error;
// - the parameters are the protocol object's own parameters, ending at the
//   first invalid one; a text without a known token has none;
// - a process defined again and again reads as a fresh one;
// - a response rebuilt from the parameters parses back to them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/protocol/process.h"

namespace orvane::test {

// The token rule read literally.
inline int32_t PlainTokenId(std::string_view text) {
  size_t marker = std::string_view::npos;
  for (size_t i = 0; i + 3 <= text.size(); ++i) {
    if ((text[i] == 's' || text[i] == 'S') && text.substr(i + 1, 2) == "?<") {
      marker = i;
      break;
    }
  }
  if (marker == std::string_view::npos) return 0;
  for (const detail::TokenEntry& entry : detail::TokenEntries()) {
    if (entry.code == text.substr(0, marker)) return entry.value;
  }
  return 0;
}

// Loads the first parameters as rows and reads every cell and one past.
inline void ReadRows(CProcess& process) {
  for (int16_t i = 1; i <= process.Parameters() && i <= 8; ++i) {
    process.AddRowString(process.ParameterValue(i));
    const int32_t cells = process.RowCellsCount();
    for (int32_t cell = 0; cell <= cells + 1; ++cell) {
      try {
        (void)process.RowCell(cell);
      } catch (const Error&) {
      }
    }
  }
}

// Rebuilds a response from the parsed parameters and parses it again.
inline std::string RoundTrip(const CProcess& process) {
  const int16_t count = process.Parameters();
  if (process.TokenID() == UNDEFINED || count > 56) return "";
  std::vector<std::string> params;
  for (int16_t i = 1; i <= count; ++i) {
    params.push_back(process.ParameterValue(i));
    if (params.back() == kNotSentMarker) return "";
  }
  CProcess built;
  built.DefineResponseByToken(0, process.TokenID(), params);
  std::string_view text = built.ProcessText();
  text.remove_suffix(kMessageTerminator.size());
  CProcess parsed;
  parsed.DefineProcessByCommand(0, text);
  if (parsed.TokenID() != process.TokenID()) return "rebuilt response changed its token";
  // A parameter holding "&h," makes the response read as SID 0.
  if (parsed.CommandSID() != kNoSid && parsed.CommandSID() != 0) {
    return "rebuilt response has a SID";
  }
  if (parsed.Parameters() != count) return "rebuilt response changed its parameter count";
  for (int16_t i = 1; i <= count; ++i) {
    if (parsed.ParameterValue(i) != params[i - 1]) return "rebuilt response changed a parameter";
  }
  return "";
}

// Returns the first broken rule, empty when every rule holds.
inline std::string ReadReceivedMessage(std::string_view input) {
  if (input.empty()) return "";
  const auto levels = static_cast<unsigned char>(input[0]);
  const std::string_view text = input.substr(1);
  const CDataProtocol protocol;
  const int32_t token = PlainTokenId(text);
  const detail::MessageHead head = detail::ReadMessageHead(text);
  if (head.token != token) return "head token differs from the plain rule";
  if (token != 0 && head.body != detail::TokenCodeAt(token).size() + 3) return "body start";
  if (protocol.TokenID(text) != token) return "protocol token differs from the plain rule";

  bool overflow = false;
  int32_t sid = 0;
  try {
    sid = protocol.RequestSID(text);
  } catch (const Error&) {
    overflow = true;
  }
  CProcess process;
  process.SystemLogLevel(static_cast<int16_t>(levels & 7));
  try {
    process.DefineProcessByCommand(static_cast<int16_t>(levels >> 5), text);
  } catch (const Error&) {
    return overflow ? "" : "process refused a SID the protocol reads";
  }
  if (overflow) return "process read a SID the protocol refuses";
  if (process.CommandSID() != sid) return "process SID differs from the protocol's";
  if (process.TokenID() != token) return "process token differs from the plain rule";

  const int16_t count = process.Parameters();
  if (token == UNDEFINED && count != 0) return "a text without a token has parameters";
  for (int16_t i = -1; i <= count + 1; ++i) {
    const std::string value = process.ParameterValue(i);
    (void)process.ParameterValue(i, true, "default");
    if (i >= 1 && i <= count && value != protocol.ParameterValue(text, i)) {
      return "parameter " + std::to_string(i) + " differs from the protocol's";
    }
  }
  if (token != UNDEFINED && protocol.ParameterValue(text, count + 1) != kInvalidParameter) {
    return "parameters end before the first invalid one";
  }

  // One process defined over and over reads each text as a fresh one does.
  static CProcess reused;
  reused.DefineProcessByCommand(0, text);
  if (reused.CommandSID() != sid || reused.Parameters() != count) return "reused process";
  for (int16_t i = 1; i <= count; ++i) {
    if (reused.ParameterValue(i) != process.ParameterValue(i)) return "reused process parameter";
  }

  (void)process.ProcessDescription();
  (void)process.IQueueNode_ID();
  (void)process.IQueueNode_toString();
  if (process.ValidateSID()) return "a received message validates a SID";
  ReadRows(process);
  return RoundTrip(process);
}

}  // namespace orvane::test

#endif  // ORVANE_TESTS_PROTOCOL_RECEIVED_MESSAGE_H_
