#ifndef ORVANE_CONNECTION_ASIO_LISTENER_H_
#define ORVANE_CONNECTION_ASIO_LISTENER_H_

// Forwarding header, kept for one release: this header moved to orvane/asio/asio_listener.h.
#include "orvane/asio/asio_listener.h"

#endif  // ORVANE_CONNECTION_ASIO_LISTENER_H_
