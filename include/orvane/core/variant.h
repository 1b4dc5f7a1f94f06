#ifndef ORVANE_CORE_VARIANT_H_
#define ORVANE_CORE_VARIANT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "orvane/core/date_time.h"

namespace orvane {

// The type of Null, the value that means "no value" (not the empty one).
struct NullType {
  // Every null equals every other.
  friend bool operator==(NullType, NullType) { return true; }
};
// The null value of a variant (distinct from the empty one).
inline constexpr NullType Null{};

// A value of one of a few kinds, for the arguments and fields that accept
// "any value": Empty (the default), Null, Boolean, Number, String, DateTime.
class Variant {
 public:
  enum class Kind { Empty, Null, Boolean, Number, String, DateTime };

  Variant() = default;
  Variant(NullType) : m_value(NullType{}) {}
  Variant(bool value) : m_value(value) {}
  Variant(int value) : m_value(static_cast<double>(value)) {}
  Variant(long value) : m_value(static_cast<double>(value)) {}
  Variant(long long value) : m_value(static_cast<double>(value)) {}
  Variant(unsigned value) : m_value(static_cast<double>(value)) {}
  Variant(short value) : m_value(static_cast<double>(value)) {}
  Variant(double value) : m_value(value) {}
  Variant(const char* value) : m_value(std::string(value)) {}
  Variant(std::string value) : m_value(std::move(value)) {}
  Variant(std::string_view value) : m_value(std::string(value)) {}
  Variant(DateTime value) : m_value(value) {}

  Kind kind() const { return static_cast<Kind>(m_value.index()); }
  bool IsEmpty() const { return kind() == Kind::Empty; }
  bool IsNull() const { return kind() == Kind::Null; }
  // Null or the empty string (the values NVL replaces).
  bool IsNullOrEmptyText() const;
  // True for numbers and booleans, and for text that reads completely as a
  // number in the local number form (blanks around it, sign, thousands
  // separators, decimal separator, exponent).
  bool IsNumeric() const;
  bool IsDate() const { return kind() == Kind::DateTime; }

  // The numeric value: numbers as they are, true as 1, dates as their serial,
  // numeric text in the local number form, anything else by the Val rule
  // (non-numeric text reads as 0).
  double NumberValue() const;
  // The ordinary text form: numbers by NumberText, booleans "True"/"False",
  // dates as dd/mm/yyyy hh:nn:ss (the date or the time part left out when
  // zero), Empty and Null as the empty string.
  std::string TextValue() const;
  // The date-time: dates as they are, numbers as a serial, text read as
  // dd/mm/yyyy hh:nn:ss. Returns false when the value holds no date.
  bool TryDateValue(DateTime& out) const;

  friend bool operator==(const Variant& a, const Variant& b) {
    return a.m_value == b.m_value;
  }

 private:
  std::variant<std::monostate, NullType, bool, double, std::string, DateTime>
      m_value;
};

}  // namespace orvane

#endif  // ORVANE_CORE_VARIANT_H_
