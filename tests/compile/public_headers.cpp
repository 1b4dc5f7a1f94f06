// Compiled with include/ alone on the include path: every public header
// stands without the library's private headers. With
// ORVANE_USE_PRIVATE_LAYOUT it must not compile, since the engine's price
// layout is declared in no public header.
#include "orvane/orvane.h"

#ifdef ORVANE_USE_PRIVATE_LAYOUT
static_assert(sizeof(orvane::detail::PositionFigures) > 0);
static_assert(sizeof(orvane::detail::HolderRow) > 0);
#endif

int main() { return 0; }
