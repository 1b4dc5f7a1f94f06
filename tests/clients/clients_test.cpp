#include "orvane/clients/clients.h"

#include <gtest/gtest.h>

#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/clients/client_refs.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"

namespace orvane {
namespace {

class ClientsTest : public ::testing::Test {
 protected:
  ClientsTest() {
    auto symbol = std::make_shared<CSymbol>();
    symbol->ID(2);
    symbol->RefID(1);
    symbols->Items().Add("2", symbol);
  }
  ~ClientsTest() override {
    clients.Deallocate();
    symbols->Deallocate();
  }

  std::shared_ptr<CClient> Add(int32_t id, const Variant& parent, std::string first = "",
                               std::string user = "", const std::string& spreads = "") {
    return clients.Add(id, spreads, parent, CLIENT_TYPE, false, EQUITY_LIQUIDATION, 0,
                       std::move(first), "", "", "", std::move(user), symbols, generals, 1,
                       ON_OPEN_TYPE);
  }
  int32_t ChildCount(int32_t id) {
    return clients.Item(std::to_string(id))->ChildrenClients()->Count();
  }

  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::shared_ptr<CGenerals> generals = std::make_shared<CGenerals>();
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

}  // namespace
}  // namespace orvane
