#ifndef ORVANE_CONNECTION_MEMORY_SOCKET_H_
#define ORVANE_CONNECTION_MEMORY_SOCKET_H_

// Forwarding header, kept for one release: this header moved to orvane/testing/memory_socket.h.
#include "orvane/testing/memory_socket.h"

#endif  // ORVANE_CONNECTION_MEMORY_SOCKET_H_
