// Receive-path speed of the wire protocol: a realistic stream (price pushes
// with five parameters, requests with a SID, multi-row result rows of 16
// cells; about 100 bytes a message) cut into 1460-byte chunks, split with
// SplitBuffer and parsed with DefineProcessByCommand as a server runs it
// (SystemLogLevel 0). Two references run on equivalent bytes: a plain memmem
// scan for the terminator (the limit of any splitter) and QuickFIX splitting
// and parsing FIX messages of the same size and field count.
//
// Every benchmark reports messages per second, bytes per second and heap
// allocations per message (counted by the operator new below).

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// QuickFIX's headers still carry dynamic exception lists (throw(...)), which
// C++17 removed. The standard and system headers they use are included
// first; the throw lists are then dropped for QuickFIX's own headers only.
#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <errno.h>
#include <fcntl.h>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <numeric>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <sstream>
#include <stdarg.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define throw(...)
#include <quickfix/Message.h>
#include <quickfix/Parser.h>
#undef throw
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"

namespace {

uint64_t g_allocations = 0;

}  // namespace

// Kept out of line, so that the compiler never pairs an inlined malloc with
// an inlined free across these replacements.
#define ORVANE_BENCH_NOINLINE __attribute__((noinline))

ORVANE_BENCH_NOINLINE void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
ORVANE_BENCH_NOINLINE void* operator new[](std::size_t size) { return operator new(size); }
ORVANE_BENCH_NOINLINE void operator delete(void* p) noexcept { std::free(p); }
ORVANE_BENCH_NOINLINE void operator delete[](void* p) noexcept { std::free(p); }
ORVANE_BENCH_NOINLINE void operator delete(void* p, std::size_t) noexcept { std::free(p); }
ORVANE_BENCH_NOINLINE void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using orvane::CDataProtocol;
using orvane::CProcess;

constexpr size_t kMessages = 30000;
constexpr size_t kChunk = 1460;

// A fixed pseudo-random sequence, so every run sees the same stream.
class Sequence {
 public:
  uint32_t Next() {
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(m_state >> 33);
  }
  std::string Price() {
    const uint32_t pips = 100000 + Next() % 20000;
    return "1." + std::to_string(pips).substr(1);
  }
  std::string Number(uint32_t below) { return std::to_string(Next() % below); }

 private:
  uint64_t m_state = 20261205;
};

// The values of one message of the mix: kind 0 is a price push, 1 a request
// with a SID, 2 a result row.
struct MessageValues {
  int kind;
  int32_t sid;
  std::vector<std::string> values;
};

std::vector<MessageValues> BuildMix() {
  Sequence seq;
  std::vector<MessageValues> mix;
  mix.reserve(kMessages);
  for (size_t i = 0; i < kMessages; ++i) {
    MessageValues m{static_cast<int>(i % 3), 0, {}};
    if (m.kind == 0) {
      m.values = {seq.Number(60), seq.Price(), seq.Price(), seq.Price(), seq.Price()};
    } else if (m.kind == 1) {
      m.sid = static_cast<int32_t>(10000 + seq.Next() % 90000);
      m.values = {seq.Number(100000), seq.Number(60), "1", seq.Number(100) + ".5", seq.Price()};
    } else {
      m.values.push_back(seq.Number(500));
      for (int cell = 0; cell < 16; ++cell) {
        m.values.push_back(cell % 4 == 1 ? seq.Price() : seq.Number(cell % 4 == 0 ? 9999 : 99));
      }
    }
    mix.push_back(std::move(m));
  }
  return mix;
}

std::string JoinCells(const std::vector<std::string>& values) {
  std::string row;
  for (size_t i = 1; i < values.size(); ++i) {
    if (i > 1) row += "R,@";
    row += values[i];
  }
  return row;
}

std::string OrvaneStream() {
  CDataProtocol protocol;
  std::string stream;
  for (const MessageValues& m : BuildMix()) {
    if (m.kind == 0) {
      stream += protocol.Response(orvane::MARKET_DATA_TOKEN, m.values);
    } else if (m.kind == 1) {
      protocol.sid(m.sid);
      stream += protocol.Request(orvane::NEW_ORDER_TOKEN, m.values);
    } else {
      const std::vector<std::string> params = {m.values[0], JoinCells(m.values)};
      stream += protocol.Response(orvane::RESULT_TOKEN, params);
    }
  }
  return stream;
}

// The same messages as FIX: a header of begin string, body length, message
// type, sender, target and sequence number (the SID), one field per value
// (a row's 16 cells as 16 fields), and the checksum.
std::vector<std::string> FixMessages() {
  std::vector<std::string> messages;
  int seq_num = 1;
  for (const MessageValues& m : BuildMix()) {
    FIX::Message message;
    FIX::Header& header = message.getHeader();
    header.setField(FIX::FIELD::BeginString, "FIX.4.4");
    header.setField(FIX::FIELD::MsgType, m.kind == 0 ? "W" : m.kind == 1 ? "D" : "U1");
    header.setField(FIX::FIELD::SenderCompID, "SRV");
    header.setField(FIX::FIELD::TargetCompID, "C1");
    header.setField(FIX::FIELD::MsgSeqNum, std::to_string(m.kind == 1 ? m.sid : seq_num));
    ++seq_num;
    int tag = 5000;
    for (const std::string& value : m.values) message.setField(tag++, value);
    messages.push_back(message.toString());
  }
  return messages;
}

std::vector<std::string_view> Chunks(std::string_view stream) {
  std::vector<std::string_view> chunks;
  for (size_t at = 0; at < stream.size(); at += kChunk) chunks.push_back(stream.substr(at, kChunk));
  return chunks;
}

const std::string& Stream() {
  static const std::string stream = OrvaneStream();
  return stream;
}

const std::string& FixStream() {
  static const std::string stream = [] {
    std::string all;
    for (const std::string& m : FixMessages()) all += m;
    return all;
  }();
  return stream;
}

void Report(benchmark::State& state, size_t messages, size_t bytes, uint64_t allocations) {
  const auto total = static_cast<double>(messages) * static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(total));
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
  state.counters["msgs"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  state.counters["allocs/msg"] = static_cast<double>(allocations) / total;
  state.counters["bytes/msg"] = static_cast<double>(bytes) / static_cast<double>(messages);
}

// The server's receive path: one protocol object per connection, one
// process object parsed again for every message.
void BM_SplitAndParse(benchmark::State& state) {
  const auto chunks = Chunks(Stream());
  CDataProtocol connection;
  CProcess process;
  process.SystemLogLevel(0);
  std::vector<std::string> rows;
  int64_t parameters = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations;
    for (std::string_view chunk : chunks) {
      const int32_t n = connection.SplitBuffer(chunk, rows);
      for (int32_t i = 1; i <= n; ++i) {
        process.DefineProcessByCommand(5, rows[i]);
        parameters += process.Parameters();
      }
    }
    allocations += g_allocations - before;
  }
  benchmark::DoNotOptimize(parameters);
  if (parameters != static_cast<int64_t>(kMessages / 3 * (5 + 5 + 2)) * state.iterations()) {
    state.SkipWithError("parameters lost");
  }
  Report(state, kMessages, Stream().size(), allocations);
}
BENCHMARK(BM_SplitAndParse);

// As the terminal's protocol client does it: a new process object for every
// message.
void BM_SplitAndParseNewProcess(benchmark::State& state) {
  const auto chunks = Chunks(Stream());
  CDataProtocol connection;
  std::vector<std::string> rows;
  int64_t parameters = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations;
    for (std::string_view chunk : chunks) {
      const int32_t n = connection.SplitBuffer(chunk, rows);
      for (int32_t i = 1; i <= n; ++i) {
        auto process = std::make_shared<CProcess>();
        process->DefineProcessByCommand(5, rows[i]);
        parameters += process->Parameters();
      }
    }
    allocations += g_allocations - before;
  }
  benchmark::DoNotOptimize(parameters);
  Report(state, kMessages, Stream().size(), allocations);
}
BENCHMARK(BM_SplitAndParseNewProcess);

void BM_SplitOnly(benchmark::State& state) {
  const auto chunks = Chunks(Stream());
  CDataProtocol connection;
  std::vector<std::string> rows;
  int64_t messages = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations;
    for (std::string_view chunk : chunks) messages += connection.SplitBuffer(chunk, rows);
    allocations += g_allocations - before;
  }
  if (messages != static_cast<int64_t>(kMessages) * state.iterations()) {
    state.SkipWithError("messages lost");
  }
  Report(state, kMessages, Stream().size(), allocations);
}
BENCHMARK(BM_SplitOnly);

// The limit: finding every terminator in the same chunks, nothing else.
void BM_MemmemScan(benchmark::State& state) {
  const auto chunks = Chunks(Stream());
  int64_t found = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations;
    for (std::string_view chunk : chunks) {
      const char* at = chunk.data();
      const char* end = chunk.data() + chunk.size();
      while (const void* hit = memmem(at, static_cast<size_t>(end - at), "+3!", 3)) {
        ++found;
        at = static_cast<const char*>(hit) + 3;
      }
    }
    allocations += g_allocations - before;
  }
  benchmark::DoNotOptimize(found);
  Report(state, kMessages, Stream().size(), allocations);
}
BENCHMARK(BM_MemmemScan);

// QuickFIX on the same mix as FIX: its stream parser splits the chunks and
// every message is parsed into one reused message object, unvalidated.
void BM_QuickFixSplitAndParse(benchmark::State& state) {
  const auto chunks = Chunks(FixStream());
  FIX::Parser parser;
  FIX::Message message;
  std::string text;
  int64_t fields = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations;
    for (std::string_view chunk : chunks) {
      parser.addToStream(chunk.data(), chunk.size());
      while (parser.readFixMessage(text)) {
        message.setString(text, false);
        fields += static_cast<int64_t>(message.totalFields());
      }
    }
    allocations += g_allocations - before;
  }
  benchmark::DoNotOptimize(fields);
  Report(state, kMessages, FixStream().size(), allocations);
}
BENCHMARK(BM_QuickFixSplitAndParse);

// QuickFIX parsing alone, from already separated strings.
void BM_QuickFixParseOnly(benchmark::State& state) {
  const std::vector<std::string> messages = FixMessages();
  FIX::Message message;
  int64_t fields = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations;
    for (const std::string& text : messages) {
      message.setString(text, false);
      fields += static_cast<int64_t>(message.totalFields());
    }
    allocations += g_allocations - before;
  }
  benchmark::DoNotOptimize(fields);
  Report(state, kMessages, FixStream().size(), allocations);
}
BENCHMARK(BM_QuickFixParseOnly);

}  // namespace
