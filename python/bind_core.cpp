// The error type, date-times and the process clock.

#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "bindings.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"

namespace py = pybind11;

namespace orvane::python {

namespace {

// Serials beyond these (years 1 to 9999) have no calendar parts.
constexpr double kFirstSerial = -693593;
constexpr double kLastSerial = 2958466;
// Calendar parts roll over; beyond this they are mistakes.
constexpr int kLargestPart = 1000000;

DateTime CheckedDate(double serial) {
  if (!std::isfinite(serial) || serial < kFirstSerial || serial >= kLastSerial) {
    throw py::value_error("a date-time serial must lie within the years 1 to 9999");
  }
  return DateTime(serial);
}

DateTime DateFromParts(int year, int month, int day, int hour, int minute, int second) {
  if (year < 0 || year > 9999) throw py::value_error("the year must lie within 0..9999");
  for (int part : {month, day, hour, minute, second}) {
    if (std::abs(part) > kLargestPart) {
      throw py::value_error("a date-time part is out of range");
    }
  }
  return CheckedDate(DateTime::FromParts(year, month, day, hour, minute, second).Serial());
}

void BindError(py::module_& m) {
  py::enum_<ErrorCode>(m, "ErrorCode")
      .value("TypeMismatch", ErrorCode::TypeMismatch)
      .value("Overflow", ErrorCode::Overflow)
      .value("SubscriptOutOfRange", ErrorCode::SubscriptOutOfRange)
      .value("DuplicateKey", ErrorCode::DuplicateKey)
      .value("ObjectRequired", ErrorCode::ObjectRequired)
      .value("InvalidArgument", ErrorCode::InvalidArgument)
      .value("FileError", ErrorCode::FileError);
  // orvane.Error carries the library's code in its `code` attribute.
  static py::exception<Error> error_type(m, "Error", PyExc_RuntimeError);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const Error& e) {
      py::object error = py::reinterpret_borrow<py::object>(error_type)(e.what());
      error.attr("code") = e.code();
      PyErr_SetObject(error_type.ptr(), error.ptr());
    }
  });
}

void BindDateTime(py::module_& m) {
  py::class_<DateTime>(m, "DateTime")
      .def(py::init<>())
      .def(py::init(&CheckedDate), py::arg("serial"))
      .def_static("FromParts", &DateFromParts, py::arg("year"), py::arg("month"),
                  py::arg("day"), py::arg("hour") = 0, py::arg("minute") = 0,
                  py::arg("second") = 0)
      .def("Serial", &DateTime::Serial)
      .def("Year", &DateTime::Year)
      .def("Month", &DateTime::Month)
      .def("Day", &DateTime::Day)
      .def("Hour", &DateTime::Hour)
      .def("Minute", &DateTime::Minute)
      .def("Second", &DateTime::Second)
      .def("Weekday", &DateTime::Weekday)
      .def("__eq__", [](DateTime a, DateTime b) { return a == b; })
      .def("__lt__", [](DateTime a, DateTime b) { return a < b; })
      .def("__hash__", [](DateTime a) { return py::hash(py::float_(a.Serial())); })
      .def("__str__", [](DateTime a) { return Variant(a).TextValue(); })
      .def("__repr__", [](DateTime a) { return "DateTime('" + Variant(a).TextValue() + "')"; });
}

void BindClock(py::module_& m) {
  py::class_<Clock, std::shared_ptr<Clock>>(m, "Clock").def("Now", &Clock::Now);
  py::class_<FixedClock, Clock, std::shared_ptr<FixedClock>>(m, "FixedClock")
      .def(py::init<DateTime>(), py::arg("now") = DateTime())
      .def("Set", &FixedClock::Set, py::arg("now"))
      .def("Advance", &FixedClock::Advance, py::arg("days"))
      .def("AdvanceSeconds", &FixedClock::AdvanceSeconds, py::arg("seconds"));
  m.def("Now", &Now, "The current local date-time from the process clock.");
  m.def("SetClock", &SetClock, py::arg("clock"),
        "Replaces the process clock (trading hours follow it); None restores the system "
        "clock.");
}

}  // namespace

void BindCore(py::module_& m) {
  BindError(m);
  BindDateTime(m);
  BindClock(m);
}

}  // namespace orvane::python
