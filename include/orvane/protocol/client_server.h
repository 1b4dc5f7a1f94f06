#ifndef ORVANE_PROTOCOL_CLIENT_SERVER_H_
#define ORVANE_PROTOCOL_CLIENT_SERVER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "orvane/core/event_source.h"
#include "orvane/core/object.h"

namespace orvane {

// The event of IClientServer: a request that the server sent to the host.
class IClientServerEvents {
 public:
  virtual ~IClientServerEvents() = default;
  virtual void RequestFromServer(int16_t Tkn, int16_t Parameters,
                                 std::vector<std::string>& ParamVals) {
    (void)Tkn;
    (void)Parameters;
    (void)ParamVals;
  }
};

// What a host implements to take delivered results. The library declares it
// and never calls it; both operations do nothing here.
class IClientServer : public Object {
 public:
  virtual void OneRowResultreceived(int16_t CallerToken, int16_t Parameters,
                                    std::vector<std::string>& ParamVals) {
    (void)CallerToken;
    (void)Parameters;
    (void)ParamVals;
  }
  virtual void MultiRowsResultsreceived(int16_t CallerToken, bool NoRows,
                                        std::vector<std::string>& DataArray,
                                        int32_t Results = 0, int16_t Parameters = 0) {
    (void)CallerToken;
    (void)NoRows;
    (void)DataArray;
    (void)Results;
    (void)Parameters;
  }

  void Advise(IClientServerEvents* listener) { m_events.Advise(listener); }
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
