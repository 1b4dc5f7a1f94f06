#include "orvane/clients/clients.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
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
    symbols = std::make_shared<CSymbols>();
    for (auto [id, ref] : {std::pair{1, 1}, {2, 1}, {3, 4}, {4, 1}}) {
      symbols->Items().Add(std::to_string(id), MakeSymbol(id, ref));
    }
    client = std::make_shared<CClient>();
    client->ClientID(10);
  }
  ~ClientTest() override {
    client->Deallocate();
    symbols->Deallocate();
  }

  std::shared_ptr<CSymbol> Sym(int32_t id) { return symbols->Item(std::to_string(id)); }

  std::shared_ptr<CSymbols> symbols;
  std::shared_ptr<CGenerals> generals = std::make_shared<CGenerals>();
  std::shared_ptr<CClient> client;
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
  auto child = std::make_shared<CClient>();
  child->ClientID(11);
  client->ChildrenClients()->Add(child);
  child->Accounts()->Add(child, nullptr, 6, 11, NormalAccountType, false, false, false);
  auto entry = client->AddParam(3, 0, 0, 0, 0, 0, 0, 0, Sym(2), false, false, 1);
  auto account = client->Accounts()->Add(client, nullptr, 5, 10, NormalAccountType,
                                         false, false, false);
  client->Alerts()->Add(10, 1, Sym(2), BID_GREATER, 1.2);

  client->Deallocate();
  EXPECT_EQ(client->Parent(), nullptr);
  EXPECT_EQ(client->Accounts()->Count(), 0);
  EXPECT_EQ(client->Alerts()->Count(), 0);
  EXPECT_EQ(client->ChildrenClients()->Count(), 0);
  EXPECT_EQ(client->Params()->Count(), 0);
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
  auto a = std::make_shared<CClient>();
  a->ClientID(5);
  auto b = std::make_shared<CClient>();
  b->ClientID(6);
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

}  // namespace
}  // namespace orvane
