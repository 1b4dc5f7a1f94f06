#include "orvane/clients/client_refs.h"

#include "orvane/clients/client.h"
#include "orvane/core/keyed_lookup.h"

namespace orvane {

std::string CClientRef::IndexKey() const {
  return m_client ? KeyOf(m_client->ClientID()) : std::string();
}

CClientRefs::~CClientRefs() { Deallocate(); }

std::shared_ptr<CClientRef> CClientRefs::Add(const std::shared_ptr<CClient>& Client) {
  if (!Client) return nullptr;
  std::string key = KeyOf(Client->ClientID());
  m_items.Remove(key);
  auto ref = std::make_shared<CClientRef>();
  ref->Client(Client);
  m_items.Add(std::move(key), ref);
  return ref;
}

std::shared_ptr<CClientRef> CClientRefs::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void CClientRefs::Remove(const Variant& vntIndexKey) {
  RemoveByIndexKey(m_items, vntIndexKey);
}

void CClientRefs::Deallocate() {
  for (const auto& ref : m_items) ref->Deallocate();
  m_items.Clear();
}

}  // namespace orvane
