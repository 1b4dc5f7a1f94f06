// Drives the reference server's order requests (market orders, entry
// orders, stop-loss and take-profit orders) with parameter lists made from
// the input, as a logged-on client would send them: any number of
// parameters, numbers, times, garbage and the not-sent marker. Whatever
// arrives, every request is answered (an order answer or a protocol
// error), nothing crashes, and no figure, position or order of the book
// turns into a non-number.
//
// Input: a sequence of requests, each a byte choosing the request (kind %
// 9) and how many parameters follow (kind / 9 % 10), then for each
// parameter a length byte and that many bytes of text; a short text is
// often taken from a table of near-valid values instead.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "book_import.h"
#include "messages.h"
#include "orvane/core/clock.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/virtual_timer.h"
#include "trading_server.h"

namespace {

const char* kBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
PARAMSET p 1,0,0,0,0,0,100,0.01,0,2,2,0,5,5,3,5,0.1,0
CLIENT 10 p 2 50 2 0 Alice
USER alice secret 10 5,8
ACCOUNT 10 100 1 0 0 5000 0 -1000 0 0 0 0
POSITION 10 100 10R,@100R,@1R,@03/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
CLIENT 20 p 1 0 2 0 Bob
SETTINGS 20 0 0
ACCOUNT 20 200 1 0 0 9000 0 0 0 0 0 0
)";

const char* kValues[] = {"1",     "100", "200",    "2",        "-1",
                         "0",     "0.5", "1.1990", "1.2002",   "03/03/2027 12:30:00",
                         "99999999999", "nan", "", "!&NS&!", "1e308", "-2"};

const orvane::TokensEnum kTokens[] = {
    orvane::NEW_ORDER_TOKEN,          orvane::CLOSE_POS_ORDER_TOKEN,
    orvane::CLOSE_HEDGE_TOKEN,        orvane::NEW_LIMIT_ORDER_TOKEN,
    orvane::UPDATE_LIMIT_ORDER_TOKEN, orvane::DELETE_LIMIT_ORDER_TOKEN,
    orvane::NEW_SL_TP_TOKEN,          orvane::UPDATE_SL_TP_ORDER_TOKEN,
    orvane::DELETE_SL_TP_ORDER_TOKEN};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  using namespace orvane::apps;
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2027, 3, 3, 12, 0, 0));
  ScopedClock scoped(clock);
  auto loop = std::make_shared<VirtualTimeScheduler>();
  auto network = MemoryNetwork::Create(loop, false);
  ServerOptions options;
  options.start_after_sessions = 99;
  TradingServer server(import_book(kBook, "book"), PriceFeed::from_tape({}), clock,
                       {std::make_shared<MemoryAcceptor>(network), loop,
                        [&] { return loop->Elapsed(); }},
                       options);
  const int32_t port = server.start("127.0.0.1", 0);
  auto peer = network->CreateSocket();
  peer->Connect("127.0.0.1", port);
  loop->RunUntilIdle();
  peer->Send(wire::request(-1, wire::LogOn{"alice", "secret"}));
  CDataProtocol split;
  std::vector<std::string> messages;
  if (split.SplitBuffer(peer->Receive(), messages) != 1) std::abort();

  size_t at = 0;
  while (at < size) {
    const uint8_t kind = data[at++];
    const TokensEnum token = kTokens[kind % 9];
    std::vector<std::string> params;
    for (int p = (kind / 9) % 10; p > 0 && at < size; --p) {
      size_t length = data[at++];
      if (length < 16) {
        params.emplace_back(kValues[length]);
        continue;
      }
      length -= 16;
      if (length > size - at) length = size - at;
      params.emplace_back(reinterpret_cast<const char*>(data + at), length);
      at += length;
    }
    std::string request;
    try {
      request = wire::request_text(1, token, params);
    } catch (...) {
      continue;  // a parameter list the framing itself refuses
    }
    peer->Send(request);
    const int32_t answers = split.SplitBuffer(peer->Receive(), messages);
    int32_t answered = 0;
    for (int32_t i = 1; i <= answers; ++i) {
      CProcess process;
      process.DefineProcessByCommand(5, messages[i]);
      if (process.TokenID() == token || process.TokenID() == ERROR_TOKEN) ++answered;
    }
    // A request whose text holds a terminator splits into more messages,
    // each answered; at least one answer, never silence.
    if (answered < 1) std::abort();
  }
  const model::Snapshot live = server.desk().snapshot();
  if (live.accounts.size() != 2) std::abort();
  for (const model::Account& a : live.accounts) {
    const model::Totals& t = a.totals;
    for (double v : {t.commission, t.margin_requirement, t.net_profit, t.deposit}) {
      if (!std::isfinite(v)) std::abort();
    }
  }
  for (const model::Position& p : live.positions) {
    if (!std::isfinite(p.lots) || p.lots <= 0 || !std::isfinite(p.price)) std::abort();
  }
  for (const model::Order& o : live.orders) {
    if (!std::isfinite(o.lots) || o.lots <= 0 || !std::isfinite(o.price) ||
        !std::isfinite(o.sl) || !std::isfinite(o.tp)) {
      std::abort();
    }
  }
  return 0;
}
