#include "row_collector.h"

#include <algorithm>
#include <utility>

#include "orvane/io/timer.h"
#include "orvane/protocol/process.h"
#include "rows.h"

namespace orvane::apps {

std::string Complaints::count(const std::string& text) {
  auto it = std::find_if(m_counts.begin(), m_counts.end(),
                         [&](const auto& entry) { return entry.first == text; });
  if (it == m_counts.end()) it = m_counts.insert(m_counts.end(), {text, 0});
  const size_t n = ++it->second;
  if ((n & (n - 1)) != 0) return {};
  return n == 1 ? text : text + " (" + std::to_string(n) + " times)";
}

RowCollector::RowCollector(std::shared_ptr<ITimer> patience, Send send, Done done,
                           Complain complain, Breach breach, RowLimits limits)
    : m_patience(std::move(patience)),
      m_send(std::move(send)),
      m_done(std::move(done)),
      m_complain(std::move(complain)),
      m_breach(std::move(breach)),
      m_limits(limits) {
  m_patience->OnTick([this] { stalled(); });
}

RowCollector::~RowCollector() { m_patience->OnTick(nullptr); }

void RowCollector::ask(TokensEnum request, std::vector<std::string> parameters) {
  cancel();
  m_request = request;
  m_parameters = std::move(parameters);
  m_send(request, m_parameters);
  m_patience->Restart();
}

void RowCollector::cancel() {
  m_patience->Enabled(false);
  m_request = UNDEFINED;
  m_counted = false;
  m_count = 0;
  m_rows.clear();
  m_rows.shrink_to_fit();
  m_received = 0;
  m_asked_up_to = 0;
  m_lost_this_answer = 0;
}

void RowCollector::take(const CProcess& process) {
  if (process.TokenID() == RESULT_COUNT_TOKEN) return on_count(process);
  if (process.TokenID() == RESULT_TOKEN) return on_row(process);
}

void RowCollector::on_count(const CProcess& process) {
  if (!busy() || m_counted) return note("a row count no request waits for");
  int32_t count = 0;
  if (!wire::read_integer(process.ParameterValue(1), count) || count < 0) {
    return broken("an unreadable row count");
  }
  if (static_cast<size_t>(count) > m_limits.max_rows) {
    return broken("a row count of " + std::to_string(count) + ", more than the " +
                  std::to_string(m_limits.max_rows) + " an answer may have");
  }
  m_counted = true;
  m_count = static_cast<size_t>(count);
  if (m_count == 0) return finish();
  m_patience->Restart();
}

void RowCollector::on_row(const CProcess& process) {
  if (!m_counted) return note("a result row no count announced");
  int32_t number = 0;
  if (!wire::read_integer(process.ParameterValue(1), number)) {
    return broken("an unreadable row number");
  }
  if (number < 1 || static_cast<size_t>(number) > m_count) {
    return broken("row " + std::to_string(number) + " of an answer of " +
                  std::to_string(m_count) + " rows");
  }
  const size_t index = static_cast<size_t>(number) - 1;
  if (!ask_lost(index)) return;
  if (index >= m_rows.size()) m_rows.resize(index + 1);
  auto& slot = m_rows[index];
  if (!slot) ++m_received;
  slot = process.ParameterValue(2);
  if (m_received == m_count) return finish();
  m_patience->Restart();
}

bool RowCollector::ask_lost(size_t up_to) {
  if (up_to <= m_asked_up_to) return true;
  // The rows not yet stored are all missing; those stored are counted.
  const size_t stored_end = std::min(up_to, m_rows.size());
  size_t missing = up_to > m_rows.size() ? up_to - std::max(m_rows.size(), m_asked_up_to) : 0;
  for (size_t i = m_asked_up_to; i < stored_end; ++i) missing += !m_rows[i];
  if (missing == 0) {
    m_asked_up_to = up_to;
    return true;
  }
  if (missing > m_limits.max_lost_rows - m_lost_this_answer) {
    broken(std::to_string(missing) + " rows missing before row " + std::to_string(up_to + 1) +
           " of " + std::to_string(m_count) + ", more than the " +
           std::to_string(m_limits.max_lost_rows) + " lost rows an answer may ask for again");
    return false;
  }
  for (size_t i = m_asked_up_to; i < up_to; ++i) {
    if (i < m_rows.size() && m_rows[i]) continue;
    ++m_lost_rows_asked;
    ++m_lost_this_answer;
    m_send(RESULT_LOST_TOKEN, {std::to_string(i + 1)});
  }
  m_asked_up_to = up_to;
  note("rows of an answer were lost; asking again");
  return true;
}

void RowCollector::stalled() {
  if (!busy()) return m_patience->Enabled(false);
  if (!m_counted) return ask(m_request, m_parameters);  // the count itself went missing
  m_asked_up_to = 0;
  ask_lost(m_count);
}

void RowCollector::finish() {
  const TokensEnum request = m_request;
  std::vector<std::string> rows;
  rows.reserve(m_rows.size());
  for (auto& row : m_rows) rows.push_back(std::move(*row));
  cancel();
  m_done(request, std::move(rows));
}

void RowCollector::note(const std::string& text) {
  const std::string line = m_complaints.count(text);
  if (!line.empty()) m_complain(line);
}

void RowCollector::broken(const std::string& text) {
  cancel();
  m_breach(text);
}

}  // namespace orvane::apps
