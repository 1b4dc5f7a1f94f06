#include "negotiations.h"

#include <sstream>
#include <utility>

#include "orvane/core/variant.h"
#include "orvane/io/timer.h"
#include "orvane/util/generals.h"

namespace orvane::apps {

namespace {

constexpr char kUserMark = '\x1F';  // between the user name and the row of a kept negotiation

std::string status_text(MarketOrderStatusEnum status) {
  return CGenerals().MarketOrderStatusDesc(status);
}

model::OrderNumber answer(int32_t id, int32_t code, std::string text, double price = 0) {
  return model::OrderNumber{"", id, code, std::move(text), 0, price};
}

}  // namespace

Negotiations::Negotiations(Desk& desk, ITimerFactory& timers, NegotiationHost& host)
    : m_desk(desk), m_timers(timers), m_host(host) {}

Negotiations::~Negotiations() {
  for (auto& [id, held] : m_held) held.timer->OnTick(nullptr);
  m_records->Deallocate();
}

bool Negotiations::holds(const std::string& username, int32_t number) const {
  for (const auto& [id, held] : m_held) {
    if (held.order.username == username && held.order.number == number) return true;
  }
  return false;
}

void Negotiations::take(const MarketOrder& order, TokensEnum token,
                        std::weak_ptr<ServerConnection> session) {
  if (holds(order.username, order.number)) return;  // a repeat waits for the first outcome
  if (auto kept = m_desk.outcome(order.username, order.number)) {
    return m_host.decided(session, token, order.number, kept);
  }
  if (m_host.dealers_taking_orders(order.client).empty()) {
    return m_host.decided(
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
  tell_client(held, MARKET_ORDER_RECIEVED_TOKEN);
  send_to_next_dealer(held);
  keep_in_flight();
  m_desk.audit_dealer(held.dealer, order.client,
                     "order number " + std::to_string(order.number) + " of " + order.username +
                         " in negotiation " + std::to_string(id));
}

Negotiations::Held* Negotiations::find(int32_t id) {
  auto it = m_held.find(id);
  return it == m_held.end() ? nullptr : &it->second;
}

Negotiations::Held* Negotiations::holding(const std::string& dealer, int32_t id,
                                          model::OrderNumber& refusal) {
  Held* held = find(id);
  if (held == nullptr || held->dealer != dealer) {
    refusal = answer(id, kUnknownOrder, "This dealer holds no order " + std::to_string(id));
    return nullptr;
  }
  if (held->record->status() == PriceSent_RequestType) {
    refusal = answer(id, kUnknownOrder,
                     "Order " + std::to_string(id) + " waits for the client's answer");
    return nullptr;
  }
  return held;
}

bool Negotiations::send_to_next_dealer(Held& held) {
  const std::string previous = held.dealer;
  for (const std::string& dealer : m_host.dealers_taking_orders(held.order.client)) {
    if (held.tried.count(dealer) != 0) continue;
    if (!previous.empty()) tell_dealer(held, SWITCH_ORDER_TOKEN, previous);
    held.tried.insert(dealer);
    held.dealer = dealer;
    auto [number, added] = m_dealer_numbers.emplace(dealer, 0);
    if (added) number->second = static_cast<int32_t>(m_dealer_numbers.size());
    held.record->Dealer(number->second);
    held.record->OrderSentNow();
    tell_dealer(held, SEND_TO_CHAT_TOKEN, dealer);
    restart(held, m_desk.platform().dealer_timer * 1000, &Negotiations::dealer_silent);
    return true;
  }
  return false;
}

void Negotiations::dealer_silent(int32_t id) {
  Held* held = find(id);
  if (held == nullptr || send_to_next_dealer(*held)) return;
  end(*held, TimerExpired_RequestType, kExpired, "Order expired: no dealer answered in time",
      TIMER_EXPIRED_TOKEN);
}

void Negotiations::client_silent(int32_t id) {
  Held* held = find(id);
  if (held == nullptr) return;
  end(*held, PriceChangedTimerExpired_PendingType, kExpired,
      "Order expired: the client did not answer the new price in time", TIMER_EXPIRED_TOKEN);
}

void Negotiations::dealer_left(const std::string& dealer) {
  std::vector<int32_t> ids;
  for (const auto& [id, held] : m_held) {
    if (held.dealer == dealer && held.record->status() != PriceSent_RequestType) ids.push_back(id);
  }
  for (int32_t id : ids) dealer_silent(id);
}

model::OrderNumber Negotiations::accept(const std::string& dealer, int32_t id, double price) {
  model::OrderNumber refusal;
  Held* held = holding(dealer, id, refusal);
  if (held == nullptr) return refusal;
  return execute(*held, price > 0 ? price : held->order.price);
}

model::OrderNumber Negotiations::reject(const std::string& dealer, int32_t id) {
  model::OrderNumber refusal;
  Held* held = holding(dealer, id, refusal);
  if (held == nullptr) return refusal;
  end(*held, Rejected_RequestType, kDealerRejected, "The dealer rejected the order");
  return answer(id, kExecuted, "rejected");
}

model::OrderNumber Negotiations::requote(const std::string& dealer, int32_t id, double price) {
  model::OrderNumber refusal;
  Held* held = holding(dealer, id, refusal);
  if (held == nullptr) return refusal;
  if (!(price > 0)) return answer(id, kBadAmount, "A new price must be positive");
  held->dealer_price = price;
  status(*held, PriceSent_RequestType);
  tell_client(*held, DLR_CHANGE_MARKET_ORDER_TOKEN);
  tell_dealer(*held, MARKET_ORDER_TOKEN, held->dealer);
  restart(*held, m_desk.platform().price_changed_timer * 1000, &Negotiations::client_silent);
  keep_in_flight();
  return answer(id, kExecuted, "the new price went to the client", price);
}

model::OrderNumber Negotiations::client_answer(int32_t client, int32_t id, bool accept) {
  Held* held = find(id);
  if (held == nullptr || held->order.client != client ||
      held->record->status() != PriceSent_RequestType) {
    return answer(id, kUnknownOrder, "No new price of order " + std::to_string(id) + " waits");
  }
  if (!accept) {
    end(*held, PriceChangedClientReject_PendingType, kClientRejected,
        "The client rejected the dealer's price");
    return answer(id, kExecuted, "rejected");
  }
  status(*held, PriceChangedClientAccept_PendingType);
  return execute(*held, held->dealer_price);
}

model::OrderNumber Negotiations::execute(Held& in_flight, double price) {
  Held held = release(in_flight.record->ID());
  MarketOrder order = held.order;
  order.dealer = held.dealer;
  order.price = price;
  const auto outcome = m_desk.execute(order);
  const bool done = outcome && outcome->code == kExecuted;
  held.dealer_price = done ? outcome->price : price;
  status(held, done ? (order.ticket != 0 ? LiqAccepted : NewAccepted) : InvalidPrice);
  held.record->hitPrice(held.dealer_price);
  tell_both(held, MARKET_ORDER_TOKEN);
  m_host.decided(held.session, held.token, held.order.number, outcome);
  const int32_t id = held.record->ID();
  if (!outcome) return answer(id, -599, "The server takes no orders now");
  return answer(id, outcome->code, outcome->text, outcome->price);
}

void Negotiations::end(Held& in_flight, MarketOrderStatusEnum status, int32_t code,
                       const std::string& text, TokensEnum tell) {
  Held held = release(in_flight.record->ID());
  this->status(held, status);
  tell_both(held, tell);
  m_host.decided(held.session, held.token, held.order.number,
                 m_desk.decline(held.order, code, text));
}

// The negotiation leaves the book (and the text kept of those in flight)
// before its outcome is decided, so that the batch of the outcome forgets it.
Negotiations::Held Negotiations::release(int32_t id) {
  auto it = m_held.find(id);
  Held held = std::move(it->second);
  m_held.erase(it);
  held.timer->OnTick(nullptr);
  held.timer->Enabled(false);
  m_records->Remove(std::to_string(id));
  keep_in_flight();
  return held;
}

void Negotiations::status(Held& held, MarketOrderStatusEnum status) {
  held.record->status(status);
}

wire::Negotiation Negotiations::row(const Held& held) const {
  const CChatOrder& r = *held.record;
  return wire::Negotiation{r.ID(),          held.order.number, r.ClientID(),
                           r.AccountID(),   r.SymbolID(),      static_cast<int32_t>(r.BuySell()),
                           r.lots(),        r.Price(),         r.OpenTicket(),
                           held.dealer_price, static_cast<int32_t>(r.status()),
                           status_text(r.status()), held.dealer};
}

void Negotiations::tell_both(const Held& held, TokensEnum token) {
  tell_client(held, token);
  if (!held.dealer.empty()) tell_dealer(held, token, held.dealer);
}

void Negotiations::tell_client(const Held& held, TokensEnum token) {
  m_host.to_client(held.order.client, wire::response(wire::NegotiationPush{token, row(held)}));
}

void Negotiations::tell_dealer(const Held& held, TokensEnum token, const std::string& dealer) {
  m_host.to_dealer(dealer, wire::response(wire::NegotiationPush{token, row(held)}));
}

void Negotiations::restart(Held& held, int32_t ms, void (Negotiations::*silent)(int32_t)) {
  const int32_t id = held.record->ID();
  held.timer->Enabled(false);
  held.timer->Interval(ms);
  held.timer->OnTick([this, id, silent] { (this->*silent)(id); });
  held.timer->Enabled(true);
}

std::vector<wire::Negotiation> Negotiations::held_by(const std::string& dealer) const {
  std::vector<wire::Negotiation> rows;
  for (const auto& [id, held] : m_held) {
    if (held.dealer == dealer) rows.push_back(row(held));
  }
  return rows;
}

void Negotiations::keep_in_flight() {
  std::string text;
  for (const auto& [id, held] : m_held) {
    text += held.order.username + kUserMark + wire::negotiation_row(row(held)) + '\n';
  }
  m_host.keep(text);
}

std::vector<wire::Negotiation> Negotiations::expire_kept(Desk& desk, const std::string& text) {
  std::vector<wire::Negotiation> expired;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t mark = line.find(kUserMark);
    wire::Negotiation n;
    if (mark == std::string::npos || !wire::read_negotiation_row(line.substr(mark + 1), n))
      continue;
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
    n.text = status_text(TimerExpired_RequestType);
    expired.push_back(std::move(n));
  }
  return expired;
}

}  // namespace orvane::apps
