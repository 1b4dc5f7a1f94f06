#ifndef ORVANE_CONNECTION_MEMORY_ACCEPTOR_H_
#define ORVANE_CONNECTION_MEMORY_ACCEPTOR_H_

// Forwarding header, kept for one release: this header moved to orvane/testing/memory_acceptor.h.
#include "orvane/testing/memory_acceptor.h"

#endif  // ORVANE_CONNECTION_MEMORY_ACCEPTOR_H_
