// Feeds arbitrary chunk sequences to SplitBuffer and to the view cut, and
// checks both against a plain model of the splitting rule (append, drop one
// leading terminator, cut at every terminator, keep the tail). Every
// complete message is then read as the receiver would: token, SID and
// parameters. Nothing may crash, hang or leak; a SID beyond 32 bits ends in
// orvane::Error.
//
// Input: a sequence of chunks, each a length byte followed by that many
// bytes (the last chunk takes what is left).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"

namespace {

constexpr std::string_view kTerminator = "+3!";

// The splitting rule, written as plainly as it is stated.
int32_t ModelSplit(std::string& buffer, std::string_view chunk, std::vector<std::string>& out) {
  buffer.append(chunk);
  if (buffer.compare(0, kTerminator.size(), kTerminator) == 0) buffer.erase(0, kTerminator.size());
  std::vector<std::string> pieces;
  size_t begin = 0;
  for (size_t end; (end = buffer.find(kTerminator, begin)) != std::string::npos;
       begin = end + kTerminator.size()) {
    pieces.push_back(buffer.substr(begin, end - begin));
  }
  buffer.erase(0, begin);
  out = std::move(pieces);
  return static_cast<int32_t>(out.size());
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadMessage(const orvane::CDataProtocol& protocol, std::string_view message) {
  (void)protocol.TokenID(message);
  try {
    (void)protocol.RequestSID(message);
  } catch (const orvane::Error&) {
  }
  for (int32_t i = -1; i <= 4; ++i) (void)protocol.ParameterValue(message, i);
  (void)protocol.IsValidFirstCommand(message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  orvane::CDataProtocol protocol;
  orvane::CDataProtocol viewing;  // the same stream, cut into views
  std::string held;
  std::vector<std::string_view> views;
  std::string model_buffer;
  std::vector<std::string> rows;
  std::vector<std::string> expected;
  size_t at = 0;
  while (at < input.size()) {
    const size_t length = static_cast<unsigned char>(input[at++]);
    const std::string_view chunk = input.substr(at, length);
    at += chunk.size();

    const int32_t n = protocol.SplitBuffer(chunk, rows);
    Check(n == ModelSplit(model_buffer, chunk, expected));
    Check(rows.size() == static_cast<size_t>(n) + 2);
    Check(rows.front().empty() && rows.back().empty());
    for (int32_t i = 1; i <= n; ++i) {
      Check(rows[i] == expected[static_cast<size_t>(i - 1)]);
      ReadMessage(protocol, rows[i]);
    }
    Check(protocol.Buffer() == model_buffer);
    Check(viewing.SplitBufferViews(chunk, held, views) == n);
    for (int32_t i = 1; i <= n; ++i) Check(views[static_cast<size_t>(i - 1)] == rows[i]);
    Check(viewing.Buffer() == model_buffer);
  }
  return 0;
}
