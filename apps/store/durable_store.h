#ifndef ORVANE_APPS_STORE_DURABLE_STORE_H_
#define ORVANE_APPS_STORE_DURABLE_STORE_H_

#include <stdexcept>
#include <string>

#include "store.h"

namespace orvane::apps {

// A store that cannot be opened or read. The message names the store and
// says what to do about it.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A store that outlives the server: a database that a server seeds once
// from a book and then keeps its state in, with the server's own keys
// (set_meta) beside it; the key "schema_version" is the store's, and setting
// it fails the batch. Load, Empty and Meta throw StoreError when the
// database cannot be read.
//
// When a batch fails (a change that could not be written, or the commit
// itself), it is rolled back and the store refuses every later commit until
// it is opened again. A batch still open when the store closes is dropped.
class DurableStore : public Store {
 public:
  // Whether the store holds no record, no sequence and no market time.
  virtual bool empty() = 0;
  // Writes a whole snapshot in one transaction into an empty store with no
  // batch open. A store that holds a book is never overwritten: that is
  // refused, and so is anything else that fails, leaving the store as it was.
  virtual StoreStatus seed(const model::Snapshot& snapshot) = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_DURABLE_STORE_H_
