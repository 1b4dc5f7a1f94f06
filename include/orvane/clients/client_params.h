#ifndef ORVANE_CLIENTS_CLIENT_PARAMS_H_
#define ORVANE_CLIENTS_CLIENT_PARAMS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "orvane/clients/client_param.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

class CSymbol;

// One client's parameter entries, keyed by the decimal text of the entry's
// symbol ID ("15"), in insertion order. Releasing the collection (or
// Deallocate) deallocates every entry, clearing its Symbol and Parent.
class CClientParams : public Object, public ISafeObject, private NonCopyable {
 public:
  CClientParams() = default;
  ~CClientParams() override;

  // Points every entry's Parent at the entry of its symbol's reference
  // symbol (the key of Symbol.RefID); none when there is no such entry or
  // the entry has no symbol.
  void SetParamsRefParams();

  // Creates a CClientParamCl when ClientOrServer is 1 and a CClientParamSvr
  // otherwise, sets Symbol, StopOffset, LimitOffset, MinLots, MaxLots,
  // Commission, Spread, SourcePlus and PriceOffset, and adds it under the
  // text of Symbol's ID. Never throws: with no symbol, or a symbol that
  // already has an entry, nothing is added and the result is nullptr.
  std::shared_ptr<CClientParam> Add(const Variant& Spread, int16_t SourcePlus, double Commission,
                                    double MaxLots, double MinLots, double LimitOffset,
                                    double StopOffset, int16_t PriceOffset,
                                    std::shared_ptr<CSymbol> Symbol, int16_t ClientOrServer);

  // The entry under a key text or at a 1-based position; nullptr when there
  // is none. Text is a key and a number a position: a symbol's entry is
  // Item(KeyOf(symbol_id)), not Item(symbol_id). Item and ItemByIndex are
  // the same lookup.
  std::shared_ptr<CClientParam> ItemByIndex(const Variant& vntIndexKey) const;
  std::shared_ptr<CClientParam> Item(const Variant& vntIndexKey) const;

  int32_t Count() const { return m_params.Count(); }

  // Deallocates the entry under a key text or at a position, then removes
  // it; a miss is ignored.
  void Remove(const Variant& vntIndexKey);

  // The entries in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<CClientParam>> NewEnum() const { return m_params.Snapshot(); }

  // The live collection.
  KeyedCollection<CClientParam>& Items() { return m_params; }
  const KeyedCollection<CClientParam>& Items() const { return m_params; }

  KeyedCollection<CClientParam>::Iterator begin() const { return m_params.begin(); }
  KeyedCollection<CClientParam>::Iterator end() const { return m_params.end(); }

  // Deallocates every entry and empties the collection.
  void Deallocate() override;

 private:
  KeyedCollection<CClientParam> m_params;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_PARAMS_H_
