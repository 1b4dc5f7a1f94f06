#ifndef ORVANE_APPS_TERMINAL_EXIT_CODES_H_
#define ORVANE_APPS_TERMINAL_EXIT_CODES_H_

// How orvane-terminal and orvane-dealer end, for the scripts that run them:
// 0 when everything they compared agreed.
namespace orvane::apps::exit_code {

inline constexpr int kMismatch = 3;       // figures differ from the server's
inline constexpr int kTimedOut = 4;       // nothing to compare: not connected, or no answer
inline constexpr int kRefused = 5;        // the log-on was refused
inline constexpr int kSoakFailed = 6;     // a soak lost sessions or prices
inline constexpr int kLoadFailed = 7;     // the model the server sent could not be loaded
inline constexpr int kBadArguments = 64;  // the command line was wrong

}  // namespace orvane::apps::exit_code

#endif  // ORVANE_APPS_TERMINAL_EXIT_CODES_H_
