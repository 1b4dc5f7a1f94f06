#include "password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <charconv>
#include <stdexcept>
#include <vector>

namespace orvane::apps {

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

std::string hex(const unsigned char* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

bool from_hex(std::string_view text, std::vector<unsigned char>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (error != std::errc() || end != text.data() + i + 2) return false;
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

std::array<unsigned char, kHashBytes> derive(std::string_view password,
                                             const std::vector<unsigned char>& salt,
                                             uint32_t iterations) {
  std::array<unsigned char, kHashBytes> out{};
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                    static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                    static_cast<int>(out.size()), out.data());
  return out;
}

// The parts of a stored hash; false when it is none.
bool split(std::string_view stored, uint32_t& iterations, std::vector<unsigned char>& salt,
           std::vector<unsigned char>& hash) {
  if (!stored.starts_with(kScheme) || stored.size() <= kScheme.size() ||
      stored[kScheme.size()] != '$') {
    return false;
  }
  std::string_view rest = stored.substr(kScheme.size() + 1);
  const size_t first = rest.find('$');
  const size_t second = first == std::string_view::npos ? first : rest.find('$', first + 1);
  if (second == std::string_view::npos) return false;
  const std::string_view count = rest.substr(0, first);
  const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), iterations);
  if (error != std::errc() || end != count.data() + count.size() || iterations == 0 ||
      iterations > INT32_MAX) {
    return false;
  }
  return from_hex(rest.substr(first + 1, second - first - 1), salt) && salt.size() == kSaltBytes &&
         from_hex(rest.substr(second + 1), hash) && hash.size() == kHashBytes;
}

}  // namespace

std::string hash_password(std::string_view password, uint32_t iterations) {
  if (iterations == 0 || iterations > INT32_MAX) {
    throw std::invalid_argument("password hash iterations must be 1 to 2147483647");
  }
  std::vector<unsigned char> salt(kSaltBytes);
  if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
    throw std::runtime_error("no random salt for a password hash");
  }
  const auto hash = derive(password, salt, iterations);
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" +
         hex(salt.data(), salt.size()) + "$" + hex(hash.data(), hash.size());
}

bool verify_password(std::string_view stored, std::string_view password) {
  uint32_t iterations = 0;
  std::vector<unsigned char> salt;
  std::vector<unsigned char> expected;
  if (!split(stored, iterations, salt, expected)) return false;
  const auto hash = derive(password, salt, iterations);
  return CRYPTO_memcmp(hash.data(), expected.data(), kHashBytes) == 0;
}

bool is_password_hash(std::string_view text) {
  uint32_t iterations = 0;
  std::vector<unsigned char> salt;
  std::vector<unsigned char> hash;
  return split(text, iterations, salt, hash);
}

void hash_passwords(model::Snapshot& snapshot, uint32_t iterations) {
  for (model::User& user : snapshot.users) {
    if (!is_password_hash(user.password)) user.password = hash_password(user.password, iterations);
  }
}

}  // namespace orvane::apps
