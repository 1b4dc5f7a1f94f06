#include "dealer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "orvane/accounts/liquidation_type_enum.h"
#include "orvane/protocol/process.h"
#include "orvane/vocabulary/market_order_status_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "rows.h"

namespace orvane::apps {

namespace {

// Whether an order in this status has left the negotiation.
bool ended(int32_t status) {
  switch (status) {
    case HedgingIsNotAllowed:
    case Rejected_RequestType:
    case TimerExpired_RequestType:
    case LiqAccepted:
    case NewAccepted:
    case InvalidPrice:
    case DeliveryAccepted:
    case PriceChangedTimerExpired_PendingType:
    case PriceChangedClientReject_PendingType:
    case ClientCancelWhenNew_RequestType:
    case ClientCancelWhenPriceSent_RequestType:
    case FutureLiqAccepted:
    case FutureNewAccepted:
      return true;
    default:
      return false;
  }
}

std::string describe(const wire::Negotiation& n) {
  return "order " + std::to_string(n.id) + " of account " + std::to_string(n.account) + ": " +
         (n.ticket != 0 ? "close " + std::to_string(n.ticket) + " "
                        : std::string(n.direction == BuyType ? "buy " : "sell ")) +
         wire::number(n.lots) + " lots at " + wire::number(n.price);
}

}  // namespace

DealerPolicy read_dealer_policy(const std::string& text) {
  DealerPolicy policy;
  if (text == "silent") return policy;
  if (text == "accept") return policy.kind = DealerPolicy::Kind::kAccept, policy;
  if (text == "reject") return policy.kind = DealerPolicy::Kind::kReject, policy;
  const std::string prefix = "requote:";
  if (text.rfind(prefix, 0) == 0) {
    const std::string points = text.substr(prefix.size());
    if (!wire::read_number(points, policy.pips) || !(policy.pips > 0) || policy.pips > 10000) {
      throw std::invalid_argument("requote takes a number of pips above 0, not '" + points + "'");
    }
    policy.kind = DealerPolicy::Kind::kRequote;
    return policy;
  }
  throw std::invalid_argument("the policy is accept, reject, requote:POINTS or silent, not '" +
                              text + "'");
}

Dealer::Dealer(TcpClientEnvironment environment, ITimerFactory& timers, TerminalOptions options,
               DealerPolicy policy, std::shared_ptr<FixedClock> clock, DealerEvents* events)
    : m_terminal(std::move(environment), timers, std::move(options), std::move(clock),
                 static_cast<TerminalEvents*>(this)),
      m_policy(policy),
      m_events(events ? events : &m_no_events) {}

Dealer::~Dealer() = default;

// ---- after every log-on ----

void Dealer::streaming() {
  m_ready = false;
  m_terminal.send(CHAT_ON_TOKEN, {});
  for (const auto& [number, request] : m_unanswered) {
    m_terminal.send(request.first, request.second);
  }
  m_terminal.ask_rows(MARKET_ORDER_TOKEN);
}

void Dealer::rows_read(TokensEnum request, const std::vector<std::string>& rows) {
  if (request != MARKET_ORDER_TOKEN) return;
  m_negotiations.clear();
  for (const std::string& row : rows) {
    wire::Negotiation n;
    if (wire::read_negotiation_row(row, n)) m_negotiations[n.id] = n;
  }
  m_ready = true;
  log("holding " + std::to_string(m_negotiations.size()) + " negotiated orders");
  m_events->ready();
  const auto held = m_negotiations;
  for (const auto& [id, n] : held) {
    if (awaits_dealer(n.status)) apply_policy(n);
  }
}

// ---- what the server sends ----

void Dealer::received(const CProcess& process) {
  switch (process.TokenID()) {
    case ERROR_TOKEN: {
      wire::Refusal refusal;
      if (wire::decode(process, refusal) && refusal.token == MARKET_ORDER_TOKEN && !m_ready) {
        // A server that deals nothing by hand: there is nothing to hold.
        m_negotiations.clear();
        m_ready = true;
        m_events->ready();
      }
      return;
    }
    case ACCOUNT_TRANS_TOKEN:
    case NEW_POSITION_TOKEN:
    case CLOSE_POSITION_TOKEN:
    case NEW_CLIENT_TOKEN:
    case NEW_ACCOUNT_TOKEN:
    case UPDATE_CLIENT_INFO_TOKEN:
    case BROADCAST_MSG_TOKEN:
    case DISCONNECT_SESSION_TOKEN:
      return on_command_answer(process);
    case DLR_ACCEPT_MARKET_ORDER_TOKEN:
    case DLR_REJECT_MARKET_ORDER_TOKEN:
    case DLR_CHANGE_MARKET_ORDER_TOKEN:
      return on_negotiation_answer(process);
    case SEND_TO_CHAT_TOKEN:
    case MARKET_ORDER_TOKEN:
    case SWITCH_ORDER_TOKEN:
    case TIMER_EXPIRED_TOKEN:
      return on_negotiation(process);
    default:
      return;
  }
}

void Dealer::on_command_answer(const CProcess& process) {
  wire::OrderAnswer answer;
  if (!wire::decode(process, answer)) return log("an unreadable answer to a command");
  if (m_unanswered.erase(answer.number) == 0) return;  // an answer given before
  log("command " + std::to_string(answer.number) + ": " +
      (answer.code == 0 ? answer.text
                        : "refused (" + std::to_string(answer.code) + "): " + answer.text));
  m_events->answered(process.TokenID(), answer);
}

void Dealer::on_negotiation_answer(const CProcess& process) {
  wire::OrderAnswer answer;
  if (!wire::decode(process, answer)) return log("an unreadable answer in a negotiation");
  if (answer.code != 0) {
    log("order " + std::to_string(answer.number) + ": the answer was refused (" +
        std::to_string(answer.code) + "): " + answer.text);
  }
  m_events->answered(process.TokenID(), answer);
}

void Dealer::on_negotiation(const CProcess& process) {
  wire::Negotiation n;
  if (!wire::decode(process, n)) return log("an unreadable negotiated order");
  switch (process.TokenID()) {
    case SEND_TO_CHAT_TOKEN:
      m_negotiations[n.id] = n;
      log("to answer: " + describe(n));
      m_events->arrived(n);
      return apply_policy(n);
    case SWITCH_ORDER_TOKEN:
      log("order " + std::to_string(n.id) + " went to another dealer");
      m_negotiations.erase(n.id);
      return;
    case TIMER_EXPIRED_TOKEN:
      log("order " + std::to_string(n.id) + " expired");
      m_negotiations.erase(n.id);
      return;
    default:  // MARKET_ORDER: its status changed
      if (ended(n.status)) {
        log("order " + std::to_string(n.id) + ": " + n.text);
        m_negotiations.erase(n.id);
      } else if (m_negotiations.count(n.id) != 0) {
        m_negotiations[n.id] = n;
      }
      return;
  }
}

void Dealer::apply_policy(const wire::Negotiation& n) {
  switch (m_policy.kind) {
    case DealerPolicy::Kind::kSilent:
      return;
    case DealerPolicy::Kind::kAccept:
      accept(n.id, n.price);
      return;
    case DealerPolicy::Kind::kReject:
      reject(n.id);
      return;
    case DealerPolicy::Kind::kRequote:
      if (const auto price = requote_price(n, m_policy.pips)) {
        requote(n.id, *price);
      } else {
        log("order " + std::to_string(n.id) + ": no symbol " + std::to_string(n.symbol) +
            " to re-quote in; left to answer by hand");
      }
      return;
  }
}

bool Dealer::awaits_dealer(int32_t status) {
  return status == NewOrder_RequestType ||
         (status >= RequestNewBuy && status <= RequestLiqSell);
}

// ---- answers to negotiations ----

std::optional<double> Dealer::requote_price(const wire::Negotiation& n, double pips) const {
  const Desk* desk = m_terminal.desk();
  if (!desk) return std::nullopt;
  for (const model::Symbol& s : desk->symbols()) {
    if (s.id != n.symbol) continue;
    const double pip = std::pow(10.0, s.pip_location == 100 ? -2 : s.pip_location);
    const double scale = 10 / pip;  // prices lie on tenths of a pip at most
    // A close deals the other way from the position it closes.
    const int32_t deal = n.ticket != 0 ? -n.direction : n.direction;
    const double moved = n.price + (deal == BuyType ? pips : -pips) * pip;
    return std::round(moved * scale) / scale;
  }
  return std::nullopt;
}

bool Dealer::answer_negotiation(TokensEnum token, int32_t id, double price) {
  if (m_negotiations.count(id) == 0) return false;
  return m_terminal.send(token, wire::encode(wire::NegotiationAnswer{id, price}));
}

bool Dealer::accept(int32_t id, double price) {
  return answer_negotiation(DLR_ACCEPT_MARKET_ORDER_TOKEN, id, price);
}

bool Dealer::reject(int32_t id) { return answer_negotiation(DLR_REJECT_MARKET_ORDER_TOKEN, id, 0); }

bool Dealer::requote(int32_t id, double price) {
  return answer_negotiation(DLR_CHANGE_MARKET_ORDER_TOKEN, id, price);
}

// ---- commands ----

template <typename Message>
int32_t Dealer::submit(Message request) {
  if (m_terminal.phase() != Terminal::Phase::kStreaming) return 0;
  request.number = m_terminal.take_order_number();
  std::vector<std::string> params = wire::encode(request);
  m_terminal.send(Message::kToken, params);
  m_unanswered[request.number] = {Message::kToken, std::move(params)};
  return request.number;
}

int32_t Dealer::money(int32_t account, int32_t kind, double amount, const std::string& note) {
  return submit(wire::MoneyRequest{0, account, kind, amount, note});
}

int32_t Dealer::open_for(int32_t account, int32_t symbol, int32_t direction, double lots,
                        double price) {
  return submit(wire::ManualOpenRequest{0, account, symbol, direction, lots, price});
}

int32_t Dealer::close_for(int32_t account, int32_t ticket, double lots, double price) {
  return submit(wire::ManualCloseRequest{0, account, ticket, lots, price});
}

int32_t Dealer::new_client(wire::NewClientRequest request) { return submit(std::move(request)); }

int32_t Dealer::new_account(int32_t client) {
  wire::NewAccountRequest request;
  request.client = client;
  return submit(request);
}

int32_t Dealer::auto_liquidation(int32_t client, bool on) {
  return submit(wire::AutoLiquidationRequest{0, client, on});
}

int32_t Dealer::broadcast(const std::string& text) {
  return submit(wire::BroadcastRequest{0, text});
}

int32_t Dealer::disconnect_client(int32_t client) {
  return submit(wire::DisconnectRequest{0, client});
}

// ---- what the dealer watches ----

std::vector<AccountRisk> Dealer::risks() const {
  std::vector<AccountRisk> risks;
  const Desk* desk = m_terminal.desk();
  if (!desk) return risks;
  for (const auto& [number, figures] : m_terminal.figures()) {
    AccountRisk risk;
    risk.figures = figures;
    const model::Client* client = desk->client(figures.client);
    if (client) {
      risk.name = client->name;
      risk.liquidation_type = client->liquidation_type;
      risk.liquidation_point = client->liquidation_point;
    }
    bool normal = false;
    for (const model::Account& a : desk->accounts(figures.client)) {
      if (a.account == number) normal = a.type == 1 && !a.dont_liquidate;
    }
    const bool liquidable =
        client && client->auto_liquidation && normal && figures.open_positions > 0;
    if (liquidable && risk.liquidation_type == EQUITY_LIQUIDATION) {
      risk.distance = figures.equity - risk.liquidation_point;
    } else if (liquidable && risk.liquidation_type == MARGIN_LEVEL_LIQUIDATION) {
      risk.distance = figures.equity -
                      risk.liquidation_point / 100 * std::fabs(figures.margin_requirement);
    }
    risks.push_back(risk);
  }
  std::stable_sort(risks.begin(), risks.end(), [](const AccountRisk& a, const AccountRisk& b) {
    if (a.distance.has_value() != b.distance.has_value()) return a.distance.has_value();
    return a.distance.has_value() && *a.distance < *b.distance;
  });
  return risks;
}

std::map<int32_t, double> Dealer::exposure() const {
  std::map<int32_t, double> net;
  const Desk* desk = m_terminal.desk();
  if (!desk) return net;
  for (const model::Client& client : desk->clients()) {
    for (const model::Position& p : desk->positions(client.id)) {
      net[p.symbol] += p.direction == BuyType ? p.lots : -p.lots;
    }
  }
  for (auto& [symbol, lots] : net) lots = std::round(lots * 1e8) / 1e8;  // no 1e-17 leftovers
  return net;
}

}  // namespace orvane::apps
