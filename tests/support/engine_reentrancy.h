#ifndef ORVANE_TESTS_SUPPORT_ENGINE_REENTRANCY_H_
#define ORVANE_TESTS_SUPPORT_ENGINE_REENTRANCY_H_

// A host of the account engine driven by bytes, shared by the libFuzzer
// target fuzz/engine_reentrancy.cpp and the test that replays its corpus.
//
// The host decodes a sequence of operations (clients, accounts, positions,
// orders, alerts and symbols added and deleted, quotes, interest, booked
// totals, execution results, markets closing and opening) and applies them
// to an engine on the server or the client side. As the engine's listener it
// answers every event by calling back into the engine with more operations
// decoded from the same bytes, nested up to a fixed depth. Afterwards it
// deletes the positions that can no longer be priced (their symbol or its
// reference symbol was deleted), quotes every symbol again and checks every
// account's figures against a recomputation from its records.
//
// RunEngineSequence gives the empty text when every check holds, otherwise
// what failed. An orvane::Error from an operation is a failure the engine
// reports to its caller, not a fault.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/clients.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbol_trading_times.h"
#include "orvane/market/symbols.h"

namespace orvane::reentrancy {

// An account's figures as the summaries give them.
struct Figures {
  double flt, balance, equity, margin_level, effective_margin;
};

// The floating result of a position: the symbol's deal profit from the open
// price to the client's close price, converted at the client's close price
// of the reference symbol, with commission and interest for ON_CLOSE_TYPE,
// rounded to cents. None when the position cannot be priced.
inline std::optional<double> PositionResult(const COpenPosition& position,
                                            CommCalcTypeEnum comm_calc_type) {
  const auto param = position.SymbolParam();
  if (!param || !param->Symbol() || !param->Parent() || !param->Parent()->Symbol()) {
    return std::nullopt;
  }
  const OperationTypeEnum side = position.Type_no();
  const double close = param->ClosePriceWithSpread(side);
  const double ref_close = param->Parent()->ClosePriceWithSpread(side);
  const Variant profit = param->Symbol()->DealProfit(
      position.Price(), close, position.lots(), side, position.Interest(),
      param->CommissionValue(position.lots()), comm_calc_type, ref_close, true);
  return RoundMoney(profit.NumberValue());
}

// What an account's figures must be, from its positions and booked totals.
inline std::optional<Figures> Recompute(const CAccount& account) {
  const auto client = account.Client();
  const auto& s = *account.SummeryInfo();
  const auto comm_calc_type = client ? client->CommCalcType() : CommCalcTypeEnum{};
  double flt = 0;
  for (const auto& position : account.OpenPositions()->Items()) {
    const auto result = PositionResult(*position, comm_calc_type);
    if (!result) return std::nullopt;
    flt += *result;
  }
  const double balance = s.TotalDeposit() + s.PreviousMargin() + s.NetProfit() +
                         s.TotalCommission() + s.TotalInterest();
  const double equity = flt + balance + s.Credit();
  const double margin = s.MarginRequirement();
  const double level = margin != 0 ? equity / (margin < 0 ? -margin : margin) : 1.0;
  const double effective =
      RoundMoney(s.MarginAccount() ? margin + equity : s.Credit() + balance + margin);
  return Figures{flt, balance, equity, level, effective};
}

// Bytes read front to back; 0 once they run out.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool Empty() const { return m_at >= m_size; }
  uint8_t Next() { return Empty() ? 0 : m_data[m_at++]; }
  int Pick(int n) { return Next() % n; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

class Host final : public CAccountsTransactionsEvents {
 public:
  Host(const uint8_t* data, size_t size)
      : m_bytes(data, size),
        m_clock(std::make_shared<FixedClock>(kWednesday())),
        m_scoped(m_clock) {}

  ~Host() override {
    m_engine->Unadvise(this);
    m_engine->Deallocate();
    m_symbols->Deallocate();
  }

  std::string Run() {
    try {
      SetUp();
      for (int n = 0; n < kMaxOperations && !m_bytes.Empty(); ++n) Operate();
      return Check();
    } catch (const std::exception& e) {
      return std::string("unexpected exception: ") + e.what();
    }
  }

  void SendLiquidateAccount(int32_t&, int32_t&) override { React(); }
  void NewAccountSummeriesData(int32_t&, int32_t&, double&, double&, double&, double&, double&,
                               double&, double&, int32_t&) override {
    React();
  }
  void UpdateListView(int32_t&, int32_t&, double&, double&, double&, double&, double&, double&,
                      double&, int32_t&) override {
    React();
  }
  void DeleteFromListView(int32_t&, int32_t&) override { React(); }
  void RaiseHitOrder(OrdersTypeEnum&, std::shared_ptr<COrder>&, std::shared_ptr<CAccount>&,
                     bool&, bool& Done, int16_t&) override {
    if (m_depth < kMaxDepth) Done = m_bytes.Pick(2) == 1;
    React();
  }
  void RaiseHitAlert(std::shared_ptr<CAlert>&, std::shared_ptr<CClient>&) override { React(); }
  void SendLiqPosition(int32_t&, int32_t&, int32_t&, int32_t&, double&, double&, double&,
                       double&) override {
    React();
  }
  void ParametersChanged(int32_t&) override { React(); }
  void AddLogEntry(std::string&, int16_t&) override { React(); }
  void ChangePosInterest(int32_t&, int32_t&, int32_t&, double&) override { React(); }
  void ChangeTotInterest(int32_t&, int32_t&, double&) override { React(); }

 private:
  struct SymbolShape {
    int32_t id;
    const char* name;
    double factor;
    int32_t ref, ref_case;
    double bid;
    bool indexed;
  };
  // USDCHF refers to itself and converts through the reciprocal; XAUUSD is
  // built without an index.
  static constexpr SymbolShape kShapes[] = {
      {1, "USD", 1, 1, 1, 1.0, true},         {2, "EURUSD", 100000, 1, 1, 1.2, true},
      {3, "GBPUSD", 100000, 1, 1, 1.3, true}, {4, "EURGBP", 100000, 3, 1, 0.9, true},
      {5, "USDCHF", 100000, 5, 0, 0.91, true}, {6, "XAUUSD", 100, 1, 1, 1900, false}};
  static constexpr const char* kParams[] = {
      "1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,5,100,0.01,0,3,2,0,0,0,0,100,0.01,0,"
      "4,3,0,0,0,0,100,0.01,0,5,1,0,0,0,2,100,0.01,0,6,5,0,0,0,1,100,0.01,0",
      "2,4,0,0,0,7,100,0.01,1,3,,2,0,0,1,100,0.01,0,4,1,0,0,0,0,100,0.01,-1,"
      "5,3,1,0,0,0,100,0.01,0"};
  static constexpr int kMaxOperations = 400;
  static constexpr int kMaxDepth = 3;
  static DateTime kWednesday() { return DateTime::FromParts(2027, 3, 3, 12, 0, 0); }

  void SetUp() {
    m_engine->InitializeNeededData(
        m_symbols, m_bytes.Pick(2) == 0 ? SERVER_SIDE_EXECUTION : CLIENT_SIDE_EXECUTION);
    m_final_listener = m_bytes.Pick(2) == 1;
    for (const SymbolShape& shape : kShapes) AddSymbol(shape);
    m_engine->Advise(this);
  }

  void AddSymbol(const SymbolShape& s) {
    auto symbol = m_engine->NewSymbol(
        0, s.ref_case, 1, s.factor, "03/03/2027 12:00:00", s.bid, s.bid, s.bid, s.bid, true,
        true, s.ref, -4, symbol_type, s.name, s.id, "SUNDAY", "22:00", "FRIDAY", "22:00", Null,
        Null, Null, Null, Null, Null, false, "", false, "1", "1", false, false, "0", "0", "",
        false, "60", FromBidSpread, "", s.bid, s.bid);
    if (!symbol) return;
    if (!s.indexed) symbol->Ref1(nullptr);
    m_symbols->SetSymbolsRefSymbols();
  }

  // Calls back into the engine from an event, to a bounded depth.
  void React() {
    if (m_depth >= kMaxDepth || m_bytes.Empty()) return;
    const int count = m_bytes.Pick(4);
    ++m_depth;
    for (int i = 1; i < count; ++i) Operate();
    --m_depth;
  }

  int32_t ClientId() { return 1 + m_bytes.Pick(4); }
  // Account numbers are unique over all clients, as hosts keep them.
  int32_t AccountId(int32_t client) { return client * 10 + m_bytes.Pick(3); }
  int32_t Ticket() { return 1 + m_bytes.Pick(12); }
  int32_t SymbolId() { return 1 + m_bytes.Pick(7); }
  double BaseOf(int32_t symbol) {
    for (const SymbolShape& s : kShapes) {
      if (s.id == symbol) return s.bid;
    }
    return 1.0;
  }
  // A price within a few percent of the symbol's base price.
  double PriceNear(int32_t symbol) { return BaseOf(symbol) * (1 + (m_bytes.Pick(33) - 16) / 400.0); }
  double Money() { return (m_bytes.Pick(64) - 16) * 250.0; }
  double Lots() { return 0.5 * (1 + m_bytes.Pick(6)); }
  int32_t Side() { return m_bytes.Pick(2) == 0 ? BuyType : SellType; }

  void Operate() {
    try {
      OperateUnguarded();
    } catch (const Error&) {
    }
  }

  // Every value is read into a local first, in order: the order in which a
  // call's arguments are evaluated differs between compilers.
  void OperateUnguarded() {
    CAccountsTransactions& e = *m_engine;
    switch (m_bytes.Pick(24)) {
      case 0: {
        const int32_t id = ClientId();
        const Variant parent = m_bytes.Pick(3) == 0 ? Variant(ClientId()) : Variant(Null);
        const auto liquidation = static_cast<LiquidationTypeEnum>(m_bytes.Pick(3));
        const double point = (liquidation == EQUITY_LIQUIDATION ? 2000.0 : 50.0) * m_bytes.Pick(4);
        const char* params = kParams[m_bytes.Pick(2)];
        const auto type = m_bytes.Pick(4) == 0 ? OFFICE_TYPE : CLIENT_TYPE;
        const bool interest = m_bytes.Pick(2) == 1;
        const auto comm = m_bytes.Pick(2) == 0 ? ON_OPEN_TYPE : ON_CLOSE_TYPE;
        const bool loaded = m_bytes.Pick(4) != 0;
        auto client = e.AddNewClient(id, params, parent, type, interest, liquidation, point, "F",
                                     "", "", "L", "u", 2, comm);
        if (client) client->ParamsLoaded(loaded);
        break;
      }
      case 1: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t type = m_bytes.Pick(3);
        const int32_t demo = m_bytes.Pick(2);
        const double commission = -m_bytes.Pick(20);
        const double margin = -400.0 * m_bytes.Pick(64);
        const double net = Money();
        const double deposit = 500.0 * m_bytes.Pick(64);
        const double credit = 100.0 * m_bytes.Pick(4);
        const double previous = Money();
        const int32_t dont_liquidate = m_bytes.Pick(5) == 0 ? 1 : 0;
        const double interest = m_bytes.Pick(9) - 4;
        const bool locked = m_bytes.Pick(2) == 1;
        const bool margin_account = m_bytes.Pick(2) == 1;
        const bool loading = m_bytes.Pick(2) == 1;
        e.AddNewAccount(client, account, type, demo, commission, margin, net, deposit, credit,
                        previous, dont_liquidate, interest, locked, margin_account, loading);
        break;
      }
      case 2: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t ticket = Ticket();
        const int32_t symbol = SymbolId();
        const double lots = Lots();
        const double price = PriceNear(symbol);
        const int32_t side = Side();
        const double interest = m_bytes.Pick(5);
        const bool loading = m_bytes.Pick(2) == 1;
        e.AddNewOpenPosition(client, account, ticket, symbol, lots, price, side, interest,
                             "03/03/2027 09:00:00", "", loading);
        break;
      }
      case 3: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        e.DeleteOpenPosition(client, account, Ticket());
        break;
      }
      case 4: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t ticket = Ticket();
        e.ClosePosition(client, account, ticket, 0.5 * m_bytes.Pick(6));
        break;
      }
      case 5: {
        const int32_t client = ClientId();
        e.CloseAllPositions(client, AccountId(client));
        break;
      }
      case 6: {
        static constexpr int32_t kSides[] = {BuyType, SellType, BuyStopType, SellStopType};
        static constexpr int16_t kStatus[] = {0, 0, 0, 1, 11};
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t symbol = SymbolId();
        const int32_t id = 1 + m_bytes.Pick(8);
        const int32_t kind = m_bytes.Pick(2) == 0 ? LimitOrdersType : SlTpType;
        const int32_t side = kSides[m_bytes.Pick(4)];
        const int32_t ticket = Ticket();
        const double lots = Lots();
        const double limit = PriceNear(symbol);
        const double sl = m_bytes.Pick(3) == 0 ? 0.0 : PriceNear(symbol);
        const double tp = m_bytes.Pick(3) == 0 ? -1.0 : PriceNear(symbol);
        const int16_t status = kStatus[m_bytes.Pick(5)];
        e.AddNewOrder(client, account, id, kind, side, ticket, lots, symbol, limit, sl, tp, status,
                      0, DateTime(), "", "");
        break;
      }
      case 7: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t id = 1 + m_bytes.Pick(8);
        if (m_bytes.Pick(2) == 0) {
          e.DeleteOrder(client, account, id);
        } else {
          e.OrderStatusChanged(client, account, id);
        }
        break;
      }
      case 8: {
        const int32_t client = ClientId();
        const int32_t id = 1 + m_bytes.Pick(4);
        const int32_t symbol = SymbolId();
        const int32_t condition = 1 + m_bytes.Pick(4);
        e.AddNewAlert(client, id, symbol, condition, PriceNear(symbol), 2, true);
        break;
      }
      case 9: {
        const int32_t client = ClientId();
        const int32_t id = 1 + m_bytes.Pick(4);
        if (m_bytes.Pick(2) == 0) {
          e.DeleteAlert(client, id);
        } else {
          const int32_t symbol = SymbolId();
          const int32_t condition = 1 + m_bytes.Pick(4);
          e.UpdateAlert(id, client, symbol, condition, PriceNear(symbol));
        }
        break;
      }
      case 10:
        e.DeleteClient(ClientId());
        break;
      case 11: {
        const int32_t client = ClientId();
        e.DeleteAccount(client, AccountId(client));
        break;
      }
      case 12:
        AddSymbol(kShapes[m_bytes.Pick(6)]);
        break;
      case 13:
        e.DeleteSymbol(SymbolId());
        break;
      case 14: {
        const int32_t id = SymbolId();
        const double bid = PriceNear(id);
        const double ask = bid + 0.0001 * m_bytes.Pick(4);
        auto symbol = m_symbols->Item(KeyOf(id));
        if (!symbol) break;
        symbol->Bid(bid);
        symbol->Ask(ask);
        symbol->LastQuteTime("03/03/2027 12:00:05");
        e.DealWithChangedSymbolPrices(symbol);
        break;
      }
      case 15: {
        const int32_t symbol = SymbolId();
        const auto days = static_cast<int16_t>(1 + m_bytes.Pick(3));
        const double buy = m_bytes.Pick(9) - 4;
        const double sell = m_bytes.Pick(9) - 4;
        const int16_t year = m_bytes.Pick(2) == 0 ? 365 : 360;
        e.CalculateInterest(symbol, days, buy, sell, year);
        break;
      }
      case 16: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const double commission = -m_bytes.Pick(20);
        const double margin = -400.0 * m_bytes.Pick(64);
        const double net = Money();
        const double deposit = 500.0 * m_bytes.Pick(64);
        const double credit = 100.0 * m_bytes.Pick(4);
        const double previous = Money();
        const bool lock = m_bytes.Pick(3) == 0;
        const double interest = m_bytes.Pick(9) - 4;
        e.UpdateAccountSummaries(client, account, commission, margin, net, deposit, credit,
                                 previous, lock, interest);
        break;
      }
      case 17:
        e.RefreshListView();
        break;
      case 18: {
        const int32_t client = ClientId();
        const int kind = m_bytes.Pick(4);
        const int value = m_bytes.Pick(3);
        if (kind == 0) {
          e.ClientParametersChanged(client, kParams[value % 2], 2);
        } else if (kind == 1) {
          e.ClientOneParameterChanged(client, 0, 102 + value, 50 * m_bytes.Pick(3));
        } else if (kind == 2) {
          e.GeneralClientParametersChanged(client, 0, 117, 1 + value % 2);
        } else {
          e.Clients()->ClientParentChanged(client, ClientId());
        }
        break;
      }
      case 19: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t ticket = Ticket();
        if (m_bytes.Pick(2) == 0) {
          const auto kind = static_cast<MarketOrLimitOrderEnum>(1 + m_bytes.Pick(4));
          e.OrderRejected(kind, client, account, 1 + m_bytes.Pick(8), ticket);
        } else {
          static constexpr int32_t kResults[] = {-51, -50, -5, -10, 0};
          e.CloseResultReceived(kResults[m_bytes.Pick(5)], client, account, ticket);
        }
        break;
      }
      case 20: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t ticket = Ticket();
        const double lots = 0.5 * m_bytes.Pick(6);
        const int32_t symbol = SymbolId();
        const double price = PriceNear(symbol);
        const int32_t side = Side();
        const double interest = m_bytes.Pick(5);
        e.UpdateOpenPosition(client, account, ticket, lots, price, side, symbol, interest, "",
                             "");
        break;
      }
      case 21: {
        // A market closes or opens, by its switch or by the clock.
        auto symbol = m_symbols->Item(KeyOf(SymbolId()));
        const auto times = symbol ? symbol->SymbolTradingTimes() : nullptr;
        if (m_bytes.Pick(2) == 0 && times) {
          times->Closed(!times->Closed());
        } else {
          DateTime now = kWednesday();
          if (m_bytes.Pick(2) == 1) now += 3.0;  // Saturday
          m_clock->Set(now);
        }
        break;
      }
      case 22:
        if (m_bytes.Pick(2) == 0) {
          e.Unadvise(this);
        } else {
          e.Advise(this);
        }
        break;
      default: {
        const int32_t client = ClientId();
        const int32_t account = AccountId(client);
        const int32_t type = m_bytes.Pick(3);
        const bool demo = m_bytes.Pick(2) == 1;
        const bool locked = m_bytes.Pick(2) == 1;
        const bool exempt = m_bytes.Pick(4) == 0;
        e.UpdateAccount(client, account, type, demo, locked, exempt);
        break;
      }
    }
  }

  std::string Check() {
    m_engine->Unadvise(this);
    const auto clients = m_engine->Clients()->Items().Snapshot();
    for (const auto& client : clients) {
      for (const auto& account : client->Accounts()->NewEnum()) {
        const auto comm_calc_type = client->CommCalcType();
        for (const auto& position : account->OpenPositions()->NewEnum()) {
          if (PositionResult(*position, comm_calc_type)) continue;
          try {
            m_engine->DeleteOpenPosition(client->ClientID(), account->AccountID(),
                                         position->Ticket());
          } catch (const Error&) {
          }
        }
      }
    }
    CAccountsTransactionsEvents passive;
    if (m_final_listener) m_engine->Advise(&passive);
    std::string problem;
    for (const auto& symbol : m_symbols->NewEnum()) {
      try {
        m_engine->DealWithChangedSymbolPrices(symbol);
      } catch (const Error& e) {
        problem = "quoting symbol " + KeyOf(symbol->ID()) + " failed: " + e.what();
        break;
      }
    }
    m_engine->Unadvise(&passive);
    if (!problem.empty()) return problem;
    for (const auto& client : clients) {
      for (const auto& account : client->Accounts()->NewEnum()) {
        problem = CheckFigures(*account);
        if (!problem.empty()) return problem;
      }
    }
    return std::string();
  }

  static std::string CheckFigures(const CAccount& account) {
    const std::string name = KeyOf(account.ClientID()) + "/" + KeyOf(account.AccountID());
    const auto expected = Recompute(account);
    if (!expected) return "account " + name + " holds a position that cannot be priced";
    const CSummaries& s = *account.SummeryInfo();
    const Figures actual{s.FloatingProfitLoss(), s.Balance(), s.Equity(), s.marginLevel(),
                         s.EffectiveMargin()};
    const char* names[] = {"floating result", "balance", "equity", "margin level",
                           "effective margin"};
    const double got[] = {actual.flt, actual.balance, actual.equity, actual.margin_level,
                          actual.effective_margin};
    const double want[] = {expected->flt, expected->balance, expected->equity,
                           expected->margin_level, expected->effective_margin};
    for (int i = 0; i < 5; ++i) {
      if (got[i] != want[i]) {
        return "account " + name + ": " + names[i] + " " + NumberText(got[i]) +
               ", recomputed " + NumberText(want[i]);
      }
    }
    return std::string();
  }

  Bytes m_bytes;
  std::shared_ptr<FixedClock> m_clock;
  ScopedClock m_scoped;
  std::shared_ptr<CAccountsTransactions> m_engine = std::make_shared<CAccountsTransactions>();
  std::shared_ptr<CSymbols> m_symbols = std::make_shared<CSymbols>();
  bool m_final_listener = false;
  int m_depth = 0;
};

inline std::string RunEngineSequence(const uint8_t* data, size_t size) {
  return Host(data, size).Run();
}

}  // namespace orvane::reentrancy

#endif  // ORVANE_TESTS_SUPPORT_ENGINE_REENTRANCY_H_
