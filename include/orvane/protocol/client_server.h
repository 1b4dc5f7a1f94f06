#ifndef ORVANE_PROTOCOL_CLIENT_SERVER_H_
#define ORVANE_PROTOCOL_CLIENT_SERVER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "orvane/core/event_source.h"
#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"

namespace orvane {

// The event of IClientServer: a request that the server sent to the host.
class IClientServerEvents {
 public:
  virtual ~IClientServerEvents() = default;
  // A request of token Tkn with its parameter values.
  virtual void RequestFromServer(int16_t Tkn, int16_t Parameters,
                                 std::vector<std::string>& ParamVals) {
    (void)Tkn;
    (void)Parameters;
    (void)ParamVals;
  }

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(IClientServerEvents, Handler, RequestFromServer);
  }
};

// What a host implements to take delivered results. The library declares it
// and never calls it; both operations do nothing here.
class IClientServer : public Object {
 public:
  // A one-row result for the request of CallerToken, with its values.
  virtual void OneRowResultreceived(int16_t CallerToken, int16_t Parameters,
                                    std::vector<std::string>& ParamVals) {
    (void)CallerToken;
    (void)Parameters;
    (void)ParamVals;
  }
  // A multi-row result for the request of CallerToken: its rows in
  // DataArray, or NoRows when it has none.
  virtual void MultiRowsResultsreceived(int16_t CallerToken, bool NoRows,
                                        std::vector<std::string>& DataArray,
                                        int32_t Results = 0, int16_t Parameters = 0) {
    (void)CallerToken;
    (void)NoRows;
    (void)DataArray;
    (void)Results;
    (void)Parameters;
  }

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<IClientServerEvents> Handler>
  void Advise(Handler* listener) {
    IClientServerEvents::CheckHandler<Handler>();
    Advise(static_cast<IClientServerEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(IClientServerEvents* listener) { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(IClientServerEvents* listener) { m_events.Unadvise(listener); }

 protected:
  // For implementations: raises RequestFromServer to every subscriber.
  void RaiseRequestFromServer(int16_t Tkn, int16_t Parameters,
                              std::vector<std::string>& ParamVals) {
    m_events.Raise([&](IClientServerEvents& listener) {
      listener.RequestFromServer(Tkn, Parameters, ParamVals);
    });
  }

 private:
  EventSource<IClientServerEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_CLIENT_SERVER_H_
