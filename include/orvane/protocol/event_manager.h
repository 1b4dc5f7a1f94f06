#ifndef ORVANE_PROTOCOL_EVENT_MANAGER_H_
#define ORVANE_PROTOCOL_EVENT_MANAGER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvane/core/event_source.h"
#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"
#include "orvane/vocabulary/comm_calc_type_enum.h"

namespace orvane {

// Which event TriggerEvent raises.
enum EventsEnum : int32_t {
  AddLogEntryEvent = 1,
  ProcessHandledEvent = 2,
  AccountAddedEvent = 3,
  ShowErrorEvent = 4,
  TickOrdersStatusEvent = 6,
  HistoryClientStatusEvent = 7,
  SummariesReflectEvent = 8,
  NewOpenPositionReflectEvent = 9,
  DeleteOpenPositionReflectEvent = 10,
  ClosePositionReflectEvent = 11,
  UpdateOpenPositionReflectEvent = 12,
  DeleteClosePosReflectEvent = 13,
  ChangeConfigReflectEvent = 14,
  ReflectClientChangeParametersEvent = 15,
  ReflectClientGeneralParamEvent = 16,
  DeleteClientReflectEvent = 17,
  DeleteAccountReflectEvent = 18,
  StopServerEvent = 19,
  AttackProcessEvent = 20,
  DeleteDealerReflectEvent = 21,
};

// The events the relay raises to the host, each from TriggerEvent with the
// EventsEnum value named below. Row strings carry the position
// row format; Params of ReflectClientChangeParametersE the client parameter
// format. Money figures are in the account's currency.
class CEventManagerEvents {
 public:
  virtual ~CEventManagerEvents() = default;
  // AddLogEntryEvent: a log line (p1) at a level (p2).
  virtual void AddLogEntry(const std::string& msg, int16_t LogLevel) {
    (void)msg;
    (void)LogLevel;
  }
  // ProcessHandledEvent: a message was handled (ThreadID as given).
  virtual void ProcessHandled(int16_t ThreadID) { (void)ThreadID; }
  // ShowErrorEvent: an error to show, with its title.
  virtual void ShowError(const std::string& vTitle, const std::string& msg) {
    (void)vTitle;
    (void)msg;
  }
  // StopServerEvent: the host is asked to stop its server.
  virtual void StopServer() {}
  // TickOrdersStatusEvent: the orders connection came up or went down.
  virtual void TickOrdersStatus(bool vConnected) { (void)vConnected; }
  // HistoryClientStatusEvent: the history connection came up or went down.
  virtual void HistoryClientStatusEvent(bool vConnected) { (void)vConnected; }
  // SummariesReflectEvent: an account's stored money figures.
  virtual void SummariesReflectE(int32_t vClient, int32_t vAccount,
                                 double TotComm, double MarginReq,
                                 double NetProfit, double TotDep, double TotCr,
                                 double PrvMargin, double TotInt) {
    (void)vClient, (void)vAccount, (void)TotComm, (void)MarginReq;
    (void)NetProfit, (void)TotDep, (void)TotCr, (void)PrvMargin, (void)TotInt;
  }
  // NewOpenPositionReflectEvent: a position opened in the account.
  virtual void NewOpenPositionReflectE(int32_t vClient, int32_t vAccount,
                                       const std::string& RowString) {
    (void)vClient, (void)vAccount, (void)RowString;
  }
  // DeleteOpenPositionReflectEvent: an open position was deleted.
  virtual void DeleteOpenPositionReflectE(int32_t vClient, int32_t vAccount,
                                          int32_t vTicket) {
    (void)vClient, (void)vAccount, (void)vTicket;
  }
  // ClosePositionReflectEvent: an open position was closed.
  virtual void ClosePositionReflectE(int32_t vClient, int32_t vAccount,
                                     int32_t vOpenTicket,
                                     const std::string& OpenPosRow) {
    (void)vClient, (void)vAccount, (void)vOpenTicket, (void)OpenPosRow;
  }
  // UpdateOpenPositionReflectEvent: an open position changed.
  virtual void UpdateOpenPositionReflectE(int32_t vClient, int32_t vAccount,
                                          int32_t vTicket,
                                          const std::string& NewPosRow) {
    (void)vClient, (void)vAccount, (void)vTicket, (void)NewPosRow;
  }
  // DeleteClosePosReflectEvent: a closed position was deleted.
  virtual void DeleteClosePosReflectE(int32_t vClient, int32_t vAccount,
                                      int32_t OpenTicket,
                                      const std::string& OpenRowString) {
    (void)vClient, (void)vAccount, (void)OpenTicket, (void)OpenRowString;
  }
  // ChangeConfigReflectEvent: the server's trading configuration changed.
  virtual void ChangeConfigReflectE(CommCalcTypeEnum CommType, int16_t MReqType,
                                    int16_t AutoBroker, int16_t AutoLimitOrders,
                                    int16_t AutoSTOrders, int16_t AutoLiq) {
    (void)CommType, (void)MReqType, (void)AutoBroker, (void)AutoLimitOrders;
    (void)AutoSTOrders, (void)AutoLiq;
  }
  // ReflectClientChangeParametersEvent: a client's parameters changed.
  virtual void ReflectClientChangeParametersE(int32_t vClient,
                                              const std::string& Params) {
    (void)vClient, (void)Params;
  }
  // ReflectClientGeneralParamEvent: one general parameter of a client changed.
  virtual void ReflectClientGeneralParamE(int32_t vClient, int16_t ParamType,
                                          const std::string& ParamVal) {
    (void)vClient, (void)ParamType, (void)ParamVal;
  }
  // DeleteClientReflectEvent: a client was deleted.
  virtual void DeleteClientReflectE(int32_t vClient) { (void)vClient; }
  // DeleteAccountReflectEvent: an account was deleted.
  virtual void DeleteAccountReflectE(int32_t vClient, int32_t vAccount) {
    (void)vClient, (void)vAccount;
  }
  // AttackProcessEvent: a suspicious message and the address it came from.
  virtual void AttackProcessE(const std::string& msg,
                              const std::string& IPAddress, int16_t Port) {
    (void)msg, (void)IPAddress, (void)Port;
  }
  // DeleteDealerReflectEvent: a dealer was deleted.
  virtual void DeleteDealerReflectE(int32_t vDlr) { (void)vDlr; }

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, AddLogEntry);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, ProcessHandled);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, ShowError);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, StopServer);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, TickOrdersStatus);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, HistoryClientStatusEvent);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, SummariesReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, NewOpenPositionReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, DeleteOpenPositionReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, ClosePositionReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, UpdateOpenPositionReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, DeleteClosePosReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, ChangeConfigReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, ReflectClientChangeParametersE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, ReflectClientGeneralParamE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, DeleteClientReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, DeleteAccountReflectE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, AttackProcessE);
    ORVANE_CHECK_EVENT(CEventManagerEvents, Handler, DeleteDealerReflectE);
  }
};

// A relay through which any object of the library, or any part of a host,
// raises a typed event to the host with one untyped call. It holds no state
// besides its subscribers.
class CEventManager : public Object, NonCopyable {
 public:
  // Raises the one event EventID names (none for AccountAddedEvent and for
  // values without an event), its arguments converted from the texts:
  // - integer arguments take the leading number of the text (leading blanks
  //   skipped, no number reads as 0) rounded half to even;
  // - money figures take the leading number as it is;
  // - the connected flag of the two status events is the whole text read as
  //   a number, true only when it equals 1.
  // The event runs synchronously. Texts an event does not use are ignored.
  // Throws, raising nothing: Error(TypeMismatch) when a flag text is no
  // number (the empty text included); Error(Overflow) when a number does not
  // fit its 16- or 32-bit argument.
  void TriggerEvent(EventsEnum EventID, std::string_view p1 = {},
                    std::string_view p2 = {}, std::string_view p3 = {},
                    std::string_view p4 = {}, std::string_view p5 = {},
                    std::string_view p6 = {}, std::string_view p7 = {},
                    std::string_view p8 = {}, std::string_view p9 = {},
                    std::string_view p10 = {}, std::string_view p11 = {},
                    std::string_view p12 = {}, std::string_view p13 = {});

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<CEventManagerEvents> Handler>
  void Advise(Handler* listener) {
    CEventManagerEvents::CheckHandler<Handler>();
    Advise(static_cast<CEventManagerEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(CEventManagerEvents* listener) { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(CEventManagerEvents* listener) { m_events.Unadvise(listener); }

 private:
  EventSource<CEventManagerEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_EVENT_MANAGER_H_
