#include "orvane/clients/client.h"

#include <vector>

#include "../accounts/detail/holder_book.h"

#include "orvane/accounts/accounts.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/clients/client_refs.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"

namespace orvane {
namespace {

void overwrite(CClientParam& entry, const Variant& spread, int16_t source_plus,
               double commission, double max_lots, double min_lots,
               double limit_off, double stop_off, int16_t price_offset) {
  entry.Spread(spread);
  entry.SourcePlus(source_plus);
  entry.Commission(commission);
  entry.MaxLots(max_lots);
  entry.MinLots(min_lots);
  entry.LimitOffset(limit_off);
  entry.StopOffset(stop_off);
  entry.PriceOffset(price_offset);
}

}  // namespace

CClient::CClient()
    : m_accounts(std::make_shared<CAccounts>()),
      m_alerts(std::make_shared<CAlerts>()),
      m_children(std::make_shared<CClientRefs>()),
      m_params(std::make_shared<CClientParams>()) {}

CClient::~CClient() {
  Deallocate();
  detail::StructureChanged();  // the engine's price walk may hold its address
}

std::shared_ptr<CClientParam> CClient::SymbolParam(int32_t SymbolID) const {
  return m_params->Items().Item(IdKey(SymbolID));
}

std::shared_ptr<CClientParam> CClient::AddParam(
    const Variant& Spread, int16_t SourcePlus, double Commission, double MaxLots,
    double MinLots, double LimitOff, double StopOff, int16_t PriceOffset,
    const std::shared_ptr<CSymbol>& Symbol, bool DontModifiy, bool ForSureAdd,
    int16_t ClientOrServer) {
  if (!Symbol) {
    throw Error(ErrorCode::ObjectRequired, "client parameter needs a symbol");
  }
  std::shared_ptr<CClientParam> entry;
  if (!ForSureAdd) entry = SymbolParam(Symbol->ID());
  if (!entry) {
    entry = m_params->Add(Spread, SourcePlus, Commission, MaxLots, MinLots,
                          LimitOff, StopOff, PriceOffset, Symbol, ClientOrServer);
    if (!entry) {
      throw Error(ErrorCode::DuplicateKey,
                  "client " + KeyOf(m_client_id) +
                      " already has parameters for symbol " + KeyOf(Symbol->ID()));
    }
  } else if (!DontModifiy) {
    overwrite(*entry, Spread, SourcePlus, Commission, MaxLots, MinLots, LimitOff,
              StopOff, PriceOffset);
  }
  entry->Symbol(Symbol);
  return entry;
}

void CClient::RefreshClientParams(const std::string& Params,
                                  const std::shared_ptr<CSymbols>& Symbols,
                                  const std::shared_ptr<CGenerals>& Generals,
                                  bool ForSureAdd, int16_t ClientOrServer) {
  if (!Generals) {
    throw Error(ErrorCode::ObjectRequired, "client parameters need a CGenerals");
  }
  std::vector<int32_t> symbol_ids;
  std::vector<Variant> spreads;
  std::vector<int16_t> source_plus;
  std::vector<double> limit_off, stop_off, commission, max_lots, min_lots;
  std::vector<int16_t> price_offset;
  const int32_t n = Generals->SplitClientParameters(
      Params, symbol_ids, spreads, source_plus, limit_off, stop_off, commission,
      max_lots, min_lots, price_offset);
  for (int32_t i = 1; i <= n && Symbols; ++i) {
    std::shared_ptr<CSymbol> symbol = Symbols->Item(Variant(KeyOf(symbol_ids[i])));
    if (!symbol) continue;
    AddParam(spreads[i], source_plus[i], commission[i], max_lots[i], min_lots[i],
             limit_off[i], stop_off[i], price_offset[i], symbol, false, ForSureAdd,
             ClientOrServer);
  }
  m_params->SetParamsRefParams();
}

void CClient::RefreshSymbols(const std::shared_ptr<CSymbols>& Symbols) {
  if (!Symbols) return;
  for (const auto& alert : m_alerts->Items()) {
    alert->Symbol(Symbols->Item(Variant(KeyOf(alert->SymbolID()))));
  }
  for (const auto& symbol : Symbols->Items()) {
    std::shared_ptr<CClientParam> entry = SymbolParam(symbol->ID());
    if (entry) entry->Symbol(symbol);
  }
}

void CClient::InitializeParams(const std::shared_ptr<CSymbols>& /*Symbols*/,
                               int16_t /*ClientOrServer*/) {}

std::string CClient::FullName() const {
  std::string name = m_first_name;
  for (const std::string* part : {&m_second_name, &m_third_name, &m_last_name}) {
    if (!part->empty()) name += " " + *part;
  }
  return name;
}

void CClient::Deallocate() {
  m_accounts->Deallocate();
  m_alerts->Deallocate();
  m_children->Deallocate();
  m_params->Deallocate();
  m_parent.reset();
}

}  // namespace orvane
