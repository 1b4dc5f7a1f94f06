#include "pg_statement.h"

#include <libpq-fe.h>

#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "durable_store.h"

namespace orvane::apps {

namespace {

// Type numbers of the server's catalog (pg_type), which never change.
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kInt8 = 20;
constexpr Oid kInt4 = 23;
constexpr Oid kFloat8 = 701;

// The binary forms are big-endian.
template <typename T>
std::string big_endian(T value) {
  std::string bytes(sizeof value, '\0');
  for (size_t i = 0; i < sizeof value; ++i) {
    bytes[sizeof value - 1 - i] = static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
  }
  return bytes;
}

uint64_t from_big_endian(std::string_view bytes) {
  uint64_t value = 0;
  for (char c : bytes) value = (value << 8) | static_cast<unsigned char>(c);
  return value;
}

// The server's words without the line end libpq adds.
std::string words(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "no answer from the server" : text;
}

std::string unique_name() {
  static std::atomic<uint64_t> next{0};
  return "orvane_" + std::to_string(++next);
}

}  // namespace

PgStatement::PgStatement(PGconn* connection, std::string sql)
    : m_connection(connection), m_name(unique_name()), m_sql(std::move(sql)) {}

PgStatement::~PgStatement() { PQclear(m_result); }

PgStatement& PgStatement::bind(int32_t value) {
  add(kInt4, big_endian(static_cast<uint32_t>(value)));
  return *this;
}

PgStatement& PgStatement::bind(int64_t value) {
  add(kInt8, big_endian(static_cast<uint64_t>(value)));
  return *this;
}

PgStatement& PgStatement::bind(bool value) {
  add(kBool, std::string(1, value ? '\1' : '\0'));
  return *this;
}

PgStatement& PgStatement::bind(double value) {
  add(kFloat8, big_endian(std::bit_cast<uint64_t>(value)));
  return *this;
}

PgStatement& PgStatement::bind(std::string_view value) {
  add(kBytea, std::string(value));
  return *this;
}

void PgStatement::add(Oid type, std::string bytes) {
  const size_t index = m_values.size();
  if (!m_prepared) {
    m_types.push_back(type);
  } else if (index >= m_types.size() || m_types[index] != type) {
    fail("a value of another type bound to parameter " + std::to_string(index + 1));
  }
  m_values.push_back(std::move(bytes));
}

int64_t PgStatement::run() {
  execute();
  const char* changed = PQcmdTuples(m_result);
  const int64_t rows = changed != nullptr && *changed != '\0' ? std::atoll(changed) : 0;
  reset();
  return rows;
}

bool PgStatement::step() {
  if (m_result == nullptr) execute();
  m_column = 0;
  if (++m_row < PQntuples(m_result)) return true;
  reset();
  return false;
}

size_t PgStatement::rows() const {
  return m_result == nullptr ? 0 : static_cast<size_t>(PQntuples(m_result));
}

void PgStatement::reset() {
  PQclear(m_result);
  m_result = nullptr;
  m_values.clear();
  if (!m_prepared) m_types.clear();
  m_row = -1;
  m_column = 0;
}

void PgStatement::execute() {
  PQclear(std::exchange(m_result, nullptr));
  if (!m_prepared) {
    if (m_values.size() != m_types.size()) fail("parameters bound twice");
    PGresult* prepared = PQprepare(m_connection, m_name.c_str(), m_sql.c_str(),
                                   static_cast<int>(m_types.size()), m_types.data());
    const bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
    const std::string error = ok ? "" : words(PQresultErrorMessage(prepared));
    PQclear(prepared);
    if (!ok)
      fail(error == "no answer from the server" ? words(PQerrorMessage(m_connection)) : error);
    m_prepared = true;
  }
  if (m_values.size() != m_types.size()) {
    fail(std::to_string(m_values.size()) + " values bound for " +
         std::to_string(m_types.size()) + " parameters");
  }
  std::vector<const char*> values;
  std::vector<int> lengths, formats(m_values.size(), 1);
  for (const std::string& value : m_values) {
    values.push_back(value.data());
    lengths.push_back(static_cast<int>(value.size()));
  }
  m_result = PQexecPrepared(m_connection, m_name.c_str(), static_cast<int>(values.size()),
                            values.data(), lengths.data(), formats.data(), 1);
  const ExecStatusType status = PQresultStatus(m_result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const char* message = PQresultErrorMessage(m_result);
    fail(words(message != nullptr && *message != '\0' ? message : PQerrorMessage(m_connection)));
  }
  m_row = -1;
}

std::string_view PgStatement::next(size_t size, Oid type) {
  const int column = m_column++;
  if (m_result == nullptr || m_row < 0 || m_row >= PQntuples(m_result) ||
      column >= PQnfields(m_result)) {
    fail("no column " + std::to_string(column + 1) + " to read");
  }
  if (PQftype(m_result, column) != type || PQgetisnull(m_result, m_row, column) ||
      (size > 0 && static_cast<size_t>(PQgetlength(m_result, m_row, column)) != size)) {
    fail("column " + std::to_string(column + 1) + " holds a value of another kind");
  }
  return {PQgetvalue(m_result, m_row, column),
          static_cast<size_t>(PQgetlength(m_result, m_row, column))};
}

PgStatement& PgStatement::column(int32_t& value) {
  value = static_cast<int32_t>(static_cast<uint32_t>(from_big_endian(next(4, kInt4))));
  return *this;
}

PgStatement& PgStatement::column(int64_t& value) {
  value = static_cast<int64_t>(from_big_endian(next(8, kInt8)));
  return *this;
}

PgStatement& PgStatement::column(bool& value) {
  value = next(1, kBool)[0] != '\0';
  return *this;
}

PgStatement& PgStatement::column(double& value) {
  value = std::bit_cast<double>(from_big_endian(next(8, kFloat8)));
  return *this;
}

PgStatement& PgStatement::column(std::string& value) {
  value.assign(next(0, kBytea));
  return *this;
}

void PgStatement::fail(const std::string& message) {
  reset();
  throw StoreError(message);
}

}  // namespace orvane::apps
