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

  Reader& Text(std::string& out) {
    if (Next()) out.assign(m_process.ParameterView(m_index));
    return *this;
  }
  // The text lent by the process, valid while the process is unchanged.
  Reader& View(std::string_view& out) {
    if (Next()) out = m_process.ParameterView(m_index);
    return *this;
  }
  Reader& Integer(int32_t& out) {
    if (Next()) m_ok = ReadInteger(m_process.ParameterView(m_index), out);
    return *this;
  }
  Reader& Number(double& out) {
    if (Next()) m_ok = ReadNumber(m_process.ParameterView(m_index), out);
    return *this;
  }
  // 0 or 1.
  Reader& Flag(bool& out) {
    int32_t value = 0;
    if (Next()) m_ok = ReadInteger(m_process.ParameterValue(m_index), value) && (value == 0 || value == 1);
    if (m_ok) out = value == 1;
    return *this;
  }
  bool ok() const { return m_ok; }

 private:
  bool Next() {
    ++m_index;
    if (m_ok && m_index > m_process.Parameters()) m_ok = false;
    return m_ok;
  }

  const CProcess& m_process;
  int16_t m_index = 0;
  bool m_ok = true;
};

std::string Flag(bool value) { return value ? "1" : "0"; }

// Decodes into a copy and hands it over only when the whole message read.
template <typename Message, typename Read>
bool DecodeWith(const CProcess& process, Message& out, Read read) {
  Message m = out;
  Reader reader(process);
  if (!read(reader, m)) return false;
  out = std::move(m);
  return true;
}

}  // namespace

std::vector<std::string> Encode(const LogOn& m) { return {m.username, m.password}; }
std::vector<std::string> Encode(const LoggedOn& m) {
  return {Number(m.sid), Number(m.client), Number(m.last_order), m.market_time, m.settings};
}
std::vector<std::string> Encode(const PositionQuery& m) {
  return {Number(m.account), Number(m.ticket)};
}
std::vector<std::string> Encode(const HistoryQuery& m) { return {Number(m.account)}; }
std::vector<std::string> Encode(const HedgeRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.ticket), Number(m.other)};
}
std::vector<std::string> Encode(const HedgePush& m) {
  return {Number(m.client), Number(m.account), Number(m.buy), Number(m.sell), Number(m.lots)};
}
std::vector<std::string> Encode(const OpenRequest& m) {
  return {Number(m.number),    Number(m.account), Number(m.symbol),
          Number(m.direction), Number(m.lots),    Number(m.price)};
}
std::vector<std::string> Encode(const CloseRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.ticket), Number(m.lots),
          Number(m.price)};
}
std::vector<std::string> Encode(const OrderAnswer& m) {
  return {Number(m.number), Number(m.code), m.text, Number(m.ticket), Number(m.price)};
}
std::vector<std::string> Encode(const PositionChangedPush& m) {
  return {PositionRow(m.position, m.symbol_name, m.has_sl, m.has_tp)};
}
std::vector<std::string> Encode(const HistoryPush& m) {
  return {HistoryRow(m.entry, m.symbol_name)};
}
std::vector<std::string> Encode(const Refusal& m) {
  return {Number(m.code), m.text, Number(m.token)};
}
std::vector<std::string> Encode(const LostRow& m) { return {Number(m.row)}; }
std::vector<std::string> Encode(const Price& m) {
  return {Number(m.symbol), Number(m.bid), Number(m.ask), m.time, Number(m.sequence)};
}
std::vector<std::string> Encode(const PositionOpenedPush& m) {
  return {PositionRow(m.position, m.symbol_name, m.has_sl, m.has_tp)};
}
std::vector<std::string> Encode(const PositionClosedPush& m) {
  const model::PositionClosed& c = m.closed;
  return {Number(c.client), Number(c.account), Number(c.ticket), Number(c.price),
          Number(c.ref_price), Number(c.profit), c.time, c.reason};
}
std::vector<std::string> Encode(const OrderRemovedPush& m) {
  return {Number(m.removed.client), Number(m.removed.account), Number(m.removed.id),
          m.removed.reason};
}
std::vector<std::string> Encode(const EntryRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.symbol), Number(m.direction),
          Number(m.lots),   Number(m.price),   Number(m.sl),     Number(m.tp),
          m.expiry};
}
std::vector<std::string> Encode(const EntryChangeRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.order), Number(m.lots),
          Number(m.price),  Number(m.sl),      Number(m.tp),    m.expiry};
}
std::vector<std::string> Encode(const GuardRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.ticket), Number(m.sl), Number(m.tp)};
}
std::vector<std::string> Encode(const GuardChangeRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.order), Number(m.sl), Number(m.tp)};
}
std::vector<std::string> Encode(const OrderDeletion& m) {
  return {Number(m.number), Number(m.account), Number(m.order)};
}
std::vector<std::string> Encode(const GuardQuery& m) {
  return {Number(m.account), Number(m.ticket)};
}
std::vector<std::string> Encode(const OrderMessage& m) { return {OrderRow(m.order)}; }
std::vector<std::string> Encode(const TotalsPush& m) {
  const model::Totals& t = m.booked.totals;
  return {Number(m.booked.client),      Number(m.booked.account), Number(t.commission),
          Number(t.margin_requirement), Number(t.net_profit),     Number(t.deposit),
          Number(t.credit),             Number(t.previous_margin), Number(t.interest)};
}
std::vector<std::string> Encode(const LiquidatedPush& m) {
  return {Number(m.client), Number(m.account)};
}
std::vector<std::string> Encode(const TextPush& m) { return {m.text}; }
std::vector<std::string> Encode(const MoneyRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.kind), Number(m.amount), m.note};
}
std::vector<std::string> Encode(const ManualOpenRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.symbol), Number(m.direction),
          Number(m.lots),   Number(m.price)};
}
std::vector<std::string> Encode(const ManualCloseRequest& m) {
  return {Number(m.number), Number(m.account), Number(m.ticket), Number(m.lots), Number(m.price)};
}
std::vector<std::string> Encode(const NewClientRequest& m) {
  return {Number(m.number),           Number(m.id),         Number(m.parent),
          m.username,                 m.password,           m.privileges,
          m.parameters,               Number(m.liquidation_type), Number(m.liquidation_point),
          Number(m.comm_calc_type),   Flag(m.manual_dealing), m.name};
}
std::vector<std::string> Encode(const NewAccountRequest& m) {
  return {Number(m.number), Number(m.client), Number(m.account), Number(m.type),
          Flag(m.margin_account)};
}
std::vector<std::string> Encode(const AutoLiquidationRequest& m) {
  return {Number(m.number), Number(m.client), Flag(m.on)};
}
std::vector<std::string> Encode(const BroadcastRequest& m) { return {Number(m.number), m.text}; }
std::vector<std::string> Encode(const DisconnectRequest& m) {
  return {Number(m.number), Number(m.client)};
}
std::vector<std::string> Encode(const Negotiation& m) {
  return {Number(m.id),     Number(m.number), Number(m.client),      Number(m.account),
          Number(m.symbol), Number(m.direction), Number(m.lots),   Number(m.price),
          Number(m.ticket), Number(m.dealer_price), Number(m.status), m.text,
          m.dealer};
}
std::vector<std::string> Encode(const NegotiationAnswer& m) {
  return {Number(m.id), Number(m.price)};
}

bool Decode(const CProcess& process, LogOn& m) {
  return DecodeWith(process, m, [](Reader& r, LogOn& x) {
    return r.Text(x.username).Text(x.password).ok();
  });
}
bool Decode(const CProcess& process, LoggedOn& m) {
  return DecodeWith(process, m, [](Reader& r, LoggedOn& x) {
    return r.Integer(x.sid).Integer(x.client).Integer(x.last_order).Text(x.market_time)
        .Text(x.settings).ok();
  });
}
bool Decode(const CProcess& process, PositionQuery& m) {
  return DecodeWith(process, m, [](Reader& r, PositionQuery& x) {
    return r.Integer(x.account).Integer(x.ticket).ok();
  });
}
bool Decode(const CProcess& process, HistoryQuery& m) {
  return DecodeWith(process, m,
                    [](Reader& r, HistoryQuery& x) { return r.Integer(x.account).ok(); });
}
bool Decode(const CProcess& process, HedgeRequest& m) {
  return DecodeWith(process, m, [](Reader& r, HedgeRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.ticket).Integer(x.other).ok();
  });
}
bool Decode(const CProcess& process, HedgePush& m) {
  return DecodeWith(process, m, [](Reader& r, HedgePush& x) {
    return r.Integer(x.client).Integer(x.account).Integer(x.buy).Integer(x.sell).Number(x.lots).ok();
  });
}
bool Decode(const CProcess& process, OpenRequest& m) {
  return DecodeWith(process, m, [](Reader& r, OpenRequest& x) {
    return r.Integer(x.number)
        .Integer(x.account)
        .Integer(x.symbol)
        .Integer(x.direction)
        .Number(x.lots)
        .Number(x.price)
        .ok();
  });
}
bool Decode(const CProcess& process, CloseRequest& m) {
  return DecodeWith(process, m, [](Reader& r, CloseRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.ticket).Number(x.lots).Number(x.price).ok();
  });
}
bool Decode(const CProcess& process, OrderAnswer& m) {
  return DecodeWith(process, m, [](Reader& r, OrderAnswer& x) {
    return r.Integer(x.number).Integer(x.code).Text(x.text).Integer(x.ticket).Number(x.price).ok();
  });
}
bool Decode(const CProcess& process, PositionChangedPush& m) {
  return DecodeWith(process, m, [](Reader& r, PositionChangedPush& x) {
    std::string row;
    return r.Text(row).ok() && ReadPositionRow(row, x.position);
  });
}
bool Decode(const CProcess& process, HistoryPush& m) {
  return DecodeWith(process, m, [](Reader& r, HistoryPush& x) {
    std::string row;
    return r.Text(row).ok() && ReadHistoryRow(row, x.entry);
  });
}
bool Decode(const CProcess& process, Refusal& m) {
  return DecodeWith(process, m, [](Reader& r, Refusal& x) {
    return r.Integer(x.code).Text(x.text).Integer(x.token).ok();
  });
}
bool Decode(const CProcess& process, LostRow& m) {
  return DecodeWith(process, m, [](Reader& r, LostRow& x) { return r.Integer(x.row).ok(); });
}
// Read in place: a price decoded into the same Price again and again (every
// quote a terminal receives) reuses its time's buffer.
bool Decode(const CProcess& process, Price& m) {
  Price read;
  std::string_view time;
  Reader r(process);
  if (!r.Integer(read.symbol).Number(read.bid).Number(read.ask).View(time).Integer(read.sequence)
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
bool Decode(const CProcess& process, PositionOpenedPush& m) {
  return DecodeWith(process, m, [](Reader& r, PositionOpenedPush& x) {
    std::string row;
    return r.Text(row).ok() && ReadPositionRow(row, x.position);
  });
}
bool Decode(const CProcess& process, PositionClosedPush& m) {
  return DecodeWith(process, m, [](Reader& r, PositionClosedPush& x) {
    model::PositionClosed& c = x.closed;
    return r.Integer(c.client)
        .Integer(c.account)
        .Integer(c.ticket)
        .Number(c.price)
        .Number(c.ref_price)
        .Number(c.profit)
        .Text(c.time)
        .Text(c.reason)
        .ok();
  });
}
bool Decode(const CProcess& process, OrderRemovedPush& m) {
  return DecodeWith(process, m, [](Reader& r, OrderRemovedPush& x) {
    return r.Integer(x.removed.client)
        .Integer(x.removed.account)
        .Integer(x.removed.id)
        .Text(x.removed.reason)
        .ok();
  });
}
bool Decode(const CProcess& process, EntryRequest& m) {
  return DecodeWith(process, m, [](Reader& r, EntryRequest& x) {
    return r.Integer(x.number)
        .Integer(x.account)
        .Integer(x.symbol)
        .Integer(x.direction)
        .Number(x.lots)
        .Number(x.price)
        .Number(x.sl)
        .Number(x.tp)
        .Text(x.expiry)
        .ok();
  });
}
bool Decode(const CProcess& process, EntryChangeRequest& m) {
  return DecodeWith(process, m, [](Reader& r, EntryChangeRequest& x) {
    return r.Integer(x.number)
        .Integer(x.account)
        .Integer(x.order)
        .Number(x.lots)
        .Number(x.price)
        .Number(x.sl)
        .Number(x.tp)
        .Text(x.expiry)
        .ok();
  });
}
bool Decode(const CProcess& process, GuardRequest& m) {
  return DecodeWith(process, m, [](Reader& r, GuardRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.ticket).Number(x.sl).Number(x.tp).ok();
  });
}
bool Decode(const CProcess& process, GuardChangeRequest& m) {
  return DecodeWith(process, m, [](Reader& r, GuardChangeRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.order).Number(x.sl).Number(x.tp).ok();
  });
}
bool Decode(const CProcess& process, OrderDeletion& m) {
  return DecodeWith(process, m, [](Reader& r, OrderDeletion& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.order).ok();
  });
}
bool Decode(const CProcess& process, GuardQuery& m) {
  return DecodeWith(process, m, [](Reader& r, GuardQuery& x) {
    return r.Integer(x.account).Integer(x.ticket).ok();
  });
}
bool Decode(const CProcess& process, OrderMessage& m) {
  return DecodeWith(process, m, [](Reader& r, OrderMessage& x) {
    std::string row;
    return r.Text(row).ok() && ReadOrderRow(row, x.order);
  });
}
bool Decode(const CProcess& process, TotalsPush& m) {
  return DecodeWith(process, m, [](Reader& r, TotalsPush& x) {
    model::Totals& t = x.booked.totals;
    return r.Integer(x.booked.client)
        .Integer(x.booked.account)
        .Number(t.commission)
        .Number(t.margin_requirement)
        .Number(t.net_profit)
        .Number(t.deposit)
        .Number(t.credit)
        .Number(t.previous_margin)
        .Number(t.interest)
        .ok();
  });
}
bool Decode(const CProcess& process, LiquidatedPush& m) {
  return DecodeWith(process, m, [](Reader& r, LiquidatedPush& x) {
    return r.Integer(x.client).Integer(x.account).ok();
  });
}
bool Decode(const CProcess& process, TextPush& m) {
  return DecodeWith(process, m, [](Reader& r, TextPush& x) { return r.Text(x.text).ok(); });
}
bool Decode(const CProcess& process, MoneyRequest& m) {
  return DecodeWith(process, m, [](Reader& r, MoneyRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.kind).Number(x.amount).Text(x.note).ok();
  });
}
bool Decode(const CProcess& process, ManualOpenRequest& m) {
  return DecodeWith(process, m, [](Reader& r, ManualOpenRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.symbol).Integer(x.direction)
        .Number(x.lots).Number(x.price).ok();
  });
}
bool Decode(const CProcess& process, ManualCloseRequest& m) {
  return DecodeWith(process, m, [](Reader& r, ManualCloseRequest& x) {
    return r.Integer(x.number).Integer(x.account).Integer(x.ticket).Number(x.lots)
        .Number(x.price).ok();
  });
}
bool Decode(const CProcess& process, NewClientRequest& m) {
  return DecodeWith(process, m, [](Reader& r, NewClientRequest& x) {
    return r.Integer(x.number).Integer(x.id).Integer(x.parent).Text(x.username).Text(x.password)
        .Text(x.privileges).Text(x.parameters).Integer(x.liquidation_type)
        .Number(x.liquidation_point).Integer(x.comm_calc_type).Flag(x.manual_dealing)
        .Text(x.name).ok();
  });
}
bool Decode(const CProcess& process, NewAccountRequest& m) {
  return DecodeWith(process, m, [](Reader& r, NewAccountRequest& x) {
    return r.Integer(x.number).Integer(x.client).Integer(x.account).Integer(x.type)
        .Flag(x.margin_account).ok();
  });
}
bool Decode(const CProcess& process, AutoLiquidationRequest& m) {
  return DecodeWith(process, m, [](Reader& r, AutoLiquidationRequest& x) {
    return r.Integer(x.number).Integer(x.client).Flag(x.on).ok();
  });
}
bool Decode(const CProcess& process, BroadcastRequest& m) {
  return DecodeWith(process, m, [](Reader& r, BroadcastRequest& x) {
    return r.Integer(x.number).Text(x.text).ok();
  });
}
bool Decode(const CProcess& process, Negotiation& m) {
  return DecodeWith(process, m, [](Reader& r, Negotiation& x) {
    return r.Integer(x.id).Integer(x.number).Integer(x.client).Integer(x.account)
        .Integer(x.symbol).Integer(x.direction).Number(x.lots).Number(x.price)
        .Integer(x.ticket).Number(x.dealer_price).Integer(x.status).Text(x.text)
        .Text(x.dealer).ok();
  });
}
bool Decode(const CProcess& process, NegotiationAnswer& m) {
  return DecodeWith(process, m, [](Reader& r, NegotiationAnswer& x) {
    return r.Integer(x.id).Number(x.price).ok();
  });
}
bool Decode(const CProcess& process, DisconnectRequest& m) {
  return DecodeWith(process, m, [](Reader& r, DisconnectRequest& x) {
    return r.Integer(x.number).Integer(x.client).ok();
  });
}

std::string ResponseText(TokensEnum token, const std::vector<std::string>& parameters) {
  CProcess process;
  process.DefineResponseByToken(kLogLevel, token, parameters);
  return std::string(process.ProcessText());
}

std::string RequestText(int32_t sid, TokensEnum token,
                        const std::vector<std::string>& parameters) {
  CProcess process;
  process.DefineRequestByToken(sid, kLogLevel, token, parameters);
  return std::string(process.ProcessText());
}

}  // namespace orvane::apps::wire
