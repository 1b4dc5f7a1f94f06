// Server-to-terminal throughput on loopback through the real adapters: a
// listener pushes price messages to 1 and to 100 connected CHClients, which
// split, parse and raise each one as a CProcess. The reference reads the
// same bytes with raw Asio sockets and only counts the terminators.

#include <benchmark/benchmark.h>

#include <array>
#include <asio.hpp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orvane/asio/asio_listener.h"
#include "orvane/connection/h_client.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/protocol/tokens_enum.h"
#include "raw_reader.h"

namespace orvane {
namespace {

constexpr int kMessagesPerPush = 1000;

std::string PriceBlock() {
  CDataProtocol wire;
  std::string block;
  for (int i = 0; i < kMessagesPerPush; ++i) {
    block += wire.Response(GET_PRICES_TOKEN,
                           {"EURUSD", std::to_string(1.08345 + i * 1e-5),
                            std::to_string(1.08365 + i * 1e-5), "09:30:15"});
  }
  return block;
}

// The pushing side: keeps every accepted connection.
class Pusher : public AsioListenerEvents {
 public:
  explicit Pusher(asio::io_context& io) : m_listener(io) {
    m_listener.Advise(this);
    m_port = m_listener.Listen("127.0.0.1", 0);
  }
  void Accepted(const std::shared_ptr<ISocket>& child) override {
    children.push_back(child);
  }
  void Push(const std::string& block) {
    for (auto& child : children) child->Send(block);
  }
  int Port() const { return m_port; }
  std::vector<std::shared_ptr<ISocket>> children;

 private:
  AsioListener m_listener;
  int m_port = 0;
};

class Counter : public CHClientEvents {
 public:
  void Receive(const std::shared_ptr<CProcess>& process) override {
    ++count;
    tokens += process->TokenID();
  }
  int64_t count = 0;
  int64_t tokens = 0;
};

void RunUntil(asio::io_context& io, const std::function<bool()>& done) {
  while (!done()) io.run_one();
}

void BM_HClientsReceiveAndParse(benchmark::State& state) {
  const int clients_wanted = static_cast<int>(state.range(0));
  asio::io_context io;
  Pusher pusher(io);
  Counter counter;
  std::vector<std::unique_ptr<CHClient>> clients;
  for (int i = 0; i < clients_wanted; ++i) {
    auto client = std::make_unique<CHClient>(io);
    client->Advise(&counter);
    client->ServerAddress("127.0.0.1");
    client->ServerPort(pusher.Port());
    client->Connect();
    clients.push_back(std::move(client));
  }
  RunUntil(io, [&] {
    if (static_cast<int>(pusher.children.size()) < clients_wanted) return false;
    for (auto& c : clients) {
      if (c->status() != STATUS_CONNECTED) return false;
    }
    return true;
  });
  const std::string block = PriceBlock();
  for (auto _ : state) {
    int64_t target = counter.count + int64_t(clients_wanted) * kMessagesPerPush;
    pusher.Push(block);
    RunUntil(io, [&] { return counter.count >= target; });
  }
  benchmark::DoNotOptimize(counter.tokens);
  state.SetItemsProcessed(state.iterations() * clients_wanted *
                          kMessagesPerPush);
  state.SetBytesProcessed(state.iterations() * clients_wanted *
                          int64_t(block.size()));
  for (auto& c : clients) {
    c->Unadvise(&counter);
    c->Disconnect(false);
  }
}

void BM_RawAsioReference(benchmark::State& state) {
  const int clients_wanted = static_cast<int>(state.range(0));
  asio::io_context io;
  Pusher pusher(io);
  int64_t count = 0;
  std::vector<std::unique_ptr<bench::RawReader>> readers;
  asio::ip::tcp::endpoint server(asio::ip::make_address("127.0.0.1"),
                                 uint16_t(pusher.Port()));
  for (int i = 0; i < clients_wanted; ++i) {
    auto reader = std::make_unique<bench::RawReader>(io, count);
    reader->Socket().connect(server);
    reader->Socket().set_option(asio::ip::tcp::no_delay(true));
    reader->Read();
    readers.push_back(std::move(reader));
  }
  RunUntil(io, [&] {
    return static_cast<int>(pusher.children.size()) == clients_wanted;
  });
  const std::string block = PriceBlock();
  for (auto _ : state) {
    int64_t target = count + int64_t(clients_wanted) * kMessagesPerPush;
    pusher.Push(block);
    RunUntil(io, [&] { return count >= target; });
  }
  state.SetItemsProcessed(state.iterations() * clients_wanted *
                          kMessagesPerPush);
  state.SetBytesProcessed(state.iterations() * clients_wanted *
                          int64_t(block.size()));
  for (auto& r : readers) {
    std::error_code ignored;
    r->Socket().close(ignored);
  }
  io.restart();
  io.poll();
}

BENCHMARK(BM_HClientsReceiveAndParse)->Arg(1)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawAsioReference)->Arg(1)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane
