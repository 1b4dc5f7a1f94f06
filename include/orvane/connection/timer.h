#ifndef ORVANE_CONNECTION_TIMER_H_
#define ORVANE_CONNECTION_TIMER_H_

// Forwarding header, kept for one release: this header moved to orvane/io/timer.h.
#include "orvane/io/timer.h"

#endif  // ORVANE_CONNECTION_TIMER_H_
