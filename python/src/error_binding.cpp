// hdfe.Error: the library's errors as the Python class python/hdfe/_errors.py.
#include <pybind11/pybind11.h>

#include "bindings.h"
#include "hdfe/error.h"

namespace hdfe::python {

void bind_error(py::module_&) {
  // hdfe.Error is a Python class (python/hdfe/_errors.py): it pickles as any exception and
  // reads as hdfe.Error in tracebacks. It is imported when the first error is raised.
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const Error& e) {
      const py::object error_class = py::module_::import("hdfe._errors").attr("Error");
      const py::object error = error_class(to_str(e.what()), error_kind_name(e.kind()), to_str(e.file()), e.line());
      PyErr_SetObject(error_class.ptr(), error.ptr());
    }
  });
}

}  // namespace hdfe::python
