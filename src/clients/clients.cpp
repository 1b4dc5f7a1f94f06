#include "orvane/clients/clients.h"

#include <cmath>
#include <exception>
#include <limits>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_refs.h"
#include "orvane/core/conversions.h"
#include "orvane/core/keyed_lookup.h"

namespace orvane {
namespace {

// The key text a ParentID names: whole numbers as decimal text, text
// trimmed; nothing for any other value.
std::string parent_key(const Variant& parent_id) {
  if (parent_id.kind() == Variant::Kind::String) {
    return std::string(Trim(parent_id.TextValue()));
  }
  if (parent_id.kind() != Variant::Kind::Number) return std::string();
  const double id = parent_id.NumberValue();
  if (!(std::fabs(id) < 1e15)) return std::string();
  return id == std::floor(id) ? KeyOf(static_cast<int64_t>(id)) : NumberText(id);
}

bool same_folded(std::string_view a, std::string_view b) {
  return ToUpper(Trim(a)) == ToUpper(Trim(b));
}

}  // namespace

CClients::~CClients() { Deallocate(); }

void CClients::SetClientsParents() {
  for (const auto& client : m_items) {
    if (client->ParentID().IsNull()) continue;
    std::shared_ptr<CClient> parent = m_items.Item(parent_key(client->ParentID()));
    if (!parent) continue;
    client->Parent(parent);
    parent->ChildrenClients()->Add(client);
  }
}

std::shared_ptr<CClient> CClients::Add(
    int32_t ClientID, const std::string& Spreads, const Variant& ParentID,
    ClientTypeEnum vClientType, bool EnableInterest, LiquidationTypeEnum LiqType,
    double LiqPoint, std::string fname, std::string sname, std::string tname,
    std::string lname, std::string Username, const std::shared_ptr<CSymbols>& Symbols,
    const std::shared_ptr<CGenerals>& Generals, int16_t ClientOrServer,
    CommCalcTypeEnum CommCalcType) {
  const std::string key = KeyOf(ClientID);
  try {
    auto client = std::make_shared<CClient>();
    std::shared_ptr<CClient> parent;
    if (!ParentID.IsNull()) parent = m_items.Item(parent_key(ParentID));
    client->Parent(parent);
    client->ClientID(ClientID);
    client->ParentID(ParentID);
    client->ClientType(vClientType);
    client->EnableInterest(EnableInterest);
    client->LiquidationType(LiqType);
    client->LiquidationPoint(LiqPoint);
    client->FirstName(std::move(fname));
    client->SecondName(std::move(sname));
    client->ThirdName(std::move(tname));
    client->LastName(std::move(lname));
    client->Username(std::move(Username));
    client->CommCalcType(CommCalcType);
    if (parent) parent->ChildrenClients()->Add(client);
    if (!Spreads.empty()) {
      client->RefreshClientParams(Spreads, Symbols, Generals, true, ClientOrServer);
    }
    if (!m_items.Add(key, client)) return nullptr;
    return client;
  } catch (const std::exception&) {
    return nullptr;
  }
}

bool CClients::AccountExists(int32_t vAccountID) const {
  return AccountByAccountID(vAccountID) != nullptr;
}

bool CClients::isChild(int32_t ChildID, int32_t ParentID) const {
  if (ChildID == ParentID) return true;
  std::shared_ptr<CClient> client = m_items.Item(KeyOf(ChildID));
  if (!client) return false;
  // More steps than clients means the parent links loop.
  for (int32_t steps = 0; steps <= m_items.Count(); ++steps) {
    client = client->Parent();
    if (!client) return false;
    if (client->ClientID() == ParentID) return true;
  }
  return false;
}

void CClients::InitializeParams(const std::shared_ptr<CSymbols>& Symbols,
                                int16_t ClientOrServer) {
  for (const auto& client : m_items) client->InitializeParams(Symbols, ClientOrServer);
}

void CClients::RefreshSymbols(const std::shared_ptr<CSymbols>& Symbols) {
  for (const auto& client : m_items) client->RefreshSymbols(Symbols);
}

std::shared_ptr<CAccount> CClients::AccountByAccountID(int32_t vAccountID) const {
  const std::string key = KeyOf(vAccountID);
  for (const auto& client : m_items) {
    if (auto account = client->Accounts()->Items().Item(key)) return account;
  }
  return nullptr;
}

std::shared_ptr<CAccount> CClients::Account(int32_t ClientID, int32_t AccountID) const {
  std::shared_ptr<CClient> client = m_items.Item(KeyOf(ClientID));
  if (!client) return nullptr;
  return client->Accounts()->Items().Item(KeyOf(AccountID));
}

std::shared_ptr<CClient> CClients::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

bool CClients::Remove(const Variant& vntIndexKey) {
  std::shared_ptr<CClient> client = ItemByIndexKey(m_items, vntIndexKey);
  if (!client) return false;
  if (std::shared_ptr<CClient> parent = client->Parent()) {
    parent->ChildrenClients()->Remove(KeyOf(client->ClientID()));
  }
  RemoveByIndexKey(m_items, vntIndexKey);
  client->Deallocate();
  return true;
}

void CClients::ClientParentChanged(int32_t ClientID, int32_t ParnetID) {
  std::shared_ptr<CClient> client = m_items.Item(KeyOf(ClientID));
  if (!client) return;
  std::shared_ptr<CClient> new_parent = m_items.Item(KeyOf(ParnetID));
  if (std::shared_ptr<CClient> old_parent = client->Parent()) {
    old_parent->ChildrenClients()->Remove(KeyOf(ClientID));
  }
  if (new_parent) {
    new_parent->ChildrenClients()->Add(client);
    client->Parent(new_parent);
    client->ParentID(ParnetID);
  } else {
    client->Parent(nullptr);
    client->ParentID(Null);
  }
}

std::shared_ptr<CClient> CClients::ClientByName(std::string_view Name) const {
  for (const auto& client : m_items) {
    if (same_folded(client->FirstName(), Name)) return client;
  }
  return nullptr;
}

std::shared_ptr<CClient> CClients::ClientByUserName(std::string_view Username) const {
  for (const auto& client : m_items) {
    if (same_folded(client->Username(), Username)) return client;
  }
  return nullptr;
}

void CClients::Deallocate() {
  for (const auto& client : m_items) client->Deallocate();
  m_items.Clear();
}

}  // namespace orvane
