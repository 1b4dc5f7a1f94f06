// What a dealer does to accounts and to the tree besides dealing orders.

#include <cmath>

#include "desk.h"
#include "desk_detail.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/clients.h"
#include "orvane/core/conversions.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/user_type_enum.h"

namespace orvane::apps {

using desk_detail::refused;

namespace {

const char* kind_name(int32_t kind) {
  switch (kind) {
    case MoneyOrder::kDeposit: return "deposit";
    case MoneyOrder::kWithdrawal: return "withdrawal";
    case MoneyOrder::kCreditIn: return "credit in";
    case MoneyOrder::kCreditOut: return "credit out";
    case MoneyOrder::kAdjustment: return "adjustment";
  }
  return "";
}

}  // namespace

std::optional<model::OrderNumber> Desk::execute(const MoneyOrder& order) {
  return once(order, [&] {
    model::OrderNumber outcome;
    auto account =
        order_account(order.username, order.number, order.client, order.account, outcome);
    if (!account) return outcome;
    const char* kind = kind_name(order.kind);
    if (*kind == '\0')
      return refused(outcome, kBadOrderType, "No money transaction of kind " + KeyOf(order.kind));
    const bool either_way = order.kind == MoneyOrder::kAdjustment;
    const double amount = RoundMoney(order.amount);
    if (!std::isfinite(order.amount) || amount == 0 || (!either_way && amount < 0)) {
      return refused(outcome, kBadAmount,
                     std::string("The amount of a ") + kind + " must be " +
                         (either_way ? "a number other than 0" : "positive") + ", to the cent");
    }
    CSummaries& s = *account->SummeryInfo();
    const bool out = order.kind == MoneyOrder::kWithdrawal || order.kind == MoneyOrder::kCreditOut;
    if (out && s.EffectiveMargin() - amount < -0.005) {
      return refused(outcome, kNotEnoughFunds,
                     "Account " + KeyOf(order.account) + " has an effective margin of " +
                         NumberText(RoundMoney(s.EffectiveMargin())) + ": it cannot give " +
                         NumberText(amount));
    }
    if (order.kind == MoneyOrder::kCreditOut && s.Credit() - amount < -0.005) {
      return refused(outcome, kNotEnoughFunds,
                     "Account " + KeyOf(order.account) + " holds a credit of only " +
                         NumberText(s.Credit()));
    }
    switch (order.kind) {
      case MoneyOrder::kDeposit: s.TotalDeposit(s.TotalDeposit() + amount); break;
      case MoneyOrder::kWithdrawal: s.TotalDeposit(s.TotalDeposit() - amount); break;
      case MoneyOrder::kCreditIn: s.Credit(s.Credit() + amount); break;
      case MoneyOrder::kCreditOut: s.Credit(s.Credit() - amount); break;
      default: s.NetProfit(s.NetProfit() + amount); break;
    }
    std::string note = std::string(kind) + " by " + order.username;
    if (!order.note.empty()) note += ": " + order.note;
    book_totals(*account, 0, note);
    outcome.ticket = order.account;
    outcome.price = amount;
    outcome.text = std::string(kind) + " of " + NumberText(amount) + " booked";
    return outcome;
  });
}

std::optional<model::OrderNumber> Desk::execute(const TreeOrder& order) {
  return once(order, [&] {
    model::OrderNumber outcome{order.username, order.number, kExecuted, "", 0, 0};
    if (order.number <= last_order_number(order.username) - int32_t{model::kOrderNumbersKept}) {
      return refused(outcome, kOrderNumberUsed,
                     "Order number " + KeyOf(order.number) + " was used before");
    }
    switch (order.action) {
      case TreeOrder::Action::kNewClient: new_client(order, outcome); break;
      case TreeOrder::Action::kNewAccount: new_account(order, outcome); break;
      case TreeOrder::Action::kAutoLiquidation: switch_auto_liquidation(order, outcome); break;
    }
    return outcome;
  });
}

void Desk::new_client(const TreeOrder& order, model::OrderNumber& outcome) {
  model::Client client = order.client;
  if (client.parent != 0 && this->client(client.parent) == nullptr) {
    outcome = refused(outcome, kUnknownClient,
                      "There is no client " + KeyOf(client.parent) + " to put it under");
    return;
  }
  if (client.id == 0) {
    for (const model::Client& c : m_clients) client.id = std::max(client.id, c.id);
    ++client.id;
  }
  if (this->client(client.id) != nullptr || user(order.user.username) != nullptr ||
      order.user.username.empty()) {
    outcome = refused(outcome, kNameTaken,
                      order.user.username.empty() ? std::string("A new client needs a user name")
                                                  : "Client " + KeyOf(client.id) + " or user '" +
                                                        order.user.username + "' exists already");
    return;
  }
  client.type = CLIENT_TYPE;
  try {
    load_client(client);
  } catch (const DeskError& e) {
    outcome = refused(outcome, kBadOrderType, std::string("The client was refused: ") + e.what());
    return;
  }
  if (client.parent != 0) {
    m_engine->Clients()->ClientParentChanged(client.id, client.parent);
  }
  model::User user = order.user;
  user.client = client.id;
  user.type = CLIENT_USER_TYPE;
  m_user_index[user.username] = m_users.size();
  m_users.push_back(user);
  record(model::ClientAdded{client});
  record(model::UserAdded{user});
  outcome.ticket = client.id;
  outcome.text = "client " + KeyOf(client.id) + " created";
}

void Desk::new_account(const TreeOrder& order, model::OrderNumber& outcome) {
  const model::Client* client = this->client(order.account.client);
  if (client == nullptr || client->type != CLIENT_TYPE) {
    outcome = refused(outcome, kUnknownClient,
                      "There is no trading client " + KeyOf(order.account.client));
    return;
  }
  model::Account account = order.account;
  account.totals = {};
  if (account.account == 0) {
    for (const model::Account& a : m_accounts) account.account = std::max(account.account, a.account);
    ++account.account;
  }
  if (m_engine->Clients()->AccountExists(account.account)) {
    outcome = refused(outcome, kNameTaken, "Account " + KeyOf(account.account) + " exists already");
    return;
  }
  load_account(account);
  record(model::AccountAdded{account});
  outcome.ticket = account.account;
  outcome.text = "account " + KeyOf(account.account) + " opened";
}

void Desk::switch_auto_liquidation(const TreeOrder& order, model::OrderNumber& outcome) {
  auto index = m_client_index.find(order.client.id);
  if (index == m_client_index.end()) {
    outcome = refused(outcome, kUnknownClient, "There is no client " + KeyOf(order.client.id));
    return;
  }
  model::Client& client = m_clients[index->second];
  client.auto_liquidation = order.on;
  for (const model::Account& a : accounts(client.id)) {
    if (auto account = m_engine->Account(a.client, a.account))
      account->DontLiquidate(!liquidates(a));
  }
  record(model::ClientChanged{client});
  outcome.ticket = client.id;
  outcome.text = std::string("auto-liquidation ") + (order.on ? "on" : "off") + " for client " +
                 KeyOf(client.id);
}

std::optional<model::OrderNumber> Desk::decline(const MarketOrder& order, int32_t code,
                                                const std::string& text) {
  return once(order,
              [&] { return model::OrderNumber{order.username, order.number, code, text, 0, 0}; });
}

std::optional<model::OrderNumber> Desk::outcome(const std::string& username, int32_t number) const {
  auto kept = m_order_numbers.find(username);
  if (kept == m_order_numbers.end()) return std::nullopt;
  for (auto it = kept->second.rbegin(); it != kept->second.rend(); ++it) {
    if (it->number == number) return *it;
  }
  return std::nullopt;
}

bool Desk::audit_dealer(const std::string& dealer, int32_t client, const std::string& text) {
  if (halted()) return false;
  const model::AuditEntry entry{client, 0, "dealer " + dealer + ": " + text};
  keep(m_audit, entry);
  record(model::AuditAdded{entry});
  return finish();
}

void Desk::audit(const MoneyOrder& order, const model::OrderNumber& outcome) {
  const model::AuditEntry entry{order.client, order.account,
                                "dealer " + order.username + " " + kind_name(order.kind) + " " +
                                    NumberText(order.amount) + ": " +
                                    (outcome.code == kExecuted ? "" : "refused: ") + outcome.text};
  keep(m_audit, entry);
  record(model::AuditAdded{entry});
}

void Desk::audit(const TreeOrder& order, const model::OrderNumber& outcome) {
  const int32_t client = order.action == TreeOrder::Action::kNewAccount ? order.account.client
                                                                         : order.client.id;
  const model::AuditEntry entry{client, order.account.account,
                                "dealer " + order.username + ": " +
                                    (outcome.code == kExecuted ? "" : "refused: ") + outcome.text};
  keep(m_audit, entry);
  record(model::AuditAdded{entry});
}

}  // namespace orvane::apps
