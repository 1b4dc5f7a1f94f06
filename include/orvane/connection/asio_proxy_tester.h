#ifndef ORVANE_CONNECTION_ASIO_PROXY_TESTER_H_
#define ORVANE_CONNECTION_ASIO_PROXY_TESTER_H_

// Forwarding header, kept for one release: this header moved to orvane/asio/asio_proxy_tester.h.
#include "orvane/asio/asio_proxy_tester.h"

#endif  // ORVANE_CONNECTION_ASIO_PROXY_TESTER_H_
