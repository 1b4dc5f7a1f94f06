#ifndef ORVANE_CORE_EVENT_SOURCE_H_
#define ORVANE_CORE_EVENT_SOURCE_H_

#include <algorithm>
#include <cstddef>
#include <vector>

namespace orvane {

// The subscriber list of a class that raises events. Listeners are not owned;
// a subscriber outlives its subscription. Events go to every subscriber in
// subscription order. A handler may Advise or Unadvise during an event: a
// listener removed during a raise gets no further call of it, one added
// during a raise first hears the next event. Raising allocates nothing.
template <typename Listener>
class EventSource {
 public:
  // Subscribes a listener; nullptr and a listener already subscribed are
  // ignored.
  void Advise(Listener* listener) {
    if (listener == nullptr) return;
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) !=
        m_listeners.end()) {
      return;
    }
    m_listeners.push_back(listener);
  }

  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(Listener* listener) {
    auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it == m_listeners.end()) return;
    if (m_depth > 0) {
      *it = nullptr;  // compacted when the outermost raise ends
      m_has_gaps = true;
    } else {
      m_listeners.erase(it);
    }
  }

  // Whether any listener is subscribed.
  bool HasListeners() const {
    return std::any_of(m_listeners.begin(), m_listeners.end(),
                       [](Listener* l) { return l != nullptr; });
  }

  // Calls f(listener&) for every subscriber.
  template <typename F>
  void Raise(F&& f) {
    const size_t count = m_listeners.size();
    ++m_depth;
    struct DepthGuard {
      EventSource* self;
      ~DepthGuard() {
        if (--self->m_depth == 0 && self->m_has_gaps) {
          std::erase(self->m_listeners, nullptr);
          self->m_has_gaps = false;
        }
      }
    } guard{this};
    for (size_t i = 0; i < count && i < m_listeners.size(); ++i) {
      if (Listener* listener = m_listeners[i]) f(*listener);
    }
  }

 private:
  std::vector<Listener*> m_listeners;
  int m_depth = 0;
  bool m_has_gaps = false;  // a listener was removed during a raise
};

}  // namespace orvane

#endif  // ORVANE_CORE_EVENT_SOURCE_H_
