#ifndef ORVANE_CONNECTION_MEMORY_NETWORK_H_
#define ORVANE_CONNECTION_MEMORY_NETWORK_H_

// Forwarding header, kept for one release: this header moved to orvane/testing/memory_network.h.
#include "orvane/testing/memory_network.h"

#endif  // ORVANE_CONNECTION_MEMORY_NETWORK_H_
