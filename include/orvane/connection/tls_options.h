#ifndef ORVANE_CONNECTION_TLS_OPTIONS_H_
#define ORVANE_CONNECTION_TLS_OPTIONS_H_

// Forwarding header, kept for one release: this header moved to orvane/io/tls_options.h.
#include "orvane/io/tls_options.h"

#endif  // ORVANE_CONNECTION_TLS_OPTIONS_H_
