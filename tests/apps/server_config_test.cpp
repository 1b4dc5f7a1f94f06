// The server's options: a configuration file of key = value lines under the
// command line's flags, and what is refused with its file and line.

#include "server_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "strict_number.h"

namespace orvane::apps {
namespace {

std::string Refusal(const std::vector<std::string>& arguments, const std::string& file) {
  try {
    ServerConfigReader(arguments).read(file, "server.conf");
  } catch (const ConfigError& e) {
    return e.what();
  }
  return "accepted";
}

TEST(ServerConfigTest, AGoodFileSetsEveryOption) {
  const std::string file =
      "# a server\n"
      "\n"
      "book = books/main.txt\n"
      "  tape=tapes/today.txt  \n"
      "data = /var/lib/orvane\n"
      "ticks = 500\n"
      "rate = 12.5\n"
      "seed = 7\n"
      "wait-sessions = 3\n"
      "sessions-per-address = 0\n"
      "max-connections = 900\n"
      "multi-sessions = true\n"
      "sessions-per-user = 2\n"
      "logon-delay-ms = 100\n"
      "logon-delay-max-ms = 100\n"
      "lockout-failures = 0\n"
      "logon-waiting-max = 5\n"
      "metrics-port = 0\n"
      "password-iterations = 5\n"
      "rollover = 21:30:00\n"
      "address = 0.0.0.0\n"
      "port = 4100\n"
      "port-file = /run/orvane/port\n"
      "tls-cert = server.pem\n"
      "tls-key = server.key\n"
      "quiet = true\n"
      "log = /var/log/orvane/server#1.log\r\n";
  const ServerConfig c = ServerConfigReader().read(file, "server.conf");
  EXPECT_EQ(c.book, "books/main.txt");
  EXPECT_EQ(c.tape, "tapes/today.txt");
  EXPECT_EQ(c.data, "/var/lib/orvane");
  EXPECT_EQ(c.ticks, 500u);
  EXPECT_EQ(c.rate, 12.5);
  EXPECT_EQ(c.seed, 7u);
  EXPECT_EQ(c.wait_sessions, 3u);
  EXPECT_EQ(c.sessions_per_address, 0u);
  EXPECT_EQ(c.max_connections, 900u);
  EXPECT_TRUE(c.multi_sessions);
  EXPECT_EQ(c.sessions_per_user, 2u);
  EXPECT_EQ(c.logon_delay_ms, 100u);
  EXPECT_EQ(c.logon_delay_max_ms, 100u);
  EXPECT_EQ(c.lockout_failures, 0u);
  EXPECT_EQ(c.logon_waiting_max, 5u);
  EXPECT_EQ(c.metrics_port, 0);
  EXPECT_EQ(c.password_iterations, 5u);
  EXPECT_EQ(c.rollover, 21 * 3600 + 30 * 60);
  EXPECT_EQ(c.address, "0.0.0.0");
  EXPECT_EQ(c.port, 4100);
  EXPECT_EQ(c.port_file, "/run/orvane/port");
  EXPECT_EQ(c.tls_cert, "server.pem");
  EXPECT_EQ(c.tls_key, "server.key");
  EXPECT_TRUE(c.quiet);
  EXPECT_EQ(c.log, "/var/log/orvane/server#1.log");
  // Every key but store (data names the other store) was in the file: nothing
  // else is left at its default.
  EXPECT_EQ(ServerConfigReader::changed(ServerConfig(), c).size(),
            ServerConfigReader::keys().size() - 1);
  EXPECT_EQ(ServerConfigReader().read("store = postgresql://db/orvane\n", "f").store,
            "postgresql://db/orvane");
  EXPECT_FALSE(ServerConfigReader().read("book = b\nrollover = none\n", "f").rollover);
}

// What is refused in a file, with its file and line where it has one.
TEST(ServerConfigTest, UnknownKeysAndBadValuesAreRefusedWithTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"book = b\n# rate = 3\n\nrat = 3\n", "server.conf:4: unknown key 'rat'"},
      {"book = b\nconfig = other.conf\n", "server.conf:2: unknown key 'config'"},
      {"book = b\nport 4000\n", "server.conf:2: expected key = value, not 'port 4000'"},
      {"book = b\nrate = nan\n",
       "server.conf:2: rate takes a number from 0.001 to 1000000, not 'nan'"},
      {"book = b\n\n\nport = 80abc\n",
       "server.conf:4: port takes a whole number from 0 to 65535, not '80abc'"},
      {"book = b\nticks = -1\n",
       "server.conf:2: ticks takes a whole number from 0 to 18446744073709551615, not '-1'"},
      {"quiet = yes\nbook = b\n", "server.conf:1: quiet takes true or false, not 'yes'"},
      {"book = b\nrollover = 25:00:00\n",
       "server.conf:2: rollover takes a time HH:MM:SS or none, not '25:00:00'"},
      {"rate = 5 # a comment\nbook = b\n",
       "server.conf:1: rate takes a number from 0.001 to 1000000, not '5 # a comment'"},
      {"book = b\nrate = 5\nrate = 6\n", "server.conf:3: rate is set twice (first on line 2)"},
      {"rate = 5\n",
       "a book is required: --book FILE, or book = FILE in the configuration file (or a "
       "store that holds one: --data DIR or --store postgresql://...)"},
      {"book = b\ndata = d\nstore = postgresql://x\n", "data and store name two stores: give one"},
      {"book = b\ntls-cert = c\n", "tls-cert and tls-key go together"},
      {"book = b\nlogon-delay-ms = 500\nlogon-delay-max-ms = 400\n",
       "logon-delay-max-ms (400) is below logon-delay-ms (500)"},
  };
  for (const auto& [file, refusal] : cases) EXPECT_EQ(Refusal({}, file), refusal) << file;
}

TEST(ServerConfigTest, FlagsWinOverTheFile) {
  const std::string file = "book = from-file\nrate = 10\nport = 4000\nquiet = false\n";
  const ServerConfig c =
      ServerConfigReader({"--rate", "20", "--quiet", "--config", "x.conf"}).read(file, "x.conf");
  EXPECT_EQ(c.rate, 20);
  EXPECT_TRUE(c.quiet);
  EXPECT_EQ(c.port, 4000);        // from the file
  EXPECT_EQ(c.book, "from-file");  // from the file
  EXPECT_EQ(ServerConfigReader({"--config", "x.conf"}).file(), "x.conf");
  // A flag whose value the file would have set still decides on reload.
  const ServerConfig again =
      ServerConfigReader({"--rate", "20"}).read("book = b\nrate = 30\n", "x.conf");
  EXPECT_EQ(again.rate, 20);
}

TEST(ServerConfigTest, BadFlagsAreRefused) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--rate", "nan"},
                                              {"--rate", "inf"},
                                              {"--rate", "0"},
                                              {"--port", "1abc"},
                                              {"--port", "70000"},
                                              {"--ticks", "-1"},
                                              {"--wait-sessions", "1000001"},
                                              {"--max-connections", "0"},
                                              {"--metrics-port", "-1"},
                                              {"--seed", "1.5"},
                                              {"--rate"},
                                              {"--bogus", "1"},
                                              {"book"}}) {
    EXPECT_THROW(ServerConfigReader{arguments}, ConfigError) << arguments[0];
  }
}

TEST(ServerConfigTest, OnlyTheLogQuietAndTheThrottleChangeAtRunTime) {
  const std::set<std::string_view> run_time = {"log", "quiet", "logon-delay-ms",
                                               "logon-delay-max-ms", "lockout-failures"};
  for (const std::string_view key : ServerConfigReader::keys()) {
    EXPECT_EQ(ServerConfigReader::changes_at_run_time(key), run_time.count(key) == 1) << key;
  }
  ServerConfig before;
  ServerConfig after = before;
  after.rate = 51;
  after.quiet = true;
  EXPECT_EQ(ServerConfigReader::changed(before, after),
            (std::vector<std::string_view>{"rate", "quiet"}));
  EXPECT_TRUE(ServerConfigReader::changed(before, before).empty());
}

// The shipped example, every option uncommented, reads back to the defaults.
TEST(ServerConfigTest, TheExampleFileShowsTheDefaults) {
  const char* root = std::getenv("ORVANE_SOURCE_DIR");
  ASSERT_NE(root, nullptr);
  std::ifstream in(std::string(root) + "/data/server.conf");
  ASSERT_TRUE(in);
  std::ostringstream text;
  const std::regex option(R"(^# ([a-z-]+ =.*)$)");
  size_t options = 0;
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (std::regex_match(line, match, option)) {
      text << match[1] << "\n";
      ++options;
    }
  }
  EXPECT_EQ(options, ServerConfigReader::keys().size());
  const ServerConfig read = ServerConfigReader().read(text.str(), "server.conf");
  EXPECT_EQ(ServerConfigReader::changed(ServerConfig(), read),
            (std::vector<std::string_view>{"book"}));
}

// ---- strict number ----
// The hosts' numeric options: a whole decimal number within its range, and
// everything else refused with a message that names the option.

// The message of the refusal, or "accepted".
template <typename Read>
std::string Refusal(Read read) {
  try {
    read();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "accepted";
}

TEST(StrictNumberTest, ReadsWholeNumbersInRange) {
  EXPECT_EQ(StrictNumber::integer("--port", "0", 0, 65535), 0);
  EXPECT_EQ(StrictNumber::integer("--port", "65535", 0, 65535), 65535);
  EXPECT_EQ(StrictNumber::integer("--x", "-12", -20, 20), -12);
  EXPECT_EQ(StrictNumber::unsigned_number("--seed", "18446744073709551615"),
            std::numeric_limits<uint64_t>::max());
  EXPECT_DOUBLE_EQ(StrictNumber::real("--rate", "0.25", 0.001, 1e6), 0.25);
  EXPECT_DOUBLE_EQ(StrictNumber::real("--rate", "1e3", 0.001, 1e6), 1000);
  EXPECT_DOUBLE_EQ(StrictNumber::real("--rate", "0.001", 0.001, 1e6), 0.001);
}

TEST(StrictNumberTest, RefusesNanAndInfinities) {
  for (const char* text : {"nan", "NaN", "-nan", "nan(1)", "inf", "-inf", "infinity", "INF"}) {
    EXPECT_THROW(StrictNumber::real("--rate", text, -1e9, 1e9), std::invalid_argument) << text;
  }
  EXPECT_EQ(Refusal([] { StrictNumber::real("--rate", "nan", 0.001, 1000000); }),
            "--rate takes a number from 0.001 to 1000000, not 'nan'");
}

TEST(StrictNumberTest, RefusesTrailingLeadingAndEmptyText) {
  for (const char* text : {"1abc", "1 ", " 1", "", "+1", "1.5", "0x10", "1e3", "12-", "--1"}) {
    EXPECT_THROW(StrictNumber::integer("--port", text, -100000, 100000), std::invalid_argument)
        << "'" << text << "'";
    EXPECT_THROW(StrictNumber::unsigned_number("--ticks", text), std::invalid_argument)
        << "'" << text << "'";
  }
  for (const char* text : {"1abc", "2.5x", "1,5", " 2", "2 ", "", "+2", "0x1p3", "."}) {
    EXPECT_THROW(StrictNumber::real("--seconds", text, 0, 1e7), std::invalid_argument)
        << "'" << text << "'";
  }
  EXPECT_EQ(Refusal([] { StrictNumber::integer("--port", "1abc", 0, 65535); }),
            "--port takes a whole number from 0 to 65535, not '1abc'");
}

TEST(StrictNumberTest, RefusesValuesOutOfRange) {
  EXPECT_THROW(StrictNumber::integer("--port", "65536", 0, 65535), std::invalid_argument);
  EXPECT_THROW(StrictNumber::integer("--port", "-1", 0, 65535), std::invalid_argument);
  EXPECT_THROW(StrictNumber::integer("--port", "99999999999999999999", 0, 65535),
               std::invalid_argument);
  // A negative count is not read as a huge one.
  EXPECT_THROW(StrictNumber::unsigned_number("--ticks", "-1"), std::invalid_argument);
  EXPECT_THROW(StrictNumber::unsigned_number("--ticks", "18446744073709551616"),
               std::invalid_argument);
  EXPECT_THROW(StrictNumber::unsigned_number("--wait-sessions", "5001", 5000),
               std::invalid_argument);
  EXPECT_EQ(StrictNumber::unsigned_number("--wait-sessions", "5000", 5000), 5000u);
  EXPECT_THROW(StrictNumber::real("--rate", "0", 0.001, 1e6), std::invalid_argument);
  EXPECT_THROW(StrictNumber::real("--rate", "-5", 0.001, 1e6), std::invalid_argument);
  EXPECT_THROW(StrictNumber::real("--rate", "1000000.5", 0.001, 1e6), std::invalid_argument);
  EXPECT_THROW(StrictNumber::real("--rate", "1e400", 0.001, std::numeric_limits<double>::max()), std::invalid_argument);
  EXPECT_EQ(Refusal([] { StrictNumber::real("--rate", "0", 0.001, 1000000); }),
            "--rate takes a number from 0.001 to 1000000, not '0'");
}

}  // namespace
}  // namespace orvane::apps
