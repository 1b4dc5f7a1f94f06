#include "orvane/clients/client_params.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "orvane/clients/client_param.h"
#include "orvane/clients/client_param_cl.h"
#include "orvane/clients/client_param_svr.h"
#include "support/errors.h"
#include "support/symbols.h"

namespace orvane {
namespace {

using test::Throws;

// A four-decimal symbol quoting 1.2000 / 1.2003.
std::shared_ptr<CSymbol> MakeSymbol() { return test::MakeSymbol(15, 0, 1.2000, 1.2003); }

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
    auto symbol = MakeSymbol();
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

TEST(ClientParamTest, PricingWithoutASymbolIsAnError) {
  CClientParamSvr entry;
  entry.Spread(2);
  EXPECT_TRUE(Throws(ErrorCode::ObjectRequired, [&] { entry.AskWithSpread(); }));
}

// A copy of an entry's figures is told to read them again by every change
// the prices read; reading changes nothing.
TEST(ClientParamTest, EveryPricingChangeAdvancesTheGeneration) {
  auto entry = MakeEntry(MakeSymbol(), 1);
  auto other = MakeEntry(MakeSymbol(), 2);
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"spread", [&] { entry->Spread(3); }},
      {"source plus", [&] { entry->SourcePlus(1); }},
      {"commission", [&] { entry->Commission(4.5); }},
      {"price offset", [&] { entry->PriceOffset(-2); }},
      {"symbol", [&] { entry->Symbol(MakeSymbol()); }},
      {"parent", [&] { entry->Parent(other); }},
      {"deallocate", [&] { entry->Deallocate(); }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    const uint64_t before = ClientParamEntry::PricingGeneration();
    change();
    EXPECT_GT(ClientParamEntry::PricingGeneration(), before);
  }
  const uint64_t settled = ClientParamEntry::PricingGeneration();
  entry->MaxLots(3);
  entry->CommissionValue(2);
  entry->SpreadPips();
  EXPECT_EQ(ClientParamEntry::PricingGeneration(), settled);
  other->Deallocate();
}

TEST(ClientParamTest, DeallocateClearsSymbolAndParent) {
  auto a = MakeEntry(MakeSymbol(), 1);
  auto b = MakeEntry(MakeSymbol(), 1);
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
