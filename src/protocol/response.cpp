#include "orvane/protocol/response.h"

#include <exception>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/io/socket.h"
#include "orvane/protocol/event_manager.h"
#include "orvane/util/row.h"

namespace orvane {

CResponse::CResponse() { m_protocol.Row()->NewRow(); }
CResponse::~CResponse() = default;

void CResponse::AddCell(const Variant& CellVal) {
  m_protocol.Row()->AddCell(Variant(m_protocol.ParamValue(CellVal.TextValue())));
}

void CResponse::AddRow() {
  CRow& row = *m_protocol.Row();
  if (row.RowVal().IsNull()) {
    throw Error(ErrorCode::InvalidArgument, "a row needs at least one cell");
  }
  m_rows.push_back(row.RowVal().TextValue());
  row.NewRow();
}

void CResponse::ResultNotRecieved(double ResultID) {
  const std::string number = m_values.NumberToString(ResultID);
  if (!m_lost.empty()) m_lost += ",";
  m_lost += number;
}

void CResponse::SendRow(int32_t row) {
  if (row < 1 || row > Results()) {
    throw Error(ErrorCode::SubscriptOutOfRange,
                "row " + std::to_string(row) + " is not among the " +
                    std::to_string(Results()) + " rows of this result");
  }
  if (!m_child) throw Error(ErrorCode::ObjectRequired, "no socket is bound");
  if (!m_event_manager) throw Error(ErrorCode::ObjectRequired, "no event manager is bound");
  const std::string number = std::to_string(row);
  const std::string& text = m_rows[static_cast<size_t>(row - 1)];
  const std::string line = "Dispatcher sent row " + number + " <<" + text + ">>" + " to " +
                           m_protocol.SessionDescription(m_child);
  m_event_manager->TriggerEvent(AddLogEntryEvent, line, "2");
  m_child->Send(m_protocol.Response(RESULT_TOKEN, {number, text}));
}

bool CResponse::Handle() {
  try {
    if (!m_child) throw Error(ErrorCode::ObjectRequired, "no socket is bound");
    m_child->Send(
        m_protocol.Response(RESULT_COUNT_TOKEN, {m_values.NumberToString(Results())}));
    for (int32_t row = 1; row <= Results(); ++row) SendRow(row);
  } catch (const std::exception&) {
    return false;
  }
  m_handled = true;
  return true;
}

bool CResponse::SendNotRecievedResults() {
  try {
    while (!m_lost.empty()) {
      std::string rest;
      const std::string first = m_values.get_first_val(m_lost, rest);
      m_lost = std::move(rest);
      SendRow(TextToInt32(first));
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace orvane
