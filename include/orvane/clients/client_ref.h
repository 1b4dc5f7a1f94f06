#ifndef ORVANE_CLIENTS_CLIENT_REF_H_
#define ORVANE_CLIENTS_CLIENT_REF_H_

#include <memory>
#include <string>

#include "orvane/core/object.h"

namespace orvane {

class CClient;

// An entry of a client list (a parent's children, a symbol's alert holders)
// that refers to a client owned by CClients. Dropping the entry never
// destroys the client as long as CClients holds it.
class CClientRef : public Object, public ISafeObject, private NonCopyable {
 public:
  CClientRef() = default;
  ~CClientRef() override = default;

  const std::shared_ptr<CClient>& Client() const { return m_client; }
  void Client(std::shared_ptr<CClient> value) { m_client = std::move(value); }
  // The decimal text of Client's ClientID; empty when there is no client.
  std::string IndexKey() const;

  // Clears Client.
  void Deallocate() override { m_client.reset(); }

 private:
  std::shared_ptr<CClient> m_client;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_REF_H_
