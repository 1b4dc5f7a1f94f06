#ifndef ORVANE_MARKET_SYMBOL_TYPE_ENUM_H_
#define ORVANE_MARKET_SYMBOL_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// Whether a symbol list entry is a tradable instrument or a group heading.
enum SymbolTypeEnum : int32_t {
  symbol_type = 1,
  Group_Type = 2,
};

}  // namespace orvane

#endif  // ORVANE_MARKET_SYMBOL_TYPE_ENUM_H_
