#ifndef ORVANE_IO_QUEUE_NODE_H_
#define ORVANE_IO_QUEUE_NODE_H_

#include <string>

#include "orvane/core/object.h"

namespace orvane {

// What every object placed in a CQueue offers. The class is usable on its
// own as a node that carries nothing: ID and toString are both empty.
class IQueueNode : public Object {
 public:
  // An identifier of the node.
  virtual std::string ID() const { return std::string(); }
  // A text description of the node.
  virtual std::string toString() const { return std::string(); }
};

}  // namespace orvane

#endif  // ORVANE_IO_QUEUE_NODE_H_
