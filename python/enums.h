#ifndef ORVANE_PYTHON_ENUMS_H_
#define ORVANE_PYTHON_ENUMS_H_

#include <initializer_list>
#include <utility>

#include "bindings.h"

namespace orvane::python {

// Binds an enumeration with its enumerators also at module level (as the C++
// names are in namespace orvane). Plain ints are accepted where it is
// expected, since its values travel in messages and books as numbers.
template <typename Enum>
void BindEnum(pybind11::module_& m, const char* name,
              std::initializer_list<std::pair<const char*, Enum>> values) {
  pybind11::enum_<Enum> type(m, name);
  for (const auto& [text, value] : values) type.value(text, value);
  type.export_values();
  pybind11::implicitly_convertible<pybind11::int_, Enum>();
}

}  // namespace orvane::python

#endif  // ORVANE_PYTHON_ENUMS_H_
