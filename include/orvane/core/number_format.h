#ifndef ORVANE_CORE_NUMBER_FORMAT_H_
#define ORVANE_CORE_NUMBER_FORMAT_H_

namespace orvane {

// The process-wide "local number form": the decimal and thousands separators
// used wherever a number is written for a person or read back from such text.
// Wire fields that must not depend on it (the Val rule) ignore it.
struct NumberFormat {
  char decimal = '.';    // the decimal separator
  char thousands = ',';  // the thousands separator
};

// The local number form in force (initially "." and ",").
const NumberFormat& CurrentNumberFormat();
// Replaces the local number form for the whole process.
void SetNumberFormat(NumberFormat format);

}  // namespace orvane

#endif  // ORVANE_CORE_NUMBER_FORMAT_H_
