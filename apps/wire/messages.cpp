#include "messages.h"

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
  bool ok() const { return m_ok; }

 private:
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

std::vector<std::string> encode(const LogOn& m) { return {m.username, m.password}; }
std::vector<std::string> encode(const LoggedOn& m) {
  return {number(m.sid), number(m.client), number(m.last_order), m.market_time, m.settings};
}
std::vector<std::string> encode(const PositionQuery& m) {
  return {number(m.account), number(m.ticket)};
}
std::vector<std::string> encode(const HistoryQuery& m) { return {number(m.account)}; }
std::vector<std::string> encode(const HedgeRequest& m) {
  return {number(m.number), number(m.account), number(m.ticket), number(m.other)};
}
std::vector<std::string> encode(const HedgePush& m) {
  return {number(m.client), number(m.account), number(m.buy), number(m.sell), number(m.lots)};
}
std::vector<std::string> encode(const OpenRequest& m) {
  return {number(m.number),    number(m.account), number(m.symbol),
          number(m.direction), number(m.lots),    number(m.price)};
}
std::vector<std::string> encode(const CloseRequest& m) {
  return {number(m.number), number(m.account), number(m.ticket), number(m.lots),
          number(m.price)};
}
std::vector<std::string> encode(const OrderAnswer& m) {
  return {number(m.number), number(m.code), m.text, number(m.ticket), number(m.price)};
}
std::vector<std::string> encode(const PositionChangedPush& m) {
  return {position_row(m.position, m.symbol_name, m.has_sl, m.has_tp)};
}
std::vector<std::string> encode(const HistoryPush& m) {
  return {history_row(m.entry, m.symbol_name)};
}
std::vector<std::string> encode(const Refusal& m) {
  return {number(m.code), m.text, number(m.token)};
}
std::vector<std::string> encode(const LostRow& m) { return {number(m.row)}; }
std::vector<std::string> encode(const Price& m) {
  return {number(m.symbol), number(m.bid), number(m.ask), m.time, number(m.sequence)};
}
std::vector<std::string> encode(const PositionOpenedPush& m) {
  return {position_row(m.position, m.symbol_name, m.has_sl, m.has_tp)};
}
std::vector<std::string> encode(const PositionClosedPush& m) {
  const model::PositionClosed& c = m.closed;
  return {number(c.client), number(c.account), number(c.ticket), number(c.price),
          number(c.ref_price), number(c.profit), c.time, c.reason};
}
std::vector<std::string> encode(const OrderRemovedPush& m) {
  return {number(m.removed.client), number(m.removed.account), number(m.removed.id),
          m.removed.reason};
}
std::vector<std::string> encode(const EntryRequest& m) {
  return {number(m.number), number(m.account), number(m.symbol), number(m.direction),
          number(m.lots),   number(m.price),   number(m.sl),     number(m.tp),
          m.expiry};
}
std::vector<std::string> encode(const EntryChangeRequest& m) {
  return {number(m.number), number(m.account), number(m.order), number(m.lots),
          number(m.price),  number(m.sl),      number(m.tp),    m.expiry};
}
std::vector<std::string> encode(const GuardRequest& m) {
  return {number(m.number), number(m.account), number(m.ticket), number(m.sl), number(m.tp)};
}
std::vector<std::string> encode(const GuardChangeRequest& m) {
  return {number(m.number), number(m.account), number(m.order), number(m.sl), number(m.tp)};
}
std::vector<std::string> encode(const OrderDeletion& m) {
  return {number(m.number), number(m.account), number(m.order)};
}
std::vector<std::string> encode(const GuardQuery& m) {
  return {number(m.account), number(m.ticket)};
}
std::vector<std::string> encode(const OrderMessage& m) { return {order_row(m.order)}; }
std::vector<std::string> encode(const TotalsPush& m) {
  const model::Totals& t = m.booked.totals;
  return {number(m.booked.client),      number(m.booked.account), number(t.commission),
          number(t.margin_requirement), number(t.net_profit),     number(t.deposit),
          number(t.credit),             number(t.previous_margin), number(t.interest)};
}
std::vector<std::string> encode(const LiquidatedPush& m) {
  return {number(m.client), number(m.account)};
}
std::vector<std::string> encode(const TextPush& m) { return {m.text}; }
std::vector<std::string> encode(const MoneyRequest& m) {
  return {number(m.number), number(m.account), number(m.kind), number(m.amount), m.note};
}
std::vector<std::string> encode(const ManualOpenRequest& m) {
  return {number(m.number), number(m.account), number(m.symbol), number(m.direction),
          number(m.lots),   number(m.price)};
}
std::vector<std::string> encode(const ManualCloseRequest& m) {
  return {number(m.number), number(m.account), number(m.ticket), number(m.lots), number(m.price)};
}
std::vector<std::string> encode(const NewClientRequest& m) {
  return {number(m.number),           number(m.id),         number(m.parent),
          m.username,                 m.password,           m.privileges,
          m.parameters,               number(m.liquidation_type), number(m.liquidation_point),
          number(m.comm_calc_type),   flag(m.manual_dealing), m.name};
}
std::vector<std::string> encode(const NewAccountRequest& m) {
  return {number(m.number), number(m.client), number(m.account), number(m.type),
          flag(m.margin_account)};
}
std::vector<std::string> encode(const AutoLiquidationRequest& m) {
  return {number(m.number), number(m.client), flag(m.on)};
}
std::vector<std::string> encode(const BroadcastRequest& m) { return {number(m.number), m.text}; }
std::vector<std::string> encode(const DisconnectRequest& m) {
  return {number(m.number), number(m.client)};
}
std::vector<std::string> encode(const Negotiation& m) {
  return {number(m.id),     number(m.number), number(m.client),      number(m.account),
          number(m.symbol), number(m.direction), number(m.lots),   number(m.price),
          number(m.ticket), number(m.dealer_price), number(m.status), m.text,
          m.dealer};
}
std::vector<std::string> encode(const NegotiationAnswer& m) {
  return {number(m.id), number(m.price)};
}

bool decode(const CProcess& process, LogOn& m) {
  return decode_with(process, m, [](Reader& r, LogOn& x) {
    return r.text(x.username).text(x.password).ok();
  });
}
bool decode(const CProcess& process, LoggedOn& m) {
  return decode_with(process, m, [](Reader& r, LoggedOn& x) {
    return r.integer(x.sid).integer(x.client).integer(x.last_order).text(x.market_time)
        .text(x.settings).ok();
  });
}
bool decode(const CProcess& process, PositionQuery& m) {
  return decode_with(process, m, [](Reader& r, PositionQuery& x) {
    return r.integer(x.account).integer(x.ticket).ok();
  });
}
bool decode(const CProcess& process, HistoryQuery& m) {
  return decode_with(process, m,
                    [](Reader& r, HistoryQuery& x) { return r.integer(x.account).ok(); });
}
bool decode(const CProcess& process, HedgeRequest& m) {
  return decode_with(process, m, [](Reader& r, HedgeRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.ticket).integer(x.other).ok();
  });
}
bool decode(const CProcess& process, HedgePush& m) {
  return decode_with(process, m, [](Reader& r, HedgePush& x) {
    return r.integer(x.client).integer(x.account).integer(x.buy).integer(x.sell)
        .number(x.lots).ok();
  });
}
bool decode(const CProcess& process, OpenRequest& m) {
  return decode_with(process, m, [](Reader& r, OpenRequest& x) {
    return r.integer(x.number)
        .integer(x.account)
        .integer(x.symbol)
        .integer(x.direction)
        .number(x.lots)
        .number(x.price)
        .ok();
  });
}
bool decode(const CProcess& process, CloseRequest& m) {
  return decode_with(process, m, [](Reader& r, CloseRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.ticket).number(x.lots)
        .number(x.price).ok();
  });
}
bool decode(const CProcess& process, OrderAnswer& m) {
  return decode_with(process, m, [](Reader& r, OrderAnswer& x) {
    return r.integer(x.number).integer(x.code).text(x.text).integer(x.ticket).number(x.price).ok();
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
bool decode(const CProcess& process, Refusal& m) {
  return decode_with(process, m, [](Reader& r, Refusal& x) {
    return r.integer(x.code).text(x.text).integer(x.token).ok();
  });
}
bool decode(const CProcess& process, LostRow& m) {
  return decode_with(process, m, [](Reader& r, LostRow& x) { return r.integer(x.row).ok(); });
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
bool decode(const CProcess& process, PositionOpenedPush& m) {
  return decode_with(process, m, [](Reader& r, PositionOpenedPush& x) {
    std::string row;
    return r.text(row).ok() && read_position_row(row, x.position);
  });
}
bool decode(const CProcess& process, PositionClosedPush& m) {
  return decode_with(process, m, [](Reader& r, PositionClosedPush& x) {
    model::PositionClosed& c = x.closed;
    return r.integer(c.client)
        .integer(c.account)
        .integer(c.ticket)
        .number(c.price)
        .number(c.ref_price)
        .number(c.profit)
        .text(c.time)
        .text(c.reason)
        .ok();
  });
}
bool decode(const CProcess& process, OrderRemovedPush& m) {
  return decode_with(process, m, [](Reader& r, OrderRemovedPush& x) {
    return r.integer(x.removed.client)
        .integer(x.removed.account)
        .integer(x.removed.id)
        .text(x.removed.reason)
        .ok();
  });
}
bool decode(const CProcess& process, EntryRequest& m) {
  return decode_with(process, m, [](Reader& r, EntryRequest& x) {
    return r.integer(x.number)
        .integer(x.account)
        .integer(x.symbol)
        .integer(x.direction)
        .number(x.lots)
        .number(x.price)
        .number(x.sl)
        .number(x.tp)
        .text(x.expiry)
        .ok();
  });
}
bool decode(const CProcess& process, EntryChangeRequest& m) {
  return decode_with(process, m, [](Reader& r, EntryChangeRequest& x) {
    return r.integer(x.number)
        .integer(x.account)
        .integer(x.order)
        .number(x.lots)
        .number(x.price)
        .number(x.sl)
        .number(x.tp)
        .text(x.expiry)
        .ok();
  });
}
bool decode(const CProcess& process, GuardRequest& m) {
  return decode_with(process, m, [](Reader& r, GuardRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.ticket).number(x.sl).number(x.tp).ok();
  });
}
bool decode(const CProcess& process, GuardChangeRequest& m) {
  return decode_with(process, m, [](Reader& r, GuardChangeRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.order).number(x.sl).number(x.tp).ok();
  });
}
bool decode(const CProcess& process, OrderDeletion& m) {
  return decode_with(process, m, [](Reader& r, OrderDeletion& x) {
    return r.integer(x.number).integer(x.account).integer(x.order).ok();
  });
}
bool decode(const CProcess& process, GuardQuery& m) {
  return decode_with(process, m, [](Reader& r, GuardQuery& x) {
    return r.integer(x.account).integer(x.ticket).ok();
  });
}
bool decode(const CProcess& process, OrderMessage& m) {
  return decode_with(process, m, [](Reader& r, OrderMessage& x) {
    std::string row;
    return r.text(row).ok() && read_order_row(row, x.order);
  });
}
bool decode(const CProcess& process, TotalsPush& m) {
  return decode_with(process, m, [](Reader& r, TotalsPush& x) {
    model::Totals& t = x.booked.totals;
    return r.integer(x.booked.client)
        .integer(x.booked.account)
        .number(t.commission)
        .number(t.margin_requirement)
        .number(t.net_profit)
        .number(t.deposit)
        .number(t.credit)
        .number(t.previous_margin)
        .number(t.interest)
        .ok();
  });
}
bool decode(const CProcess& process, LiquidatedPush& m) {
  return decode_with(process, m, [](Reader& r, LiquidatedPush& x) {
    return r.integer(x.client).integer(x.account).ok();
  });
}
bool decode(const CProcess& process, TextPush& m) {
  return decode_with(process, m, [](Reader& r, TextPush& x) { return r.text(x.text).ok(); });
}
bool decode(const CProcess& process, MoneyRequest& m) {
  return decode_with(process, m, [](Reader& r, MoneyRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.kind).number(x.amount)
        .text(x.note).ok();
  });
}
bool decode(const CProcess& process, ManualOpenRequest& m) {
  return decode_with(process, m, [](Reader& r, ManualOpenRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.symbol).integer(x.direction)
        .number(x.lots).number(x.price).ok();
  });
}
bool decode(const CProcess& process, ManualCloseRequest& m) {
  return decode_with(process, m, [](Reader& r, ManualCloseRequest& x) {
    return r.integer(x.number).integer(x.account).integer(x.ticket).number(x.lots)
        .number(x.price).ok();
  });
}
bool decode(const CProcess& process, NewClientRequest& m) {
  return decode_with(process, m, [](Reader& r, NewClientRequest& x) {
    return r.integer(x.number).integer(x.id).integer(x.parent).text(x.username).text(x.password)
        .text(x.privileges).text(x.parameters).integer(x.liquidation_type)
        .number(x.liquidation_point).integer(x.comm_calc_type).flag(x.manual_dealing)
        .text(x.name).ok();
  });
}
bool decode(const CProcess& process, NewAccountRequest& m) {
  return decode_with(process, m, [](Reader& r, NewAccountRequest& x) {
    return r.integer(x.number).integer(x.client).integer(x.account).integer(x.type)
        .flag(x.margin_account).ok();
  });
}
bool decode(const CProcess& process, AutoLiquidationRequest& m) {
  return decode_with(process, m, [](Reader& r, AutoLiquidationRequest& x) {
    return r.integer(x.number).integer(x.client).flag(x.on).ok();
  });
}
bool decode(const CProcess& process, BroadcastRequest& m) {
  return decode_with(process, m, [](Reader& r, BroadcastRequest& x) {
    return r.integer(x.number).text(x.text).ok();
  });
}
bool decode(const CProcess& process, Negotiation& m) {
  return decode_with(process, m, [](Reader& r, Negotiation& x) {
    return r.integer(x.id).integer(x.number).integer(x.client).integer(x.account)
        .integer(x.symbol).integer(x.direction).number(x.lots).number(x.price)
        .integer(x.ticket).number(x.dealer_price).integer(x.status).text(x.text)
        .text(x.dealer).ok();
  });
}
bool decode(const CProcess& process, NegotiationAnswer& m) {
  return decode_with(process, m, [](Reader& r, NegotiationAnswer& x) {
    return r.integer(x.id).number(x.price).ok();
  });
}
bool decode(const CProcess& process, DisconnectRequest& m) {
  return decode_with(process, m, [](Reader& r, DisconnectRequest& x) {
    return r.integer(x.number).integer(x.client).ok();
  });
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
