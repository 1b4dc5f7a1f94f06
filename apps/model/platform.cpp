#include "platform.h"

#include <charconv>
#include <algorithm>

#include "orvane/clients/global_var.h"

namespace orvane::apps::model {

namespace {

std::string shortest(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// The second position, which CGlobalVar carries without reading it.
int32_t second_position(std::string_view text, int32_t otherwise) {
  const size_t first = text.find(',');
  if (first == std::string_view::npos) return otherwise;
  const std::string_view rest = text.substr(first + 1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (error != std::errc()) return end == rest.data() ? 0 : otherwise;
  return value;
}

}  // namespace

std::string platform_text(const Platform& p) {
  return std::string(p.multi_sessions_allowed ? "1" : "0") + "," +
         std::to_string(p.dealer_timer) + "," + std::to_string(p.price_changed_timer) + "," +
         std::to_string(p.valid_lots_location) + ",0," + std::to_string(p.client_connect_timer) +
         "," + std::to_string(p.client_timeout_timer) + ",," + shortest(p.server_gmt);
}

Platform platform_from_text(std::string_view text) {
  Platform p;
  CGlobalVar values;
  values.MultiSessionsAllowed(p.multi_sessions_allowed);
  values.PriceChangedTimer(static_cast<int16_t>(p.price_changed_timer));
  values.ValidLotsLocation(static_cast<int16_t>(p.valid_lots_location));
  values.ClientConnectTimer(p.client_connect_timer);
  values.ClientTimeoutTimer(p.client_timeout_timer);
  values.SetValues(text);
  p.multi_sessions_allowed = values.MultiSessionsAllowed();
  p.dealer_timer = second_position(text, p.dealer_timer);
  p.price_changed_timer = values.PriceChangedTimer();
  p.valid_lots_location = values.ValidLotsLocation();
  p.client_connect_timer = values.ClientConnectTimer();
  p.client_timeout_timer = values.ClientTimeoutTimer();
  // ServerGMT has no setter: a text that does not reach it leaves 0.
  if (std::count(text.begin(), text.end(), ',') >= 8) p.server_gmt = values.ServerGMT();
  return p;
}

}  // namespace orvane::apps::model
