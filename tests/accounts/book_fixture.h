#ifndef ORVANE_TESTS_ACCOUNTS_BOOK_FIXTURE_H_
#define ORVANE_TESTS_ACCOUNTS_BOOK_FIXTURE_H_

// A small realistic book: an office with two clients, accounts holding buy
// and sell positions in EURUSD and in the cross EURGBP (whose profit is in
// GBP and converts to USD through GBPUSD), stop-loss/take-profit and limit
// orders, alerts, and the per-symbol index the engine keeps on each symbol.

#include <memory>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/clients/client_refs.h"
#include "orvane/clients/clients.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"
#include "support/symbols.h"

namespace orvane::testing_book {

inline constexpr int32_t kUsd = 1, kEurUsd = 2, kEurGbp = 3, kGbpUsd = 4;

// Client spreads (pips, laid on the bid): EURUSD 2 with 7.5 commission per
// lot, EURGBP 3, GBPUSD 2; the unit symbol carries no spread.
inline constexpr char kSpreads[] =
    "1,0,0,0,0,0,100,0.01,0,"
    "2,2,0,0,0,7.5,100,0.01,0,"
    "3,3,0,0,0,0,100,0.01,0,"
    "4,2,0,0,0,0,100,0.01,0";

struct Book {
  Book() {
    AddSymbol(kUsd, kUsd, 1, 1);
    AddSymbol(kEurUsd, kUsd, 1.1000, 1.1001);
    AddSymbol(kGbpUsd, kUsd, 1.2500, 1.2501);
    AddSymbol(kEurGbp, kGbpUsd, 0.8500, 0.8501);
    symbols->SetSymbolsRefSymbols();

    office = AddClient(1, Null, OFFICE_TYPE, ON_OPEN_TYPE);
    ann = AddClient(10, 1, CLIENT_TYPE, ON_OPEN_TYPE);
    bob = AddClient(20, 1, CLIENT_TYPE, ON_CLOSE_TYPE);

    // Ann: long EURUSD, short the cross, an SL/TP on the EURUSD position.
    ann_account = AddAccount(ann, 1001, false);
    ann_account->SummeryInfo()->SetValues(0, 10000, -15, -2000, 250, 500, -4.2);
    OpenPosition(ann_account, kEurUsd, BuyType, 1, 1.0950, 1, 0);
    OpenPosition(ann_account, kEurGbp, SellType, 2, 0.8530, 2, 0);
    PlaceOrder(ann_account, kEurUsd, SlTpType, SellType, 501, 1, 0, 1.0900, 1.1100);
    AddAlert(ann, 71, kGbpUsd);

    // Bob (commission and interest stay with the position): short EURUSD,
    // a buy limit in the cross, on a margin account.
    bob_account = AddAccount(bob, 2001, true);
    bob_account->SummeryInfo()->SetValues(0, 5000, 0, -1000, 0, 0, 0);
    OpenPosition(bob_account, kEurUsd, SellType, 0.5, 1.1050, 3, -2.5);
    PlaceOrder(bob_account, kEurGbp, LimitOrdersType, BuyType, 601, 0, 0.8400, 0, 0);
  }

  ~Book() {
    clients.Deallocate();
    symbols->Deallocate();
  }

  void AddSymbol(int32_t id, int32_t ref_id, double bid, double ask) {
    auto symbol = test::MakeSymbol(id, ref_id, bid, ask);
    symbol->Factor(100000);
    symbol->PriceCase(1);
    symbol->RefPriceCase(1);
    symbol->Ref1(std::make_shared<CCurAccount>());
    symbols->AddByObject(symbol);
  }

  std::shared_ptr<CSymbol> Sym(int32_t id) const { return symbols->Item(KeyOf(id)); }
  std::shared_ptr<CCurAccount> Index(int32_t id) const {
    return std::dynamic_pointer_cast<CCurAccount>(Sym(id)->Ref1());
  }

  std::shared_ptr<CClient> AddClient(int32_t id, const Variant& parent, ClientTypeEnum type,
                                     CommCalcTypeEnum comm) {
    auto client = clients.Add(id, kSpreads, parent, type, true, EQUITY_LIQUIDATION, 0, "",
                              "", "", "", "", symbols, generals, 1, comm);
    client->ParamsLoaded(true);
    return client;
  }

  std::shared_ptr<CAccount> AddAccount(const std::shared_ptr<CClient>& client, int32_t id,
                                       bool margin) {
    auto account = client->Accounts()->Add(client, std::make_shared<CSummaries>(), id,
                                           client->ClientID(), NormalAccountType, false,
                                           false, false);
    account->SummeryInfo()->MarginAccount(margin);
    return account;
  }

  // Adds a position and lists the account in the symbol's index, as the
  // engine does.
  void OpenPosition(const std::shared_ptr<CAccount>& account, int32_t symbol,
                    OperationTypeEnum type, double lots, double price, int32_t ticket,
                    double interest) {
    account->OpenPositions()->Add(price, account->Client()->SymbolParam(symbol), lots, type,
                                  ticket, account, interest, "01/03/2026 09:00:00", "");
    Index(symbol)->AccountsHavePositions()->Add(account);
  }

  void PlaceOrder(const std::shared_ptr<CAccount>& account, int32_t symbol,
                  OrdersTypeEnum kind, OperationTypeEnum type, int32_t id, int32_t io_id,
                  double limit, double sl, double tp) {
    account->Orders()->Add(0, tp, sl, limit, account->Client()->SymbolParam(symbol), 1,
                           io_id, type, kind, id, 0, DateTime(), "", "", account);
    Index(symbol)->AccountsHaveOrders()->Add(account);
  }

  void AddAlert(const std::shared_ptr<CClient>& client, int32_t id, int32_t symbol) {
    client->Alerts()->Add(client->ClientID(), id, Sym(symbol), BID_GREATER, 1.3);
    Index(symbol)->ClientsHaveAlerts()->Add(client);
  }

  // Floating result into the summaries, as the engine does on a tick.
  double Refresh(const std::shared_ptr<CAccount>& account) {
    const double flt =
        account->OpenPositions()->TotalFloatingProfitLoss(account->Client()->CommCalcType());
    account->SummeryInfo()->FloatingProfitLoss(flt);
    return flt;
  }

  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::shared_ptr<CGenerals> generals = std::make_shared<CGenerals>();
  CClients clients;
  std::shared_ptr<CClient> office, ann, bob;
  std::shared_ptr<CAccount> ann_account, bob_account;
};

}  // namespace orvane::testing_book

#endif  // ORVANE_TESTS_ACCOUNTS_BOOK_FIXTURE_H_
