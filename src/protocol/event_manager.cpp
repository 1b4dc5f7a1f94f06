#include "orvane/protocol/event_manager.h"

#include <string>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"

namespace orvane {

namespace {

int32_t int32_of(std::string_view text) { return ToInt32(Val(text)); }

int16_t int16_of(std::string_view text) { return ToInt16(Val(text)); }

bool flag_of(std::string_view text) {
  double value = 0;
  if (!ParseLocalNumber(text, value)) {
    throw Error(ErrorCode::TypeMismatch,
                "connected flag \"" + std::string(text) + "\" is not a number");
  }
  return value == 1;
}

}  // namespace

void CEventManager::TriggerEvent(EventsEnum EventID, std::string_view p1,
                                 std::string_view p2, std::string_view p3,
                                 std::string_view p4, std::string_view p5,
                                 std::string_view p6, std::string_view p7,
                                 std::string_view p8, std::string_view p9,
                                 std::string_view, std::string_view,
                                 std::string_view, std::string_view) {
  // Every argument is converted before the event is raised, so that a bad
  // text raises nothing.
  switch (EventID) {
    case AddLogEntryEvent: {
      const std::string msg(p1);
      const int16_t level = int16_of(p2);
      m_events.Raise([&](CEventManagerEvents& l) { l.AddLogEntry(msg, level); });
      break;
    }
    case ProcessHandledEvent: {
      const int16_t thread = int16_of(p1);
      m_events.Raise([&](CEventManagerEvents& l) { l.ProcessHandled(thread); });
      break;
    }
    case ShowErrorEvent: {
      const std::string title(p1);
      const std::string msg(p2);
      m_events.Raise([&](CEventManagerEvents& l) { l.ShowError(title, msg); });
      break;
    }
    case TickOrdersStatusEvent: {
      const bool connected = flag_of(p1);
      m_events.Raise(
          [&](CEventManagerEvents& l) { l.TickOrdersStatus(connected); });
      break;
    }
    case HistoryClientStatusEvent: {
      const bool connected = flag_of(p1);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.HistoryClientStatusEvent(connected);
      });
      break;
    }
    case SummariesReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      const double comm = Val(p3), margin = Val(p4), profit = Val(p5);
      const double dep = Val(p6), cr = Val(p7), prv = Val(p8), interest = Val(p9);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.SummariesReflectE(client, account, comm, margin, profit, dep, cr, prv,
                            interest);
      });
      break;
    }
    case NewOpenPositionReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      const std::string row(p3);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.NewOpenPositionReflectE(client, account, row);
      });
      break;
    }
    case DeleteOpenPositionReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      const int32_t ticket = int32_of(p3);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.DeleteOpenPositionReflectE(client, account, ticket);
      });
      break;
    }
    case ClosePositionReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      const int32_t ticket = int32_of(p3);
      const std::string row(p4);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.ClosePositionReflectE(client, account, ticket, row);
      });
      break;
    }
    case UpdateOpenPositionReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      const int32_t ticket = int32_of(p3);
      const std::string row(p4);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.UpdateOpenPositionReflectE(client, account, ticket, row);
      });
      break;
    }
    case DeleteClosePosReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      const int32_t ticket = int32_of(p3);
      const std::string row(p4);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.DeleteClosePosReflectE(client, account, ticket, row);
      });
      break;
    }
    case ChangeConfigReflectEvent: {
      const auto comm = static_cast<CommCalcTypeEnum>(int32_of(p1));
      const int16_t mreq = int16_of(p2), broker = int16_of(p3);
      const int16_t limits = int16_of(p4), stops = int16_of(p5), liq = int16_of(p6);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.ChangeConfigReflectE(comm, mreq, broker, limits, stops, liq);
      });
      break;
    }
    case ReflectClientChangeParametersEvent: {
      const int32_t client = int32_of(p1);
      const std::string params(p2);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.ReflectClientChangeParametersE(client, params);
      });
      break;
    }
    case ReflectClientGeneralParamEvent: {
      const int32_t client = int32_of(p1);
      const int16_t type = int16_of(p2);
      const std::string value(p3);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.ReflectClientGeneralParamE(client, type, value);
      });
      break;
    }
    case DeleteClientReflectEvent: {
      const int32_t client = int32_of(p1);
      m_events.Raise(
          [&](CEventManagerEvents& l) { l.DeleteClientReflectE(client); });
      break;
    }
    case DeleteAccountReflectEvent: {
      const int32_t client = int32_of(p1);
      const int32_t account = int32_of(p2);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.DeleteAccountReflectE(client, account);
      });
      break;
    }
    case StopServerEvent:
      m_events.Raise([](CEventManagerEvents& l) { l.StopServer(); });
      break;
    case AttackProcessEvent: {
      const std::string msg(p1);
      const std::string address(p2);
      const int16_t port = int16_of(p3);
      m_events.Raise([&](CEventManagerEvents& l) {
        l.AttackProcessE(msg, address, port);
      });
      break;
    }
    case DeleteDealerReflectEvent: {
      const int32_t dealer = int32_of(p1);
      m_events.Raise(
          [&](CEventManagerEvents& l) { l.DeleteDealerReflectE(dealer); });
      break;
    }
    case AccountAddedEvent:
    default:
      break;
  }
}

}  // namespace orvane
