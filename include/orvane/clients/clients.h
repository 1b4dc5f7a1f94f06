#ifndef ORVANE_CLIENTS_CLIENTS_H_
#define ORVANE_CLIENTS_CLIENTS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/clients/client.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

class CAccount;

// Every client, office and group of a host, keyed by the decimal text of
// ClientID, in insertion order, with the questions about the tree: is one
// client below another, which client holds an account, who has a given
// name. The collection owns its clients: Remove, Deallocate and the end of
// the collection release each through its Deallocate. Lookups never throw;
// they give none (or false) for a miss.
class CClients : public Object, public ISafeObject, private NonCopyable {
 public:
  CClients() = default;
  ~CClients() override;

  // Links every client whose ParentID is not null to the client of that ID,
  // when present, and lists it among that parent's children. Running it again
  // changes nothing.
  void SetClientsParents();
  // Creates a client under ClientID, linked to its parent when ParentID is
  // not null and that parent is already in, and applies Spreads (a client
  // parameters text; none when empty). Returns none on any failure (an ID
  // already present, a bad parameters text); the collection is then
  // unchanged, but a parent that already listed the new client keeps it in
  // its children. A taken ID is found only when the client is added to the
  // collection, last: by then its parent lists the refused client in place
  // of the one that holds the ID.
  std::shared_ptr<CClient> Add(int32_t ClientID, const std::string& Spreads,
                               const Variant& ParentID, ClientTypeEnum vClientType,
                               bool EnableInterest, LiquidationTypeEnum LiqType,
                               double LiqPoint, std::string fname, std::string sname,
                               std::string tname, std::string lname,
                               std::string Username,
                               const std::shared_ptr<CSymbols>& Symbols,
                               const std::shared_ptr<CGenerals>& Generals,
                               int16_t ClientOrServer, CommCalcTypeEnum CommCalcType);
  // Whether any client holds the account (clients in collection order).
  bool AccountExists(int32_t vAccountID) const;
  // True when ChildID equals ParentID, or ParentID is the ID of an ancestor
  // of client ChildID at any depth. A cycle in the parent links ends the walk
  // (false) instead of looping.
  bool isChild(int32_t ChildID, int32_t ParentID) const;
  // Calls InitializeParams of every client (which has no effect).
  void InitializeParams(const std::shared_ptr<CSymbols>& Symbols,
                        int16_t ClientOrServer);
  // Calls RefreshSymbols of every client.
  void RefreshSymbols(const std::shared_ptr<CSymbols>& Symbols);
  // The first account with that ID over the clients in collection order;
  // none when no client holds it.
  std::shared_ptr<CAccount> AccountByAccountID(int32_t vAccountID) const;
  // The account AccountID of client ClientID; none when either is absent.
  std::shared_ptr<CAccount> Account(int32_t ClientID, int32_t AccountID) const;
  // The client under a key text or at a 1-based position; none for a miss.
  std::shared_ptr<CClient> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return m_items.Count(); }
  // Takes the client out of its parent's children, removes it and
  // deallocates it; true when a client was removed. Its own children keep
  // their ParentID; their Parent reads as none once the removed client has
  // gone.
  bool Remove(const Variant& vntIndexKey);
  const KeyedCollection<CClient>& Items() const { return m_items; }
  KeyedCollection<CClient>::Iterator begin() const { return m_items.begin(); }
  KeyedCollection<CClient>::Iterator end() const { return m_items.end(); }
  // Moves client ClientID under client ParnetID: it leaves its current
  // parent's children and, when the new parent exists, joins its children
  // with Parent and ParentID set. When no client ParnetID exists the client
  // becomes a root: Parent none and ParentID Null.
  void ClientParentChanged(int32_t ClientID, int32_t ParnetID);
  // The first client whose FirstName, trimmed and upper-cased, equals Name
  // trimmed and upper-cased; none when nothing matches.
  std::shared_ptr<CClient> ClientByName(std::string_view Name) const;
  // The same over Username.
  std::shared_ptr<CClient> ClientByUserName(std::string_view Username) const;

  void Deallocate() override;

 private:
  KeyedCollection<CClient> m_items;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENTS_H_
