#include "orvane/clients/client_params.h"

#include <gtest/gtest.h>

#include <vector>

#include "orvane/clients/client_param_cl.h"
#include "orvane/clients/client_param_svr.h"
#include "support/symbols.h"

namespace orvane {
namespace {

std::shared_ptr<CSymbol> MakeSymbol(int32_t id, int32_t ref_id = 0) {
  return test::MakeSymbol(id, ref_id, 1.5000, 1.5002);
}

std::shared_ptr<CClientParam> AddEntry(CClientParams& params, std::shared_ptr<CSymbol> symbol,
                                       int16_t client_or_server = 1) {
  return params.Add(3, 1, 2.5, 50, 0.1, 6, 8, -2, std::move(symbol), client_or_server);
}

TEST(ClientParamsTest, AddSetsEveryValueUnderTheSymbolKey) {
  CClientParams params;
  auto symbol = MakeSymbol(15);
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
    auto entry = AddEntry(params, MakeSymbol(kind + 1), kind);
    EXPECT_EQ(std::dynamic_pointer_cast<CClientParamCl>(entry) != nullptr, kind == 1) << kind;
    EXPECT_EQ(std::dynamic_pointer_cast<CClientParamSvr>(entry) != nullptr, kind != 1) << kind;
  }
}

TEST(ClientParamsTest, FailedAddGivesNoEntryAndChangesNothing) {
  CClientParams params;
  auto first = AddEntry(params, MakeSymbol(15));
  EXPECT_EQ(params.Add(9, 9, 9, 9, 9, 9, 9, 9, MakeSymbol(15), 1), nullptr);
  EXPECT_EQ(params.Add(9, 9, 9, 9, 9, 9, 9, 9, nullptr, 1), nullptr);
  EXPECT_EQ(params.Count(), 1);
  EXPECT_EQ(params.Item("15"), first);
  EXPECT_EQ(first->Commission(), 2.5);
}

TEST(ClientParamsTest, ParentIsTheEntryOfTheReferenceSymbolAndRemoveDeallocates) {
  CClientParams params;
  auto cross = AddEntry(params, MakeSymbol(5, 7));    // refers to 7
  auto base = AddEntry(params, MakeSymbol(7, 0));     // no reference
  auto orphan = AddEntry(params, MakeSymbol(9, 42));  // 42 has no entry
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
    auto symbol = MakeSymbol(5, 6);
    symbol_watch = symbol;
    a_watch = AddEntry(params, symbol);
    b_watch = AddEntry(params, MakeSymbol(6, 5));
    params.SetParamsRefParams();
    ASSERT_EQ(b_watch.lock()->Parent(), a_watch.lock());
  }
  EXPECT_TRUE(a_watch.expired());
  EXPECT_TRUE(b_watch.expired());
  EXPECT_TRUE(symbol_watch.expired());
}

}  // namespace
}  // namespace orvane
