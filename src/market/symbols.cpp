#include "orvane/market/symbols.h"

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_lookup.h"
#include "orvane/util/generals.h"

namespace orvane {
namespace {

// The key of the symbol a RefID names: the decimal text of its 32-bit value.
std::string reference_key(const Variant& ref_id) { return KeyOf(ToInt32(ref_id)); }

std::shared_ptr<CSymbol> lookup_reference(const KeyedCollection<CSymbol>& symbols,
                                          const Variant& ref_id) {
  if (!ref_id.IsNumeric()) return nullptr;
  return symbols.Item(reference_key(ref_id));
}

}  // namespace

CSymbols::CSymbols() : m_generals(std::make_shared<CGenerals>()) {}

CSymbols::~CSymbols() { Deallocate(); }

void CSymbols::Deallocate() {
  if (m_destroy_objects) {
    for (const auto& symbol : m_symbols) symbol->Deallocate();
  }
  m_symbols.Clear();
  if (m_generals) m_generals->Deallocate();
  m_generals.reset();
}

std::shared_ptr<CSymbol> CSymbols::AddByObject(std::shared_ptr<CSymbol> Sym) {
  if (!Sym) return nullptr;
  if (!m_symbols.Add(KeyOf(Sym->ID()), Sym)) return nullptr;
  return Sym;
}

void CSymbols::ClearSymbols() {
  const int32_t count = Count();
  for (int32_t i = 0; i < count; ++i) Remove(1);
}

std::shared_ptr<CSymbol> CSymbols::Add(
    const Variant& Spread, int16_t SourcePlus, const Variant& TickPips,
    const Variant& RefPriceCase, const Variant& PriceCase, const Variant& Factor,
    const Variant& LastQuteTime, const Variant& Low, const Variant& High, const Variant& Bid,
    const Variant& Ask, const Variant& Last, bool isDisplay, bool isUsed, const Variant& RefID,
    const Variant& PipLocation, SymbolTypeEnum SymbolType, const Variant& Name,
    const Variant& ID, const std::string& OpenDay, const std::string& OpenTime,
    const std::string& CloseDay, const std::string& CloseTime, const Variant& DailyCloseTime1,
    const Variant& DailyOpenTime1, const Variant& DailyCloseTime2,
    const Variant& DailyOpenTime2, const Variant& DailyCloseTime3,
    const Variant& DailyOpenTime3, bool Closed, const std::string& DDEItems, bool MoveIfClosed,
    HighLowComputeTypeEnum HighType, HighLowComputeTypeEnum LowType, bool GiveQuoteHL,
    bool StopFeed, int16_t PriceOffset, int16_t SpreadOffset, int16_t SortOrder,
    int16_t AmountUnitID, const std::string& Bank, bool StopTrade, int16_t StopTradeSeconds,
    const Variant& ParentID, double MWColor, bool Requotable, MarketOrderTypeEnum MOType,
    const std::string& Description, SpreadCalTypeEnum SpreadType, bool JustClose,
    bool BuyOnly, bool HasPriv, const std::string& ExpDate, double DayOpen, double DayClose,
    std::shared_ptr<Object> Ref1, std::shared_ptr<Object> Ref2, std::shared_ptr<Object> Ref3,
    std::shared_ptr<Object> Ref4) {
  auto symbol = std::make_shared<CSymbol>();
  try {
    symbol->RefSymbol(lookup_reference(m_symbols, RefID));
    symbol->PipLocation(PipLocation.NumberValue());
    symbol->Spread(Spread.IsEmpty() || Spread.IsNullOrEmptyText() ? Spread
                                                                   : Spread.NumberValue());
    symbol->SourcePlus(SourcePlus);
    symbol->TickPips(TickPips.NumberValue());
    symbol->RefPriceCase(ToInt16(RefPriceCase.NumberValue()));
    symbol->PriceCase(ToInt16(PriceCase.NumberValue()));
    symbol->Factor(Factor.NumberValue());
    symbol->LastQuteTime(LastQuteTime.TextValue());
    symbol->Low(Low.NumberValue());
    symbol->High(High.NumberValue());
    symbol->Bid(Bid.NumberValue());
    symbol->Ask(Ask.NumberValue());
    symbol->Last(Last.NumberValue());
    symbol->isDisplay(isDisplay);
    symbol->isUsed(isUsed);
    symbol->RefID(RefID);
    symbol->SymbolType(SymbolType);
    symbol->Name(Name);
    symbol->ID(ToInt32(ID));
    symbol->DDESymbols(DDEItems);
    symbol->MoveIfClosed(MoveIfClosed);
    symbol->HighType(HighType);
    symbol->LowType(LowType);
    symbol->GiveQuoteFromNewHighLow(GiveQuoteHL);
    symbol->StopFeed(StopFeed);
    symbol->PriceOffset(PriceOffset);
    symbol->SpreadOffset(SpreadOffset);
    symbol->SortOrder(SortOrder);
    symbol->AmountUnitID(AmountUnitID);
    symbol->Bank(Bank);
    symbol->StopTradeIfNoPrices(StopTrade);
    symbol->StopTradeAfterSeconds(StopTradeSeconds);
    symbol->ParentID(ParentID);
    symbol->Requotable(Requotable);
    symbol->MWColor(MWColor);
    symbol->MarketOrderType(MOType);
    symbol->Description(Description);
    symbol->SpreadType(SpreadType);
    symbol->JustClose(JustClose);
    symbol->BuyOnly(BuyOnly);
    symbol->HasPriv(HasPriv);
    symbol->DayClosePrice(DayClose);
    symbol->DayOpenPrice(DayOpen);
    symbol->ExpiryDate(ExpDate);
    symbol->Ref1(std::move(Ref1));
    symbol->Ref2(std::move(Ref2));
    symbol->Ref3(std::move(Ref3));
    symbol->Ref4(std::move(Ref4));
    CSymbolTradingTimes& times = *symbol->SymbolTradingTimes();
    times.OpenDay(OpenDay);
    times.OpenTime(OpenTime);
    times.CloseDay(CloseDay);
    times.CloseTime(CloseTime);
    times.DailyCloseTime1(DailyCloseTime1);
    times.DailyOpenTime1(DailyOpenTime1);
    times.DailyCloseTime2(DailyCloseTime2);
    times.DailyOpenTime2(DailyOpenTime2);
    times.DailyCloseTime3(DailyCloseTime3);
    times.DailyOpenTime3(DailyOpenTime3);
    times.Closed(Closed);
  } catch (const Error&) {
    symbol->Deallocate();
    return nullptr;
  }
  std::shared_ptr<CSymbol> added = AddByObject(symbol);
  if (!added) symbol->Deallocate();
  return added;
}

std::shared_ptr<CSymbol> CSymbols::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_symbols, vntIndexKey);
}

void CSymbols::Remove(const Variant& vntIndexKey) {
  std::shared_ptr<CSymbol> symbol = Item(vntIndexKey);
  if (!symbol) return;
  symbol->Deallocate();
  RemoveByIndexKey(m_symbols, vntIndexKey);
}

void CSymbols::SetSymbolsRefSymbols() {
  for (const auto& symbol : m_symbols) {
    symbol->RefSymbol(lookup_reference(m_symbols, symbol->RefID()));
  }
}

KeyedCollection<CSymbol>& CSymbols::Items() {
  m_parameters = ParameterArrays();
  return m_symbols;
}

void CSymbols::UpdateParameters(const std::string& vPars) {
  if (!m_generals) return;
  ParameterArrays& p = m_parameters;
  int32_t count = 0;
  try {
    count = m_generals->SplitClientParameters(vPars, p.symbol_ids, p.spreads, p.source_plus,
                                              p.limit_offsets, p.stop_offsets, p.commissions,
                                              p.max_lots, p.min_lots, p.price_offsets);
  } catch (const Error&) {
    return;
  }
  for (int32_t i = 1; i <= count; ++i) {
    const auto at = static_cast<size_t>(i);
    if (at >= p.symbol_ids.size()) break;
    std::shared_ptr<CSymbol> symbol = m_symbols.Item(KeyOf(p.symbol_ids[at]));
    if (!symbol) continue;
    symbol->Spread(p.spreads[at]);
    symbol->SourcePlus(p.source_plus[at]);
    symbol->Commission(p.commissions[at]);
    symbol->MaxLots(p.max_lots[at]);
    symbol->MinLots(p.min_lots[at]);
    symbol->LimitOffset(p.limit_offsets[at]);
    symbol->StopOffset(p.stop_offsets[at]);
    symbol->PriceOffset(p.price_offsets[at]);
  }
}

int16_t CSymbols::SymbolsCount(SymbolTypeEnum SymType) const {
  int32_t count = 0;
  for (const auto& symbol : m_symbols) {
    if (symbol->SymbolType() == SymType) ++count;
  }
  return ToInt16(static_cast<double>(count));
}

}  // namespace orvane
