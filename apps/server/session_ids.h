#ifndef ORVANE_APPS_SERVER_SESSION_IDS_H_
#define ORVANE_APPS_SERVER_SESSION_IDS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvane::apps {

// The SIDs of one server's life, 1 .. 2^31-1: never one issued twice, and
// none a peer can guess from those it has seen. Each is a counter put
// through a keyed permutation of 32-bit numbers (a Feistel network whose
// round keys come from std::random_device); values outside the range are
// stepped over. Distinct counters give distinct values, so nothing needs to
// be remembered.
class SessionIds {
 public:
  SessionIds();
  // Fixed keys, for tests that need to repeat a run.
  explicit SessionIds(const std::array<uint32_t, 4>& keys) : m_keys(keys) {}

  // Throws std::length_error after 2^32 draws.
  int32_t next();

 private:
  uint32_t permute(uint32_t value) const;

  std::array<uint32_t, 4> m_keys{};
  uint64_t m_counter = 0;
};

// The SID a request names, read strictly: decimal digits only, no sign, no
// blank, no leading zero, no fraction, within 1 .. 2^31-1. None for any
// other text between the token's end and the SID's end marker, and for a
// message without them.
std::optional<int32_t> read_sid(std::string_view message);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_SESSION_IDS_H_
