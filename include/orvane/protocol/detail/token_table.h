#ifndef ORVANE_PROTOCOL_DETAIL_TOKEN_TABLE_H_
#define ORVANE_PROTOCOL_DETAIL_TOKEN_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/protocol/framing.h"
#include "orvane/protocol/tokens_enum.h"

// The token code table behind CDataProtocol and CTokens: one entry per
// TokensEnum value with its wire code and its description.
namespace orvane::detail {

struct TokenEntry {
  int32_t value;
  std::string_view code;
  std::string_view description;
};

// Indexes 0..kTokenSlots-1 of the code table.
inline constexpr int32_t kTokenSlots = 351;

// The 201 entries in ascending value order.
std::span<const TokenEntry> TokenEntries();
// The code at `index` (0..kTokenSlots-1), empty for an index without a token.
std::string_view TokenCodeAt(int32_t index);
// The description of `value`; "UNDEFINED" for a value without an entry.
std::string_view TokenDescriptionOf(int32_t value);
// The value whose code equals `code` exactly, 0 when none does. Hashed: it
// compares the text with at most a few codes.
int32_t TokenByCode(std::string_view code);

// The token of a received message and where its body begins.
struct MessageHead {
  // The value whose code is the whole text before the first token end
  // marker (either letter case); 0 without a marker or a matching code.
  int32_t token = 0;
  // For a token other than 0: the index just past that marker.
  size_t body = 0;
};
// Reads the head of a received message: the token that the rule of
// CDataProtocol::TokenID gives, found by trying each code length for a
// marker behind it instead of searching the text for the marker.
MessageHead FindMessageHead(std::string_view cmd);

// The entry whose code FindMessageHead found last on this thread.
inline thread_local const TokenEntry* t_last_head = nullptr;

// Whether the n characters (at least eight) at a and b are equal, compared
// eight at a time; codes are short enough for this to beat a call.
inline bool SameText(const char* a, const char* b, size_t n) {
  const auto load = [](const char* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  };
  uint64_t difference = load(a + n - 8) ^ load(b + n - 8);
  for (size_t i = 0; i + 8 < n; i += 8) difference |= load(a + i) ^ load(b + i);
  return difference == 0;
}

// Whether the token end marker, in either letter case, stands at `at`.
inline bool IsTokenEndAt(std::string_view text, size_t at) {
  return (text[at] == 's' || text[at] == 'S') && text[at + 1] == kTokenEnd[1] &&
         text[at + 2] == kTokenEnd[2];
}

// FindMessageHead, trying first the code found last on this thread: a
// stream of one kind of message (prices) repeats its token, which then
// costs one compare.
inline MessageHead ReadMessageHead(std::string_view cmd) {
  if (const TokenEntry* last = t_last_head) {
    const size_t length = last->code.size();
    if (cmd.size() >= length + kTokenEnd.size() && IsTokenEndAt(cmd, length) &&
        SameText(cmd.data(), last->code.data(), length)) {
      return {last->value, length + kTokenEnd.size()};
    }
  }
  return FindMessageHead(cmd);
}

// One message (the code) for every ordered pair of different indexes of
// `codes` whose codes are equal and not empty.
std::vector<std::string> DuplicateCodeMessages(std::span<const std::string_view> codes);

}  // namespace orvane::detail

#endif  // ORVANE_PROTOCOL_DETAIL_TOKEN_TABLE_H_
