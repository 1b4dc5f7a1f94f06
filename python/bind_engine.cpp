// The account engine, with its events delivered to Python handlers.
//
// A handler is any Python object; the engine calls its methods named after
// the events (RaiseHitOrder, UpdateListView, ...) with the event's
// arguments as plain values, and skips the events it has no method for. The
// one answer the engine reads back, Done of RaiseHitOrder, is the method's
// result when that is not None. An exception raised by a handler stops
// further calls into Python and reaches the caller of the engine operation
// that raised the event, once that operation has finished.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "bindings.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/order.h"
#include "orvane/clients/client.h"
#include "orvane/clients/clients.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

namespace py = pybind11;

namespace orvane::python {

namespace {

enum Event : size_t {
  kSendLiquidateAccount,
  kNewAccountSummeriesData,
  kUpdateListView,
  kDeleteFromListView,
  kRaiseHitOrder,
  kRaiseHitAlert,
  kSendLiqPosition,
  kParametersChanged,
  kAddLogEntry,
  kChangePosInterest,
  kChangeTotInterest,
  kEventCount,
};

constexpr std::array<const char*, kEventCount> kEventNames = {
    "SendLiquidateAccount", "NewAccountSummeriesData", "UpdateListView",
    "DeleteFromListView",   "RaiseHitOrder",           "RaiseHitAlert",
    "SendLiqPosition",      "ParametersChanged",       "AddLogEntry",
    "ChangePosInterest",    "ChangeTotInterest",
};

class Engine;

// One Python handler subscribed to an engine.
class Subscriber : public CAccountsTransactionsEvents {
 public:
  Subscriber(Engine& engine, py::object handler);

  const py::object& handler() const { return m_handler; }
  // No more calls into Python (the subscriber may still be on the stack of
  // an event being raised).
  void Retire() { m_retired = true; }

  void SendLiquidateAccount(int32_t& vClient, int32_t& vAccount) override {
    Call(kSendLiquidateAccount, vClient, vAccount);
  }
  void NewAccountSummeriesData(int32_t& cl_no, int32_t& acc_no, double& Balance, double& flt,
                               double& Credit, double& Equity, double& MarginReq,
                               double& marginLevel, double& EffMargin,
                               int32_t& OpenPositions) override {
    Call(kNewAccountSummeriesData, cl_no, acc_no, Balance, flt, Credit, Equity, MarginReq,
         marginLevel, EffMargin, OpenPositions);
  }
  void UpdateListView(int32_t& cl_no, int32_t& acc_no, double& Balance, double& flt,
                      double& Credit, double& Equity, double& MarginReq, double& marginLevel,
                      double& EffMargin, int32_t& OpenPos) override {
    Call(kUpdateListView, cl_no, acc_no, Balance, flt, Credit, Equity, MarginReq, marginLevel,
         EffMargin, OpenPos);
  }
  void DeleteFromListView(int32_t& cl_no, int32_t& acc_no) override {
    Call(kDeleteFromListView, cl_no, acc_no);
  }
  void RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                     std::shared_ptr<CAccount>& AccInfo, bool& SecondHit, bool& Done,
                     int16_t& SLorTP) override;
  void RaiseHitAlert(std::shared_ptr<CAlert>& vAlert, std::shared_ptr<CClient>& vClient) override {
    Call(kRaiseHitAlert, vAlert, vClient);
  }
  void SendLiqPosition(int32_t& vClient, int32_t& vAccount, int32_t& vTicket, int32_t& vSymID,
                       double& vClosePrice, double& vRefPrice, double& vLots,
                       double& EffMargin) override {
    Call(kSendLiqPosition, vClient, vAccount, vTicket, vSymID, vClosePrice, vRefPrice, vLots,
         EffMargin);
  }
  void ParametersChanged(int32_t& vAccounts) override { Call(kParametersChanged, vAccounts); }
  void AddLogEntry(std::string& msg, int16_t& LogLevel) override {
    Call(kAddLogEntry, msg, LogLevel);
  }
  void ChangePosInterest(int32_t& vClient, int32_t& vAccount, int32_t& vTicket,
                         double& vInt) override {
    Call(kChangePosInterest, vClient, vAccount, vTicket, vInt);
  }
  void ChangeTotInterest(int32_t& vClient, int32_t& vAccount, double& vTorInt) override {
    Call(kChangeTotInterest, vClient, vAccount, vTorInt);
  }

 private:
  template <typename... Args>
  py::object Call(Event event, const Args&... args);

  Engine& m_engine;
  py::object m_handler;
  std::array<py::object, kEventCount> m_methods;
  bool m_retired = false;
};

// The engine as Python creates it: it owns the subscribers of its Python
// handlers and holds the first error a handler raised until the operation
// that raised the event returns.
class Engine : public CAccountsTransactions {
 public:
  ~Engine() override {
    for (const auto& subscriber : m_subscribers) Unadvise(subscriber.get());
  }

  void AdviseHandler(const py::object& handler) {
    if (Find(handler) != m_subscribers.end()) return;
    m_subscribers.push_back(std::make_unique<Subscriber>(*this, handler));
    Advise(m_subscribers.back().get());
  }

  void UnadviseHandler(const py::object& handler) {
    auto it = Find(handler);
    if (it == m_subscribers.end()) return;
    Unadvise(it->get());
    (*it)->Retire();
    m_retired.push_back(std::move(*it));
    m_subscribers.erase(it);
    if (m_depth == 0) m_retired.clear();
  }

  bool Failed() const { return m_error.has_value(); }
  void Fail(py::error_already_set error) {
    if (!m_error) m_error = std::move(error);
  }

  // One engine operation called from Python (possibly from inside a
  // handler).
  class Operation {
   public:
    explicit Operation(Engine& engine) : m_engine(engine) { ++m_engine.m_depth; }
    ~Operation() {
      if (--m_engine.m_depth > 0) return;
      m_engine.m_retired.clear();
      m_engine.m_error.reset();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Raises the handler's error, if one was raised meanwhile.
    void Finish() {
      if (!m_engine.m_error) return;
      py::error_already_set error = std::move(*m_engine.m_error);
      m_engine.m_error.reset();
      throw error;
    }

   private:
    Engine& m_engine;
  };

 private:
  std::vector<std::unique_ptr<Subscriber>>::iterator Find(const py::object& handler) {
    for (auto it = m_subscribers.begin(); it != m_subscribers.end(); ++it) {
      if ((*it)->handler().is(handler)) return it;
    }
    return m_subscribers.end();
  }

  std::vector<std::unique_ptr<Subscriber>> m_subscribers;
  // Unsubscribed while an operation runs; released when it ends.
  std::vector<std::unique_ptr<Subscriber>> m_retired;
  std::optional<py::error_already_set> m_error;
  int m_depth = 0;
};

Subscriber::Subscriber(Engine& engine, py::object handler)
    : m_engine(engine), m_handler(std::move(handler)) {
  bool any = false;
  for (size_t i = 0; i < kEventCount; ++i) {
    py::object method = py::getattr(m_handler, kEventNames[i], py::none());
    if (method.is_none()) continue;
    if (!PyCallable_Check(method.ptr())) {
      throw py::type_error(std::string("the handler's ") + kEventNames[i] +
                           " is not callable");
    }
    m_methods[i] = std::move(method);
    any = true;
  }
  if (!any) throw py::type_error("the handler has a method for none of the engine's events");
}

template <typename... Args>
py::object Subscriber::Call(Event event, const Args&... args) {
  const py::object& method = m_methods[event];
  if (!method || m_retired || m_engine.Failed()) return py::none();
  try {
    return method(args...);
  } catch (py::error_already_set& error) {
    m_engine.Fail(std::move(error));
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
    m_engine.Fail(py::error_already_set());
  }
  return py::none();
}

void Subscriber::RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                               std::shared_ptr<CAccount>& AccInfo, bool& SecondHit, bool& Done,
                               int16_t& SLorTP) {
  py::object answer = Call(kRaiseHitOrder, OrderType, Order, AccInfo, SecondHit, Done, SLorTP);
  if (answer.is_none() || m_engine.Failed()) return;
  const int truth = PyObject_IsTrue(answer.ptr());
  if (truth < 0) {
    m_engine.Fail(py::error_already_set());
    return;
  }
  Done = truth == 1;
}

// An engine operation bound for Python: it runs as an Operation, so that a
// handler's error reaches the caller.
template <auto Method>
struct Guarded;
template <typename R, typename... Args, R (CAccountsTransactions::*Method)(Args...)>
struct Guarded<Method> {
  static R Call(Engine& self, Args... args) {
    Engine::Operation operation(self);
    if constexpr (std::is_void_v<R>) {
      (self.*Method)(std::forward<Args>(args)...);
      operation.Finish();
    } else {
      R result = (self.*Method)(std::forward<Args>(args)...);
      operation.Finish();
      return result;
    }
  }
};
template <auto Method>
constexpr auto Guard() {
  return &Guarded<Method>::Call;
}

using EngineClass = py::class_<Engine, std::shared_ptr<Engine>>;
using T = CAccountsTransactions;

void BindSubscriptions(EngineClass& cls) {
  cls.def("Advise", &Engine::AdviseHandler, py::arg("handler"),
          "Subscribes a handler object (a second Advise of it does nothing). The engine "
          "holds it until Unadvise or the engine's end.")
      .def("Unadvise", &Engine::UnadviseHandler, py::arg("handler"));
}

void BindSymbolOperations(EngineClass& cls) {
  const Variant null = Null;
  cls.def("NewSymbol", Guard<&T::NewSymbol>(), py::arg("TickPips") = 0,
          py::arg("RefPriceCase") = 1, py::arg("PriceCase") = 1, py::arg("Factor") = 1,
          py::arg("LastQuteTime") = "", py::arg("Low") = 0, py::arg("High") = 0,
          py::arg("Bid") = 0, py::arg("Ask") = 0, py::arg("isDisplay") = true,
          py::arg("isUsed") = true, py::arg("RefID") = 1, py::arg("PipLocation") = -4,
          py::arg("SymbolType") = symbol_type, py::arg("Name") = "", py::arg("ID") = null,
          // The usual trading week of a broker: a blank time is no time, and a
          // symbol given one is not made.
          py::arg("OpenDay") = "SUNDAY", py::arg("OpenTime") = "22:00",
          py::arg("CloseDay") = "FRIDAY", py::arg("CloseTime") = "22:00",
          py::arg("DailyCloseTime1") = null,
          py::arg("DailyOpenTime1") = null, py::arg("DailyCloseTime2") = null,
          py::arg("DailyOpenTime2") = null, py::arg("DailyCloseTime3") = null,
          py::arg("DailyOpenTime3") = null, py::arg("Closed") = false,
          py::arg("DDEItems") = "", py::arg("MoveIfClosed") = false, py::arg("HighType") = "1",
          py::arg("LowType") = "1", py::arg("GiveQuoteHL") = false,
          py::arg("StopFeed") = false, py::arg("PriceOffset") = "0",
          py::arg("SpreadOffset") = "0", py::arg("Bank") = "", py::arg("StopTrade") = false,
          py::arg("StopTradeSeconds") = "60", py::arg("SpreadType") = FromBidSpread,
          py::arg("ExpDate") = "", py::arg("DayOpen") = 0.0, py::arg("DayClose") = 0.0)
      .def("DealWithChangedSymbolPrices", Guard<&T::DealWithChangedSymbolPrices>(),
           py::arg("vSymbol").none(false))
      .def(
          "DeleteSymbol", [](Engine& self, int32_t ID) { Guard<&T::DeleteSymbol>()(self, ID); },
          py::arg("ID"))
      .def("RefreshSymbols", Guard<&T::RefreshSymbols>(), py::arg("Symbols"))
      .def("CalculateInterest", Guard<&T::CalculateInterest>(), py::arg("vSymID"),
           py::arg("vDayFactor"), py::arg("YearlyBuyRate"), py::arg("YearlySellRate"),
           py::arg("YearDays"));
}

void BindClientOperations(EngineClass& cls) {
  cls.def("AddNewClient", Guard<&T::AddNewClient>(), py::arg("cl_no"), py::arg("theSpread"),
          py::arg("ParentID"), py::arg("vClientType"), py::arg("vEnableInterest"),
          py::arg("LiqType"), py::arg("LiqPoint"), py::arg("FirstName") = "",
          py::arg("SecondName") = "", py::arg("ThirdName") = "", py::arg("LastName") = "",
          py::arg("Username") = "", py::arg("ClientOrServer") = 2,
          py::arg("CommCalcType") = ON_CLOSE_TYPE)
      .def("DeleteClient", Guard<&T::DeleteClient>(), py::arg("cl_no"))
      .def("ClientOneParameterChanged", Guard<&T::ClientOneParameterChanged>(),
           py::arg("vClientId"), py::arg("SymID"), py::arg("vType"), py::arg("vVal"))
      .def("ClientParametersChanged", Guard<&T::ClientParametersChanged>(),
           py::arg("vClientId"), py::arg("Pars"), py::arg("ClientOrServer"))
      .def("GeneralClientParametersChanged", Guard<&T::GeneralClientParametersChanged>(),
           py::arg("vClientId"), py::arg("vSymID"), py::arg("vType"), py::arg("vVal"))
      .def("UpdateParameters", Guard<&T::UpdateParameters>(), py::arg("vChangedPars"),
           py::arg("vClient").none(false), py::arg("ClientOrServer"))
      .def("SetParamsRefParams", Guard<&T::SetParamsRefParams>())
      .def("Unload", Guard<&T::Unload>());
}

void BindAccountOperations(EngineClass& cls) {
  cls.def("AddNewAccount", Guard<&T::AddNewAccount>(), py::arg("cl_no"), py::arg("acc_no"),
          py::arg("accType") = 1, py::arg("demoAcc") = 0, py::arg("TotComm") = 0,
          py::arg("MarginReq") = 0, py::arg("NetProfit") = 0, py::arg("TotDep") = 0,
          py::arg("TotCr") = 0, py::arg("PrvMargin") = 0, py::arg("DontLiquidate") = 0,
          py::arg("TotInt") = 0, py::arg("Locked") = false, py::arg("MarginAccount") = false,
          py::arg("Loading") = true)
      .def("UpdateAccount", Guard<&T::UpdateAccount>(), py::arg("vClient"), py::arg("vAccount"),
           py::arg("vType"), py::arg("vDemo"), py::arg("vLocked"), py::arg("vLiquidated"))
      .def("DeleteAccount", Guard<&T::DeleteAccount>(), py::arg("cl_no"), py::arg("acc_no"))
      .def("UpdateAccountSummaries", Guard<&T::UpdateAccountSummaries>(), py::arg("cl_no"),
           py::arg("acc_no"), py::arg("TotComm"), py::arg("MarginReq"), py::arg("NetProfit"),
           py::arg("TotDep"), py::arg("TotCr"), py::arg("PrvMargin"),
           py::arg("LockLiquidation") = false, py::arg("TotInt") = 0)
      .def("SummariesChanged", Guard<&T::SummariesChanged>(), py::arg("vAccInfo").none(false))
      .def("RefreshFloatingProfitLoss", Guard<&T::RefreshFloatingProfitLoss>(),
           py::arg("vAccInfo").none(false))
      .def("RefreshListView", Guard<&T::RefreshListView>())
      .def("Account", &T::Account, py::arg("ClientID"), py::arg("AccountID"))
      .def("AccountByAccountID", &T::AccountByAccountID, py::arg("Account"))
      .def("AccountsCount", &T::AccountsCount);
}

void BindPositionOperations(EngineClass& cls) {
  cls.def("AddNewOpenPosition", Guard<&T::AddNewOpenPosition>(), py::arg("cl_no"),
          py::arg("acc_no"), py::arg("io_id"), py::arg("io_cur_no"), py::arg("theLots"),
          py::arg("Price"), py::arg("theType"), py::arg("vInt") = 0, py::arg("PosTime") = "",
          py::arg("Note") = "", py::arg("Loading") = false)
      .def("DefineOpenPosRow", Guard<&T::DefineOpenPosRow>(), py::arg("vClient"),
           py::arg("vAccount"), py::arg("Ticket"), py::arg("OpenPosRow"))
      .def("UpdateOpenPosition", Guard<&T::UpdateOpenPosition>(), py::arg("cl_no"),
           py::arg("acc_no"), py::arg("io_id"), py::arg("lots"), py::arg("Price"),
           py::arg("BuySell"), py::arg("vCur"), py::arg("vInt"), py::arg("PosTime") = "",
           py::arg("vNote") = "")
      .def("DeleteOpenPosition", Guard<&T::DeleteOpenPosition>(), py::arg("cl_no"),
           py::arg("acc_no"), py::arg("io_id"))
      .def("ClosePosition", Guard<&T::ClosePosition>(), py::arg("cl_no"), py::arg("acc_no"),
           py::arg("io_id"), py::arg("closedLots"))
      .def("CloseAllPositions", Guard<&T::CloseAllPositions>(), py::arg("cl_no"),
           py::arg("acc_no"))
      .def("CloseResultReceived", Guard<&T::CloseResultReceived>(), py::arg("ReturnVal"),
           py::arg("vClient"), py::arg("vAccount"), py::arg("Ticket"));
}

void BindOrderOperations(EngineClass& cls) {
  cls.def("AddNewOrder", Guard<&T::AddNewOrder>(), py::arg("cl_no"), py::arg("acc_no"),
          py::arg("OrderId"), py::arg("OrderType"), py::arg("operationType"), py::arg("IoID"),
          py::arg("lots"), py::arg("cur_no"), py::arg("LimitPrice"), py::arg("slPrice"),
          py::arg("tpPrice"), py::arg("status") = 0, py::arg("hitPrice") = 0.0,
          py::arg("hitDate") = DateTime(), py::arg("OrderTime") = "", py::arg("Note") = "")
      .def("DefineOrder", Guard<&T::DefineOrder>(), py::arg("vClient"), py::arg("vAccount"),
           py::arg("OrderRow"))
      .def("DeleteOrder", Guard<&T::DeleteOrder>(), py::arg("cl_no"), py::arg("acc_no"),
           py::arg("id_no"))
      .def("OrderStatusChanged", Guard<&T::OrderStatusChanged>(), py::arg("vClient"),
           py::arg("vAccount"), py::arg("OrderId"))
      .def("OrderRejected", Guard<&T::OrderRejected>(), py::arg("vType"), py::arg("vClient"),
           py::arg("vAccount"), py::arg("OrderId"), py::arg("vTicket"))
      .def("AddNewAlert", Guard<&T::AddNewAlert>(), py::arg("cl_no"), py::arg("ID"),
           py::arg("CurID"), py::arg("CondType"), py::arg("vVal"), py::arg("AlertType") = 2,
           py::arg("Enabled") = true)
      .def("DeleteAlert", Guard<&T::DeleteAlert>(), py::arg("ClientID"), py::arg("ID"))
      .def("UpdateAlert", Guard<&T::UpdateAlert>(), py::arg("ID"), py::arg("vClient"),
           py::arg("CurID"), py::arg("CondType"), py::arg("vVal"));
}

void BindSettings(EngineClass& cls) {
  cls.def("InitializeNeededData", Guard<&T::InitializeNeededData>(), py::arg("SymInfo"),
          py::arg("execType"))
      .def_property_readonly("Symbols", [](const Engine& self) { return self.Symbols(); })
      .def_property_readonly("Clients", [](const Engine& self) { return self.Clients(); })
      .ORVANE_PROPERTY(Engine, ExecutionModeEnum, ExecutionSide)
      .ORVANE_PROPERTY(Engine, bool, JustAccounts)
      .def("Deallocate", Guard<&T::Deallocate>());
}

}  // namespace

void BindEngine(py::module_& m) {
  EngineClass cls(m, "CAccountsTransactions");
  cls.def(py::init<>());
  BindSubscriptions(cls);
  BindSymbolOperations(cls);
  BindClientOperations(cls);
  BindAccountOperations(cls);
  BindPositionOperations(cls);
  BindOrderOperations(cls);
  BindSettings(cls);
}

}  // namespace orvane::python
