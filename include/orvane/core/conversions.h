#ifndef ORVANE_CORE_CONVERSIONS_H_
#define ORVANE_CORE_CONVERSIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvane/core/variant.h"

// The number conversions every part of the library shares. Each rule has
// exactly one implementation, here.
namespace orvane {

// The Val rule: skip blanks, read an optional sign, digits, at most one "."
// as decimal point and an optional exponent, stopping at the first character
// that does not fit. Text that does not begin with a number reads as 0.
// Independent of the local number form.
double Val(std::string_view text);

// Rounds half to even to a 16- or 32-bit integer. Throws Error(Overflow)
// when the rounded value is out of range (or not a number).
int16_t ToInt16(double value);
// The same to a 32-bit integer.
int32_t ToInt32(double value);
// As above for a variant: numeric values by their number, anything that is
// not numeric throws Error(TypeMismatch) naming the value.
int16_t ToInt16(const Variant& value);
// The same to a 32-bit integer.
int32_t ToInt32(const Variant& value);
// A 32-bit integer from text that must hold a number (trimmed, local number
// form); throws Error(TypeMismatch) naming the text, or Error(Overflow).
int32_t TextToInt32(std::string_view text);
// The same to a 16-bit integer.
int16_t TextToInt16(std::string_view text);

// Rounds to 2 decimals, halves to the even neighbour. A value whose decimal
// text ends in an exact half (2.675) counts as a half even though its
// binary form lies a hair below or above it.
double RoundMoney(double value);
// Rounds to `decimals` decimals (0..15), halves to even, with the same
// decimal-half rule.
double RoundHalfEven(double value, int decimals);
// Rounds to `decimals` decimals, halves away from zero, with the same
// decimal-half rule.
double RoundHalfAway(double value, int decimals);

// The ordinary text form of a number: up to 15 significant digits, no
// thousands grouping, no trailing zeros, the local decimal separator,
// exponent form (1E+16, 1E-05) for very large or small values.
std::string NumberText(double value);

// Whether text reads completely as a number in the local number form.
bool IsNumericText(std::string_view text);
// Variant::IsNumeric.
inline bool IsNumeric(const Variant& value) { return value.IsNumeric(); }
// Reads text in the local number form; false (out untouched) when the text
// is not completely a number.
bool ParseLocalNumber(std::string_view text, double& out);

// `fallback` when `value` is null or the empty string, else `value`.
Variant Nvl(const Variant& value, const Variant& fallback);

// Blanks (spaces and tabs) removed from both ends.
std::string_view Trim(std::string_view text);
// ASCII letters upper-cased; other characters unchanged.
std::string ToUpper(std::string_view text);
// ASCII letters lower-cased; other characters unchanged.
std::string ToLower(std::string_view text);

}  // namespace orvane

#endif  // ORVANE_CORE_CONVERSIONS_H_
