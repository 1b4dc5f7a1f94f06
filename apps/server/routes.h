#ifndef ORVANE_APPS_SERVER_ROUTES_H_
#define ORVANE_APPS_SERVER_ROUTES_H_

#include <cstdint>
#include <vector>

#include "orvane/protocol/tokens_enum.h"
#include "orvane/session/privs_enum.h"
#include "orvane/vocabulary/user_type_enum.h"

namespace orvane::apps {

// The kinds of user a route serves, as a set of UserTypeEnum bits.
enum RouteUsers : uint32_t {
  kClients = 1u << CLIENT_USER_TYPE,
  kDealers = 1u << DEALER_USER_TYPE,
  kClientsAndDealers = kClients | kDealers,
};

// What a request needs before its handler runs: the kinds of user who may
// send it and the privilege that user must hold (NonePriv: none). The
// gateway refuses every token not listed as an undefined command.
struct Route {
  TokensEnum token;
  uint32_t users;  // RouteUsers
  PrivsEnum privilege;
  const char* action;  // what the request does, for refusals ("read the accounts")
  // An order (or a dealer's command): its first parameter is the user's
  // order number, and every refusal of it is an order answer under its
  // token, so that the terminal knows which order was refused.
  bool order = false;
};

// Every request a logged-on session may send, besides the protocol's own
// (log-on, lost rows, handshakes, disconnect).
const std::vector<Route>& routes();
// The route of `token`; none when it is not routed.
const Route* route_of(TokensEnum token);
// Whether a user of `type` may send the route's token.
inline bool serves(const Route& route, int32_t type) {
  return type >= 0 && type < 32 && (route.users & (1u << type)) != 0;
}

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_ROUTES_H_
