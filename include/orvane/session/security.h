#ifndef ORVANE_SESSION_SECURITY_H_
#define ORVANE_SESSION_SECURITY_H_

#include <array>
#include <cstdint>
#include <string_view>

#include "orvane/core/event_source.h"
#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"
#include "orvane/session/privs_enum.h"

namespace orvane {

// Events of CSecurity.
class CSecurityEvents {
 public:
  virtual ~CSecurityEvents() = default;
  // A grant of privileges completed; the host applies them now.
  virtual void ExecuteSecurityPrivs() {}

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(CSecurityEvents, Handler, ExecuteSecurityPrivs);
  }
};

// The privileges of one user: a table of 200, numbered 1 to 200, all
// withheld at creation. Privileges are only ever added: nothing revokes one.
class CSecurity : public Object, NonCopyable {
 public:
  static constexpr int32_t kPrivilegeCount = 200;  // privileges 1..200

  // Grants the privileges listed in PrivsArr, numbers separated by ",".
  // Each piece counts by its leading number (an empty or non-numeric piece
  // reads as 0), a fraction rounded to the nearest whole number, halves to
  // even. Raises ExecuteSecurityPrivs once when every piece was granted,
  // also for an empty PrivsArr.
  // Throws Error(SubscriptOutOfRange) at the first piece outside 1..200: the
  // pieces before it stay granted and no event is raised.
  void UserHasThesePrivs(std::string_view PrivsArr);

  // True for NonePriv; otherwise whether privilege vPriv was granted.
  // Throws Error(SubscriptOutOfRange) for a value outside 0..200.
  bool UserHasPriv(PrivsEnum vPriv) const;

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<CSecurityEvents> Handler>
  void Advise(Handler* listener) {
    CSecurityEvents::CheckHandler<Handler>();
    Advise(static_cast<CSecurityEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(CSecurityEvents* listener) { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(CSecurityEvents* listener) { m_events.Unadvise(listener); }

 private:
  std::array<bool, kPrivilegeCount + 1> m_granted{};
  EventSource<CSecurityEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_SESSION_SECURITY_H_
