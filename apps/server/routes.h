#ifndef ORVANE_APPS_SERVER_ROUTES_H_
#define ORVANE_APPS_SERVER_ROUTES_H_

#include <vector>

#include "orvane/protocol/tokens_enum.h"
#include "orvane/session/privs_enum.h"
#include "orvane/util/user_type_enum.h"

namespace orvane::apps {

// What a request needs before its handler runs: the kind of user who may
// send it and the privilege that user must hold (NonePriv: none). The
// gateway refuses every token not listed as an undefined command.
struct Route {
  TokensEnum token;
  UserTypeEnum user_type;
  PrivsEnum privilege;
  const char* action;  // what the request does, for refusals ("read the accounts")
  // An order: its first parameter is the user's order number, and every
  // refusal of it is an order answer under its token, so that the terminal
  // knows which order was refused.
  bool order = false;
};

// Every request a logged-on session may send, besides the protocol's own
// (log-on, lost rows, handshakes, disconnect).
const std::vector<Route>& Routes();
// The route of `token`; none when it is not routed.
const Route* RouteOf(TokensEnum token);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_ROUTES_H_
