#ifndef ORVANE_PROTOCOL_RESPONSE_H_
#define ORVANE_PROTOCOL_RESPONSE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/util/string_values.h"

namespace orvane {

class CEventManager;
class ISocket;

// The server-side sender of a multi-row result: collects the rows of one
// answer, sends them to the asking connection as a count message followed by
// one message per row, logs each row through the event manager before it is
// sent, and sends again the rows that the peer reports as lost.
//
// Count message: RESULT_COUNT_TOKEN with the number of rows. Row message:
// RESULT_TOKEN with the row number (from 1) and the row string, whose cells
// are joined by "R,@". Failures are reported by result only.
class CResponse : public Object, private NonCopyable {
 public:
  CResponse();
  ~CResponse() override;

  // Sends every row whose number was recorded as lost, in recording order,
  // taking each number off the list before sending it. True once the list
  // is empty; false at the first failure (a number that is no row, a send
  // or log failure), leaving the numbers not yet taken in the list.
  bool SendNotRecievedResults();
  // Sends the count message and then every row. True when all went out
  // (Handled becomes true); false at the first failure (no Child, no event
  // manager while there are rows, a socket or log failure), with the rows
  // after it unsent and Handled unchanged.
  bool Handle();
  // Appends the value, as text, as the next cell of the current row.
  void AddCell(const Variant& CellVal);
  // Finishes the current row as row number Results() + 1 and starts a new
  // one. Throws Error(InvalidArgument), changing nothing, when no cell was
  // added since the last row.
  void AddRow();
  // Records row ResultID as lost: appended, as number text, to the lost
  // list, separated by ",".
  void ResultNotRecieved(double ResultID);

  std::shared_ptr<ISocket> Child() const { return m_child; }
  void Child(std::shared_ptr<ISocket> value) { m_child = std::move(value); }
  int32_t Results() const { return static_cast<int32_t>(m_rows.size()); }
  bool HasNotRecievedResults() const { return !m_lost.empty(); }
  bool Handled() const { return m_handled; }
  void EventManager(std::shared_ptr<CEventManager> value) { m_event_manager = std::move(value); }

 private:
  void SendRow(int32_t row);

  std::shared_ptr<ISocket> m_child;
  std::vector<std::string> m_rows;  // row i is m_rows[i - 1]
  std::string m_lost;
  bool m_handled = false;
  std::shared_ptr<CEventManager> m_event_manager;
  CDataProtocol m_protocol;
  CStringValues m_values;
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_RESPONSE_H_
