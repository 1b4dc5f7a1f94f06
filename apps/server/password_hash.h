#ifndef ORVANE_APPS_SERVER_PASSWORD_HASH_H_
#define ORVANE_APPS_SERVER_PASSWORD_HASH_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "records.h"

namespace orvane::apps {

// Salted slow password hashes, as the server keeps them in place of the
// passwords themselves: "pbkdf2-sha256$ITERATIONS$SALT$HASH" (salt and hash
// in hex, a random 16-byte salt per hash, PBKDF2 with HMAC-SHA-256). The
// cost travels with each hash, so that tests may use a low one while
// production uses a high one.

// A new hash of `password`. Throws std::runtime_error when no random salt
// can be had.
std::string hash_password(std::string_view password, uint32_t iterations);

// Whether `password` matches `stored`, compared in constant time; false for
// a `stored` text that is no hash of this kind. Costs what the hash's
// iterations cost whatever the answer.
bool verify_password(std::string_view stored, std::string_view password);

// Whether `text` is a hash of this kind (not a password kept as written).
bool is_password_hash(std::string_view text);

// Hashes every user's password that is kept as written (a book's), with
// `iterations`; hashes already made are left as they are.
void hash_passwords(model::Snapshot& snapshot, uint32_t iterations);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_PASSWORD_HASH_H_
