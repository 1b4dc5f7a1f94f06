#ifndef ORVANE_CLIENTS_CLIENT_PARAM_SVR_H_
#define ORVANE_CLIENTS_CLIENT_PARAM_SVR_H_

#include "orvane/clients/client_param_entry.h"

namespace orvane {

// The lean parameter entry of a client for a symbol: only the spread, source
// plus, commission and price offset. MaxLots, MinLots, LimitOffset and
// StopOffset always read 0 and writes to them are ignored.
class CClientParamSvr final : public ClientParamEntry {
 public:
  CClientParamSvr() = default;
};

}  // namespace orvane

#endif  // ORVANE_CLIENTS_CLIENT_PARAM_SVR_H_
