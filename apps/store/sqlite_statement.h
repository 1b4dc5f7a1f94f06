#ifndef ORVANE_APPS_STORE_SQLITE_STATEMENT_H_
#define ORVANE_APPS_STORE_SQLITE_STATEMENT_H_

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane::apps {

// A prepared SQLite statement, kept for the life of its connection and run
// again and again. Values are bound, and columns read, in order from the
// first:
//
//   statement.bind(client).bind(account);
//   while (statement.step()) statement.column(a).column(b);
//
// Every failure throws StoreError with SQLite's words. A bound text is not
// copied: it must stay alive until the statement has run.
class SqlStatement {
 public:
  // Throws StoreError when `sql` does not compile.
  SqlStatement(sqlite3* db, std::string_view sql);
  ~SqlStatement();
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  SqlStatement& bind(int32_t value);
  SqlStatement& bind(int64_t value);
  SqlStatement& bind(bool value);
  // NaN is kept as NULL, which Column reads back as NaN.
  SqlStatement& bind(double value);
  SqlStatement& bind(std::string_view value);

  // Runs a statement that returns no row and readies it for the next run.
  void run();
  // The next row of a query: true while there is one. After the last row
  // (or a failure) the statement is ready for the next run.
  bool step();
  // Readies the statement for the next run before its rows are all read.
  void reset();

  SqlStatement& column(int32_t& value);
  SqlStatement& column(int64_t& value);
  SqlStatement& column(bool& value);
  SqlStatement& column(double& value);
  SqlStatement& column(std::string& value);

 private:
  [[noreturn]] void fail(int code);

  sqlite3* m_db;
  sqlite3_stmt* m_statement = nullptr;
  int m_parameter = 0;  // the last one bound
  int m_column = 0;     // the next one to read
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_SQLITE_STATEMENT_H_
