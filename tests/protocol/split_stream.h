#ifndef ORVANE_TESTS_PROTOCOL_SPLIT_STREAM_H_
#define ORVANE_TESTS_PROTOCOL_SPLIT_STREAM_H_

// Feeds a chunked stream to SplitBuffer and to the view cut, and checks both
// against a plain model of the splitting rule (append, drop one leading
// terminator, cut at every terminator, keep the tail). Every complete
// message is then read as the receiver would. Shared by the split_buffer
// fuzz target and by the test that replays its corpus.
//
// Input: a sequence of chunks, each a length byte followed by that many
// bytes (the last chunk takes what is left).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"

namespace orvane::test {

// The splitting rule, written as plainly as it is stated.
inline int32_t ModelSplit(std::string& buffer, std::string_view chunk,
                          std::vector<std::string>& out) {
  constexpr std::string_view kTerminator = "+3!";
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

inline void ReadMessage(const CDataProtocol& protocol, std::string_view message) {
  (void)protocol.TokenID(message);
  try {
    (void)protocol.RequestSID(message);
  } catch (const Error&) {
  }
  for (int32_t i = -1; i <= 4; ++i) (void)protocol.ParameterValue(message, i);
  (void)protocol.IsValidFirstCommand(message);
}

// Returns the first broken rule, empty when every rule holds.
inline std::string SplitStream(std::string_view input) {
  CDataProtocol protocol;
  CDataProtocol viewing;  // the same stream, cut into views
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
    if (n != ModelSplit(model_buffer, chunk, expected)) return "message count";
    if (rows.size() != static_cast<size_t>(n) + 2) return "row count";
    if (!rows.front().empty() || !rows.back().empty()) return "rows not framed by empty ones";
    for (int32_t i = 1; i <= n; ++i) {
      if (rows[i] != expected[static_cast<size_t>(i - 1)]) return "message text";
      ReadMessage(protocol, rows[i]);
    }
    if (protocol.Buffer() != model_buffer) return "tail kept";
    if (viewing.SplitBufferViews(chunk, held, views) != n) return "view count";
    for (int32_t i = 1; i <= n; ++i) {
      if (views[static_cast<size_t>(i - 1)] != rows[i]) return "view text";
    }
    if (viewing.Buffer() != model_buffer) return "tail kept by the view cut";
  }
  return "";
}

}  // namespace orvane::test

#endif  // ORVANE_TESTS_PROTOCOL_SPLIT_STREAM_H_
