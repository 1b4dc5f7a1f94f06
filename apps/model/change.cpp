#include "change.h"

#include <algorithm>

namespace orvane::apps::model {

namespace {

template <typename Record, typename Match>
bool erase(std::vector<Record>& records, Match match) {
  auto it = std::find_if(records.begin(), records.end(), match);
  if (it == records.end()) return false;
  records.erase(it);
  return true;
}

struct Applier {
  Snapshot& s;

  bool operator()(const PositionOpened& c) const {
    const Position& p = c.position;
    const bool taken = std::any_of(s.positions.begin(), s.positions.end(), [&](const Position& q) {
      return q.account == p.account && q.ticket == p.ticket;
    });
    if (taken) return false;
    s.positions.push_back(p);
    s.sequences.ticket = std::max(s.sequences.ticket, p.ticket);
    return true;
  }
  bool operator()(const PositionClosed& c) const {
    return erase(s.positions, [&](const Position& p) {
      return p.client == c.client && p.account == c.account && p.ticket == c.ticket;
    });
  }
  bool operator()(const PositionChanged& c) const {
    for (Position& p : s.positions) {
      if (p.client == c.position.client && p.account == c.position.account &&
          p.ticket == c.position.ticket) {
        p = c.position;
        return true;
      }
    }
    return false;
  }
  bool operator()(const HistoryAdded& c) const {
    s.history.push_back(c.entry);
    return true;
  }
  bool operator()(const MoneyBooked& c) const {
    s.entries.push_back(c.entry);
    return true;
  }
  bool operator()(const AuditAdded& c) const {
    s.audit.push_back(c.entry);
    return true;
  }
  bool operator()(const OrderNumberUsed& c) const {
    std::vector<OrderNumber>& kept = s.order_numbers[c.number.username];
    kept.push_back(c.number);
    if (kept.size() > kOrderNumbersKept) kept.erase(kept.begin());
    return true;
  }
  bool operator()(const OrderPlaced& c) const {
    const Order& o = c.order;
    const bool taken = std::any_of(s.orders.begin(), s.orders.end(), [&](const Order& q) {
      return q.account == o.account && q.id == o.id;
    });
    if (taken) return false;
    s.orders.push_back(o);
    s.sequences.order = std::max(s.sequences.order, o.id);
    return true;
  }
  bool operator()(const OrderChanged& c) const {
    for (Order& o : s.orders) {
      if (o.client == c.order.client && o.account == c.order.account && o.id == c.order.id) {
        o = c.order;
        return true;
      }
    }
    return false;
  }
  bool operator()(const OrderRemoved& c) const {
    return erase(s.orders, [&](const Order& o) {
      return o.client == c.client && o.account == c.account && o.id == c.id;
    });
  }
  bool operator()(const TotalsBooked& c) const {
    for (Account& a : s.accounts) {
      if (a.client == c.client && a.account == c.account) {
        a.totals = c.totals;
        return true;
      }
    }
    return false;
  }
  bool operator()(const AlertRemoved& c) const {
    return erase(s.alerts,
                 [&](const Alert& a) { return a.client == c.client && a.id == c.id; });
  }
  bool operator()(const InterestAdded& c) const {
    for (Position& p : s.positions) {
      if (p.client == c.client && p.account == c.account && p.ticket == c.ticket) {
        p.interest = c.interest;
        return true;
      }
    }
    return false;
  }
  bool operator()(const ClientAdded& c) const {
    const bool taken = std::any_of(s.clients.begin(), s.clients.end(),
                                   [&](const Client& q) { return q.id == c.client.id; });
    if (taken) return false;
    s.clients.push_back(c.client);
    return true;
  }
  bool operator()(const ClientChanged& c) const {
    for (Client& client : s.clients) {
      if (client.id == c.client.id) {
        client = c.client;
        return true;
      }
    }
    return false;
  }
  bool operator()(const AccountAdded& c) const {
    const bool taken = std::any_of(s.accounts.begin(), s.accounts.end(), [&](const Account& a) {
      return a.account == c.account.account;
    });
    if (taken) return false;
    s.accounts.push_back(c.account);
    return true;
  }
  bool operator()(const UserAdded& c) const {
    const bool taken = std::any_of(s.users.begin(), s.users.end(), [&](const User& u) {
      return u.username == c.user.username;
    });
    if (taken) return false;
    s.users.push_back(c.user);
    return true;
  }
  bool operator()(const MarketTimeAdvanced& c) const {
    if (!s.market_time_text.empty() && c.time.Serial() < s.market_time.Serial()) return false;
    s.market_time = c.time;
    s.market_time_text = c.text;
    return true;
  }
};

}  // namespace

bool apply(Snapshot& snapshot, const Change& change) {
  return std::visit(Applier{snapshot}, change);
}

}  // namespace orvane::apps::model
