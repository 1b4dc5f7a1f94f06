#include "negotiations.h"

#include <sstream>
#include <utility>

#include "orvane/core/variant.h"
#include "orvane/io/timer.h"
#include "orvane/util/generals.h"

namespace orvane::apps {

namespace {

constexpr char kUserMark = '\x1F';  // between the user name and the row of a kept negotiation

std::string StatusText(MarketOrderStatusEnum status) {
  return CGenerals().MarketOrderStatusDesc(status);
}

model::OrderNumber Answer(int32_t id, int32_t code, std::string text, double price = 0) {
  return model::OrderNumber{"", id, code, std::move(text), 0, price};
}

}  // namespace

Negotiations::Negotiations(Desk& desk, ITimerFactory& timers, NegotiationHost& host)
    : m_desk(desk), m_timers(timers), m_host(host) {}

Negotiations::~Negotiations() {
  for (auto& [id, held] : m_held) held.timer->OnTick(nullptr);
  m_records->Deallocate();
}

bool Negotiations::Holds(const std::string& username, int32_t number) const {
  for (const auto& [id, held] : m_held) {
    if (held.order.username == username && held.order.number == number) return true;
  }
  return false;
}

void Negotiations::Take(const MarketOrder& order, TokensEnum token,
                        std::weak_ptr<ServerConnection> session) {
  if (Holds(order.username, order.number)) return;  // a repeat waits for the first outcome
  if (auto kept = m_desk.outcome(order.username, order.number)) {
    return m_host.Decided(session, token, order.number, kept);
  }
  if (m_host.DealersTakingOrders(order.client).empty()) {
    return m_host.Decided(
        session, token, order.number,
        m_desk.decline(order, kNoDealer, "No dealer takes orders now; try again later"));
  }
  const int32_t id = ++m_next_id;
  // A close names its position: the symbol and direction are the position's.
  int32_t direction = order.direction, symbol = order.symbol;
  double open_price = 0, open_lots = 0;
  for (const model::Position& p : m_desk.positions(order.client)) {
    if (order.ticket != 0 && p.account == order.account && p.ticket == order.ticket) {
      direction = p.direction, symbol = p.symbol, open_price = p.price, open_lots = p.lots;
    }
  }
  const bool closing = order.ticket != 0;
  const MarketOrderStatusEnum status =
      closing ? (direction == BuyType ? RequestLiqBuy : RequestLiqSell)
              : (direction == BuyType ? RequestNewBuy : RequestNewSell);
  Held& held = m_held[id];
  held.record = m_records->Add(MarketOrderType, id, -1, order.account, order.client, symbol,
                               static_cast<OperationTypeEnum>(direction),
                               order.lots, order.price, open_price, 0, 0,
                               closing ? LiquidateType : NewType, status, 0, "", open_lots, -1,
                               order.ticket);
  held.order = order;
  held.order.direction = direction;
  held.order.symbol = symbol;
  held.token = token;
  held.session = std::move(session);
  held.timer = m_timers.CreateTimer();
  TellClient(held, MARKET_ORDER_RECIEVED_TOKEN);
  SendToNextDealer(held);
  KeepInFlight();
  m_desk.audit_dealer(held.dealer, order.client,
                     "order number " + std::to_string(order.number) + " of " + order.username +
                         " in negotiation " + std::to_string(id));
}

Negotiations::Held* Negotiations::Find(int32_t id) {
  auto it = m_held.find(id);
  return it == m_held.end() ? nullptr : &it->second;
}

Negotiations::Held* Negotiations::Holding(const std::string& dealer, int32_t id,
                                          model::OrderNumber& refusal) {
  Held* held = Find(id);
  if (held == nullptr || held->dealer != dealer) {
    refusal = Answer(id, kUnknownOrder, "This dealer holds no order " + std::to_string(id));
    return nullptr;
  }
  if (held->record->status() == PriceSent_RequestType) {
    refusal = Answer(id, kUnknownOrder,
                     "Order " + std::to_string(id) + " waits for the client's answer");
    return nullptr;
  }
  return held;
}

bool Negotiations::SendToNextDealer(Held& held) {
  const std::string previous = held.dealer;
  for (const std::string& dealer : m_host.DealersTakingOrders(held.order.client)) {
    if (held.tried.count(dealer) != 0) continue;
    if (!previous.empty()) TellDealer(held, SWITCH_ORDER_TOKEN, previous);
    held.tried.insert(dealer);
    held.dealer = dealer;
    auto [number, added] = m_dealer_numbers.emplace(dealer, 0);
    if (added) number->second = static_cast<int32_t>(m_dealer_numbers.size());
    held.record->Dealer(number->second);
    held.record->OrderSentNow();
    TellDealer(held, SEND_TO_CHAT_TOKEN, dealer);
    Restart(held, m_desk.platform().dealer_timer * 1000, &Negotiations::DealerSilent);
    return true;
  }
  return false;
}

void Negotiations::DealerSilent(int32_t id) {
  Held* held = Find(id);
  if (held == nullptr || SendToNextDealer(*held)) return;
  End(*held, TimerExpired_RequestType, kExpired, "Order expired: no dealer answered in time",
      TIMER_EXPIRED_TOKEN);
}

void Negotiations::ClientSilent(int32_t id) {
  Held* held = Find(id);
  if (held == nullptr) return;
  End(*held, PriceChangedTimerExpired_PendingType, kExpired,
      "Order expired: the client did not answer the new price in time", TIMER_EXPIRED_TOKEN);
}

void Negotiations::DealerLeft(const std::string& dealer) {
  std::vector<int32_t> ids;
  for (const auto& [id, held] : m_held) {
    if (held.dealer == dealer && held.record->status() != PriceSent_RequestType) ids.push_back(id);
  }
  for (int32_t id : ids) DealerSilent(id);
}

model::OrderNumber Negotiations::Accept(const std::string& dealer, int32_t id, double price) {
  model::OrderNumber refusal;
  Held* held = Holding(dealer, id, refusal);
  if (held == nullptr) return refusal;
  return execute(*held, price > 0 ? price : held->order.price);
}

model::OrderNumber Negotiations::Reject(const std::string& dealer, int32_t id) {
  model::OrderNumber refusal;
  Held* held = Holding(dealer, id, refusal);
  if (held == nullptr) return refusal;
  End(*held, Rejected_RequestType, kDealerRejected, "The dealer rejected the order");
  return Answer(id, kExecuted, "rejected");
}

model::OrderNumber Negotiations::Requote(const std::string& dealer, int32_t id, double price) {
  model::OrderNumber refusal;
  Held* held = Holding(dealer, id, refusal);
  if (held == nullptr) return refusal;
  if (!(price > 0)) return Answer(id, kBadAmount, "A new price must be positive");
  held->dealer_price = price;
  Status(*held, PriceSent_RequestType);
  TellClient(*held, DLR_CHANGE_MARKET_ORDER_TOKEN);
  TellDealer(*held, MARKET_ORDER_TOKEN, held->dealer);
  Restart(*held, m_desk.platform().price_changed_timer * 1000, &Negotiations::ClientSilent);
  KeepInFlight();
  return Answer(id, kExecuted, "the new price went to the client", price);
}

model::OrderNumber Negotiations::ClientAnswer(int32_t client, int32_t id, bool accept) {
  Held* held = Find(id);
  if (held == nullptr || held->order.client != client ||
      held->record->status() != PriceSent_RequestType) {
    return Answer(id, kUnknownOrder, "No new price of order " + std::to_string(id) + " waits");
  }
  if (!accept) {
    End(*held, PriceChangedClientReject_PendingType, kClientRejected,
        "The client rejected the dealer's price");
    return Answer(id, kExecuted, "rejected");
  }
  Status(*held, PriceChangedClientAccept_PendingType);
  return execute(*held, held->dealer_price);
}

model::OrderNumber Negotiations::execute(Held& in_flight, double price) {
  Held held = Release(in_flight.record->ID());
  MarketOrder order = held.order;
  order.dealer = held.dealer;
  order.price = price;
  const auto outcome = m_desk.execute(order);
  const bool done = outcome && outcome->code == kExecuted;
  held.dealer_price = done ? outcome->price : price;
  Status(held, done ? (order.ticket != 0 ? LiqAccepted : NewAccepted) : InvalidPrice);
  held.record->hitPrice(held.dealer_price);
  TellBoth(held, MARKET_ORDER_TOKEN);
  m_host.Decided(held.session, held.token, held.order.number, outcome);
  const int32_t id = held.record->ID();
  if (!outcome) return Answer(id, -599, "The server takes no orders now");
  return Answer(id, outcome->code, outcome->text, outcome->price);
}

void Negotiations::End(Held& in_flight, MarketOrderStatusEnum status, int32_t code,
                       const std::string& text, TokensEnum tell) {
  Held held = Release(in_flight.record->ID());
  Status(held, status);
  TellBoth(held, tell);
  m_host.Decided(held.session, held.token, held.order.number,
                 m_desk.decline(held.order, code, text));
}

// The negotiation leaves the book (and the text kept of those in flight)
// before its outcome is decided, so that the batch of the outcome forgets it.
Negotiations::Held Negotiations::Release(int32_t id) {
  auto it = m_held.find(id);
  Held held = std::move(it->second);
  m_held.erase(it);
  held.timer->OnTick(nullptr);
  held.timer->Enabled(false);
  m_records->Remove(std::to_string(id));
  KeepInFlight();
  return held;
}

void Negotiations::Status(Held& held, MarketOrderStatusEnum status) {
  held.record->status(status);
}

wire::Negotiation Negotiations::Row(const Held& held) const {
  const CChatOrder& r = *held.record;
  return wire::Negotiation{r.ID(),          held.order.number, r.ClientID(),
                           r.AccountID(),   r.SymbolID(),      static_cast<int32_t>(r.BuySell()),
                           r.lots(),        r.Price(),         r.OpenTicket(),
                           held.dealer_price, static_cast<int32_t>(r.status()),
                           StatusText(r.status()), held.dealer};
}

void Negotiations::TellBoth(const Held& held, TokensEnum token) {
  TellClient(held, token);
  if (!held.dealer.empty()) TellDealer(held, token, held.dealer);
}

void Negotiations::TellClient(const Held& held, TokensEnum token) {
  m_host.ToClient(held.order.client, wire::response(wire::NegotiationPush{token, Row(held)}));
}

void Negotiations::TellDealer(const Held& held, TokensEnum token, const std::string& dealer) {
  m_host.ToDealer(dealer, wire::response(wire::NegotiationPush{token, Row(held)}));
}

void Negotiations::Restart(Held& held, int32_t ms, void (Negotiations::*silent)(int32_t)) {
  const int32_t id = held.record->ID();
  held.timer->Enabled(false);
  held.timer->Interval(ms);
  held.timer->OnTick([this, id, silent] { (this->*silent)(id); });
  held.timer->Enabled(true);
}

std::vector<wire::Negotiation> Negotiations::HeldBy(const std::string& dealer) const {
  std::vector<wire::Negotiation> rows;
  for (const auto& [id, held] : m_held) {
    if (held.dealer == dealer) rows.push_back(Row(held));
  }
  return rows;
}

void Negotiations::KeepInFlight() {
  std::string text;
  for (const auto& [id, held] : m_held) {
    text += held.order.username + kUserMark + wire::negotiation_row(Row(held)) + '\n';
  }
  m_host.keep(text);
}

std::vector<wire::Negotiation> Negotiations::ExpireKept(Desk& desk, const std::string& text) {
  std::vector<wire::Negotiation> expired;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t mark = line.find(kUserMark);
    wire::Negotiation n;
    if (mark == std::string::npos || !wire::read_negotiation_row(line.substr(mark + 1), n)) continue;
    MarketOrder order;
    order.username = line.substr(0, mark);
    order.number = n.number;
    order.client = n.client;
    order.account = n.account;
    order.symbol = n.symbol;
    order.direction = n.direction;
    order.ticket = n.ticket;
    order.lots = n.lots;
    order.price = n.price;
    desk.decline(order, kExpired, "Order expired: the server stopped during its negotiation");
    n.status = TimerExpired_RequestType;
    n.text = StatusText(TimerExpired_RequestType);
    expired.push_back(std::move(n));
  }
  return expired;
}

}  // namespace orvane::apps
