// orvane-replay: which accounts would have been stopped out, which orders
// would have filled, had these prices come in. See apps/replay/README.md.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "book_import.h"
#include "replay.h"
#include "report.h"

namespace {

struct Arguments {
  std::string book;
  std::string tape;
  std::string html = "replay_report.html";
  std::string log;
  bool quiet = false;
};

void usage() {
  std::cerr << "usage: orvane-replay --book FILE --tape FILE [--html FILE] [--log FILE] "
               "[--quiet]\n";
}

bool parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--quiet") {
      args.quiet = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (flag == "--book") {
      args.book = value;
    } else if (flag == "--tape") {
      args.tape = value;
    } else if (flag == "--html") {
      args.html = value;
    } else if (flag == "--log") {
      args.log = value;
    } else {
      return false;
    }
  }
  return !args.book.empty() && !args.tape.empty();
}

void progress_bar(double share) {
  constexpr int kWidth = 40;
  const int filled = static_cast<int>(share * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(share * 100));
  if (share >= 1.0) std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvane::replay;
  Arguments args;
  if (!parse(argc, argv, args)) {
    usage();
    return 64;
  }
  try {
    const Book book = import_book(read_file(args.book), args.book);
    const std::vector<Tick> tape = import_tape(read_file(args.tape), args.tape, book);
    ReplayOptions options;
    if (!args.quiet && isatty(STDERR_FILENO)) options.progress = progress_bar;
    const ReplayResult result = run_replay(book, tape, options);

    std::cout << "Accounts after the tape (" << result.first_tick << " to " << result.last_tick
              << ")\n";
    write_table(std::cout, result);
    if (!args.log.empty()) {
      std::ofstream log(args.log);
      write_event_log(log, result);
      std::cout << "\nEvent log (" << result.events.size() << " lines) written to " << args.log
                << "\n";
    } else {
      std::cout << "\nEvent log\n";
      write_event_log(std::cout, result);
    }
    std::cout << "\n" << result.order_hits << " order hits, " << result.alert_hits
              << " alert hits, " << result.liquidated_positions << " positions liquidated\n"
              << throughput(result) << "\n";
    std::ofstream html(args.html);
    if (!html) throw InputError(args.html + ": cannot be written");
    write_html(html, result, "Orvane risk replay");
    std::cout << "HTML report: " << args.html << "\n";
  } catch (const InputError& error) {
    std::cerr << "orvane-replay: " << error.what() << "\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "orvane-replay: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
