#ifndef ORVANE_CONNECTION_VIRTUAL_TIMER_H_
#define ORVANE_CONNECTION_VIRTUAL_TIMER_H_

// Forwarding header, kept for one release: this header moved to orvane/testing/virtual_timer.h.
#include "orvane/testing/virtual_timer.h"

#endif  // ORVANE_CONNECTION_VIRTUAL_TIMER_H_
