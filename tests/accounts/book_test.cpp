// A small realistic book: an office with two clients, accounts holding buy
// and sell positions in EURUSD and in the cross EURGBP (whose profit is in
// GBP and converts to USD through GBPUSD), stop-loss/take-profit and limit
// orders, alerts, and the per-symbol index the engine keeps on each symbol.
// Figures are checked to the cent against values worked out by hand.

#include <gtest/gtest.h>

#include <vector>

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

namespace orvane {
namespace {

constexpr int32_t kUsd = 1, kEurUsd = 2, kEurGbp = 3, kGbpUsd = 4;

// Client spreads (pips, laid on the bid): EURUSD 2 with 7.5 commission per
// lot, EURGBP 3, GBPUSD 2; the unit symbol carries no spread.
constexpr char kSpreads[] =
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
    auto symbol = std::make_shared<CSymbol>();
    symbol->ID(id);
    symbol->RefID(ref_id);
    symbol->PipLocation(-4);
    symbol->Factor(100000);
    symbol->PriceCase(1);
    symbol->RefPriceCase(1);
    symbol->Bid(bid);
    symbol->Ask(ask);
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

class BookTest : public ::testing::Test, public Book {};

TEST_F(BookTest, FloatingResultsAndFiguresToTheCent) {
  auto ann_positions = ann_account->OpenPositions();
  // Buy 1 EURUSD 1.0950 closing at the bid 1.1000: 0.0050 x 100000.
  EXPECT_EQ(ann_positions->Item("1")->FloatingProfitLoss(ON_OPEN_TYPE), 500.00);
  // Sell 2 EURGBP 0.8530 closing at the client ask 0.8503 (bid + 3 pips),
  // converted at the client's GBPUSD ask 1.2502: 0.0027 x 1.2502 x 2 x 100000.
  EXPECT_EQ(ann_positions->Item("2")->FloatingProfitLoss(ON_OPEN_TYPE), 675.11);
  EXPECT_DOUBLE_EQ(Refresh(ann_account), 1175.11);

  const auto& s = *ann_account->SummeryInfo();
  EXPECT_DOUBLE_EQ(s.Balance(), 10230.80);  // 10000 + 250 - 15 - 4.2
  EXPECT_DOUBLE_EQ(s.Equity(), 11905.91);   // + 1175.11 + 500 credit
  EXPECT_DOUBLE_EQ(s.marginLevel(), 11905.91 / 2000);
  EXPECT_EQ(s.EffectiveMargin(), 8730.80);  // 500 + 10230.80 - 2000

  // Bob sells 0.5 EURUSD 1.1050, closes at the client ask 1.1002: 240.00,
  // less commission 0.5 x 7.5 and interest 2.50 kept with the position.
  EXPECT_EQ(bob_account->OpenPositions()->Item("3")->Commission(), -3.75);
  EXPECT_DOUBLE_EQ(Refresh(bob_account), 233.75);
  EXPECT_EQ(bob_account->SummeryInfo()->EffectiveMargin(), 4233.75);  // margin account
}

TEST_F(BookTest, APriceChangeMovesTheCrossThroughItsReference) {
  // GBPUSD up 100 pips: only the conversion of the cross position changes.
  Sym(kGbpUsd)->Bid(1.2600);
  // 0.0027 x 1.2602 x 2 x 100000 = 680.508
  EXPECT_DOUBLE_EQ(Refresh(ann_account), 500.00 + 680.51);
  // EURGBP down to 0.8480: client ask 0.8483, 0.0047 x 1.2602 x 200000.
  Sym(kEurGbp)->Bid(0.8480);
  EXPECT_EQ(ann_account->OpenPositions()->Item("2")->FloatingProfitLoss(ON_OPEN_TYPE),
            1184.59);
}

TEST_F(BookTest, IndexFollowsDeletes) {
  auto eurusd = Index(kEurUsd);
  auto eurgbp = Index(kEurGbp);
  auto gbpusd = Index(kGbpUsd);
  ASSERT_EQ(eurusd->AccountsHavePositions()->Count(), 2);

  // Ann closes her EURUSD position and its SL/TP order.
  auto positions = ann_account->OpenPositions();
  eurusd->PositionDeleted(ann_account, positions->Item("1"));
  positions->Remove("1");
  eurusd->OrderDeleted(ann_account, ann_account->Orders()->Item("501"));
  ann_account->Orders()->Remove("501");
  EXPECT_EQ(eurusd->AccountsHavePositions()->Item("1001"), nullptr);
  EXPECT_NE(eurusd->AccountsHavePositions()->Item("2001"), nullptr);
  EXPECT_EQ(eurusd->AccountsHaveOrders()->Count(), 0);
  EXPECT_NE(eurgbp->AccountsHavePositions()->Item("1001"), nullptr);
  EXPECT_DOUBLE_EQ(Refresh(ann_account), 675.11);

  // Two alerts on GBPUSD: deleting one keeps Ann listed.
  AddAlert(ann, 72, kGbpUsd);
  gbpusd->AlertDeleted(ann, ann->Alerts()->Item("71"));
  ann->Alerts()->Remove("71");
  EXPECT_EQ(gbpusd->ClientsHaveAlerts()->Count(), 1);
  gbpusd->AlertDeleted(ann, ann->Alerts()->Item("72"));
  EXPECT_EQ(gbpusd->ClientsHaveAlerts()->Count(), 0);

  // Bob's account goes: every symbol's index drops it first.
  for (const auto& symbol : *symbols) {
    std::dynamic_pointer_cast<CCurAccount>(symbol->Ref1())->AccountDeleted(20, 2001);
  }
  bob->Accounts()->Remove("2001");
  EXPECT_EQ(eurusd->AccountsHavePositions()->Count(), 0);
  EXPECT_EQ(eurgbp->AccountsHaveOrders()->Count(), 0);
  EXPECT_EQ(bob_account->OpenPositions()->Count(), 0);
  EXPECT_EQ(clients.AccountByAccountID(2001), nullptr);
}

// Everything the book built must go once the host has deallocated the
// clients and the symbols and dropped its references.
TEST(BookLifetimeTest, DeallocatedTreeLeavesNothingAlive) {
  std::vector<std::weak_ptr<Object>> watched;
  {
    auto book = std::make_unique<Book>();
    for (const auto& client : book->clients) {
      watched.push_back(client);
      for (const auto& account : *client->Accounts()) {
        watched.push_back(account);
        watched.push_back(account->SummeryInfo());
        for (const auto& position : *account->OpenPositions()) watched.push_back(position);
        for (const auto& order : *account->Orders()) watched.push_back(order);
      }
      for (const auto& entry : *client->Params()) watched.push_back(entry);
    }
    for (const auto& symbol : *book->symbols) {
      watched.push_back(symbol);
      watched.push_back(symbol->Ref1());
    }
    book->office.reset();
    book->ann.reset();
    book->bob.reset();
    book->ann_account.reset();
    book->bob_account.reset();
  }  // the fixture's destructor deallocates clients and symbols
  ASSERT_GT(watched.size(), 25u);
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

}  // namespace
}  // namespace orvane
