#ifndef ORVANE_CORE_HANDLER_CHECK_H_
#define ORVANE_CORE_HANDLER_CHECK_H_

#include <concepts>

// Compile-time checks that an event handler class really overrides the events
// it declares. Events are virtual functions with empty defaults, so a handler
// function whose parameters differ from the event's (by value instead of by
// reference, a missing const, one parameter too many) hides the event instead
// of overriding it: it compiles and is never called. The checks turn that
// into a compile error naming the event.
//
// Every events interface X offers X::CheckHandler<Handler>(), and the classes
// that raise X's events check the handler class given to their Advise. A
// handler can also be checked where it is defined:
//
//   ORVANE_CHECK_HANDLER(CAccountsTransactionsEvents, MyEngineHost);
//
// Marking every handler function `override` catches the same mistake; the
// check covers handlers that forget it.

namespace orvane::detail {

// The member function type F, as a member of Handler.
template <typename Handler, typename F>
struct AsMemberOf;
template <typename Handler, typename Events, typename R, typename... Args>
struct AsMemberOf<Handler, R (Events::*)(Args...)> {
  using type = R (Handler::*)(Args...);
};

}  // namespace orvane::detail

// Used inside Events::CheckHandler<Handler>(): fails when the one function
// named Event that Handler shows does not have the event's signature. A
// handler that declares no such function, several overloads, or a private
// one passes.
#define ORVANE_CHECK_EVENT(Events, Handler, Event)                                    \
  static_assert(!requires { &Handler::Event; } ||                                     \
                    requires {                                                        \
                      static_cast<typename ::orvane::detail::AsMemberOf<              \
                          Handler, decltype(&Events::Event)>::type>(&Handler::Event); \
                    },                                                                \
                "the handler's " #Event " does not override " #Events "::" #Event     \
                ": give it exactly the event's parameters (by reference where the "   \
                "event takes references) and mark it override")

// Checks handler class Handler against events interface Events.
#define ORVANE_CHECK_HANDLER(Events, Handler)                                    \
  static_assert(std::derived_from<Handler, Events> &&                            \
                    (Events::template CheckHandler<Handler>(), true),            \
                #Handler " is not a public " #Events " handler")

#endif  // ORVANE_CORE_HANDLER_CHECK_H_
