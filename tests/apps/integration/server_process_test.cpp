// The orvane-server program as an operator runs it: signals (SIGHUP reopens
// the log and reloads the configuration, SIGUSR1 logs a status line,
// SIGTERM stops with the reason logged and the port file removed), a piped
// log whose reader has gone, and options refused before anything starts.

#ifdef ORVANE_SERVER_BINARY

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/platform_book.h"
#include "connection/integration/peers.h"
#include "scratch_cluster.h"

extern char** environ;

namespace orvane::apps {
namespace {

using namespace std::chrono_literals;

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 2s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// The server program, its output (both streams) to `output`: a file name,
// or a descriptor when `output_fd` is given. Killed if a test leaves it.
class ServerProcess {
 public:
  ServerProcess(std::vector<std::string> arguments, const std::string& output,
                int output_fd = -1) {
    arguments.insert(arguments.begin(), ORVANE_SERVER_BINARY);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output_fd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
    }
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ServerProcess() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  void Signal(int signal) { kill(m_pid, signal); }
  // The wait status once it has exited within `limit`.
  std::optional<int> Exit(std::chrono::milliseconds limit = 2s) {
    int status = 0;
    if (!Eventually([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit)) {
      return std::nullopt;
    }
    m_pid = 0;
    return status;
  }

 private:
  pid_t m_pid = 0;
};

class ServerProcessTest : public ::testing::Test {
 protected:
  ServerProcessTest()
      : m_book(m_dir.Write("book.txt", test::kBook)),
        m_tape(m_dir.Write("tape.txt", test::kTape)),
        m_port_file(m_dir.File("port")) {}

  // The options of a server that waits for a session before feeding.
  std::vector<std::string> Arguments() const {
    return {"--book", m_book, "--tape", m_tape, "--wait-sessions", "1", "--port-file",
            m_port_file};
  }
  bool Listening() {
    return Eventually([&] { return std::ifstream(m_port_file).peek() != EOF; });
  }

  orvane::test::TempDir m_dir;
  std::string m_book;
  std::string m_tape;
  std::string m_port_file;
};

TEST_F(ServerProcessTest, SignalsReopenReloadReportAndStop) {
  const std::string log = m_dir.File("server.log");
  const std::string config = m_dir.Write("server.conf", "quiet = false\nrate = 50\n");
  std::vector<std::string> arguments = Arguments();
  arguments.insert(arguments.end(), {"--log", log, "--config", config});
  ServerProcess server(arguments, m_dir.File("output"));
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(Listening()) << Contents(m_dir.File("output"));
  const std::string started = Contents(log);
  EXPECT_NE(started.find("INFO open files: "), std::string::npos) << started;
  EXPECT_NE(started.find("INFO listening on 127.0.0.1:"), std::string::npos) << started;

  // logrotate: the file moved away, then SIGHUP; the configuration changed.
  std::filesystem::rename(log, log + ".1");
  m_dir.Write("server.conf", "quiet = true\nrate = 7\n");
  server.Signal(SIGHUP);
  ASSERT_TRUE(Eventually([&] { return Contents(log).find("rate = 7") != std::string::npos; }))
      << Contents(log);
  server.Signal(SIGUSR1);
  ASSERT_TRUE(Eventually([&] { return Contents(log).find("status: ") != std::string::npos; }))
      << Contents(log);
  server.Signal(SIGTERM);
  const std::optional<int> status = server.Exit();
  ASSERT_TRUE(status);
  ASSERT_TRUE(WIFEXITED(*status)) << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  EXPECT_FALSE(std::filesystem::exists(m_port_file));

  const std::string reopened = Contents(log);
  EXPECT_NE(reopened.find("INFO SIGHUP: log reopened, reading " + config), std::string::npos);
  EXPECT_NE(reopened.find("INFO quiet = true from now on"), std::string::npos);
  EXPECT_NE(reopened.find("WARN rate = 7 takes effect when the server starts again"),
            std::string::npos);
  EXPECT_NE(reopened.find("INFO status: 0 connections, 0 sessions logged on, 0 quotes applied"),
            std::string::npos);
  EXPECT_NE(reopened.find("INFO stopping: SIGTERM"), std::string::npos);
  EXPECT_EQ(reopened.find("listening"), std::string::npos);  // that went to the moved file
}

TEST_F(ServerProcessTest, APipedLogWithoutReaderNeverStopsTheServer) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);  // the server gets only the write end, as its output
  ServerProcess server(Arguments(), "", ends[1]);
  ::close(ends[1]);
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(Listening());
  ::close(ends[0]);  // the reader goes; every line from now on fails
  server.Signal(SIGUSR1);
  std::this_thread::sleep_for(50ms);
  server.Signal(SIGTERM);
  const std::optional<int> status = server.Exit();
  ASSERT_TRUE(status);
  ASSERT_TRUE(WIFEXITED(*status)) << "killed by signal " << WTERMSIG(*status);
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  EXPECT_FALSE(std::filesystem::exists(m_port_file));
}

// Runs the server to its exit; its wait status and what it wrote.
std::pair<int, std::string> RunToExit(const orvane::test::TempDir& dir,
                                      const std::vector<std::string>& arguments) {
  const std::string output = dir.File("output");
  ServerProcess server(arguments, output);
  const std::optional<int> status = server.Exit();
  if (!status) return {-1, "still running"};
  return {*status, Contents(output)};
}

// Bad options exit 64 before anything starts; a port file that cannot be
// written, 73. Each says why.
TEST_F(ServerProcessTest, WhatCannotStartExitsWithItsCodeAndAMessage) {
  const std::string config = m_dir.Write("bad.conf", "# fine\nport = 4000\nspeed = 3\n");
  const std::string port_file = m_dir.File("missing/port");
  const struct {
    std::vector<std::string> arguments;
    int code;
    std::string said;
  } cases[] = {
      {{"--book", m_book, "--rate", "nan"}, 64,
       "--rate takes a number from 0.001 to 1000000, not 'nan'"},
      {{"--book", m_book, "--rate", "-3"}, 64,
       "--rate takes a number from 0.001 to 1000000, not '-3'"},
      {{"--config", config, "--book", m_book}, 64, config + ":3: unknown key 'speed'"},
      {{"--book", m_book, "--tape", m_tape, "--port-file", port_file}, 73,
       "ERROR stopping: cannot write the port file " + port_file},
  };
  for (const auto& c : cases) {
    const auto [status, output] = RunToExit(m_dir, c.arguments);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), c.code) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
  }
}

// A server stopped with SIGTERM and started again on its store goes on with
// the feed where it stopped, and a second server on the store is refused.
void ExpectToResumeOnItsStore(const orvane::test::TempDir& dir, const std::string& book,
                              const std::vector<std::string>& store) {
  const std::string port_file = dir.File("store-port");
  std::vector<std::string> arguments = {"--book", book, "--ticks", "0", "--rate", "200",
                                        "--password-iterations", "1000", "--port-file",
                                        port_file};
  arguments.insert(arguments.end(), store.begin(), store.end());
  auto run = [&](const std::string& output, const std::function<void(ServerProcess&)>& during) {
    ServerProcess server(arguments, output);
    EXPECT_TRUE(Eventually([&] { return std::ifstream(port_file).peek() != EOF; }, 10s))
        << Contents(output);
    std::this_thread::sleep_for(500ms);
    if (during) during(server);
    server.Signal(SIGTERM);
    const std::optional<int> status = server.Exit(10s);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << Contents(output);
    return Contents(output);
  };
  const std::string first = run(dir.File("first"), {});
  EXPECT_NE(first.find(" seeded from " + book), std::string::npos) << first;
  std::smatch applied;
  ASSERT_TRUE(std::regex_search(first, applied, std::regex(R"(INFO (\d+) quotes applied)")))
      << first;
  const std::string second = run(dir.File("second"), [&](ServerProcess&) {
    const auto [status, refused] = RunToExit(dir, arguments);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << refused;
    EXPECT_NE(refused.find("in use by another server"), std::string::npos) << refused;
  });
  EXPECT_NE(second.find("WARN the store "), std::string::npos) << second;  // the book is not read
  EXPECT_NE(second.find("INFO feed resumed after " + applied[1].str() + " quotes"),
            std::string::npos)
      << "first run: " << applied[0] << "\n" << second;
}

TEST_F(ServerProcessTest, ASqliteStoreCarriesTheServerOverARestart) {
  const std::string data = m_dir.File("data");
  std::filesystem::create_directory(data);
  ExpectToResumeOnItsStore(m_dir, m_book, {"--data", data});
}

TEST_F(ServerProcessTest, APostgresqlStoreCarriesTheServerOverARestart) {
  ASSERT_EQ(test::ScratchCluster::Get()->error(), "");
  ExpectToResumeOnItsStore(m_dir, m_book,
                           {"--store", test::ScratchCluster::Get()->Conninfo("postgres")});
}

}  // namespace
}  // namespace orvane::apps

#endif  // ORVANE_SERVER_BINARY
