#ifndef ORVANE_APPS_COMMON_BOOK_H_
#define ORVANE_APPS_COMMON_BOOK_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "orvane/core/date_time.h"

// The input files of the hosts (replay, reference server): a book of the
// trading business and a tick tape, read and checked completely before
// anything is applied. Formats: apps/replay/README.md.
namespace orvane::apps {

// A bad input file: the message names the file, the line and the field.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SymbolRecord {
  int line = 0;
  int32_t id = 0;
  std::string name;
  int32_t pip_location = 0;
  double factor = 0;
  int32_t price_case = 0;
  int32_t ref_id = 0;
  int32_t ref_price_case = 0;
  double margin_per_lot = 0;  // account currency per lot, positive
  double bid = 0;
  double ask = 0;
  std::string close_day, close_time, open_day, open_time;
  std::string break_close, break_open;  // empty: no daily break
};

struct ParamSetRecord {
  int line = 0;
  std::string name;
  std::string text;  // the nine-field client parameters text
};

struct ClientRecord {
  int line = 0;
  int32_t id = 0;
  std::string paramset;
  int32_t liquidation_type = 0;
  double liquidation_point = 0;
  int32_t comm_calc_type = 0;
  bool enable_interest = false;
  std::string name;
};

struct AccountRecord {
  int line = 0;
  int32_t client = 0;
  int32_t account = 0;
  int32_t type = 0;
  bool margin_account = false;
  double previous_margin = 0, deposit = 0, commission = 0, margin_requirement = 0;
  double net_profit = 0, credit = 0, interest = 0;
  bool dont_liquidate = false;
};

struct PositionRecord {
  int line = 0;
  int32_t client = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  int32_t symbol = 0;
  double lots = 0;
  std::string row;  // the position row as delivered
};

struct OrderRecord {
  int line = 0;
  int32_t client = 0;
  int32_t account = 0;
  int32_t order_id = 0;
  int32_t symbol = 0;
  std::string row;  // the order row as delivered
};

struct AlertRecord {
  int line = 0;
  int32_t client = 0;
  int32_t id = 0;
  int32_t symbol = 0;
  int32_t condition = 0;
  double value = 0;
};

// Who may log on to the reference server, as which client, with which
// privileges (numbers separated by ",", as CSecurity takes them; "-" none).
struct UserRecord {
  int line = 0;
  std::string username;
  std::string password;
  int32_t client = 0;
  std::string privileges;
};

struct Book {
  std::string file;
  std::vector<SymbolRecord> symbols;
  std::vector<ParamSetRecord> paramsets;
  std::vector<ClientRecord> clients;
  std::vector<AccountRecord> accounts;
  std::vector<PositionRecord> positions;
  std::vector<OrderRecord> orders;
  std::vector<AlertRecord> alerts;
  std::vector<UserRecord> users;
};

struct Tick {
  DateTime time;
  std::string time_text;  // dd/mm/yyyy hh:nn:ss, as the symbol's last quote time
  int32_t symbol = 0;
  double bid = 0;
  double ask = 0;
};

// Read a book or a tape from text; `file` names it in error messages. Throw
// InputError for the first bad line, field or reference.
Book ParseBook(const std::string& text, const std::string& file);
std::vector<Tick> ParseTape(const std::string& text, const std::string& file,
                            const Book& book);

// The whole content of a file; InputError when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_COMMON_BOOK_H_
