#ifndef ORVANE_MARKET_SYMBOLS_H_
#define ORVANE_MARKET_SYMBOLS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/market/symbol.h"

namespace orvane {

class CGenerals;

// Every symbol of a host, keyed by the decimal text of its ID ("15") and
// kept in insertion order; a symbol is also reached by its 1-based
// position. Builds symbols from the host's flat field list, links each to
// its reference symbol and applies a client parameter string.
//
// Lookups by a text variant use the key, by a number the position; a miss
// gives nullptr and raises nothing.
class CSymbols : public Object, public ISafeObject, private NonCopyable {
 public:
  CSymbols();
  // With DestroyObjects set, every symbol is released through Deallocate.
  ~CSymbols() override;

  // Adds Sym under the key of its ID and returns it; nullptr (and nothing
  // added) for no symbol or an ID already present.
  std::shared_ptr<CSymbol> AddByObject(std::shared_ptr<CSymbol> Sym);

  // Removes every symbol through Remove, front to back.
  void ClearSymbols();

  // Builds a symbol from the host's field list and adds it. The reference
  // symbol (the one keyed by RefID) is looked up first and PipLocation set
  // before any price, so that prices round with the symbol's decimals; the
  // other fields follow in argument order and the trading-time fields come
  // last. Numeric fields take the number a variant holds (text that is no
  // number reads by the Val rule); a Spread that is null or empty text
  // leaves the spread null. Returns nullptr, raising nothing and leaving
  // the collection unchanged, when a field cannot be taken (a RefID or ID
  // that is no 32-bit number, an open or close time that is no time, blank
  // included) or the ID is already present.
  std::shared_ptr<CSymbol> Add(
      const Variant& Spread, int16_t SourcePlus, const Variant& TickPips,
      const Variant& RefPriceCase, const Variant& PriceCase, const Variant& Factor,
      const Variant& LastQuteTime, const Variant& Low, const Variant& High,
      const Variant& Bid, const Variant& Ask, const Variant& Last, bool isDisplay,
      bool isUsed, const Variant& RefID, const Variant& PipLocation,
      SymbolTypeEnum SymbolType, const Variant& Name, const Variant& ID,
      const std::string& OpenDay, const std::string& OpenTime, const std::string& CloseDay,
      const std::string& CloseTime, const Variant& DailyCloseTime1,
      const Variant& DailyOpenTime1, const Variant& DailyCloseTime2,
      const Variant& DailyOpenTime2, const Variant& DailyCloseTime3,
      const Variant& DailyOpenTime3, bool Closed, const std::string& DDEItems,
      bool MoveIfClosed, HighLowComputeTypeEnum HighType, HighLowComputeTypeEnum LowType,
      bool GiveQuoteHL, bool StopFeed, int16_t PriceOffset, int16_t SpreadOffset,
      int16_t SortOrder, int16_t AmountUnitID, const std::string& Bank, bool StopTrade,
      int16_t StopTradeSeconds, const Variant& ParentID, double MWColor, bool Requotable,
      MarketOrderTypeEnum MOType, const std::string& Description, SpreadCalTypeEnum SpreadType,
      bool JustClose, bool BuyOnly, bool HasPriv, const std::string& ExpDate, double DayOpen,
      double DayClose, std::shared_ptr<Object> Ref1 = nullptr,
      std::shared_ptr<Object> Ref2 = nullptr, std::shared_ptr<Object> Ref3 = nullptr,
      std::shared_ptr<Object> Ref4 = nullptr);

  // The symbol under a key text ("7") or at a 1-based position (1).
  std::shared_ptr<CSymbol> Item(const Variant& vntIndexKey) const;
  std::shared_ptr<CSymbol> ItemByIndex(const Variant& vntIndexKey) const {
    return Item(vntIndexKey);
  }
  int32_t Count() const { return m_symbols.Count(); }

  // Releases the symbol through its Deallocate, then removes it; nothing
  // for a miss.
  void Remove(const Variant& vntIndexKey);

  // Links every symbol to the symbol keyed by its RefID, or to none.
  void SetSymbolsRefSymbols();

  // The symbols in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<CSymbol>> NewEnum() const { return m_symbols.Snapshot(); }

  // Range-for over the symbols in insertion order (the collection's
  // enumeration).
  KeyedCollection<CSymbol>::Iterator begin() const { return m_symbols.begin(); }
  KeyedCollection<CSymbol>::Iterator end() const { return m_symbols.end(); }

  // The live collection, not a copy. Empties the parameter work arrays.
  KeyedCollection<CSymbol>& Items();

  // Applies a client parameter string (nine fields per symbol: ID, spread,
  // source plus, limit offset, stop offset, commission, max lots, min lots,
  // price offset) to the symbols present: Spread, SourcePlus, Commission,
  // MaxLots, MinLots, LimitOffset, StopOffset and PriceOffset, in that
  // order. Entries naming an absent symbol are skipped. A string that cannot
  // be split completely (a field that is no number, an incomplete group)
  // applies no entry and raises nothing.
  void UpdateParameters(const std::string& vPars);

  // The number of symbols of the given kind. Throws Error(Overflow) beyond
  // 32767.
  int16_t SymbolsCount(SymbolTypeEnum SymType) const;

  // Whether the symbols are released (Deallocate) when the collection ends;
  // true for a new collection.
  bool DestroyObjects() const { return m_destroy_objects; }
  void DestroyObjects(bool value) { m_destroy_objects = value; }

  // Releases the symbols when DestroyObjects is set, empties the collection
  // and releases the CGenerals object; UpdateParameters applies nothing
  // afterwards.
  void Deallocate() override;

 private:
  struct ParameterArrays {
    std::vector<int32_t> symbol_ids;
    std::vector<Variant> spreads;
    std::vector<int16_t> source_plus;
    std::vector<double> limit_offsets;
    std::vector<double> stop_offsets;
    std::vector<double> commissions;
    std::vector<double> max_lots;
    std::vector<double> min_lots;
    std::vector<int16_t> price_offsets;
  };

  KeyedCollection<CSymbol> m_symbols;
  std::shared_ptr<CGenerals> m_generals;
  bool m_destroy_objects = true;
  ParameterArrays m_parameters;
};

}  // namespace orvane

#endif  // ORVANE_MARKET_SYMBOLS_H_
