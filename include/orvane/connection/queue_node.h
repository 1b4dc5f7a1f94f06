#ifndef ORVANE_CONNECTION_QUEUE_NODE_H_
#define ORVANE_CONNECTION_QUEUE_NODE_H_

// Forwarding header, kept for one release: this header moved to orvane/io/queue_node.h.
#include "orvane/io/queue_node.h"

#endif  // ORVANE_CONNECTION_QUEUE_NODE_H_
