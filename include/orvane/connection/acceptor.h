#ifndef ORVANE_CONNECTION_ACCEPTOR_H_
#define ORVANE_CONNECTION_ACCEPTOR_H_

// Forwarding header, kept for one release: this header moved to orvane/io/acceptor.h.
#include "orvane/io/acceptor.h"

#endif  // ORVANE_CONNECTION_ACCEPTOR_H_
