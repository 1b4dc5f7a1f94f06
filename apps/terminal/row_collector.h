#ifndef ORVANE_APPS_TERMINAL_ROW_COLLECTOR_H_
#define ORVANE_APPS_TERMINAL_ROW_COLLECTOR_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "orvane/protocol/tokens_enum.h"

namespace orvane {
class CProcess;
class ITimer;
}  // namespace orvane

namespace orvane::apps {

// What one answer may ask of the terminal. A server that goes beyond them
// is in breach: nothing is allocated or looped over for what it announced.
struct RowLimits {
  // Rows an answer may announce.
  size_t max_rows = 1'000'000;
  // Rows one answer may have asked for again (RESULT_LOST). A row numbered
  // so far ahead that the rows missing before it would pass this is a
  // breach too.
  size_t max_lost_rows = 1000;
};

// Counts complaints of one kind and says only the 1st, 2nd, 4th, 8th...
// of them, with how many there were: a flood of bad messages costs a few
// log lines, not one each.
class Complaints {
 public:
  // The line to log for one more complaint `text`, or empty when it is
  // not one to say.
  std::string count(const std::string& text);
  void clear() { m_counts.clear(); }

 private:
  std::vector<std::pair<std::string, size_t>> m_counts;
};

// Collects one multi-row answer at a time (a count, then one message per
// row) and gets back what the way lost: rows come in order, so a row that
// arrives after a gap asks for the rows missing before it (RESULT_LOST);
// when the answer stalls for the patience interval, every missing row is
// asked for again, and a request whose count never came is sent again.
// Rows are stored as they come, so a large count costs nothing until its
// rows arrive; a count beyond the limits, a row beyond the count and more
// lost rows than the limits allow are a breach: the answer is dropped and
// the host told once.
class RowCollector {
 public:
  // Sends a request (token, parameters) on the connection.
  using Send = std::function<void(TokensEnum, const std::vector<std::string>&)>;
  // The whole answer to `request`, rows in order.
  using Done = std::function<void(TokensEnum request, std::vector<std::string> rows)>;
  // Says what went wrong with a message (an unexpected count or row).
  using Complain = std::function<void(const std::string&)>;
  // Says how the server broke the limits; the answer is already dropped.
  using Breach = std::function<void(const std::string&)>;

  // `patience` ticks while an answer is outstanding; its interval is the
  // patience.
  RowCollector(std::shared_ptr<ITimer> patience, Send send, Done done, Complain complain,
               Breach breach, RowLimits limits = {});
  ~RowCollector();
  RowCollector(const RowCollector&) = delete;
  RowCollector& operator=(const RowCollector&) = delete;

  // Sends `request` with its parameters and collects its answer; one asked
  // before is dropped.
  void ask(TokensEnum request, std::vector<std::string> parameters = {});
  // Drops the answer being collected (the connection went).
  void cancel();
  // A RESULT_COUNT or RESULT message; anything else is not taken.
  void take(const CProcess& process);

  bool busy() const { return m_request != UNDEFINED; }
  // The request whose answer is being collected; UNDEFINED for none.
  TokensEnum asked() const { return m_request; }
  size_t lost_rows_asked() const { return m_lost_rows_asked; }

 private:
  void on_count(const CProcess& process);
  void on_row(const CProcess& process);
  // Asks for the rows missing before `up_to`; false (and a breach) when
  // that would pass the answer's lost-row limit.
  bool ask_lost(size_t up_to);
  void stalled();
  void finish();
  void note(const std::string& text);
  void broken(const std::string& text);

  std::shared_ptr<ITimer> m_patience;
  Send m_send;
  Done m_done;
  Complain m_complain;
  Breach m_breach;
  RowLimits m_limits;
  Complaints m_complaints;
  std::vector<std::string> m_parameters;
  TokensEnum m_request = UNDEFINED;
  bool m_counted = false;
  size_t m_count = 0;
  // The rows up to the furthest one received; the rest are still to come.
  std::vector<std::optional<std::string>> m_rows;
  size_t m_received = 0;
  size_t m_asked_up_to = 0;  // rows before this index were checked for gaps
  size_t m_lost_this_answer = 0;
  size_t m_lost_rows_asked = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_TERMINAL_ROW_COLLECTOR_H_
