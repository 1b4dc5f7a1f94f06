#include "messages.h"

#include <tuple>
#include <utility>

#include "orvane/protocol/process.h"
#include "rows.h"

namespace orvane::apps::wire {

namespace {

constexpr int16_t kLogLevel = 5;

// Reads a message's parameters in order into fields; ok() once every read
// found its parameter and each number read.
class Reader {
 public:
  explicit Reader(const CProcess& process) : m_process(process) {}

  Reader& text(std::string& out) {
    if (next()) out.assign(m_process.ParameterView(m_index));
    return *this;
  }
  // The text lent by the process, valid while the process is unchanged.
  Reader& view(std::string_view& out) {
    if (next()) out = m_process.ParameterView(m_index);
    return *this;
  }
  Reader& integer(int32_t& out) {
    if (next()) m_ok = read_integer(m_process.ParameterView(m_index), out);
    return *this;
  }
  Reader& number(double& out) {
    if (next()) m_ok = read_number(m_process.ParameterView(m_index), out);
    return *this;
  }
  // 0 or 1.
  Reader& flag(bool& out) {
    int32_t value = 0;
    if (next())
      m_ok = read_integer(m_process.ParameterValue(m_index), value) && (value == 0 || value == 1);
    if (m_ok) out = value == 1;
    return *this;
  }
  // Each field by its type: integer, number, text or flag, in order.
  template <typename... Field>
  Reader& fields(const std::tuple<Field&...>& refs) {
    std::apply([this](Field&... field) { (read(field), ...); }, refs);
    return *this;
  }
  bool ok() const { return m_ok; }

 private:
  void read(int32_t& out) { integer(out); }
  void read(double& out) { number(out); }
  void read(std::string& out) { text(out); }
  void read(bool& out) { flag(out); }

  bool next() {
    ++m_index;
    if (m_ok && m_index > m_process.Parameters()) m_ok = false;
    return m_ok;
  }

  const CProcess& m_process;
  int16_t m_index = 0;
  bool m_ok = true;
};

std::string flag(bool value) { return value ? "1" : "0"; }

std::string parameter(int32_t value) { return number(value); }
std::string parameter(double value) { return number(value); }
std::string parameter(const std::string& value) { return value; }
std::string parameter(bool value) { return flag(value); }

template <typename... Field>
std::vector<std::string> parameters_of(const std::tuple<const Field&...>& refs) {
  std::vector<std::string> out;
  out.reserve(sizeof...(Field));
  std::apply([&out](const Field&... field) { (out.push_back(parameter(field)), ...); }, refs);
  return out;
}

// Decodes into a copy and hands it over only when the whole message read.
template <typename Message, typename Read>
bool decode_with(const CProcess& process, Message& out, Read read) {
  Message m = out;
  Reader reader(process);
  if (!read(reader, m)) return false;
  out = std::move(m);
  return true;
}

}  // namespace

// A message whose parameters are fields of it, in wire order: its encode and
// decode from the one list, written in terms of `m`.
#define FLAT_MESSAGE(Type, ...)                                   \
  std::vector<std::string> encode(const Type& m) {                \
    return parameters_of(std::tie(__VA_ARGS__));                  \
  }                                                               \
  bool decode(const CProcess& process, Type& out) {               \
    return decode_with(process, out, [](Reader& r, Type& m) {     \
      return r.fields(std::tie(__VA_ARGS__)).ok();                \
    });                                                           \
  }

FLAT_MESSAGE(LogOn, m.username, m.password)
FLAT_MESSAGE(LoggedOn, m.sid, m.client, m.last_order, m.market_time, m.settings)
FLAT_MESSAGE(Refusal, m.code, m.text, m.token)
FLAT_MESSAGE(LostRow, m.row)
FLAT_MESSAGE(PositionQuery, m.account, m.ticket)
FLAT_MESSAGE(HistoryQuery, m.account)
FLAT_MESSAGE(HedgeRequest, m.number, m.account, m.ticket, m.other)
FLAT_MESSAGE(HedgePush, m.client, m.account, m.buy, m.sell, m.lots)
FLAT_MESSAGE(OpenRequest, m.number, m.account, m.symbol, m.direction, m.lots, m.price)
FLAT_MESSAGE(CloseRequest, m.number, m.account, m.ticket, m.lots, m.price)
FLAT_MESSAGE(OrderAnswer, m.number, m.code, m.text, m.ticket, m.price)
FLAT_MESSAGE(PositionClosedPush, m.closed.client, m.closed.account, m.closed.ticket, m.closed.price,
             m.closed.ref_price, m.closed.profit, m.closed.time, m.closed.reason)
FLAT_MESSAGE(OrderRemovedPush, m.removed.client, m.removed.account, m.removed.id, m.removed.reason)
FLAT_MESSAGE(EntryRequest, m.number, m.account, m.symbol, m.direction, m.lots, m.price, m.sl, m.tp,
             m.expiry)
FLAT_MESSAGE(EntryChangeRequest, m.number, m.account, m.order, m.lots, m.price, m.sl, m.tp,
             m.expiry)
FLAT_MESSAGE(GuardRequest, m.number, m.account, m.ticket, m.sl, m.tp)
FLAT_MESSAGE(GuardChangeRequest, m.number, m.account, m.order, m.sl, m.tp)
FLAT_MESSAGE(OrderDeletion, m.number, m.account, m.order)
FLAT_MESSAGE(GuardQuery, m.account, m.ticket)
FLAT_MESSAGE(TotalsPush, m.booked.client, m.booked.account, m.booked.totals.commission,
             m.booked.totals.margin_requirement, m.booked.totals.net_profit,
             m.booked.totals.deposit, m.booked.totals.credit, m.booked.totals.previous_margin,
             m.booked.totals.interest)
FLAT_MESSAGE(LiquidatedPush, m.client, m.account)
FLAT_MESSAGE(TextPush, m.text)
FLAT_MESSAGE(MoneyRequest, m.number, m.account, m.kind, m.amount, m.note)
FLAT_MESSAGE(ManualOpenRequest, m.number, m.account, m.symbol, m.direction, m.lots, m.price)
FLAT_MESSAGE(ManualCloseRequest, m.number, m.account, m.ticket, m.lots, m.price)
FLAT_MESSAGE(NewClientRequest, m.number, m.id, m.parent, m.username, m.password, m.privileges,
             m.parameters, m.liquidation_type, m.liquidation_point, m.comm_calc_type,
             m.manual_dealing, m.name)
FLAT_MESSAGE(NewAccountRequest, m.number, m.client, m.account, m.type, m.margin_account)
FLAT_MESSAGE(AutoLiquidationRequest, m.number, m.client, m.on)
FLAT_MESSAGE(BroadcastRequest, m.number, m.text)
FLAT_MESSAGE(DisconnectRequest, m.number, m.client)
FLAT_MESSAGE(Negotiation, m.id, m.number, m.client, m.account, m.symbol, m.direction, m.lots,
             m.price, m.ticket, m.dealer_price, m.status, m.text, m.dealer)
FLAT_MESSAGE(NegotiationAnswer, m.id, m.price)

#undef FLAT_MESSAGE

// Messages that carry one row: a position, a history entry or an order.
std::vector<std::string> encode(const PositionOpenedPush& m) {
  return {position_row(m.position, m.symbol_name, m.has_sl, m.has_tp)};
}
std::vector<std::string> encode(const PositionChangedPush& m) {
  return {position_row(m.position, m.symbol_name, m.has_sl, m.has_tp)};
}
std::vector<std::string> encode(const HistoryPush& m) {
  return {history_row(m.entry, m.symbol_name)};
}
std::vector<std::string> encode(const OrderMessage& m) { return {order_row(m.order)}; }

bool decode(const CProcess& process, PositionOpenedPush& m) {
  return decode_with(process, m, [](Reader& r, PositionOpenedPush& x) {
    std::string row;
    return r.text(row).ok() && read_position_row(row, x.position);
  });
}
bool decode(const CProcess& process, PositionChangedPush& m) {
  return decode_with(process, m, [](Reader& r, PositionChangedPush& x) {
    std::string row;
    return r.text(row).ok() && read_position_row(row, x.position);
  });
}
bool decode(const CProcess& process, HistoryPush& m) {
  return decode_with(process, m, [](Reader& r, HistoryPush& x) {
    std::string row;
    return r.text(row).ok() && read_history_row(row, x.entry);
  });
}
bool decode(const CProcess& process, OrderMessage& m) {
  return decode_with(process, m, [](Reader& r, OrderMessage& x) {
    std::string row;
    return r.text(row).ok() && read_order_row(row, x.order);
  });
}

std::vector<std::string> encode(const Price& m) {
  return {number(m.symbol), number(m.bid), number(m.ask), m.time, number(m.sequence)};
}
// Read in place: a price decoded into the same Price again and again (every
// quote a terminal receives) reuses its time's buffer.
bool decode(const CProcess& process, Price& m) {
  Price read;
  std::string_view time;
  Reader r(process);
  if (!r.integer(read.symbol).number(read.bid).number(read.ask).view(time).integer(read.sequence)
           .ok()) {
    return false;
  }
  m.symbol = read.symbol;
  m.bid = read.bid;
  m.ask = read.ask;
  m.time.assign(time);
  m.sequence = read.sequence;
  return true;
}

std::string response_text(TokensEnum token, const std::vector<std::string>& parameters) {
  CProcess process;
  process.DefineResponseByToken(kLogLevel, token, parameters);
  return std::string(process.ProcessText());
}

std::string request_text(int32_t sid, TokensEnum token,
                        const std::vector<std::string>& parameters) {
  CProcess process;
  process.DefineRequestByToken(sid, kLogLevel, token, parameters);
  return std::string(process.ProcessText());
}

}  // namespace orvane::apps::wire
