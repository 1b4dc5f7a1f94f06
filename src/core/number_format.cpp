#include "orvane/core/number_format.h"

namespace orvane {
namespace {

NumberFormat& current_format() {
  static NumberFormat format;
  return format;
}

}  // namespace

const NumberFormat& CurrentNumberFormat() { return current_format(); }

void SetNumberFormat(NumberFormat format) { current_format() = format; }

}  // namespace orvane
