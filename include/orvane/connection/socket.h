#ifndef ORVANE_CONNECTION_SOCKET_H_
#define ORVANE_CONNECTION_SOCKET_H_

// Forwarding header, kept for one release: this header moved to orvane/io/socket.h.
#include "orvane/io/socket.h"

#endif  // ORVANE_CONNECTION_SOCKET_H_
