#ifndef ORVANE_TESTS_SUPPORT_NUMBER_FORMAT_H_
#define ORVANE_TESTS_SUPPORT_NUMBER_FORMAT_H_

// Sets the process-wide number form for a scope and restores the one before.

#include "orvane/core/number_format.h"

namespace orvane::test {

class ScopedNumberFormat {
 public:
  explicit ScopedNumberFormat(NumberFormat format) : m_saved(CurrentNumberFormat()) {
    SetNumberFormat(format);
  }
  ~ScopedNumberFormat() { SetNumberFormat(m_saved); }
  ScopedNumberFormat(const ScopedNumberFormat&) = delete;
  ScopedNumberFormat& operator=(const ScopedNumberFormat&) = delete;

 private:
  NumberFormat m_saved;
};

}  // namespace orvane::test

#endif  // ORVANE_TESTS_SUPPORT_NUMBER_FORMAT_H_
