// The extension module hdfe._core. The package hdfe (python/hdfe) is its public face.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include "bindings.h"
#include "hdfe/error.h"
#include "hdfe/hdfe.h"
#include "hdfe/units.h"

namespace hdfe::python {

py::str to_str(const std::string& text) {
  PyObject* object = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
  if (object == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(object);
}

std::string to_bytes(const py::handle& text) {
  if (!PyUnicode_Check(text.ptr())) throw py::type_error("expected a str");
  PyObject* encoded = PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape");
  if (encoded == nullptr) throw py::error_already_set();
  const auto bytes = py::reinterpret_steal<py::bytes>(encoded);
  return std::string(bytes);
}

namespace {

// Defined in Python so that it pickles by value (every attribute is an argument) and reads
// as hdfe.Error in tracebacks.
constexpr const char* ErrorClass = R"(
class Error(Exception):
    """A vehicle could not be loaded or run.

    ``str(error)`` is the message on one line, its details after "; ".

    Attributes:
        kind: the error kind, e.g. ``"missing_file"``, ``"bad_value"``, ``"end_of_file"``,
            ``"unknown_category"``, ``"vehicle_check"``, ``"interpolation"``, ``"limit"``
            or ``"bad_result"``.
        file: the file the error is about, or ``""``.
        lines: the message, then its details (a failed interpolation's return code).
    """

    def __init__(self, message, kind="", file="", lines=()):
        super().__init__(message, kind, file, tuple(lines))
        self.kind = kind
        self.file = file
        self.lines = tuple(lines)

    def __str__(self):
        return self.args[0]

Error.__module__ = "hdfe"
)";

}  // namespace

void bind_error(py::module_& m) {
  py::exec(ErrorClass, m.attr("__dict__"));
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const Error& e) {
      const py::object error_class = py::module_::import("hdfe._core").attr("Error");
      py::list lines;
      lines.append(to_str(e.message()));
      for (const std::string& detail : e.details()) lines.append(to_str(detail));
      const py::object error = error_class(to_str(e.what()), error_kind_name(e.kind()), to_str(e.file()), lines);
      PyErr_SetObject(error_class.ptr(), error.ptr());
    }
  });
}

}  // namespace hdfe::python

PYBIND11_MODULE(_core, m) {
  namespace py = pybind11;
  m.doc() = "The C++ core of hdfe. Use the package hdfe, which wraps it.";
  m.attr("program_version") = std::string(hdfe::ProgramVersion);
  m.attr("cycle_tables_version") = std::string(hdfe::CycleTablesVersion);
  m.attr("shortfall_km_per_h") = hdfe::ShortfallSpeedKmh;
  m.attr("diesel_density_kg_per_l") = hdfe::DieselDensityKgPerL;
  hdfe::python::bind_error(m);
  hdfe::python::bind_vehicle(m);
  hdfe::python::bind_run(m);
  hdfe::python::bind_batch(m);
}
