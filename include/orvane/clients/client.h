#ifndef ORVANE_CLIENTS_CLIENT_H_
#define ORVANE_CLIENTS_CLIENT_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/accounts/liquidation_type_enum.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/comm_calc_type_enum.h"

namespace orvane {

class CAccounts;
class CAlerts;
class CClientParam;
class CClientParams;
class CClientRefs;
class CGenerals;
class CSymbol;
class CSymbols;

// One party of the broker's tree: a trading client, an office or another
// group. It owns its accounts, its price alerts, its list of children and its
// per-symbol parameter entries (through which every price of its positions is
// read). Parent is a back reference, held weakly: a parent that has gone
// reads as none.
//
// Deallocate (also run when the object ends) releases the four collections
// through their own Deallocate (the child list only drops its entries, never
// the children) and clears Parent; the collections stay, empty.
class CClient : public Object, public ISafeObject, private NonCopyable {
 public:
  CClient();
  ~CClient() override;

  // The client's entry of a symbol; none when it has none.
  std::shared_ptr<CClientParam> SymbolParam(int32_t SymbolID) const;
  // Applies a client parameters text (nine fields per symbol): every entry
  // whose symbol Symbols holds goes through AddParam (DontModifiy false);
  // entries of absent symbols are skipped. Then every entry's Parent is set
  // to the entry of its symbol's reference symbol. Errors of the text (a
  // field that is no number, an incomplete last group) reach the caller
  // before any entry is changed. Throws Error(ObjectRequired) for no
  // Generals; no Symbols applies nothing.
  void RefreshClientParams(const std::string& Params,
                           const std::shared_ptr<CSymbols>& Symbols,
                           const std::shared_ptr<CGenerals>& Generals,
                           bool ForSureAdd, int16_t ClientOrServer);
  // Re-links the client's alerts and parameter entries to the symbol objects
  // of Symbols (after the host replaced its symbols). An alert whose symbol
  // is not in Symbols holds no symbol afterwards (its SymbolID stays, so a
  // later call can link it again); an entry whose symbol is not in Symbols
  // keeps its symbol.
  void RefreshSymbols(const std::shared_ptr<CSymbols>& Symbols);
  // Has no effect.
  void InitializeParams(const std::shared_ptr<CSymbols>& Symbols,
                        int16_t ClientOrServer);
  // The entry for Symbol: a new one (ClientOrServer 1: the full entry; any
  // other value: the server entry), or the existing one, overwritten unless
  // DontModifiy. In every case its Symbol becomes Symbol. With ForSureAdd no
  // lookup is made: the caller guarantees there is no entry; when there is
  // one, Error(DuplicateKey) is thrown and the entry is left as it was. The
  // kind is chosen to name the cause: the refused entry, not the missing
  // object that giving no entry its Symbol would otherwise report.
  // Throws Error(ObjectRequired) for no Symbol.
  std::shared_ptr<CClientParam> AddParam(const Variant& Spread, int16_t SourcePlus,
                                         double Commission, double MaxLots,
                                         double MinLots, double LimitOff,
                                         double StopOff, int16_t PriceOffset,
                                         const std::shared_ptr<CSymbol>& Symbol,
                                         bool DontModifiy, bool ForSureAdd,
                                         int16_t ClientOrServer);

  int32_t ClientID() const { return m_client_id; }
  void ClientID(int32_t value) { m_client_id = value; }
  // The parent's ID as received; Null for a root. Empty until set.
  const Variant& ParentID() const { return m_parent_id; }
  void ParentID(Variant value) { m_parent_id = std::move(value); }
  // Never null.
  const std::shared_ptr<CAccounts>& Accounts() const { return m_accounts; }
  const std::shared_ptr<CAlerts>& Alerts() const { return m_alerts; }
  ClientTypeEnum ClientType() const { return m_client_type; }
  void ClientType(ClientTypeEnum value) { m_client_type = value; }
  const std::shared_ptr<CClientRefs>& ChildrenClients() const { return m_children; }
  std::shared_ptr<CClient> Parent() const { return m_parent.lock(); }
  void Parent(const std::shared_ptr<CClient>& value) { m_parent = value; }
  bool EnableInterest() const { return m_enable_interest; }
  void EnableInterest(bool value) { m_enable_interest = value; }
  double LiquidationPoint() const { return m_liquidation_point; }
  void LiquidationPoint(double value) { m_liquidation_point = value; }
  LiquidationTypeEnum LiquidationType() const { return m_liquidation_type; }
  void LiquidationType(LiquidationTypeEnum value) { m_liquidation_type = value; }
  const std::string& FirstName() const { return m_first_name; }
  void FirstName(std::string value) { m_first_name = std::move(value); }
  const std::string& SecondName() const { return m_second_name; }
  void SecondName(std::string value) { m_second_name = std::move(value); }
  const std::string& ThirdName() const { return m_third_name; }
  void ThirdName(std::string value) { m_third_name = std::move(value); }
  const std::string& LastName() const { return m_last_name; }
  void LastName(std::string value) { m_last_name = std::move(value); }
  // FirstName, then each non-empty one of SecondName, ThirdName and LastName
  // preceded by one blank (an empty FirstName is not tested: "" and "B" give
  // " B").
  std::string FullName() const;
  const std::shared_ptr<CClientParams>& Params() const { return m_params; }
  const std::string& Username() const { return m_username; }
  void Username(std::string value) { m_username = std::move(value); }
  CommCalcTypeEnum CommCalcType() const { return m_comm_calc_type; }
  void CommCalcType(CommCalcTypeEnum value) { m_comm_calc_type = value; }
  bool ParamsLoaded() const { return m_params_loaded; }
  void ParamsLoaded(bool value) { m_params_loaded = value; }

  void Deallocate() override;

 private:
  int32_t m_client_id = 0;
  Variant m_parent_id;
  ClientTypeEnum m_client_type = static_cast<ClientTypeEnum>(0);
  bool m_enable_interest = false;
  LiquidationTypeEnum m_liquidation_type = static_cast<LiquidationTypeEnum>(0);
  double m_liquidation_point = 0;
  std::string m_first_name;
  std::string m_second_name;
  std::string m_third_name;
  std::string m_last_name;
  std::string m_username;
  CommCalcTypeEnum m_comm_calc_type = static_cast<CommCalcTypeEnum>(0);
  bool m_params_loaded = false;
  std::weak_ptr<CClient> m_parent;
  std::shared_ptr<CAccounts> m_accounts;
  std::shared_ptr<CAlerts> m_alerts;
  std::shared_ptr<CClientRefs> m_children;
  std::shared_ptr<CClientParams> m_params;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_H_
