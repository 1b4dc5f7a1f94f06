// The desk's daily interest: the rollovers that market time passes, what
// the engine books at each, and the changes that record it.

#include "desk.h"

#include "desk_detail.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "orvane/accounts/account.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/clients/client.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"

namespace orvane::apps {

using desk_detail::totals_of;

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Whole seconds since the serial epoch (parts of a date-time are read to the
// nearest second, so these are too).
int64_t seconds_of(DateTime t) {
  return static_cast<int64_t>(std::llround(t.Serial() * static_cast<double>(kSecondsPerDay)));
}

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::string moment_text(int64_t day, int64_t seconds) {
  const DateTime date(static_cast<double>(day));
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", date.Day(), date.Month(),
                date.Year(), static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return text;
}

}  // namespace

int16_t rollover_day_factor(int weekday) {
  switch (weekday) {
    case 1:  // Sunday
    case 7:  // Saturday
      return 0;
    case 4:  // Wednesday
      return 3;
    default:
      return 1;
  }
}

void Desk::load_interest_rates(const std::vector<model::InterestRate>& rates) {
  std::set<int32_t> seen;
  for (const model::InterestRate& r : rates) {
    const std::string which = "interest rates of symbol " + KeyOf(r.symbol);
    if (!symbol(r.symbol)) throw DeskError(which + ": no such symbol");
    if (!seen.insert(r.symbol).second) throw DeskError(which + ": given twice");
    if (r.year_days < 1 || r.year_days > 366) {
      throw DeskError(which + ": a year of " + KeyOf(r.year_days) + " days");
    }
  }
  m_interest_rates = rates;
}

void Desk::book_rollovers(DateTime before) {
  if (!m_rules.rollover_seconds || m_engine->ExecutionSide() != SERVER_SIDE_EXECUTION) return;
  const int64_t at = *m_rules.rollover_seconds;
  if (at < 0 || at >= kSecondsPerDay) return;
  const int64_t from = seconds_of(before);
  const int64_t to = seconds_of(m_clock->Now());
  // Day d's rollover is the moment d * 86400 + at; the first one after `from`.
  for (int64_t day = floor_div(from - at, kSecondsPerDay) + 1; day * kSecondsPerDay + at <= to;
       ++day) {
    m_keep_time = true;
    const int16_t factor = rollover_day_factor(DateTime(static_cast<double>(day)).Weekday());
    if (factor == 0 || m_interest_rates.empty()) continue;
    m_interest_accounts.clear();
    for (const model::InterestRate& r : m_interest_rates) {
      m_engine->CalculateInterest(r.symbol, factor, r.buy_rate, r.sell_rate,
                                  static_cast<int16_t>(r.year_days));
    }
    // The engine refreshes the figures of accounts booked on open; for those
    // booked on close the interest counts in the positions' floating result,
    // which is refreshed here.
    for (const auto& [client_id, account_id] : m_interest_accounts) {
      auto account = m_engine->Account(client_id, account_id);
      auto client = account ? account->Client() : nullptr;
      if (client && client->CommCalcType() != ON_OPEN_TYPE) m_engine->SummariesChanged(account);
    }
    tell(Logged{"rollover " + moment_text(day, at) + ": " + KeyOf(factor) + " day" +
                (factor == 1 ? "" : "s") + " of interest booked to " +
                KeyOf(static_cast<int32_t>(m_interest_accounts.size())) + " accounts"});
    m_interest_accounts.clear();
  }
}

void Desk::ChangePosInterest(int32_t& vClient, int32_t& vAccount, int32_t& vTicket,
                             double& vInt) {
  record(model::InterestAdded{vClient, vAccount, vTicket, vInt});
  const std::pair<int32_t, int32_t> key{vClient, vAccount};
  if (std::find(m_interest_accounts.begin(), m_interest_accounts.end(), key) ==
      m_interest_accounts.end()) {
    m_interest_accounts.push_back(key);
  }
  auto account = m_engine->Account(vClient, vAccount);
  auto position = account ? account->OpenPositions()->Item(KeyOf(vTicket)) : nullptr;
  if (position) tell(Accrued{position_record(vClient, vAccount, *position)});
}

void Desk::ChangeTotInterest(int32_t& vClient, int32_t& vAccount, double& /*vTorInt*/) {
  auto account = m_engine->Account(vClient, vAccount);
  if (!account) return;
  const model::TotalsBooked booked{vClient, vAccount, totals_of(*account)};
  record(booked);
  book_entries(booked, 0, "interest");
  tell(booked);
}

bool Desk::apply_interest(const model::InterestAdded& added) {
  auto account = m_engine->Account(added.client, added.account);
  auto position = account ? account->OpenPositions()->Item(KeyOf(added.ticket)) : nullptr;
  if (position) {
    position->Interest(added.interest);
    m_engine->SummariesChanged(account);
    record(added);
    tell(Accrued{position_record(added.client, added.account, *position)});
  }
  return finish() && position != nullptr;
}

}  // namespace orvane::apps
