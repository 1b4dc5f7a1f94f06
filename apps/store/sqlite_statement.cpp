#include "sqlite_statement.h"

#include <sqlite3.h>

#include <cstring>
#include <limits>

#include "sqlite_store.h"

namespace orvane::apps {

SqlStatement::SqlStatement(sqlite3* db, std::string_view sql) : m_db(db) {
  const int code = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr);
  if (code != SQLITE_OK) {
    throw StoreError(std::string(sqlite3_errmsg(db)) + " in: " + std::string(sql));
  }
}

SqlStatement::~SqlStatement() { sqlite3_finalize(m_statement); }

SqlStatement& SqlStatement::bind(int32_t value) {
  const int code = sqlite3_bind_int(m_statement, ++m_parameter, value);
  if (code != SQLITE_OK) fail(code);
  return *this;
}

SqlStatement& SqlStatement::bind(int64_t value) {
  const int code = sqlite3_bind_int64(m_statement, ++m_parameter, value);
  if (code != SQLITE_OK) fail(code);
  return *this;
}

SqlStatement& SqlStatement::bind(bool value) { return bind(int32_t{value ? 1 : 0}); }

SqlStatement& SqlStatement::bind(double value) {
  const int code = sqlite3_bind_double(m_statement, ++m_parameter, value);
  if (code != SQLITE_OK) fail(code);
  return *this;
}

SqlStatement& SqlStatement::bind(std::string_view value) {
  // A text of no bytes still binds a text, never NULL.
  static constexpr char kNothing[] = "";
  const int code = sqlite3_bind_text64(m_statement, ++m_parameter,
                                       value.empty() ? kNothing : value.data(), value.size(),
                                       SQLITE_STATIC, SQLITE_UTF8);
  if (code != SQLITE_OK) fail(code);
  return *this;
}

void SqlStatement::run() {
  const int code = sqlite3_step(m_statement);
  if (code != SQLITE_DONE && code != SQLITE_ROW) fail(code);
  reset();
}

bool SqlStatement::step() {
  m_column = 0;
  const int code = sqlite3_step(m_statement);
  if (code == SQLITE_ROW) return true;
  if (code != SQLITE_DONE) fail(code);
  reset();
  return false;
}

void SqlStatement::reset() {
  sqlite3_reset(m_statement);
  m_parameter = 0;
  m_column = 0;
}

SqlStatement& SqlStatement::column(int32_t& value) {
  value = sqlite3_column_int(m_statement, m_column++);
  return *this;
}

SqlStatement& SqlStatement::column(int64_t& value) {
  value = sqlite3_column_int64(m_statement, m_column++);
  return *this;
}

SqlStatement& SqlStatement::column(bool& value) {
  value = sqlite3_column_int(m_statement, m_column++) != 0;
  return *this;
}

SqlStatement& SqlStatement::column(double& value) {
  const int column = m_column++;
  value = sqlite3_column_type(m_statement, column) == SQLITE_NULL
              ? std::numeric_limits<double>::quiet_NaN()
              : sqlite3_column_double(m_statement, column);
  return *this;
}

SqlStatement& SqlStatement::column(std::string& value) {
  const int column = m_column++;
  const auto* text = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
  const int bytes = sqlite3_column_bytes(m_statement, column);
  value.assign(text == nullptr ? "" : text, text == nullptr ? 0 : static_cast<size_t>(bytes));
  return *this;
}

void SqlStatement::fail(int code) {
  // The connection's message is the detailed one; the code's text stands in
  // when another call has replaced it.
  std::string message = sqlite3_errcode(m_db) == code ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
  // What the operating system said is what a person can act on.
  const int error = sqlite3_system_errno(m_db);
  if ((code & 0xff) == SQLITE_IOERR || (code & 0xff) == SQLITE_FULL ||
      (code & 0xff) == SQLITE_CANTOPEN) {
    message += error != 0 ? " (" + std::string(std::strerror(error)) + ")" : std::string();
  }
  sqlite3_reset(m_statement);
  m_parameter = 0;
  m_column = 0;
  throw StoreError(message);
}

}  // namespace orvane::apps
