// A host that needs only the message codec: it links orvane::protocol alone,
// so this builds only while the codec leans on neither the connection nor
// the Asio and OpenSSL adapters.
#include <iostream>
#include <string>
#include <vector>

#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"

int main() {
  orvane::CDataProtocol wire;
  const std::string text = wire.Response(orvane::MARKET_DATA_TOKEN, {"12", "1.08347"});
  std::vector<std::string> rows;
  if (wire.SplitBuffer(text, rows) != 1) {
    std::cerr << "codec_only: the price was not cut out\n";
    return 1;
  }
  orvane::CProcess process;
  process.DefineProcessByCommand(0, rows[1]);
  if (process.TokenID() != orvane::MARKET_DATA_TOKEN) {
    std::cerr << "codec_only: the price did not read back\n";
    return 1;
  }
  std::cout << "codec_only: ok\n";
  return 0;
}
