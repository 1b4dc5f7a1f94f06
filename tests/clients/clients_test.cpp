#include "orvane/clients/clients.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_param_cl.h"
#include "orvane/clients/client_param_svr.h"
#include "orvane/clients/client_params.h"
#include "orvane/clients/client_refs.h"
#include "orvane/clients/global_var.h"
#include "orvane/core/variant.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"
#include "support/errors.h"
#include "support/number_format.h"
#include "support/symbols.h"

namespace orvane {
namespace {

using test::MakeSymbol;
using test::Throws;

std::shared_ptr<CClient> MakeClient(int32_t id) {
  auto client = std::make_shared<CClient>();
  client->ClientID(id);
  return client;
}

// An entry's values in the order AddParam and the parameter text give them:
// spread, source plus, commission, max lots, min lots, limit and stop offsets,
// price offset.
std::vector<Variant> ValuesOf(const CClientParam& e) {
  return {e.Spread(),    e.SourcePlus(),  e.Commission(), e.MaxLots(),
          e.MinLots(),   e.LimitOffset(), e.StopOffset(), e.PriceOffset()};
}

class ClientTest : public ::testing::Test {
 protected:
  ClientTest() {
    for (auto [id, ref] : {std::pair{1, 1}, {2, 1}, {3, 4}, {4, 1}}) {
      symbols->Items().Add(std::to_string(id), MakeSymbol(id, ref));
    }
  }
  ~ClientTest() override {
    client->Deallocate();
    symbols->Deallocate();
  }

  std::shared_ptr<CSymbol> Sym(int32_t id) { return symbols->Item(std::to_string(id)); }

  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::shared_ptr<CGenerals> generals = std::make_shared<CGenerals>();
  std::shared_ptr<CClient> client = MakeClient(10);
};

TEST_F(ClientTest, FullNameInsertsBlanksOnlyBeforeNonEmptyParts) {
  client->FirstName("Ann");
  client->LastName("Lee");
  EXPECT_EQ(client->FullName(), "Ann Lee");
  client->ThirdName("M");
  EXPECT_EQ(client->FullName(), "Ann M Lee");
  client->FirstName("");
  client->SecondName("B");
  client->ThirdName("");
  client->LastName("");
  EXPECT_EQ(client->FullName(), " B");
}

TEST_F(ClientTest, AddParamCreatesOverwritesOrKeeps) {
  auto entry = client->AddParam(3, 1, 7.5, 50, 0.1, 5, 6, 2, Sym(2), false, false, 1);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(client->SymbolParam(2), entry);

  auto same = client->AddParam(4, 2, 8, 60, 0.2, 7, 8, 3, Sym(2), false, false, 1);
  EXPECT_EQ(same, entry);
  const std::vector<Variant> overwritten{4, 2, 8, 60, 0.2, 7, 8, 3};
  EXPECT_EQ(ValuesOf(*entry), overwritten);

  // DontModifiy keeps the values; only the symbol object is replaced.
  auto replacement = MakeSymbol(2, 1);
  client->AddParam(9, 9, 9, 9, 9, 9, 9, 9, replacement, true, false, 1);
  EXPECT_EQ(ValuesOf(*entry), overwritten);
  EXPECT_EQ(entry->Symbol(), replacement);
  EXPECT_EQ(client->Params()->Count(), 1);

  // ForSureAdd skips the lookup: an existing entry is a duplicate.
  EXPECT_TRUE(Throws(ErrorCode::DuplicateKey, [&] {
    client->AddParam(1, 0, 0, 0, 0, 0, 0, 0, Sym(2), false, true, 1);
  }));
  EXPECT_EQ(ValuesOf(*entry), overwritten);
  replacement->Deallocate();
}

TEST_F(ClientTest, RefreshClientParamsAppliesKnownSymbolsLinksReferencesOrChangesNothing) {
  // Symbols 3 and 4 are known, 99 is not; 3 converts through 4.
  const std::string text =
      "3,2,0,5,6,7.5,50,0.1,1,"
      "99,1,0,0,0,0,0,0,0,"
      "4,,2,0,0,0,10,0.1,0";
  client->RefreshClientParams(text, symbols, generals, false, 1);
  ASSERT_EQ(client->Params()->Count(), 2);
  auto cross = client->SymbolParam(3);
  auto ref = client->SymbolParam(4);
  EXPECT_EQ(client->SymbolParam(99), nullptr);
  EXPECT_EQ(cross->Parent(), ref);
  EXPECT_EQ(ref->Parent(), nullptr);  // its reference symbol 1 has no entry
  // A group is ID, spread, source plus, limit and stop offsets, commission,
  // max and min lots, price offset.
  EXPECT_EQ(ValuesOf(*cross), (std::vector<Variant>{2, 0, 7.5, 50, 0.1, 5, 6, 1}));
  EXPECT_EQ(ValuesOf(*ref), (std::vector<Variant>{Null, 2, 0, 10, 0.1, 0, 0, 0}));

  // The same text again updates in place.
  client->RefreshClientParams("3,5,0,5,6,1,50,0.1,1", symbols, generals, false, 1);
  EXPECT_EQ(client->Params()->Count(), 2);
  EXPECT_EQ(client->SymbolParam(3), cross);
  EXPECT_EQ(ValuesOf(*cross), (std::vector<Variant>{5, 0, 1, 50, 0.1, 5, 6, 1}));

  // A text whose last group is incomplete changes nothing, not even the
  // complete group before it.
  EXPECT_THROW(client->RefreshClientParams("3,6,0,5,6,2,50,0.1,1,2,1,0", symbols, generals,
                                           false, 1),
               Error);
  EXPECT_EQ(ValuesOf(*cross), (std::vector<Variant>{5, 0, 1, 50, 0.1, 5, 6, 1}));
  EXPECT_EQ(client->SymbolParam(2), nullptr);
}

TEST_F(ClientTest, RefreshSymbolsRelinksEntriesAndAlerts) {
  client->AddParam(3, 0, 0, 0, 0, 0, 0, 0, Sym(2), false, false, 1);
  client->Alerts()->Add(10, 1, Sym(2), BID_GREATER, 1.2);
  client->Alerts()->Add(10, 2, Sym(3), BID_LESS, 0.8);

  auto fresh = std::make_shared<CSymbols>();
  auto new2 = MakeSymbol(2, 1);
  fresh->Items().Add("2", new2);
  client->RefreshSymbols(fresh);
  EXPECT_EQ(client->SymbolParam(2)->Symbol(), new2);
  EXPECT_EQ(client->Alerts()->Item("1")->Symbol(), new2);
  // Symbol 3 is not among the new ones: the alert lets go of the replaced
  // object but keeps its ID, so the next refresh links it again.
  auto orphan = client->Alerts()->Item("2");
  EXPECT_EQ(orphan->Symbol(), nullptr);
  EXPECT_EQ(orphan->SymbolID(), 3);
  client->RefreshSymbols(symbols);
  EXPECT_EQ(orphan->Symbol(), Sym(3));
  fresh->Deallocate();
}

TEST_F(ClientTest, DeallocateReleasesEverythingItHolds) {
  auto parent = std::make_shared<CClient>();
  client->Parent(parent);
  auto child = MakeClient(11);
  client->ChildrenClients()->Add(child);
  child->Accounts()->Add(child, nullptr, 6, 11, NormalAccountType, false, false, false);
  auto entry = client->AddParam(3, 0, 0, 0, 0, 0, 0, 0, Sym(2), false, false, 1);
  auto account = client->Accounts()->Add(client, nullptr, 5, 10, NormalAccountType,
                                         false, false, false);
  client->Alerts()->Add(10, 1, Sym(2), BID_GREATER, 1.2);

  client->Deallocate();
  EXPECT_EQ(client->Parent(), nullptr);
  // Accounts, alerts, children and entries.
  EXPECT_EQ((std::vector<int32_t>{client->Accounts()->Count(), client->Alerts()->Count(),
                                  client->ChildrenClients()->Count(), client->Params()->Count()}),
            (std::vector<int32_t>(4, 0)));
  EXPECT_EQ(entry->Symbol(), nullptr);
  EXPECT_EQ(account->Client(), nullptr);
  EXPECT_EQ(child->Accounts()->Count(), 1);  // a child is dropped, not released
}

// The same symbols with a collection of clients.
class ClientsTest : public ClientTest {
 protected:
  ~ClientsTest() override { clients.Deallocate(); }

  std::shared_ptr<CClient> Add(int32_t id, const Variant& parent, std::string first = "",
                               std::string user = "", const std::string& spreads = "") {
    return clients.Add(id, spreads, parent, CLIENT_TYPE, false, EQUITY_LIQUIDATION, 0,
                       std::move(first), "", "", "", std::move(user), symbols, generals, 1,
                       ON_OPEN_TYPE);
  }
  int32_t ChildCount(int32_t id) {
    return clients.Item(std::to_string(id))->ChildrenClients()->Count();
  }

  CClients clients;
};

TEST_F(ClientsTest, AddLinksAnExistingParentAndAppliesSpreads) {
  auto office = Add(1, Null);
  auto client = clients.Add(10, "2,3,0,0,0,7.5,50,0.1,0", 1, OFFICE_TYPE, true,
                            MARGIN_LEVEL_LIQUIDATION, 50, "Ann", "B", "C", "Lee", "ann",
                            symbols, generals, 1, ON_CLOSE_TYPE);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->Parent(), office);
  EXPECT_EQ(client->ParentID(), Variant(1));
  const std::vector<Variant> fields{client->ClientType(), client->EnableInterest(),
                                    client->LiquidationType(), client->LiquidationPoint(),
                                    client->FullName(), client->Username(), client->CommCalcType()};
  EXPECT_EQ(fields, (std::vector<Variant>{OFFICE_TYPE, true, MARGIN_LEVEL_LIQUIDATION, 50,
                                          "Ann B C Lee", "ann", ON_CLOSE_TYPE}));
  EXPECT_EQ(office->ChildrenClients()->Item("10")->Client(), client);
  ASSERT_NE(client->SymbolParam(2), nullptr);
  EXPECT_EQ(client->SymbolParam(2)->Commission(), 7.5);
  EXPECT_TRUE(office->ParentID().IsNull());
}

TEST_F(ClientsTest, AddFailuresReturnNoneAndKeepTheTreeIntact) {
  auto office = Add(1, Null);
  auto first = Add(10, 1, "First");
  // A taken ID is refused only when the client is added to the collection:
  // the parent has listed the refused client in its place by then.
  EXPECT_EQ(Add(10, 1, "Second"), nullptr);
  EXPECT_EQ(clients.Count(), 2);
  EXPECT_EQ(clients.Item("10"), first);
  EXPECT_EQ(office->ChildrenClients()->Count(), 1);
  EXPECT_EQ(office->ChildrenClients()->Item("10")->Client()->FirstName(), "Second");

  // An incomplete parameter group fails after the parent listed the client.
  EXPECT_EQ(Add(11, 1, "Bad", "", "2,3,0"), nullptr);
  EXPECT_EQ(clients.Item("11"), nullptr);
  EXPECT_EQ(ChildCount(1), 2);
}

TEST_F(ClientsTest, ChildBeforeParentIsLinkedBySetClientsParentsOnce) {
  auto child = Add(3, 2);
  auto root = Add(1, Null);
  auto parent = Add(2, "1");  // a parent ID given as text works the same
  EXPECT_EQ(child->Parent(), nullptr);
  EXPECT_EQ(ChildCount(2), 0);
  EXPECT_EQ(parent->Parent(), root);  // its parent was already in
  clients.SetClientsParents();
  clients.SetClientsParents();
  EXPECT_EQ(child->Parent(), parent);
  EXPECT_EQ(parent->Parent(), root);
  EXPECT_EQ(ChildCount(2), 1);
  EXPECT_EQ(ChildCount(1), 1);
}

TEST_F(ClientsTest, IsChildAtAnyDepthAndNamesAreTrimmedAndCaseFolded) {
  auto john = Add(1, Null, "JOHN", "jdoe");
  auto mary = Add(2, 1, "Mary", "MSMITH");
  EXPECT_EQ(clients.ClientByName("  john "), john);
  EXPECT_EQ(clients.ClientByUserName("msmith"), mary);
  EXPECT_EQ(clients.ClientByName("Jon"), nullptr);
  Add(3, 2);
  Add(4, Null);
  EXPECT_TRUE(clients.isChild(5, 5));  // no client 5 needed
  EXPECT_TRUE(clients.isChild(3, 1));
  EXPECT_FALSE(clients.isChild(1, 3));
  EXPECT_FALSE(clients.isChild(3, 4));
  EXPECT_FALSE(clients.isChild(99, 1));

  // A loop of parents ends the walk.
  Add(7, 8);
  Add(8, 7);
  clients.SetClientsParents();
  EXPECT_TRUE(clients.isChild(7, 8));
  EXPECT_FALSE(clients.isChild(7, 1));
}

TEST_F(ClientsTest, RemoveUnlinksFromParentAndLeavesChildrenDangling) {
  Add(1, Null);
  auto middle = Add(2, 1);
  auto leaf = Add(3, 2);
  auto account = middle->Accounts()->Add(middle, nullptr, 20, 2, NormalAccountType,
                                         false, false, false);
  EXPECT_FALSE(clients.Remove("404"));
  EXPECT_TRUE(clients.Remove("2"));
  EXPECT_EQ(clients.Count(), 2);
  EXPECT_EQ(ChildCount(1), 0);
  EXPECT_EQ(account->Client(), nullptr);  // deallocated
  EXPECT_EQ(leaf->ParentID(), Variant(2));
  middle.reset();
  EXPECT_EQ(leaf->Parent(), nullptr);
  EXPECT_FALSE(clients.isChild(3, 1));
}

TEST_F(ClientsTest, ClientParentChangedMovesTheClient) {
  auto a = Add(1, Null);
  auto b = Add(2, Null);
  auto c = Add(3, 1);
  clients.ClientParentChanged(3, 2);
  EXPECT_EQ(a->ChildrenClients()->Count(), 0);
  EXPECT_EQ(b->ChildrenClients()->Item("3")->Client(), c);
  EXPECT_EQ(c->Parent(), b);
  EXPECT_EQ(c->ParentID(), Variant(2));

  // No such new parent: the client becomes a root.
  clients.ClientParentChanged(3, 77);
  EXPECT_EQ(b->ChildrenClients()->Count(), 0);
  EXPECT_EQ(c->Parent(), nullptr);
  EXPECT_TRUE(c->ParentID().IsNull());
  clients.ClientParentChanged(404, 1);  // an unknown client changes nothing
  EXPECT_EQ(a->ChildrenClients()->Count(), 0);
}

TEST(ClientRefsTest, AddingTheSameClientTwiceLeavesOneEntry) {
  CClientRefs refs;
  auto a = MakeClient(5);
  auto b = MakeClient(6);
  refs.Add(a);
  refs.Add(b);
  auto again = refs.Add(a);
  EXPECT_EQ(refs.Count(), 2);
  EXPECT_EQ(refs.Item(2), again);  // re-added at the end
  EXPECT_EQ(again->IndexKey(), "5");
  refs.Remove("6");
  refs.Remove("404");
  EXPECT_EQ(refs.Count(), 1);
  refs.Deallocate();
  EXPECT_EQ(again->Client(), nullptr);
}

// A settings object whose every property holds a recognisable value, to see
// which ones a call leaves alone.
void Preset(CGlobalVar& g) {
  g.MultiSessionsAllowed(true);
  g.PriceChangedTimer(7);
  g.ValidLotsLocation(3);
  g.CustumizeTradeMsg(true);
  g.ClientConnectTimer(11);
  g.ClientTimeoutTimer(13);
  g.WebSecurityID("old");
}

TEST(GlobalVarTest, DefaultLotsFollowTheValidLotsLocation) {
  CGlobalVar g;
  g.SetValues("1,x,30,2,0,60,120,abc,3");
  EXPECT_FALSE(g.CustumizeTradeMsg());
  EXPECT_DOUBLE_EQ(g.DefaultLots(), 0.01);
  g.ValidLotsLocation(0);
  EXPECT_EQ(g.DefaultLots(), 1.0);
}

// The eight settings the text reaches, in the order of their positions.
std::vector<Variant> ValuesOf(const CGlobalVar& g) {
  return {g.MultiSessionsAllowed(), g.PriceChangedTimer(),  g.ValidLotsLocation(),
          g.CustumizeTradeMsg(),    g.ClientConnectTimer(), g.ClientTimeoutTimer(),
          g.WebSecurityID(),        g.ServerGMT()};
}

// Each text applied to the preset settings (ServerGMT starting at 0).
TEST(GlobalVarTest, EachPositionSetsItsPropertyOrStopsTheAssignment) {
  const std::pair<const char*, std::vector<Variant>> cases[] = {
      {"1,x,30,2,0,60,120,abc,3", {true, 30, 2, false, 60, 120, "abc", 3}},
      // A short text sets the positions present, an empty one nothing.
      {"2,,5", {false, 5, 3, true, 11, 13, "old", 0}},
      {"", {true, 7, 3, true, 11, 13, "old", 0}},
      // Leading numbers, integers rounded half to even, texts not trimmed.
      {" 1.0,,2.5,3.5,1abc,  60.5 ,61.5,  key ,-2.5", {true, 2, 4, true, 60, 62, "  key ", -2.5}},
      {"yes,,abc", {false, 0, 3, true, 11, 13, "old", 0}},  // no number reads 0
      // A number too large for its property leaves it and every later one.
      {"0,,32767,32768,0,1,2,new,4", {false, 32767, 3, true, 11, 13, "old", 0}},
      {"1,,1,1,1,2147483648,5", {true, 1, 1, true, 11, 13, "old", 0}},
      {"1,,1,1,1,1,1,id,1.5,99999999999,zzz", {true, 1, 1, true, 1, 1, "id", 1.5}},
  };
  for (const auto& [text, expected] : cases) {
    CGlobalVar g;
    Preset(g);
    g.SetValues(text);
    EXPECT_EQ(ValuesOf(g), expected) << "\"" << text << "\"";
  }
}

TEST(GlobalVarTest, DecimalPointIsADotWhateverTheLocalForm) {
  test::ScopedNumberFormat comma_decimal({',', '.'});
  CGlobalVar g;
  g.SetValues("0,,,,,,,,2.5");
  EXPECT_EQ(g.ServerGMT(), 2.5);
  g.SetValues("0,,,,,,,,2,5");
  EXPECT_EQ(g.ServerGMT(), 2.0);  // the comma splits positions
}

// A four-decimal symbol quoting 1.2000 / 1.2003.
std::shared_ptr<CSymbol> QuotedSymbol() { return MakeSymbol(15, 0, 1.2000, 1.2003); }

std::shared_ptr<CClientParamCl> MakeEntry(std::shared_ptr<CSymbol> symbol, const Variant& spread,
                                          int16_t source_plus = 0, int16_t price_offset = 0) {
  auto entry = std::make_shared<CClientParamCl>();
  entry->Symbol(std::move(symbol));
  entry->Spread(spread);
  entry->SourcePlus(source_plus);
  entry->PriceOffset(price_offset);
  return entry;
}

TEST(ClientParamTest, ServerEntryKeepsNoLotsOrOrderOffsets) {
  CClientParamSvr svr;
  CClientParamCl cl;
  for (CClientParam* param : {static_cast<CClientParam*>(&svr), static_cast<CClientParam*>(&cl)}) {
    param->MaxLots(50);
    param->MinLots(-1);  // no minimum is applied
    param->LimitOffset(7);
    param->StopOffset(9);
    param->Commission(4);
  }
  using Limits = std::vector<double>;
  EXPECT_EQ((Limits{svr.MaxLots(), svr.MinLots(), svr.LimitOffset(), svr.StopOffset()}),
            (Limits{0, 0, 0, 0}));
  EXPECT_EQ((Limits{cl.MaxLots(), cl.MinLots(), cl.LimitOffset(), cl.StopOffset()}),
            (Limits{50, -1, 7, 9}));
  EXPECT_EQ(svr.CommissionValue(2.5), 10.0);
}

// The spread reads as Null for an empty or non-numeric value; the pricing
// path reads Null as no spread and an unset spread as zero pips.
TEST(ClientParamTest, SpreadAndSpreadPipsForUnsetEmptyAndNonNumericValues) {
  CClientParamSvr param;
  EXPECT_TRUE(param.Spread().IsEmpty());  // neither null nor a number until set
  EXPECT_EQ(param.SpreadPips(), std::optional<double>(0.0));
  param.Spread("");
  EXPECT_TRUE(param.Spread().IsNull());
  EXPECT_EQ(param.SpreadPips(), std::nullopt);
  param.Spread(4);
  param.Spread("wide");
  EXPECT_TRUE(param.Spread().IsNull());
  param.Spread("2.5");
  EXPECT_EQ(param.Spread(), Variant(2.5));
  EXPECT_EQ(param.SpreadPips(), std::optional<double>(2.5));
}

// The entry's own spread, source plus and price offset on the symbol's quote
// 1.2000 / 1.2003; the symbol's SpreadOffset counts once and its price offset
// adds to the entry's, while its ClientPriceOffset is not used.
struct EntryQuoteCase {
  const char* name;
  Variant spread;
  int16_t source_plus, price_offset, symbol_spread_offset, symbol_price_offset;
  double bid, ask;
};

TEST(ClientParamTest, EntryQuoteFromFixedOrSourceSpread) {
  const EntryQuoteCase cases[] = {
      {"fixed spread, offset once", 3, 0, 0, 1, 0, 1.2000, 1.2004},
      {"empty spread widens the source", "", 2, 0, 0, 0, 1.2000, 1.2005},
      {"price offsets summed", 4, 0, -5, 0, 2, 1.1997, 1.2001},
  };
  for (const EntryQuoteCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto symbol = QuotedSymbol();
    symbol->SpreadOffset(c.symbol_spread_offset);
    symbol->PriceOffset(c.symbol_price_offset);
    symbol->ClientPriceOffset(100);
    auto entry = MakeEntry(symbol, c.spread, c.source_plus, c.price_offset);
    EXPECT_DOUBLE_EQ(entry->BidWithSpread(), c.bid);
    EXPECT_DOUBLE_EQ(entry->AskWithSpread(), c.ask);
    // A buy deals at the ask and closes at the bid, a sell the reverse.
    EXPECT_DOUBLE_EQ(entry->PriceWithSpread(BuyType), c.ask);
    EXPECT_DOUBLE_EQ(entry->PriceWithSpread(SellType), c.bid);
    EXPECT_DOUBLE_EQ(entry->ClosePriceWithSpread(BuyType), c.bid);
    EXPECT_DOUBLE_EQ(entry->ClosePriceWithSpread(SellType), c.ask);
  }
}

// The entry prices from its spread in pips; the symbol's own path reads the
// spread variant. Both must agree for every spread an entry can hold,
// including one never set (0 pips, so the symbol's SpreadOffset alone).
TEST(ClientParamTest, EntryPricesEqualTheSymbolsSpreadVariantPath) {
  const Variant spreads[] = {Variant(), Null, 0, 3, 2.5};
  for (const int32_t id : {15, 1}) {
    for (const int16_t spread_offset : {0, 2}) {
      for (const int16_t source_plus : {0, 3}) {
        for (const int16_t offset : {0, -2}) {
          for (const Variant& spread : spreads) {
            SCOPED_TRACE(spread.TextValue() + " " + std::to_string(id) + " " +
                         std::to_string(spread_offset) + " " + std::to_string(source_plus) +
                         " " + std::to_string(offset));
            auto symbol = MakeSymbol(id, 0, 1.2000, 1.2003);
            symbol->SpreadOffset(spread_offset);
            auto entry = std::make_shared<CClientParamCl>();
            entry->Symbol(symbol);
            if (!spread.IsEmpty()) entry->Spread(spread);
            entry->SourcePlus(source_plus);
            entry->PriceOffset(offset);
            const Variant held = entry->Spread();
            EXPECT_EQ(entry->BidWithSpread(), symbol->BidWithSpread2(held, source_plus, offset));
            EXPECT_EQ(entry->AskWithSpread(), symbol->AskWithSpread2(held, source_plus, offset));
            for (const OperationTypeEnum type : {BuyType, SellType, BuyStopType}) {
              EXPECT_EQ(entry->ClosePriceWithSpread(type),
                        symbol->ClosePriceWithSpread2(held, source_plus, offset, type));
              EXPECT_EQ(entry->PriceWithSpread(type),
                        symbol->PriceWithSpread2(held, source_plus, offset, type));
            }
          }
        }
      }
    }
  }
}

TEST(ClientParamTest, PricingWithoutASymbolIsAnError) {
  CClientParamSvr entry;
  entry.Spread(2);
  EXPECT_TRUE(Throws(ErrorCode::ObjectRequired, [&] { entry.AskWithSpread(); }));
}

// A copy of an entry's figures is told to read them again by every change
// the prices read (the random walk over positions and their entries pins
// those); reading changes nothing.
TEST(ClientParamTest, ReadingLeavesThePricingGenerationAlone) {
  auto entry = MakeEntry(QuotedSymbol(), 1);
  const uint64_t settled = ClientParamEntry::PricingGeneration();
  entry->MaxLots(3);
  entry->CommissionValue(2);
  entry->SpreadPips();
  entry->AskWithSpread();
  EXPECT_EQ(ClientParamEntry::PricingGeneration(), settled);
  entry->Spread(3);
  EXPECT_GT(ClientParamEntry::PricingGeneration(), settled);
}

TEST(ClientParamTest, DeallocateClearsSymbolAndParent) {
  auto a = MakeEntry(QuotedSymbol(), 1);
  auto b = MakeEntry(QuotedSymbol(), 1);
  a->Parent(b);
  b->Parent(a);
  std::weak_ptr<CClientParamCl> watch = a;
  a->Deallocate();
  b->Deallocate();
  EXPECT_EQ(a->Symbol(), nullptr);
  a.reset();
  EXPECT_TRUE(watch.expired());
}

std::shared_ptr<CClientParam> AddEntry(CClientParams& params, std::shared_ptr<CSymbol> symbol,
                                       int16_t client_or_server = 1) {
  return params.Add(3, 1, 2.5, 50, 0.1, 6, 8, -2, std::move(symbol), client_or_server);
}

TEST(ClientParamsTest, AddSetsEveryValueUnderTheSymbolKey) {
  CClientParams params;
  auto symbol = test::MakeSymbol(15);
  auto entry = params.Add("4", 2, 2.5, 50, 0.1, 6, 8, -2, symbol, 1);
  ASSERT_NE(entry, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<CClientParamCl>(entry), nullptr);
  EXPECT_EQ(entry->Symbol(), symbol);
  const std::vector<Variant> values{entry->Spread(),     entry->SourcePlus(), entry->Commission(),
                                    entry->MaxLots(),    entry->MinLots(),    entry->LimitOffset(),
                                    entry->StopOffset(), entry->PriceOffset()};
  EXPECT_EQ(values, (std::vector<Variant>{4.0, 2, 2.5, 50, 0.1, 6, 8, -2}));
  EXPECT_EQ(params.Item("15"), entry);
  EXPECT_EQ(params.Item(1), entry);
  EXPECT_EQ(params.Item(2), nullptr);
  EXPECT_EQ(params.Item("1"), nullptr);  // text is a key, not a position
}

TEST(ClientParamsTest, OnlyClientOrServerOneMakesTheFullEntry) {
  CClientParams params;
  for (int16_t kind : {0, 1, 2}) {
    auto entry = AddEntry(params, test::MakeSymbol(kind + 1), kind);
    EXPECT_EQ(std::dynamic_pointer_cast<CClientParamCl>(entry) != nullptr, kind == 1) << kind;
    EXPECT_EQ(std::dynamic_pointer_cast<CClientParamSvr>(entry) != nullptr, kind != 1) << kind;
  }
}

TEST(ClientParamsTest, FailedAddGivesNoEntryAndChangesNothing) {
  CClientParams params;
  auto first = AddEntry(params, test::MakeSymbol(15));
  EXPECT_EQ(params.Add(9, 9, 9, 9, 9, 9, 9, 9, test::MakeSymbol(15), 1), nullptr);
  EXPECT_EQ(params.Add(9, 9, 9, 9, 9, 9, 9, 9, nullptr, 1), nullptr);
  EXPECT_EQ(params.Count(), 1);
  EXPECT_EQ(params.Item("15"), first);
  EXPECT_EQ(first->Commission(), 2.5);
}

TEST(ClientParamsTest, ParentIsTheEntryOfTheReferenceSymbolAndRemoveDeallocates) {
  CClientParams params;
  auto cross = AddEntry(params, test::MakeSymbol(5, 7));    // refers to 7
  auto base = AddEntry(params, test::MakeSymbol(7));     // no reference
  auto orphan = AddEntry(params, test::MakeSymbol(9, 42));  // 42 has no entry
  params.SetParamsRefParams();
  EXPECT_EQ(cross->Parent(), base);
  EXPECT_EQ(base->Parent(), nullptr);
  EXPECT_EQ(orphan->Parent(), nullptr);

  // A removed entry is deallocated; a later call re-links from scratch.
  params.Remove("7");
  EXPECT_EQ(base->Symbol(), nullptr);
  params.SetParamsRefParams();
  EXPECT_EQ(cross->Parent(), nullptr);
  params.Remove(1);  // by position: the cross
  EXPECT_EQ(cross->Symbol(), nullptr);
  params.Remove("99");
  ASSERT_EQ(params.Count(), 1);
  EXPECT_EQ(params.Item(1), orphan);
  EXPECT_NE(orphan->Symbol(), nullptr);
}

TEST(ClientParamsTest, ReleasingTheCollectionBreaksParentCycles) {
  std::weak_ptr<CClientParam> a_watch;
  std::weak_ptr<CClientParam> b_watch;
  std::weak_ptr<CSymbol> symbol_watch;
  {
    CClientParams params;
    auto symbol = test::MakeSymbol(5, 6);
    symbol_watch = symbol;
    a_watch = AddEntry(params, symbol);
    b_watch = AddEntry(params, test::MakeSymbol(6, 5));
    params.SetParamsRefParams();
    ASSERT_EQ(b_watch.lock()->Parent(), a_watch.lock());
  }
  EXPECT_TRUE(a_watch.expired());
  EXPECT_TRUE(b_watch.expired());
  EXPECT_TRUE(symbol_watch.expired());
}

}  // namespace
}  // namespace orvane
