// Parses arbitrary text as a received message with DefineProcessByCommand
// and reads everything a host may read from it: every parameter (with and
// without a default), the descriptions, the queue-node texts, and each
// parameter loaded as a row. The parameters must agree with the protocol's
// own parameter reader, and a response rebuilt from them must parse back to
// the same parameters. Nothing may crash, hang or leak; a SID beyond 32 bits
// ends in orvane::Error.
//
// Input: one byte for the log levels, then the message text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadRows(orvane::CProcess& process) {
  for (int16_t i = 1; i <= process.Parameters() && i <= 8; ++i) {
    process.AddRowString(process.ParameterValue(i));
    const int32_t cells = process.RowCellsCount();
    for (int32_t cell = 0; cell <= cells + 1; ++cell) {
      try {
        (void)process.RowCell(cell);
      } catch (const orvane::Error&) {
      }
    }
  }
}

// Rebuilds a response from the parsed parameters and parses it again.
void RoundTrip(const orvane::CProcess& process) {
  const int16_t count = process.Parameters();
  if (process.TokenID() == orvane::UNDEFINED || count > 56) return;
  std::vector<std::string> params;
  for (int16_t i = 1; i <= count; ++i) {
    params.push_back(process.ParameterValue(i));
    if (params.back() == orvane::kNotSentMarker) return;
  }
  orvane::CProcess built;
  built.DefineResponseByToken(0, process.TokenID(), params);
  std::string_view text = built.ProcessText();
  text.remove_suffix(orvane::kMessageTerminator.size());
  orvane::CProcess parsed;
  parsed.DefineProcessByCommand(0, text);
  Check(parsed.TokenID() == process.TokenID());
  // A parameter holding "&h," makes the response read as SID 0.
  Check(parsed.CommandSID() == orvane::kNoSid || parsed.CommandSID() == 0);
  Check(parsed.Parameters() == count);
  for (int16_t i = 1; i <= count; ++i) Check(parsed.ParameterValue(i) == params[i - 1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  orvane::CProcess process;
  process.SystemLogLevel(static_cast<int16_t>(data[0] & 7));
  try {
    process.DefineProcessByCommand(static_cast<int16_t>(data[0] >> 5), text);
  } catch (const orvane::Error&) {
    return 0;
  }

  orvane::CDataProtocol protocol;
  Check(process.TokenID() == protocol.TokenID(text));
  const int16_t count = process.Parameters();
  for (int16_t i = -1; i <= count + 1; ++i) {
    const std::string value = process.ParameterValue(i);
    (void)process.ParameterValue(i, true, "default");
    if (i >= 1 && i <= count) Check(value == protocol.ParameterValue(text, i));
  }
  if (process.TokenID() != orvane::UNDEFINED) {
    Check(protocol.ParameterValue(text, count + 1) == orvane::kInvalidParameter);
  }
  (void)process.ProcessDescription();
  (void)process.IQueueNode_ID();
  (void)process.IQueueNode_toString();
  Check(!process.ValidateSID());
  ReadRows(process);
  RoundTrip(process);
  return 0;
}
