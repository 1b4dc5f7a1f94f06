#include "orvane/core/variant.h"

#include <cstdio>

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

// Reads "dd/mm/yyyy[ hh:nn[:ss]]" or "hh:nn[:ss]".
bool parse_date_text(std::string_view text, DateTime& out) {
  text = Trim(text);
  int d = 0, m = 0, y = 0, h = 0, n = 0, s = 0;
  const std::string copy(text);
  char tail = 0;
  if (std::sscanf(copy.c_str(), "%d/%d/%d %d:%d:%d%c", &d, &m, &y, &h, &n, &s,
                  &tail) >= 3 &&
      tail == 0) {
    out = DateTime::FromParts(y, m, d, h, n, s);
    return d >= 1 && d <= 31 && m >= 1 && m <= 12;
  }
  if (std::sscanf(copy.c_str(), "%d:%d:%d%c", &h, &n, &s, &tail) >= 2 &&
      tail == 0) {
    out = DateTime::FromParts(1899, 12, 30, h, n, s);
    return h >= 0 && h < 24 && n >= 0 && n < 60;
  }
  return false;
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
