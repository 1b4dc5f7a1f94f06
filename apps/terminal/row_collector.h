#ifndef ORVANE_APPS_TERMINAL_ROW_COLLECTOR_H_
#define ORVANE_APPS_TERMINAL_ROW_COLLECTOR_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvane/protocol/tokens_enum.h"

namespace orvane {
class CProcess;
class ITimer;
}  // namespace orvane

namespace orvane::apps {

// Collects one multi-row answer at a time (a count, then one message per
// row) and gets back what the way lost: rows come in order, so a row that
// arrives after a gap asks for the rows missing before it (RESULT_LOST);
// when the answer stalls for the patience interval, every missing row is
// asked for again, and a request whose count never came is sent again.
class RowCollector {
 public:
  // Sends a request (token, parameters) on the connection.
  using Send = std::function<void(TokensEnum, const std::vector<std::string>&)>;
  // The whole answer to `request`, rows in order.
  using Done = std::function<void(TokensEnum request, std::vector<std::string> rows)>;
  // Says what went wrong with a message (an unexpected count or row).
  using Complain = std::function<void(const std::string&)>;

  // `patience` ticks while an answer is outstanding; its interval is the
  // patience.
  RowCollector(std::shared_ptr<ITimer> patience, Send send, Done done, Complain complain);
  ~RowCollector();
  RowCollector(const RowCollector&) = delete;
  RowCollector& operator=(const RowCollector&) = delete;

  // Sends `request` with its parameters and collects its answer; one asked
  // before is dropped.
  void Ask(TokensEnum request, std::vector<std::string> parameters = {});
  // Drops the answer being collected (the connection went).
  void Cancel();
  // A RESULT_COUNT or RESULT message; anything else is not taken.
  void Take(const CProcess& process);

  bool Busy() const { return m_request != UNDEFINED; }
  size_t LostRowsAsked() const { return m_lost_rows_asked; }

 private:
  void OnCount(const CProcess& process);
  void OnRow(const CProcess& process);
  void AskLost(size_t up_to);
  void Stalled();
  void Finish();

  std::shared_ptr<ITimer> m_patience;
  Send m_send;
  Done m_done;
  Complain m_complain;
  std::vector<std::string> m_parameters;
  TokensEnum m_request = UNDEFINED;
  bool m_counted = false;
  std::vector<std::optional<std::string>> m_rows;
  size_t m_received = 0;
  size_t m_asked_up_to = 0;  // rows before this index were checked for gaps
  size_t m_lost_rows_asked = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_TERMINAL_ROW_COLLECTOR_H_
