#include "orvane/core/variant.h"

#include <cstdio>
#include <string_view>

#include "orvane/core/conversions.h"

namespace orvane {
namespace {

std::string two_digits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string date_text(DateTime t) {
  std::string text;
  const bool has_date = t.DatePart().Serial() != 0;
  const bool has_time = t.TimePart().Serial() != 0;
  if (has_date || !has_time) {
    text = two_digits(t.Day()) + "/" + two_digits(t.Month()) + "/" +
           std::to_string(t.Year());
  }
  if (has_time) {
    if (!text.empty()) text += " ";
    text += two_digits(t.Hour()) + ":" + two_digits(t.Minute()) + ":" +
            two_digits(t.Second());
  }
  return text;
}

// Reads up to `count` numbers of at most 4 digits each, separated by the
// given separators; returns how many were read, or -1 when text remains.
int read_numbers(std::string_view text, const char* separators, int* out,
                 int count) {
  int read = 0;
  size_t i = 0;
  while (read < count) {
    size_t digits = 0;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++digits > 4) return -1;
      value = value * 10 + (text[i++] - '0');
    }
    if (digits == 0) return -1;
    out[read++] = value;
    if (i == text.size()) return read;
    if (read == count || text[i] != separators[read - 1]) return -1;
    ++i;
  }
  return i == text.size() ? read : -1;
}

// Reads "dd/mm/yyyy[ hh:nn[:ss]]" or "hh:nn[:ss]".
bool parse_date_text(std::string_view text, DateTime& out) {
  text = Trim(text);
  int parts[6] = {0, 0, 0, 0, 0, 0};
  const size_t space = text.find(' ');
  if (text.find('/') != std::string_view::npos) {
    const std::string_view date = text.substr(0, space);
    if (read_numbers(date, "//", parts, 3) != 3) return false;
    if (space != std::string_view::npos &&
        read_numbers(Trim(text.substr(space)), "::", parts + 3, 3) < 2) {
      return false;
    }
    if (parts[0] < 1 || parts[0] > 31 || parts[1] < 1 || parts[1] > 12) {
      return false;
    }
    out = DateTime::FromParts(parts[2], parts[1], parts[0], parts[3], parts[4],
                              parts[5]);
    return true;
  }
  if (read_numbers(text, "::", parts + 3, 3) < 2) return false;
  if (parts[3] > 23 || parts[4] > 59 || parts[5] > 59) return false;
  out = DateTime::FromParts(1899, 12, 30, parts[3], parts[4], parts[5]);
  return true;
}

}  // namespace

bool Variant::IsNullOrEmptyText() const {
  if (IsNull()) return true;
  const auto* text = std::get_if<std::string>(&m_value);
  return text != nullptr && text->empty();
}

bool Variant::IsNumeric() const {
  switch (kind()) {
    case Kind::Number:
    case Kind::Boolean:
      return true;
    case Kind::String:
      return IsNumericText(std::get<std::string>(m_value));
    default:
      return false;
  }
}

double Variant::NumberValue() const {
  switch (kind()) {
    case Kind::Number:
      return std::get<double>(m_value);
    case Kind::Boolean:
      return std::get<bool>(m_value) ? 1.0 : 0.0;
    case Kind::DateTime:
      return std::get<DateTime>(m_value).Serial();
    case Kind::String: {
      const std::string& text = std::get<std::string>(m_value);
      double value = 0;
      if (ParseLocalNumber(text, value)) return value;
      return Val(text);
    }
    default:
      return 0;
  }
}

std::string Variant::TextValue() const {
  switch (kind()) {
    case Kind::Number:
      return NumberText(std::get<double>(m_value));
    case Kind::Boolean:
      return std::get<bool>(m_value) ? "True" : "False";
    case Kind::String:
      return std::get<std::string>(m_value);
    case Kind::DateTime:
      return date_text(std::get<DateTime>(m_value));
    default:
      return std::string();
  }
}

bool Variant::TryDateValue(DateTime& out) const {
  switch (kind()) {
    case Kind::DateTime:
      out = std::get<DateTime>(m_value);
      return true;
    case Kind::Number:
      out = DateTime(std::get<double>(m_value));
      return true;
    case Kind::String:
      return parse_date_text(std::get<std::string>(m_value), out);
    default:
      return false;
  }
}

}  // namespace orvane
