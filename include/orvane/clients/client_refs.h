#ifndef ORVANE_CLIENTS_CLIENT_REFS_H_
#define ORVANE_CLIENTS_CLIENT_REFS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "orvane/clients/client_ref.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// A list of clients keyed by the decimal text of ClientID, in insertion
// order. Removing an entry drops only the CClientRef, never the client; the
// end of the list (or Deallocate) clears every entry's reference.
class CClientRefs : public Object, public ISafeObject, private NonCopyable {
 public:
  CClientRefs() = default;
  ~CClientRefs() override;

  // Replaces any entry under Client's key by a new entry holding Client (so
  // adding a client twice leaves one entry, moved to the end) and returns
  // it. None, and nothing changed, for no client.
  std::shared_ptr<CClientRef> Add(const std::shared_ptr<CClient>& Client);
  // The entry under a key text or at a 1-based position; none for a miss.
  std::shared_ptr<CClientRef> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return m_items.Count(); }
  // Drops the entry; a miss does nothing.
  void Remove(const Variant& vntIndexKey);
  // The members in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<CClientRef>> NewEnum() const { return m_items.Snapshot(); }
  const KeyedCollection<CClientRef>& Items() const { return m_items; }
  KeyedCollection<CClientRef>::Iterator begin() const { return m_items.begin(); }
  KeyedCollection<CClientRef>::Iterator end() const { return m_items.end(); }

  void Deallocate() override;

 private:
  KeyedCollection<CClientRef> m_items;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_REFS_H_
