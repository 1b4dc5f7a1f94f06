#ifndef ORVANE_CONNECTION_ASIO_SOCKET_H_
#define ORVANE_CONNECTION_ASIO_SOCKET_H_

// Forwarding header, kept for one release: this header moved to orvane/asio/asio_socket.h.
#include "orvane/asio/asio_socket.h"

#endif  // ORVANE_CONNECTION_ASIO_SOCKET_H_
