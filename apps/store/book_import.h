#ifndef ORVANE_APPS_STORE_BOOK_IMPORT_H_
#define ORVANE_APPS_STORE_BOOK_IMPORT_H_

#include <stdexcept>
#include <string>
#include <vector>

#include "records.h"

// The hosts' input files, read only to import them: a book of the trading
// business becomes a snapshot to seed a store with, a tick tape a list of
// quotes. Each file is read and checked completely before anything is
// returned. Formats: apps/replay/README.md.
namespace orvane::apps {

// A bad input file: the message names the file, the line and the field.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a book from text; `file` names it in error messages. Throws
// InputError for the first bad line, field or reference. Market time is
// left unset (no quote seen yet) and the ticket sequence starts at the
// book's highest ticket.
model::Snapshot import_book(const std::string& text, const std::string& file);

// Reads a tape of quotes for the symbols of `book`; InputError as above.
std::vector<model::Quote> import_tape(const std::string& text, const std::string& file,
                                     const model::Snapshot& book);

// The whole content of a file; InputError when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_BOOK_IMPORT_H_
