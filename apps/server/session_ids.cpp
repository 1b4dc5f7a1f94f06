#include "session_ids.h"

#include <limits>
#include <random>
#include <stdexcept>

namespace orvane::apps {

namespace {

constexpr std::string_view kTokenEnd = "s?<";
constexpr std::string_view kSidEnd = "&h,";
constexpr uint64_t kValues = uint64_t{1} << 32;

uint32_t mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

}  // namespace

SessionIds::SessionIds() {
  std::random_device device;
  for (uint32_t& key : m_keys) key = static_cast<uint32_t>(device());
}

uint32_t SessionIds::permute(uint32_t value) const {
  uint32_t left = value >> 16;
  uint32_t right = value & 0xffffU;
  for (const uint32_t key : m_keys) {
    const uint32_t next = left ^ (mix(right ^ key) & 0xffffU);
    left = right;
    right = next;
  }
  return (left << 16) | right;
}

int32_t SessionIds::next() {
  constexpr auto kMax = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  while (m_counter < kValues) {
    const uint32_t value = permute(static_cast<uint32_t>(m_counter++));
    if (value != 0 && value <= kMax) return static_cast<int32_t>(value);
  }
  throw std::length_error("every session ID has been issued");
}

std::optional<int32_t> read_sid(std::string_view message) {
  const size_t token_end = message.find(kTokenEnd);
  if (token_end == std::string_view::npos) return std::nullopt;
  const size_t start = token_end + kTokenEnd.size();
  const size_t end = message.find(kSidEnd, start);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view text = message.substr(start, end - start);
  if (text.empty() || text.size() > 10 || text[0] < '1' || text[0] > '9') return std::nullopt;
  int64_t sid = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    sid = sid * 10 + (c - '0');
  }
  if (sid > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(sid);
}

}  // namespace orvane::apps
