#ifndef ORVANE_APPS_TERMINAL_SECRETS_H_
#define ORVANE_APPS_TERMINAL_SECRETS_H_

#include <optional>
#include <string>

namespace orvane::apps {

// The first line of the file at `path`, without its line end (a file
// written on Windows ends its lines in "\r\n"). Throws std::invalid_argument
// when the file cannot be read or is empty.
std::string read_secret_file(const std::string& path);

// Whether `host` names this machine: "localhost", an address of
// 127.0.0.0/8, or ::1 (bracketed or not). Anything else may cross a network.
bool is_loopback_host(const std::string& host);

// Writes `prompt` to standard error and reads one line from the terminal
// on `fd` without echoing it; none when `fd` is not a terminal or the
// input ends before a line does. Echo is restored before it returns.
std::optional<std::string> prompt_secret(const std::string& prompt, int fd);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_TERMINAL_SECRETS_H_
