// The gateway's handlers of a dealer's commands: each is decoded, checked
// against the part of the tree the dealer acts for, and run by the desk
// under the dealer's own numbers.

#include <algorithm>

#include "desk.h"
#include "gateway.h"
#include "messages.h"
#include "orvane/protocol/process.h"
#include "orvane/session/security.h"
#include "orvane/session/session.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "password_hash.h"

namespace orvane::apps {

namespace {

constexpr int32_t kInvalidParameter = -502;

// The privilege each kind of money transaction needs.
PrivsEnum money_privilege(int32_t kind) {
  switch (kind) {
    case MoneyOrder::kDeposit: return DepositPriv;
    case MoneyOrder::kWithdrawal: return WithdrawalPriv;
    case MoneyOrder::kCreditIn: return CreditInPriv;
    case MoneyOrder::kCreditOut: return CreditOutPriv;
    case MoneyOrder::kAdjustment: return AdjustmentPriv;
  }
  return NonePriv;
}

}  // namespace

template <typename Request, typename Run>
void Gateway::command(ServerConnection& c, const CProcess& p, Run run) {
  Request request;
  if (!wire::decode(p, request)) {
    return refuse(c, *route_of(p.TokenID()), p, kInvalidParameter, "Invalid paramenter");
  }
  run(request);
}

bool Gateway::acts_for(ServerConnection& c, const CProcess& p, int32_t client) {
  if (client != 0 && m_desk.sees(c.client_id(), client)) return true;
  refuse(c, *route_of(p.TokenID()), p, wire::kNotAllowed,
         client == 0 ? std::string("Not allowed: no such account or client")
                     : "Not allowed: client " + std::to_string(client) +
                           " is outside the clients this dealer acts for");
  return false;
}

void Gateway::money(ServerConnection& c, const CProcess& p) {
  command<wire::MoneyRequest>(c, p, [&](const wire::MoneyRequest& r) {
    const PrivsEnum privilege = money_privilege(r.kind);
    if (privilege != NonePriv && !c.session()->Security()->UserHasPriv(privilege)) {
      return refuse(c, *route_of(ACCOUNT_TRANS_TOKEN), p, wire::kNotAllowed,
                    "Not allowed: the user lacks the privilege to book this kind of money "
                    "transaction (privilege " +
                        std::to_string(static_cast<int32_t>(privilege)) + ")");
    }
    const int32_t client = m_desk.account_owner(r.account);
    if (!acts_for(c, p, client)) return;
    const MoneyOrder order{c.session()->Username(), r.number, client, r.account, r.kind,
                           r.amount, r.note};
    answer(c, ACCOUNT_TRANS_TOKEN, r.number, m_desk.execute(order));
  });
}

// A deal the dealer makes by hand on an account it acts for, at its price.
template <typename Request, typename Fill>
void Gateway::manual_deal(ServerConnection& c, const CProcess& p, Fill fill) {
  command<Request>(c, p, [&](const Request& r) {
    const int32_t client = m_desk.account_owner(r.account);
    if (!acts_for(c, p, client)) return;
    MarketOrder order;
    order.username = order.dealer = c.session()->Username();
    order.number = r.number;
    order.client = client;
    order.account = r.account;
    order.lots = r.lots;
    order.price = r.price;
    fill(r, order);
    answer(c, Request::kToken, r.number, m_desk.execute(order));
  });
}

void Gateway::manual_open(ServerConnection& c, const CProcess& p) {
  manual_deal<wire::ManualOpenRequest>(c, p, [](const wire::ManualOpenRequest& r, MarketOrder& o) {
    o.symbol = r.symbol;
    o.direction = r.direction;
  });
}

void Gateway::manual_close(ServerConnection& c, const CProcess& p) {
  manual_deal<wire::ManualCloseRequest>(c, p,
                                       [](const wire::ManualCloseRequest& r, MarketOrder& o) {
                                         o.ticket = r.ticket;
                                       });
}

// A dealer acting for part of the tree puts a new client there: under its
// own branch when it names none.
void Gateway::new_client(ServerConnection& c, const CProcess& p) {
  command<wire::NewClientRequest>(c, p, [&](const wire::NewClientRequest& r) {
    const int32_t parent = r.parent != 0 ? r.parent : c.client_id();
    if (parent != 0 && !acts_for(c, p, parent)) return;
    TreeOrder order;
    order.username = c.session()->Username();
    order.number = r.number;
    order.client.id = r.id;
    order.client.parent = parent;
    order.client.parameters = r.parameters;
    order.client.liquidation_type = r.liquidation_type;
    order.client.liquidation_point = r.liquidation_point;
    order.client.comm_calc_type = r.comm_calc_type;
    order.client.manual_dealing = r.manual_dealing;
    order.client.name = r.name;
    order.user.username = r.username;
    // Kept only as its hash. Hashed here on the io thread: a new client is
    // rare, and costs what one log-on's check does.
    order.user.password = hash_password(r.password, m_options.password_iterations);
    order.user.privileges = r.privileges;
    answer(c, NEW_CLIENT_TOKEN, r.number, m_desk.execute(order));
  });
}

void Gateway::new_account(ServerConnection& c, const CProcess& p) {
  command<wire::NewAccountRequest>(c, p, [&](const wire::NewAccountRequest& r) {
    if (!acts_for(c, p, r.client)) return;
    TreeOrder order;
    order.username = c.session()->Username();
    order.number = r.number;
    order.action = TreeOrder::Action::kNewAccount;
    order.account.client = r.client;
    order.account.account = r.account;
    order.account.type = r.type;
    order.account.margin_account = r.margin_account;
    answer(c, NEW_ACCOUNT_TOKEN, r.number, m_desk.execute(order));
  });
}

void Gateway::auto_liquidation(ServerConnection& c, const CProcess& p) {
  command<wire::AutoLiquidationRequest>(c, p, [&](const wire::AutoLiquidationRequest& r) {
    if (!acts_for(c, p, r.client)) return;
    TreeOrder order;
    order.username = c.session()->Username();
    order.number = r.number;
    order.action = TreeOrder::Action::kAutoLiquidation;
    order.client.id = r.client;
    order.on = r.on;
    answer(c, UPDATE_CLIENT_INFO_TOKEN, r.number, m_desk.execute(order));
  });
}

// Changes nothing of record: answered at once, the text sent to every
// logged-on session of the clients the dealer acts for.
void Gateway::broadcast(ServerConnection& c, const CProcess& p) {
  command<wire::BroadcastRequest>(c, p, [&](const wire::BroadcastRequest& r) {
    const std::string text = wire::response(wire::TextPush{r.text});
    size_t told = 0;
    for (const auto& [client, sessions] : m_by_client) {
      if (!m_desk.sees(c.client_id(), client)) continue;
      for (ServerConnection* session : std::vector<ServerConnection*>(sessions)) {
        if (!session->is_closed() && session->send_now(text)) ++told;
      }
    }
    const std::string outcome = "sent to " + std::to_string(told) + " sessions";
    if (!m_desk.audit_dealer(c.session()->Username(), 0,
                             "broadcast \"" + r.text + "\" " + outcome)) {
      return answer(c, BROADCAST_MSG_TOKEN, r.number, std::nullopt);
    }
    answer(c, BROADCAST_MSG_TOKEN, r.number, model::OrderNumber{"", r.number, 0, outcome, 0, 0});
  });
}

void Gateway::disconnect_client(ServerConnection& c, const CProcess& p) {
  command<wire::DisconnectRequest>(c, p, [&](const wire::DisconnectRequest& r) {
    if (!acts_for(c, p, r.client)) return;
    std::vector<ServerConnection*> sessions;
    if (auto it = m_by_client.find(r.client); it != m_by_client.end()) sessions = it->second;
    const std::string why = wire::response(wire::Refusal{
        wire::kLoginRefused, "Disconnected by the dealer", static_cast<int32_t>(LOGIN_TOKEN)});
    for (ServerConnection* session : sessions) {
      session->send_now(why);
      session->close("disconnected by dealer " + c.session()->Username());
    }
    const std::string outcome = "closed " + std::to_string(sessions.size()) + " sessions";
    if (!m_desk.audit_dealer(c.session()->Username(), r.client, "disconnect: " + outcome)) {
      return answer(c, DISCONNECT_SESSION_TOKEN, r.number, std::nullopt);
    }
    answer(c, DISCONNECT_SESSION_TOKEN, r.number,
           model::OrderNumber{"", r.number, 0, outcome, r.client, 0});
  });
}

// ---- negotiated market orders ----

bool Gateway::dealt_by_hand(const ServerConnection& c) const {
  const model::Client* client = m_desk.client(c.client_id());
  return client != nullptr && client->manual_dealing;
}

std::vector<std::string> Gateway::dealers_taking_orders(int32_t client) const {
  std::vector<std::string> dealers;
  for (const std::string& dealer : m_chatting) {
    const model::User* user = m_desk.user(dealer);
    if (user != nullptr && m_desk.sees(user->client, client)) dealers.push_back(dealer);
  }
  return dealers;
}

void Gateway::to_dealer(const std::string& dealer, const std::string& text) {
  for (ServerConnection* c : std::vector<ServerConnection*>(m_dealers)) {
    if (!c->is_closed() && c->username() == dealer) c->send(text);
  }
}

void Gateway::to_client(int32_t client, const std::string& text) {
  auto it = m_by_client.find(client);
  if (it == m_by_client.end()) return;
  for (ServerConnection* c : std::vector<ServerConnection*>(it->second)) {
    if (!c->is_closed()) c->send(text);
  }
}

void Gateway::decided(const std::weak_ptr<ServerConnection>& session, TokensEnum token,
                      int32_t number, const std::optional<model::OrderNumber>& outcome) {
  if (auto c = session.lock()) answer(*c, token, number, outcome);
}

void Gateway::keep(const std::string& text) {
  if (m_options.keep_negotiations) m_options.keep_negotiations(text);
}

void Gateway::tell_expired(ServerConnection& connection) {
  const bool dealer = is_dealer(connection);
  for (auto it = m_expired.begin(); it != m_expired.end();) {
    const bool mine =
        dealer ? it->dealer == connection.username() : it->client == connection.client_id();
    if (mine) connection.send(wire::response(wire::NegotiationPush{TIMER_EXPIRED_TOKEN, *it}));
    // Each side hears it once: the dealer's part is cleared by the dealer,
    // the client's by the client.
    if (mine && dealer) it->dealer.clear();
    if (mine && !dealer) it->client = 0;
    it = it->client == 0 && it->dealer.empty() ? m_expired.erase(it) : it + 1;
  }
}

void Gateway::chat_on(ServerConnection& c, const CProcess& /*p*/) {
  if (std::find(m_chatting.begin(), m_chatting.end(), c.username()) == m_chatting.end()) {
    m_chatting.push_back(c.username());
  }
  c.send(wire::response_text(RESULT_OK_TOKEN));
}

void Gateway::chat_off(ServerConnection& c, const CProcess& /*p*/) {
  m_chatting.erase(std::remove(m_chatting.begin(), m_chatting.end(), c.username()),
                   m_chatting.end());
  c.send(wire::response_text(RESULT_OK_TOKEN));
  m_negotiations.dealer_left(c.username());
}

void Gateway::held_orders(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (const wire::Negotiation& n : m_negotiations.held_by(c.username())) {
    rows.push_back(wire::negotiation_row(n));
  }
  c.send_rows(rows);
}

template <typename Run>
void Gateway::negotiate(ServerConnection& c, const CProcess& p, Run run) {
  command<wire::NegotiationAnswer>(c, p, [&](const wire::NegotiationAnswer& r) {
    const model::OrderNumber answer = run(r);
    this->answer(c, p.TokenID(), r.id, answer);
  });
}

void Gateway::dealer_accept(ServerConnection& c, const CProcess& p) {
  negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.accept(c.username(), r.id, r.price);
  });
}

void Gateway::dealer_reject(ServerConnection& c, const CProcess& p) {
  negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.reject(c.username(), r.id);
  });
}

void Gateway::dealer_requote(ServerConnection& c, const CProcess& p) {
  negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.requote(c.username(), r.id, r.price);
  });
}

void Gateway::client_accept(ServerConnection& c, const CProcess& p) {
  negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.client_answer(c.client_id(), r.id, true);
  });
}

void Gateway::client_reject(ServerConnection& c, const CProcess& p) {
  negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.client_answer(c.client_id(), r.id, false);
  });
}

}  // namespace orvane::apps
