#ifndef ORVANE_PYTHON_BINDINGS_H_
#define ORVANE_PYTHON_BINDINGS_H_

// Shared pieces of the Python module: the conversion of orvane::Variant to
// and from plain Python values, helpers that bind a getter/setter pair as one
// Python property, and the binding functions of each subsystem.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "orvane/core/date_time.h"
#include "orvane/core/variant.h"

namespace pybind11::detail {

// None is Null; bool, int, float and str are Boolean, Number and String
// (an enumerator is its number); a DateTime stays one. Back in Python,
// Empty and Null are both None.
template <>
struct type_caster<orvane::Variant> {
  PYBIND11_TYPE_CASTER(orvane::Variant, const_name("Variant"));

  bool load(handle src, bool /*convert*/) {
    if (src.is_none()) {
      value = orvane::Null;
    } else if (PyBool_Check(src.ptr())) {
      value = src.ptr() == Py_True;
    } else if (PyLong_Check(src.ptr()) || PyFloat_Check(src.ptr())) {
      const double number = PyFloat_AsDouble(src.ptr());
      if (number == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
      }
      value = number;
    } else if (PyIndex_Check(src.ptr())) {  // the library's enumerations
      object index = reinterpret_steal<object>(PyNumber_Index(src.ptr()));
      const double number = index ? PyLong_AsDouble(index.ptr()) : -1.0;
      if (!index || (number == -1.0 && PyErr_Occurred())) {
        PyErr_Clear();
        return false;
      }
      value = number;
    } else if (PyUnicode_Check(src.ptr())) {
      value = src.cast<std::string>();
    } else if (isinstance<orvane::DateTime>(src)) {
      value = src.cast<orvane::DateTime>();
    } else {
      return false;
    }
    return true;
  }

  static handle cast(const orvane::Variant& src, return_value_policy /*policy*/,
                     handle /*parent*/) {
    using Kind = orvane::Variant::Kind;
    switch (src.kind()) {
      case Kind::Empty:
      case Kind::Null:
        return none().release();
      case Kind::Boolean:
        return bool_(src.NumberValue() != 0).release();
      case Kind::Number:
        return float_(src.NumberValue()).release();
      case Kind::String:
        return str(src.TextValue()).release();
      case Kind::DateTime: {
        orvane::DateTime date;
        src.TryDateValue(date);
        return pybind11::cast(date).release();
      }
    }
    return none().release();
  }
};

}  // namespace pybind11::detail

// A getter/setter pair of one name as a read-write Python property, and a
// getter as a read-only one.
#define ORVANE_PROPERTY(Class, Type, Name)                         \
  def_property(                                                    \
      #Name, [](const Class& self) { return self.Name(); },        \
      [](Class& self, Type value) { self.Name(value); })
#define ORVANE_READONLY(Class, Name) \
  def_property_readonly(#Name, [](const Class& self) { return self.Name(); })

namespace orvane::python {

// The members of a keyed collection in insertion order, copied, so that
// Python may walk them while the engine changes the collection.
template <typename Collection>
auto Members(const Collection& collection) {
  if constexpr (requires { collection.NewEnum(); }) {
    return collection.NewEnum();
  } else {
    return collection.Items().Snapshot();
  }
}

// Binds Count, Item (key text or 1-based position, None for a miss), len()
// and iteration over a snapshot.
template <typename Class, typename Collection>
void BindCollection(Class& cls) {
  cls.def("Count", &Collection::Count)
      .def("Item", &Collection::Item, pybind11::arg("vntIndexKey"))
      .def("__len__", &Collection::Count)
      .def("__iter__", [](const Collection& self) {
        return pybind11::iter(pybind11::cast(Members(self)));
      });
}

void BindCore(pybind11::module_& m);
void BindMarket(pybind11::module_& m);
void BindAccounts(pybind11::module_& m);
void BindEngine(pybind11::module_& m);
void BindProtocol(pybind11::module_& m);

}  // namespace orvane::python

#endif  // ORVANE_PYTHON_BINDINGS_H_
