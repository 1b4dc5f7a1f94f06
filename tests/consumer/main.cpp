// A host program built against an installed Orvane. It touches every layer
// (a TLS socket pulls in OpenSSL) and exits non-zero on the first result
// that differs from what the library promises.
#include <asio/io_context.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "orvane/orvane.h"

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  using namespace orvane;

  const DateTime t = DateTime::FromParts(2024, 3, 5, 14, 7, 9);
  Expect(t.Year() == 2024 && t.Hour() == 14 && t.Second() == 9, "DateTime parts");
  {
    ScopedFixedClock pin(t);
    pin->AdvanceSeconds(60);
    Expect(Now() == DateTime::FromParts(2024, 3, 5, 14, 8, 9), "pinned clock");
  }

  CRow row;
  row.NewRow();
  row.AddCell(Variant("EURUSD"));
  row.AddCell(Variant(2));  // cells are counted from 1
  row.Add(row.RowVal().TextValue());
  Expect(row.Count() == 2 && row.Item(1) == "EURUSD" && row.Item(2) == "2", "row cells");

  CDataProtocol protocol;
  const std::string message = protocol.Response(RESULT_TOKEN, {"1", "x"});
  std::vector<std::string> rows;  // an empty slot before and after the messages
  const std::string body = message.substr(0, message.size() - 3);  // less "+3!"
  Expect(protocol.SplitBuffer(message + message, rows) == 2 && rows.size() == 4 &&
             rows[1] == body && rows[2] == body,
         "split two messages");

  CSymbol symbol;
  symbol.ID(7);
  symbol.PipLocation(-4);
  symbol.Bid(1.234442);  // a tenth of a pip is added, then rounded to the pip
  Expect(symbol.Bid() == 1.2345, "symbol bid");

  CClients clients;
  Expect(clients.Count() == 0 && !clients.AccountExists(7), "empty client tree");

  asio::io_context io;
  TlsOptions tls;
  tls.enabled = true;
  tls.ca_file = "/nonexistent/orvane-ca.pem";
  try {
    AsioSocket socket(io, tls);
    Expect(false, "a TLS socket with a missing CA file is refused");
  } catch (const Error& e) {
    Expect(e.code() == ErrorCode::FileError, "missing CA file raises FileError");
  }

  if (failures == 0) std::puts("consumer: ok");
  return failures == 0 ? 0 : 1;
}
