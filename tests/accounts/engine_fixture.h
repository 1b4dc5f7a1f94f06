#ifndef ORVANE_TESTS_ACCOUNTS_ENGINE_FIXTURE_H_
#define ORVANE_TESTS_ACCOUNTS_ENGINE_FIXTURE_H_

// A small book for the account engine tests: the unit symbol (1, USD),
// EURUSD (2), GBPUSD (3) and EURGBP (4, profit converted through GBPUSD),
// all closing for the weekend from Friday 22:00 to Sunday 22:00, and a
// listener that writes every event as one line of text.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_refs.h"
#include "orvane/clients/clients.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbol_trading_times.h"
#include "orvane/market/symbols.h"

namespace orvane::engine_test {

// Wednesday 3 March 2027 12:00, a trading day; Saturday is the 6th.
inline DateTime Wednesday() { return DateTime::FromParts(2027, 3, 3, 12, 0, 0); }
inline DateTime Saturday() { return DateTime::FromParts(2027, 3, 6, 12, 0, 0); }

constexpr int32_t kEurUsd = 2, kGbpUsd = 3, kEurGbp = 4;
using Lines = std::vector<std::string>;

// Spread 2 pips on EURUSD and GBPUSD, 3 on EURGBP, no spread on USD; laid on
// the ask (the client's bid is the quote's bid).
inline const char* kParams =
    "1,0,0,0,0,0,100,0.01,0,"
    "2,2,0,0,0,5,100,0.01,0,"
    "3,2,0,0,0,0,100,0.01,0,"
    "4,3,0,0,0,0,100,0.01,0";

class Recorder : public CAccountsTransactionsEvents {
 public:
  std::vector<std::string> lines;
  // Set by a test to answer RaiseHitOrder.
  std::function<bool(const COrder&)> answer = [](const COrder&) { return false; };
  // Set by a test to act on an event once its line is written.
  std::function<void(const std::string&)> then;

  void SendLiquidateAccount(int32_t& c, int32_t& a) override {
    Log("SendLiquidateAccount", c, a);
  }
  void NewAccountSummeriesData(int32_t& c, int32_t& a, double& balance, double& flt,
                               double& credit, double& equity, double& margin,
                               double& level, double& effective, int32_t& open) override {
    Figures("NewAccountSummeriesData", c, a, balance, flt, credit, equity, margin, level,
            effective, open);
  }
  void UpdateListView(int32_t& c, int32_t& a, double& balance, double& flt, double& credit,
                      double& equity, double& margin, double& level, double& effective,
                      int32_t& open) override {
    Figures("UpdateListView", c, a, balance, flt, credit, equity, margin, level, effective, open);
  }
  void DeleteFromListView(int32_t& c, int32_t& a) override { Log("DeleteFromListView", c, a); }
  void RaiseHitOrder(OrdersTypeEnum& type, std::shared_ptr<COrder>& order,
                     std::shared_ptr<CAccount>& account, bool& second, bool& done,
                     int16_t& sl_or_tp) override {
    Log("RaiseHitOrder", type, "order", order->OrderId(), "account", account->AccountID(),
        "second", second, "sltp", sl_or_tp, "at", order->hitPrice());
    done = answer(*order);
  }
  void RaiseHitAlert(std::shared_ptr<CAlert>& alert, std::shared_ptr<CClient>& client) override {
    Log("RaiseHitAlert", alert->ID(), "client", client->ClientID(), "at", alert->hitPrice());
  }
  void SendLiqPosition(int32_t& c, int32_t& a, int32_t& ticket, int32_t& symbol,
                       double& close, double& ref, double& lots, double& effective) override {
    Log("SendLiqPosition", c, a, "ticket", ticket, "symbol", symbol, "close", close, "ref", ref,
        "lots", lots, "eff", effective);
  }
  void ParametersChanged(int32_t& count) override { Log("ParametersChanged", count); }
  void AddLogEntry(std::string& msg, int16_t& level) override { Log("AddLogEntry", level, msg); }
  void ChangePosInterest(int32_t& c, int32_t& a, int32_t& ticket, double& interest) override {
    Log("ChangePosInterest", c, a, ticket, interest);
  }
  void ChangeTotInterest(int32_t& c, int32_t& a, double& total) override {
    Log("ChangeTotInterest", c, a, total);
  }

  // The lines that start with `prefix`.
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& line : lines) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }

 private:
  void Figures(const char* event, int32_t c, int32_t a, double balance, double flt,
               double credit, double equity, double margin, double level, double effective,
               int32_t open) {
    Log(event, c, a, "bal", balance, "flt", flt, "cr", credit, "eq", equity, "mreq", margin,
        "ml", level, "eff", effective, "open", open);
  }

  // Numbers as the system writes them, integers and enums as keys.
  template <typename T>
  static std::string Text(const T& value) {
    if constexpr (std::is_floating_point_v<T>) {
      return NumberText(value);
    } else if constexpr (std::is_convertible_v<T, std::string>) {
      return std::string(value);
    } else {
      return KeyOf(static_cast<int64_t>(value));
    }
  }

  template <typename... Parts>
  void Log(const Parts&... parts) {
    std::string line;
    ((line += Text(parts) + " "), ...);
    line.pop_back();
    lines.push_back(line);
    if (then) then(line);
  }
};

class EngineTest : public ::testing::Test {
 protected:
  EngineTest()
      : clock(std::make_shared<FixedClock>(Wednesday())),
        scoped(clock),
        engine(std::make_shared<CAccountsTransactions>()),
        symbols(std::make_shared<CSymbols>()) {
    engine->InitializeNeededData(symbols, SERVER_SIDE_EXECUTION);
    AddSymbol(1, "USD", -4, 1, 1, 1, 1.0, 1.0);
    AddSymbol(2, "EURUSD", -4, 100000, 1, 1, 1.2000, 1.2001);
    AddSymbol(3, "GBPUSD", -4, 100000, 1, 1, 1.3000, 1.3001);
    AddSymbol(4, "EURGBP", -4, 100000, 3, 1, 0.9000, 0.9001);
    symbols->SetSymbolsRefSymbols();
    engine->Advise(&events);
  }

  ~EngineTest() override {
    if (!engine) return;  // a test that took the book down itself
    engine->Unadvise(&events);
    engine->Deallocate();
    symbols->Deallocate();
  }

  void AddSymbol(int32_t id, const std::string& name, int32_t pips, double factor,
                 int32_t ref, int32_t ref_case, double bid, double ask) {
    ASSERT_NE(NewSymbol(id, name, pips, factor, ref, ref_case, bid, ask), nullptr);
  }

  std::shared_ptr<CSymbol> NewSymbol(int32_t id, const std::string& name, int32_t pips,
                                     double factor, int32_t ref, int32_t ref_case, double bid,
                                     double ask) {
    return engine->NewSymbol(
        0, ref_case, 1, factor, "03/03/2027 12:00:00", bid, ask, bid, ask, true, true, ref,
        pips, symbol_type, name, id, "SUNDAY", "22:00", "FRIDAY", "22:00", Null, Null, Null,
        Null, Null, Null, false, "", false, "1", "1", false, false, "0", "0", "", false, "60",
        FromBidSpread, "", bid, bid);
  }

  std::shared_ptr<CSymbol> Symbol(int32_t id) { return symbols->Item(KeyOf(id)); }
  std::shared_ptr<CCurAccount> Index(int32_t id) {
    return std::dynamic_pointer_cast<CCurAccount>(Symbol(id)->Ref1());
  }

  // A client with the book's parameters, loaded.
  std::shared_ptr<CClient> Client(int32_t id, LiquidationTypeEnum liq = MARGIN_LEVEL_LIQUIDATION,
                                  double point = 50, CommCalcTypeEnum comm = ON_CLOSE_TYPE,
                                  const Variant& parent = Null) {
    auto client = engine->AddNewClient(id, kParams, parent, CLIENT_TYPE, false, liq, point,
                                       "C" + KeyOf(id), "", "", "", "u" + KeyOf(id), 2, comm);
    if (client) client->ParamsLoaded(true);
    return client;
  }

  // A normal account with a deposit and a (negative) margin requirement.
  std::shared_ptr<CAccount> Account(int32_t client, int32_t account, double deposit,
                                    double margin = 0, bool loading = true) {
    return engine->AddNewAccount(client, account, 1, 0, 0, margin, 0, deposit, 0, 0, 0, 0,
                                 false, false, loading);
  }

  std::shared_ptr<COpenPosition> Position(int32_t client, int32_t account, int32_t ticket,
                                          int32_t symbol, double lots, double price,
                                          int32_t type) {
    return engine->AddNewOpenPosition(client, account, ticket, symbol, lots, price, type, 0,
                                      "03/03/2027 09:00:00", "", true);
  }

  // An order without hit price, hit time or note.
  std::shared_ptr<COrder> Order(int32_t client, int32_t account, int32_t id,
                                OrdersTypeEnum kind, OperationTypeEnum type, int32_t io,
                                int32_t symbol, double limit, double sl, double tp,
                                int16_t status = 0, double lots = 1) {
    return engine->AddNewOrder(client, account, id, kind, type, io, lots, symbol, limit, sl, tp,
                               status, 0, DateTime(), "", "");
  }

  // Stores a quote the way a host does and hands it to the engine.
  void Quote(int32_t id, double bid, double ask, const std::string& time = "03/03/2027 12:00:05") {
    auto symbol = Symbol(id);
    symbol->Bid(bid);
    symbol->Ask(ask);
    symbol->LastQuteTime(time);
    engine->DealWithChangedSymbolPrices(symbol);
  }
  // The same with the events recorded so far forgotten first.
  void QuoteAfresh(int32_t id, double bid, double ask) {
    events.lines.clear();
    Quote(id, bid, ask);
  }

  std::shared_ptr<FixedClock> clock;
  ScopedClock scoped;
  std::shared_ptr<CAccountsTransactions> engine;
  std::shared_ptr<CSymbols> symbols;
  Recorder events;
};

}  // namespace orvane::engine_test

#endif  // ORVANE_TESTS_ACCOUNTS_ENGINE_FIXTURE_H_
