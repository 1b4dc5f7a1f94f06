#include "orvane/clients/global_var.h"

#include <cmath>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

std::vector<std::string> split_at_commas(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      return parts;
    }
    parts.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

}  // namespace

void CGlobalVar::SetValues(std::string_view StrVals) {
  if (StrVals.empty()) return;
  m_values = split_at_commas(StrVals);
  const size_t count = m_values.size();
  auto number = [this](size_t position) { return Val(m_values[position]); };
  try {
    if (count > 0) m_multi_sessions_allowed = number(0) == 1.0;
    if (count > 2) m_price_changed_timer = ToInt16(number(2));
    if (count > 3) m_valid_lots_location = ToInt16(number(3));
    if (count > 4) m_custumize_trade_msg = number(4) == 1.0;
    if (count > 5) m_client_connect_timer = ToInt32(number(5));
    if (count > 6) m_client_timeout_timer = ToInt32(number(6));
    if (count > 7) m_web_security_id = m_values[7];
    if (count > 8) m_server_gmt = number(8);
  } catch (const Error&) {
    // A number too large for its property ends the assignment here.
  }
}

double CGlobalVar::DefaultLots() const {
  return 1.0 / std::pow(10.0, m_valid_lots_location);
}

}  // namespace orvane
