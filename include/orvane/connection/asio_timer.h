#ifndef ORVANE_CONNECTION_ASIO_TIMER_H_
#define ORVANE_CONNECTION_ASIO_TIMER_H_

// Forwarding header, kept for one release: this header moved to orvane/asio/asio_timer.h.
#include "orvane/asio/asio_timer.h"

#endif  // ORVANE_CONNECTION_ASIO_TIMER_H_
