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

using desk_detail::Refused;

namespace {

const char* KindName(int32_t kind) {
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

std::optional<model::OrderNumber> Desk::Execute(const MoneyOrder& order) {
  return Once(order, [&] {
    model::OrderNumber outcome;
    auto account = OrderAccount(order.username, order.number, order.client, order.account, outcome);
    if (!account) return outcome;
    const char* kind = KindName(order.kind);
    if (*kind == '\0') return Refused(outcome, kBadOrderType, "No money transaction of kind " + KeyOf(order.kind));
    const bool either_way = order.kind == MoneyOrder::kAdjustment;
    const double amount = RoundMoney(order.amount);
    if (!std::isfinite(order.amount) || amount == 0 || (!either_way && amount < 0)) {
      return Refused(outcome, kBadAmount,
                     std::string("The amount of a ") + kind + " must be " +
                         (either_way ? "a number other than 0" : "positive") + ", to the cent");
    }
    CSummaries& s = *account->SummeryInfo();
    const bool out = order.kind == MoneyOrder::kWithdrawal || order.kind == MoneyOrder::kCreditOut;
    if (out && s.EffectiveMargin() - amount < -0.005) {
      return Refused(outcome, kNotEnoughFunds,
                     "Account " + KeyOf(order.account) + " has an effective margin of " +
                         NumberText(RoundMoney(s.EffectiveMargin())) + ": it cannot give " +
                         NumberText(amount));
    }
    if (order.kind == MoneyOrder::kCreditOut && s.Credit() - amount < -0.005) {
      return Refused(outcome, kNotEnoughFunds,
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
    BookTotals(*account, 0, note);
    outcome.ticket = order.account;
    outcome.price = amount;
    outcome.text = std::string(kind) + " of " + NumberText(amount) + " booked";
    return outcome;
  });
}

std::optional<model::OrderNumber> Desk::Execute(const TreeOrder& order) {
  return Once(order, [&] {
    model::OrderNumber outcome{order.username, order.number, kExecuted, "", 0, 0};
    if (order.number <= LastOrderNumber(order.username) - int32_t{model::kOrderNumbersKept}) {
      return Refused(outcome, kOrderNumberUsed, "Order number " + KeyOf(order.number) + " was used before");
    }
    switch (order.action) {
      case TreeOrder::Action::kNewClient: NewClient(order, outcome); break;
      case TreeOrder::Action::kNewAccount: NewAccount(order, outcome); break;
      case TreeOrder::Action::kAutoLiquidation: SwitchAutoLiquidation(order, outcome); break;
    }
    return outcome;
  });
}

void Desk::NewClient(const TreeOrder& order, model::OrderNumber& outcome) {
  model::Client client = order.client;
  if (client.parent != 0 && Client(client.parent) == nullptr) {
    outcome = Refused(outcome, kUnknownClient, "There is no client " + KeyOf(client.parent) + " to put it under");
    return;
  }
  if (client.id == 0) {
    for (const model::Client& c : m_clients) client.id = std::max(client.id, c.id);
    ++client.id;
  }
  if (Client(client.id) != nullptr || User(order.user.username) != nullptr ||
      order.user.username.empty()) {
    outcome = Refused(outcome, kNameTaken,
                      order.user.username.empty() ? std::string("A new client needs a user name")
                                                  : "Client " + KeyOf(client.id) + " or user '" +
                                                        order.user.username + "' exists already");
    return;
  }
  client.type = CLIENT_TYPE;
  try {
    LoadClient(client);
  } catch (const DeskError& e) {
    outcome = Refused(outcome, kBadOrderType, std::string("The client was refused: ") + e.what());
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
  Record(model::ClientAdded{client});
  Record(model::UserAdded{user});
  outcome.ticket = client.id;
  outcome.text = "client " + KeyOf(client.id) + " created";
}

void Desk::NewAccount(const TreeOrder& order, model::OrderNumber& outcome) {
  const model::Client* client = Client(order.account.client);
  if (client == nullptr || client->type != CLIENT_TYPE) {
    outcome = Refused(outcome, kUnknownClient, "There is no trading client " + KeyOf(order.account.client));
    return;
  }
  model::Account account = order.account;
  account.totals = {};
  if (account.account == 0) {
    for (const model::Account& a : m_accounts) account.account = std::max(account.account, a.account);
    ++account.account;
  }
  if (m_engine->Clients()->AccountExists(account.account)) {
    outcome = Refused(outcome, kNameTaken, "Account " + KeyOf(account.account) + " exists already");
    return;
  }
  LoadAccount(account);
  Record(model::AccountAdded{account});
  outcome.ticket = account.account;
  outcome.text = "account " + KeyOf(account.account) + " opened";
}

void Desk::SwitchAutoLiquidation(const TreeOrder& order, model::OrderNumber& outcome) {
  auto index = m_client_index.find(order.client.id);
  if (index == m_client_index.end()) {
    outcome = Refused(outcome, kUnknownClient, "There is no client " + KeyOf(order.client.id));
    return;
  }
  model::Client& client = m_clients[index->second];
  client.auto_liquidation = order.on;
  for (const model::Account& a : Accounts(client.id)) {
    if (auto account = m_engine->Account(a.client, a.account)) account->DontLiquidate(!Liquidates(a));
  }
  Record(model::ClientChanged{client});
  outcome.ticket = client.id;
  outcome.text = std::string("auto-liquidation ") + (order.on ? "on" : "off") + " for client " +
                 KeyOf(client.id);
}

std::optional<model::OrderNumber> Desk::Decline(const MarketOrder& order, int32_t code,
                                                const std::string& text) {
  return Once(order, [&] { return model::OrderNumber{order.username, order.number, code, text, 0, 0}; });
}

std::optional<model::OrderNumber> Desk::Outcome(const std::string& username, int32_t number) const {
  auto kept = m_order_numbers.find(username);
  if (kept == m_order_numbers.end()) return std::nullopt;
  for (auto it = kept->second.rbegin(); it != kept->second.rend(); ++it) {
    if (it->number == number) return *it;
  }
  return std::nullopt;
}

bool Desk::AuditDealer(const std::string& dealer, int32_t client, const std::string& text) {
  if (Halted()) return false;
  const model::AuditEntry entry{client, 0, "dealer " + dealer + ": " + text};
  Keep(m_audit, entry);
  Record(model::AuditAdded{entry});
  return Finish();
}

void Desk::Audit(const MoneyOrder& order, const model::OrderNumber& outcome) {
  const model::AuditEntry entry{order.client, order.account,
                                "dealer " + order.username + " " + KindName(order.kind) + " " +
                                    NumberText(order.amount) + ": " +
                                    (outcome.code == kExecuted ? "" : "refused: ") + outcome.text};
  Keep(m_audit, entry);
  Record(model::AuditAdded{entry});
}

void Desk::Audit(const TreeOrder& order, const model::OrderNumber& outcome) {
  const int32_t client = order.action == TreeOrder::Action::kNewAccount ? order.account.client
                                                                         : order.client.id;
  const model::AuditEntry entry{client, order.account.account,
                                "dealer " + order.username + ": " +
                                    (outcome.code == kExecuted ? "" : "refused: ") + outcome.text};
  Keep(m_audit, entry);
  Record(model::AuditAdded{entry});
}

}  // namespace orvane::apps
