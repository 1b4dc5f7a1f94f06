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
PrivsEnum MoneyPrivilege(int32_t kind) {
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
void Gateway::Command(ServerConnection& c, const CProcess& p, Run run) {
  Request request;
  if (!wire::decode(p, request)) {
    return Refuse(c, *RouteOf(p.TokenID()), p, kInvalidParameter, "Invalid paramenter");
  }
  run(request);
}

bool Gateway::ActsFor(ServerConnection& c, const CProcess& p, int32_t client) {
  if (client != 0 && m_desk.sees(c.ClientID(), client)) return true;
  Refuse(c, *RouteOf(p.TokenID()), p, wire::kNotAllowed,
         client == 0 ? std::string("Not allowed: no such account or client")
                     : "Not allowed: client " + std::to_string(client) +
                           " is outside the clients this dealer acts for");
  return false;
}

void Gateway::money(ServerConnection& c, const CProcess& p) {
  Command<wire::MoneyRequest>(c, p, [&](const wire::MoneyRequest& r) {
    const PrivsEnum privilege = MoneyPrivilege(r.kind);
    if (privilege != NonePriv && !c.Session()->Security()->UserHasPriv(privilege)) {
      return Refuse(c, *RouteOf(ACCOUNT_TRANS_TOKEN), p, wire::kNotAllowed,
                    "Not allowed: the user lacks the privilege to book this kind of money "
                    "transaction (privilege " +
                        std::to_string(static_cast<int32_t>(privilege)) + ")");
    }
    const int32_t client = m_desk.account_owner(r.account);
    if (!ActsFor(c, p, client)) return;
    const MoneyOrder order{c.Session()->Username(), r.number, client, r.account, r.kind,
                           r.amount, r.note};
    Answer(c, ACCOUNT_TRANS_TOKEN, r.number, m_desk.execute(order));
  });
}

// A deal the dealer makes by hand on an account it acts for, at its price.
template <typename Request, typename Fill>
void Gateway::ManualDeal(ServerConnection& c, const CProcess& p, Fill fill) {
  Command<Request>(c, p, [&](const Request& r) {
    const int32_t client = m_desk.account_owner(r.account);
    if (!ActsFor(c, p, client)) return;
    MarketOrder order;
    order.username = order.dealer = c.Session()->Username();
    order.number = r.number;
    order.client = client;
    order.account = r.account;
    order.lots = r.lots;
    order.price = r.price;
    fill(r, order);
    Answer(c, Request::kToken, r.number, m_desk.execute(order));
  });
}

void Gateway::ManualOpen(ServerConnection& c, const CProcess& p) {
  ManualDeal<wire::ManualOpenRequest>(c, p, [](const wire::ManualOpenRequest& r, MarketOrder& o) {
    o.symbol = r.symbol;
    o.direction = r.direction;
  });
}

void Gateway::ManualClose(ServerConnection& c, const CProcess& p) {
  ManualDeal<wire::ManualCloseRequest>(c, p,
                                       [](const wire::ManualCloseRequest& r, MarketOrder& o) {
                                         o.ticket = r.ticket;
                                       });
}

// A dealer acting for part of the tree puts a new client there: under its
// own branch when it names none.
void Gateway::new_client(ServerConnection& c, const CProcess& p) {
  Command<wire::NewClientRequest>(c, p, [&](const wire::NewClientRequest& r) {
    const int32_t parent = r.parent != 0 ? r.parent : c.ClientID();
    if (parent != 0 && !ActsFor(c, p, parent)) return;
    TreeOrder order;
    order.username = c.Session()->Username();
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
    order.user.password = HashPassword(r.password, m_options.password_iterations);
    order.user.privileges = r.privileges;
    Answer(c, NEW_CLIENT_TOKEN, r.number, m_desk.execute(order));
  });
}

void Gateway::new_account(ServerConnection& c, const CProcess& p) {
  Command<wire::NewAccountRequest>(c, p, [&](const wire::NewAccountRequest& r) {
    if (!ActsFor(c, p, r.client)) return;
    TreeOrder order;
    order.username = c.Session()->Username();
    order.number = r.number;
    order.action = TreeOrder::Action::kNewAccount;
    order.account.client = r.client;
    order.account.account = r.account;
    order.account.type = r.type;
    order.account.margin_account = r.margin_account;
    Answer(c, NEW_ACCOUNT_TOKEN, r.number, m_desk.execute(order));
  });
}

void Gateway::AutoLiquidation(ServerConnection& c, const CProcess& p) {
  Command<wire::AutoLiquidationRequest>(c, p, [&](const wire::AutoLiquidationRequest& r) {
    if (!ActsFor(c, p, r.client)) return;
    TreeOrder order;
    order.username = c.Session()->Username();
    order.number = r.number;
    order.action = TreeOrder::Action::kAutoLiquidation;
    order.client.id = r.client;
    order.on = r.on;
    Answer(c, UPDATE_CLIENT_INFO_TOKEN, r.number, m_desk.execute(order));
  });
}

// Changes nothing of record: answered at once, the text sent to every
// logged-on session of the clients the dealer acts for.
void Gateway::Broadcast(ServerConnection& c, const CProcess& p) {
  Command<wire::BroadcastRequest>(c, p, [&](const wire::BroadcastRequest& r) {
    const std::string text = wire::response(wire::TextPush{r.text});
    size_t told = 0;
    for (const auto& [client, sessions] : m_by_client) {
      if (!m_desk.sees(c.ClientID(), client)) continue;
      for (ServerConnection* session : std::vector<ServerConnection*>(sessions)) {
        if (!session->IsClosed() && session->SendNow(text)) ++told;
      }
    }
    const std::string outcome = "sent to " + std::to_string(told) + " sessions";
    if (!m_desk.audit_dealer(c.Session()->Username(), 0, "broadcast \"" + r.text + "\" " + outcome)) {
      return Answer(c, BROADCAST_MSG_TOKEN, r.number, std::nullopt);
    }
    Answer(c, BROADCAST_MSG_TOKEN, r.number, model::OrderNumber{"", r.number, 0, outcome, 0, 0});
  });
}

void Gateway::DisconnectClient(ServerConnection& c, const CProcess& p) {
  Command<wire::DisconnectRequest>(c, p, [&](const wire::DisconnectRequest& r) {
    if (!ActsFor(c, p, r.client)) return;
    std::vector<ServerConnection*> sessions;
    if (auto it = m_by_client.find(r.client); it != m_by_client.end()) sessions = it->second;
    const std::string why = wire::response(wire::Refusal{
        wire::kLoginRefused, "Disconnected by the dealer", static_cast<int32_t>(LOGIN_TOKEN)});
    for (ServerConnection* session : sessions) {
      session->SendNow(why);
      session->Close("disconnected by dealer " + c.Session()->Username());
    }
    const std::string outcome = "closed " + std::to_string(sessions.size()) + " sessions";
    if (!m_desk.audit_dealer(c.Session()->Username(), r.client, "disconnect: " + outcome)) {
      return Answer(c, DISCONNECT_SESSION_TOKEN, r.number, std::nullopt);
    }
    Answer(c, DISCONNECT_SESSION_TOKEN, r.number,
           model::OrderNumber{"", r.number, 0, outcome, r.client, 0});
  });
}

// ---- negotiated market orders ----

bool Gateway::DealtByHand(const ServerConnection& c) const {
  const model::Client* client = m_desk.client(c.ClientID());
  return client != nullptr && client->manual_dealing;
}

std::vector<std::string> Gateway::DealersTakingOrders(int32_t client) const {
  std::vector<std::string> dealers;
  for (const std::string& dealer : m_chatting) {
    const model::User* user = m_desk.user(dealer);
    if (user != nullptr && m_desk.sees(user->client, client)) dealers.push_back(dealer);
  }
  return dealers;
}

void Gateway::ToDealer(const std::string& dealer, const std::string& text) {
  for (ServerConnection* c : std::vector<ServerConnection*>(m_dealers)) {
    if (!c->IsClosed() && c->Username() == dealer) c->Send(text);
  }
}

void Gateway::ToClient(int32_t client, const std::string& text) {
  auto it = m_by_client.find(client);
  if (it == m_by_client.end()) return;
  for (ServerConnection* c : std::vector<ServerConnection*>(it->second)) {
    if (!c->IsClosed()) c->Send(text);
  }
}

void Gateway::Decided(const std::weak_ptr<ServerConnection>& session, TokensEnum token,
                      int32_t number, const std::optional<model::OrderNumber>& outcome) {
  if (auto c = session.lock()) Answer(*c, token, number, outcome);
}

void Gateway::keep(const std::string& text) {
  if (m_options.keep_negotiations) m_options.keep_negotiations(text);
}

void Gateway::TellExpired(ServerConnection& connection) {
  const bool dealer = IsDealer(connection);
  for (auto it = m_expired.begin(); it != m_expired.end();) {
    const bool mine = dealer ? it->dealer == connection.Username() : it->client == connection.ClientID();
    if (mine) connection.Send(wire::response(wire::NegotiationPush{TIMER_EXPIRED_TOKEN, *it}));
    // Each side hears it once: the dealer's part is cleared by the dealer,
    // the client's by the client.
    if (mine && dealer) it->dealer.clear();
    if (mine && !dealer) it->client = 0;
    it = it->client == 0 && it->dealer.empty() ? m_expired.erase(it) : it + 1;
  }
}

void Gateway::ChatOn(ServerConnection& c, const CProcess& /*p*/) {
  if (std::find(m_chatting.begin(), m_chatting.end(), c.Username()) == m_chatting.end()) {
    m_chatting.push_back(c.Username());
  }
  c.Send(wire::response_text(RESULT_OK_TOKEN));
}

void Gateway::ChatOff(ServerConnection& c, const CProcess& /*p*/) {
  m_chatting.erase(std::remove(m_chatting.begin(), m_chatting.end(), c.Username()),
                   m_chatting.end());
  c.Send(wire::response_text(RESULT_OK_TOKEN));
  m_negotiations.DealerLeft(c.Username());
}

void Gateway::HeldOrders(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (const wire::Negotiation& n : m_negotiations.HeldBy(c.Username())) {
    rows.push_back(wire::negotiation_row(n));
  }
  c.SendRows(rows);
}

template <typename Run>
void Gateway::Negotiate(ServerConnection& c, const CProcess& p, Run run) {
  Command<wire::NegotiationAnswer>(c, p, [&](const wire::NegotiationAnswer& r) {
    const model::OrderNumber answer = run(r);
    Answer(c, p.TokenID(), r.id, answer);
  });
}

void Gateway::DealerAccept(ServerConnection& c, const CProcess& p) {
  Negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.Accept(c.Username(), r.id, r.price);
  });
}

void Gateway::DealerReject(ServerConnection& c, const CProcess& p) {
  Negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.Reject(c.Username(), r.id);
  });
}

void Gateway::DealerRequote(ServerConnection& c, const CProcess& p) {
  Negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.Requote(c.Username(), r.id, r.price);
  });
}

void Gateway::ClientAccept(ServerConnection& c, const CProcess& p) {
  Negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.ClientAnswer(c.ClientID(), r.id, true);
  });
}

void Gateway::ClientReject(ServerConnection& c, const CProcess& p) {
  Negotiate(c, p, [&](const wire::NegotiationAnswer& r) {
    return m_negotiations.ClientAnswer(c.ClientID(), r.id, false);
  });
}

}  // namespace orvane::apps
