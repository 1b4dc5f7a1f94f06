#include "row_collector.h"

#include <algorithm>
#include <utility>

#include "orvane/connection/timer.h"
#include "orvane/protocol/process.h"
#include "rows.h"

namespace orvane::apps {

namespace {

// Rows an answer may announce; a larger count is refused before anything
// is allocated for it.
constexpr int32_t kMaxRows = 1'000'000;

}  // namespace

RowCollector::RowCollector(std::shared_ptr<ITimer> patience, Send send, Done done,
                           Complain complain)
    : m_patience(std::move(patience)),
      m_send(std::move(send)),
      m_done(std::move(done)),
      m_complain(std::move(complain)) {
  m_patience->OnTick([this] { Stalled(); });
}

RowCollector::~RowCollector() { m_patience->OnTick(nullptr); }

void RowCollector::Ask(TokensEnum request, std::vector<std::string> parameters) {
  Cancel();
  m_request = request;
  m_parameters = std::move(parameters);
  m_send(request, m_parameters);
  m_patience->Restart();
}

void RowCollector::Cancel() {
  m_patience->Enabled(false);
  m_request = UNDEFINED;
  m_counted = false;
  m_rows.clear();
  m_received = 0;
  m_asked_up_to = 0;
}

void RowCollector::Take(const CProcess& process) {
  if (process.TokenID() == RESULT_COUNT_TOKEN) return OnCount(process);
  if (process.TokenID() == RESULT_TOKEN) return OnRow(process);
}

void RowCollector::OnCount(const CProcess& process) {
  int32_t count = 0;
  if (!Busy() || m_counted || !wire::ReadInteger(process.ParameterValue(1), count) ||
      count < 0 || count > kMaxRows) {
    return m_complain("an unexpected row count");
  }
  m_counted = true;
  m_rows.assign(static_cast<size_t>(count), std::nullopt);
  if (count == 0) Finish();
}

void RowCollector::OnRow(const CProcess& process) {
  int32_t number = 0;
  if (!m_counted || !wire::ReadInteger(process.ParameterValue(1), number) || number < 1 ||
      static_cast<size_t>(number) > m_rows.size()) {
    return m_complain("an unexpected result row");
  }
  auto& slot = m_rows[static_cast<size_t>(number) - 1];
  if (!slot) ++m_received;
  slot = process.ParameterValue(2);
  if (m_received == m_rows.size()) return Finish();
  AskLost(static_cast<size_t>(number) - 1);
  m_patience->Restart();
}

void RowCollector::AskLost(size_t up_to) {
  for (size_t i = m_asked_up_to; i < up_to; ++i) {
    if (!m_rows[i]) {
      ++m_lost_rows_asked;
      m_complain("row " + std::to_string(i + 1) + " was lost; asking again");
      m_send(RESULT_LOST_TOKEN, {std::to_string(i + 1)});
    }
  }
  m_asked_up_to = std::max(m_asked_up_to, up_to);
}

void RowCollector::Stalled() {
  if (!Busy()) return m_patience->Enabled(false);
  if (!m_counted) return Ask(m_request, m_parameters);  // the count itself went missing
  m_asked_up_to = 0;
  AskLost(m_rows.size());
}

void RowCollector::Finish() {
  const TokensEnum request = m_request;
  std::vector<std::string> rows;
  rows.reserve(m_rows.size());
  for (auto& row : m_rows) rows.push_back(std::move(*row));
  Cancel();
  m_done(request, std::move(rows));
}

}  // namespace orvane::apps
