#ifndef ORVANE_CONNECTION_TCP_SEND_OBJECT_H_
#define ORVANE_CONNECTION_TCP_SEND_OBJECT_H_

#include <string>
#include <utility>

#include "orvane/core/object.h"
#include "orvane/io/queue_node.h"

namespace orvane {

// One outgoing message waiting in the TCP client's send queue: the complete
// wire text, sent as it is. As a queue node its ID and toString are empty.
class CTCPSendObject : public IQueueNode, public ISafeObject, NonCopyable {
 public:
  // The wire text to send.
  const std::string& SendText() const { return m_send_text; }
  // Replaces the wire text.
  void SendText(std::string text) { m_send_text = std::move(text); }

  // Holds no references: releases nothing and keeps the text.
  void Deallocate() override {}

 private:
  std::string m_send_text;
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_TCP_SEND_OBJECT_H_
