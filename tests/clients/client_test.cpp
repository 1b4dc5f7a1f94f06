#include "orvane/clients/client.h"

#include <gtest/gtest.h>

#include <vector>

#include "orvane/accounts/accounts.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/clients/client_refs.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"
#include "support/errors.h"
#include "support/symbols.h"

namespace orvane {
namespace {

using test::Throws;

using test::MakeSymbol;

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

}  // namespace
}  // namespace orvane
