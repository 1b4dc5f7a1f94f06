#ifndef ORVANE_APPS_STORE_PG_STATEMENT_H_
#define ORVANE_APPS_STORE_PG_STATEMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;
typedef unsigned int Oid;

namespace orvane::apps {

// A statement on a PostgreSQL connection, prepared on the server at its
// first run (with the types of the values bound then) and run again and
// again. Values travel in PostgreSQL's binary form both ways, so that
// doubles and byte strings arrive bit for bit. Values are bound, and
// columns read, in order from the first:
//
//   statement.bind(client).bind(account);
//   while (statement.step()) statement.column(a).column(b);
//
// A statement binds the same types at every run. Every failure throws
// StoreError with the server's words; a column of another type or size
// than the one read is a failure too.
class PgStatement {
 public:
  PgStatement(PGconn* connection, std::string sql);
  ~PgStatement();
  PgStatement(const PgStatement&) = delete;
  PgStatement& operator=(const PgStatement&) = delete;

  PgStatement& bind(int32_t value);
  PgStatement& bind(int64_t value);
  PgStatement& bind(bool value);
  PgStatement& bind(double value);
  // Bound as bytea: any bytes, NUL included.
  PgStatement& bind(std::string_view value);

  // Runs the statement, whatever it returns, and readies it for the next
  // run; how many rows it inserted, changed or deleted.
  int64_t run();
  // The next row of a query, which runs at the first call: true while
  // there is one. After the last row the statement is ready for the next run.
  bool step();
  // Readies the statement for the next run before its rows are all read.
  void reset();
  // How many rows the query returned, once a Step has run it; 0 before.
  size_t rows() const;

  PgStatement& column(int32_t& value);
  PgStatement& column(int64_t& value);
  PgStatement& column(bool& value);
  PgStatement& column(double& value);
  PgStatement& column(std::string& value);

 private:
  void add(Oid type, std::string bytes);
  void execute();
  std::string_view next(size_t size, Oid type);
  [[noreturn]] void fail(const std::string& message);

  PGconn* m_connection;
  std::string m_name;
  std::string m_sql;
  bool m_prepared = false;
  std::vector<Oid> m_types;          // of the parameters, learnt at the first run
  std::vector<std::string> m_values;  // bound for the next run, binary
  PGresult* m_result = nullptr;       // of the query being read
  int m_row = -1;
  int m_column = 0;  // the next one to read
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_PG_STATEMENT_H_
