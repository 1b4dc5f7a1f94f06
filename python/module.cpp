// The Python module `orvane`: the trading library's symbols, clients,
// accounts and account engine, and its message framing. Names are the
// library's own; properties of the C++ classes are Python properties.

#include "bindings.h"

PYBIND11_MODULE(orvane, m) {
  m.doc() = "Orvane trading library: symbols, clients, accounts, the account engine and "
            "the message framing.";
  // Types that others take as arguments or defaults come first.
  orvane::python::BindCore(m);
  orvane::python::BindMarket(m);
  orvane::python::BindAccounts(m);
  orvane::python::BindEngine(m);
  orvane::python::BindProtocol(m);
}
