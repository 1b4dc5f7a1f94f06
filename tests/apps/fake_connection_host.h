#ifndef ORVANE_TESTS_APPS_FAKE_CONNECTION_HOST_H_
#define ORVANE_TESTS_APPS_FAKE_CONNECTION_HOST_H_

// A server for one ServerConnection: one user (alice / secret, client 10),
// three rows for GET_ACCOUNTS, every other request refused as undefined,
// and a record of what the connection did.

#include <memory>
#include <string>
#include <vector>

#include "password_hash.h"
#include "records.h"
#include "orvane/protocol/event_manager.h"
#include "orvane/protocol/process.h"
#include "server_connection.h"

namespace orvane::apps::test {

class FakeConnectionHost : public ConnectionHost {
 public:

  const model::User* user(const std::string& username) const override {
    return username == m_alice.username ? &m_alice : nullptr;
  }
  int32_t new_sid() override { return ++last_sid; }
  int32_t last_order_number(const std::string&) const override { return 0; }
  std::string market_time() const override { return "03/03/2027 12:00:00"; }
  std::string settings() const override { return "0,20,30,2,0,5,10,,0"; }
  void logged_on(ServerConnection&) override { ++log_ons; }
  void request(ServerConnection& connection, const CProcess& process) override {
    ++requests;
    if (process.TokenID() == GET_ACCOUNTS_TOKEN) return connection.send_rows(rows);
    connection.refuse(-501, "Undefined command", process.TokenID());
  }
  void closed(ServerConnection&) override { ++closes; }
  std::shared_ptr<CEventManager> event_manager() override { return m_event_manager; }
  void log(const std::string& line) override { log_lines.push_back(line); }

  std::vector<std::string> rows = {"first", "second", "third"};
  std::vector<std::string> log_lines;
  int32_t last_sid = 41;
  int log_ons = 0;
  int requests = 0;
  int closes = 0;

 private:
  model::User m_alice{"alice", hash_password("secret", 1), 10, "4,5", 2, ""};
  std::shared_ptr<CEventManager> m_event_manager = std::make_shared<CEventManager>();
};

}  // namespace orvane::apps::test

#endif  // ORVANE_TESTS_APPS_FAKE_CONNECTION_HOST_H_
