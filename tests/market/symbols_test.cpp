#include "orvane/market/symbols.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orvane {
namespace {

// The fields a host passes to CSymbols::Add, with plain defaults.
struct SymbolFields {
  Variant spread = Null;
  int16_t source_plus = 0;
  Variant ref_id = 0;
  Variant pip_location = -4;
  Variant bid = 1.2;
  Variant ask = 1.2003;
  SymbolTypeEnum type = symbol_type;
  Variant id = 7;
  std::string open_time = "23:00";
  std::string close_time = "22:00";
  int16_t spread_offset = 0;
  std::shared_ptr<Object> ref1;
};

std::shared_ptr<CSymbol> AddSymbol(CSymbols& symbols, const SymbolFields& f) {
  return symbols.Add(f.spread, f.source_plus, 0.5, 1, 2, 100000, "10:15:00", 1.1, 1.3, f.bid,
                     f.ask, 1.25, true, false, f.ref_id, f.pip_location, f.type, "EURUSD", f.id,
                     "sunday", f.open_time, "friday", f.close_time, "12:00", "12:05", Null, Null,
                     Null, Null, false, "dde", true, FromAsk, FromBid, true, false, 3,
                     f.spread_offset, 9, 2, "bank", true, 30, "G1", 255, true, AtMarketMO,
                     "Euro", FromAvgSpread, false, true, false, "31/12/2026", 1.19, 1.18, f.ref1);
}

std::shared_ptr<CSymbol> AddWithId(CSymbols& symbols, int id, int ref_id = 0) {
  SymbolFields f;
  f.id = id;
  f.ref_id = ref_id;
  return AddSymbol(symbols, f);
}

TEST(SymbolsAdd, EveryFieldReachesTheSymbolWithPricesRounded) {
  CSymbols symbols;
  auto ref1 = std::make_shared<CSymbol>();
  SymbolFields f;
  f.pip_location = -2;
  f.bid = 1.23456;
  f.ref1 = ref1;
  f.spread = "2";
  f.spread_offset = 1;
  auto s = AddSymbol(symbols, f);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Bid(), 1.24);  // two decimals after the tenth pip
  EXPECT_EQ(s->Spread(), Variant(3.0));  // the offset is added on reading
  // Neighbouring arguments hold different values, so a shifted argument shows.
  const std::vector<Variant> fields{s->DayOpenPrice(), s->PriceCase(),   s->RefPriceCase(),
                                    s->HighType(),     s->PriceOffset(), s->SortOrder(),
                                    s->AmountUnitID(), s->BuyOnly()};
  EXPECT_EQ(fields, (std::vector<Variant>{1.19, 2, 1, FromAsk, 3, 9, 2, true}));
  EXPECT_EQ(s->Ref1(), ref1);
  const auto& times = *s->SymbolTradingTimes();
  EXPECT_EQ(times.OpenDay(), "SUNDAY");
  EXPECT_EQ(times.CloseTime(), "22:00:00");
  EXPECT_EQ(times.DailyOpenTime1(), Variant(DateTime((12 + 5.0 / 60) / 24)));
  EXPECT_TRUE(times.DailyCloseTime2().IsNull());
}

TEST(SymbolsAdd, FailuresReturnNoneAndLeaveTheCollectionUnchanged) {
  CSymbols symbols;
  auto first = AddWithId(symbols, 7);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(AddWithId(symbols, 7), nullptr);  // ID already present
  SymbolFields f;
  f.id = "x";
  EXPECT_EQ(AddSymbol(symbols, f), nullptr);
  f.id = 8;
  for (const char* blank : {"late", "", " "}) {
    f.close_time = blank;
    EXPECT_EQ(AddSymbol(symbols, f), nullptr) << blank;
  }
  f.close_time = "22:00";
  f.open_time = "";
  EXPECT_EQ(AddSymbol(symbols, f), nullptr);
  f.open_time = "23:00";
  f.spread = "";
  auto blank = AddSymbol(symbols, f);
  ASSERT_NE(blank, nullptr);
  EXPECT_TRUE(blank->Spread().IsNull());
  EXPECT_EQ(symbols.Count(), 2);
  EXPECT_EQ(symbols.Item("7"), first);
}

TEST(SymbolsLookup, CountByKindKeyTextOrPositionAndNewEnumWhileRemoving) {
  CSymbols symbols;
  for (int id : {7, 3}) AddWithId(symbols, id);
  SymbolFields group;
  group.id = 5;
  group.type = Group_Type;
  AddSymbol(symbols, group);
  EXPECT_EQ(symbols.SymbolsCount(Group_Type), 1);
  EXPECT_EQ(symbols.SymbolsCount(symbol_type), 2);
  EXPECT_EQ(symbols.Item(2), symbols.Item("3"));
  EXPECT_EQ(symbols.Item(4), nullptr);
  EXPECT_EQ(symbols.Item("2"), nullptr);
  EXPECT_EQ(symbols.Item(" 7"), nullptr);
  std::vector<int32_t> walked;
  for (const auto& s : symbols.NewEnum()) {
    walked.push_back(s->ID());
    symbols.Remove(KeyOf(s->ID()));
  }
  EXPECT_EQ(walked, (std::vector<int32_t>{7, 3, 5}));
  EXPECT_EQ(symbols.Count(), 0);
}

TEST(SymbolsReferences, LaterReferenceLinkedOnlyBySetSymbolsRefSymbols) {
  CSymbols symbols;
  auto user = AddWithId(symbols, 5, 2);
  auto self = AddWithId(symbols, 6, 6);  // refers to a symbol not present yet
  auto ref = AddWithId(symbols, 2);
  auto early_user = AddWithId(symbols, 9, 2);
  EXPECT_EQ(user->RefSymbol(), nullptr);
  EXPECT_EQ(self->RefSymbol(), nullptr);
  EXPECT_EQ(early_user->RefSymbol(), ref);  // present when added
  symbols.SetSymbolsRefSymbols();
  EXPECT_EQ(user->RefSymbol(), ref);
  EXPECT_EQ(self->RefSymbol(), self);
  EXPECT_EQ(ref->RefSymbol(), nullptr);  // RefID 0 names no symbol
  SymbolFields no_ref;
  no_ref.id = 10;
  no_ref.ref_id = Variant();  // an empty RefID reads as 0
  auto unlinked = AddSymbol(symbols, no_ref);
  ASSERT_NE(unlinked, nullptr);
  EXPECT_EQ(unlinked->RefID(), Variant(0));
}

TEST(SymbolsRemove, RemoveReleasesTheSymbolAndClearRemovesAll) {
  CSymbols symbols;
  auto a = AddWithId(symbols, 7, 3);
  auto b = AddWithId(symbols, 3);
  AddWithId(symbols, 4);
  symbols.SetSymbolsRefSymbols();
  ASSERT_EQ(a->RefSymbol(), b);
  symbols.Remove("7");
  EXPECT_EQ(a->RefSymbol(), nullptr);  // released through Deallocate
  EXPECT_EQ(symbols.Count(), 2);
  symbols.Remove("99");
  symbols.Remove(5);
  symbols.Remove(2);
  EXPECT_EQ(symbols.Item(1), b);
  symbols.ClearSymbols();
  EXPECT_EQ(symbols.Count(), 0);
  EXPECT_EQ(b->SymbolTradingTimes(), nullptr);
}

TEST(SymbolsLifetime, DestroyObjectsDecidesWhetherSymbolsAreReleased) {
  auto kept = std::make_shared<CSymbol>();
  auto released = std::make_shared<CSymbol>();
  kept->ID(1);
  released->ID(1);
  {
    CSymbols symbols;
    symbols.AddByObject(kept);
    symbols.DestroyObjects(false);
  }
  EXPECT_NE(kept->SymbolTradingTimes(), nullptr);
  {
    CSymbols symbols;
    EXPECT_TRUE(symbols.DestroyObjects());
    EXPECT_EQ(symbols.AddByObject(released), released);
    EXPECT_EQ(symbols.AddByObject(released), nullptr);
    EXPECT_EQ(symbols.AddByObject(nullptr), nullptr);
  }
  EXPECT_EQ(released->SymbolTradingTimes(), nullptr);
}

TEST(SymbolsParameters, WellFormedStringsUpdatePresentSymbolsOnly) {
  CSymbols symbols;
  auto a = AddWithId(symbols, 7);
  auto b = AddWithId(symbols, 8);
  a->ClientPriceOffset(4);
  // ID, spread, source plus, limit, stop, commission, max lots, min lots, price offset
  symbols.UpdateParameters("99,1,1,1,1,1,1,1,1,7,3,2,10,20,2.5,50,0,5,8,,-1,0,0,0,0,-1,0");
  const std::vector<Variant> applied{a->Spread(),     a->SourcePlus(),  a->LimitOffset(),
                                     a->StopOffset(), a->Commission(),  a->MaxLots(),
                                     a->MinLots(),    a->PriceOffset(), a->ClientPriceOffset()};
  // A minimum of 0 or less reads 0.1; the client's own offset stays.
  EXPECT_EQ(applied, (std::vector<Variant>{3.0, 2, 10, 20, 2.5, 50, 0.1, 5, 4}));
  EXPECT_TRUE(b->Spread().IsNull());
  EXPECT_EQ(b->SourcePlus(), -1);
  // An empty string, an incomplete group or a non-number applies nothing.
  symbols.UpdateParameters("");
  symbols.UpdateParameters("7,4,9,11,21,3.5,51,1,6,8");
  symbols.UpdateParameters("7,4,x,11,21,3.5,51,1,6");
  EXPECT_EQ(a->Spread(), Variant(3.0));
  EXPECT_EQ(a->SourcePlus(), 2);
}

}  // namespace
}  // namespace orvane
