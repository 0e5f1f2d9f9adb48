// Conversions and helpers that every binding of the module hdfe._core uses.
#include <pybind11/pybind11.h>

#include <set>

#include "bindings.h"
#include "records.h"

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

py::tuple reduced(const std::string& type_name, const py::object& state) {
  return py::make_tuple(py::module_::import("hdfe._restore").attr("restore"), py::make_tuple(type_name, state));
}

void check_constructed(py::handle object, const std::type_info& type) {
  const py::detail::type_info* info = py::detail::get_type_info(type);
  if (!object || info == nullptr || !PyObject_TypeCheck(object.ptr(), info->type)) return;
  auto* instance = reinterpret_cast<py::detail::instance*>(object.ptr());
  const py::detail::value_and_holder held = instance->get_value_and_holder(info);
  // An object holds a value when it owns it through its holder, or when it refers to a value
  // owned elsewhere (vehicle.engine); an object that owns no holder has none.
  if (held && (held.holder_constructed() || !instance->owned)) return;
  const std::string name = py::str(py::type::handle_of(object).attr("__name__"));
  throw py::type_error("this hdfe." + name + " was never initialised (made by __new__ without __init__)");
}

void deprecated_alias(py::object cls, const char* old_name, const char* name) {
  const std::string message = std::string(old_name) + " is deprecated: use " + name;
  const std::string target = name;
  const auto warn = [message] {
    if (PyErr_WarnEx(PyExc_DeprecationWarning, message.c_str(), 2) != 0) throw py::error_already_set();
  };
  const py::cpp_function get([warn, target](const py::object& self) {
    warn();
    return py::object(self.attr(target.c_str()));
  });
  const py::cpp_function set([warn, target](const py::object& self, const py::object& value) {
    warn();
    self.attr(target.c_str()) = value;
  });
  cls.attr(old_name) = py::module_::import("builtins").attr("property")(get, set, py::none(), "Deprecated: " + target + ".");
}

void hide_from_dir(py::object cls, const std::vector<std::string>& names) {
  if (names.empty()) return;
  const std::set<std::string> hidden(names.begin(), names.end());
  cls.attr("__dir__") = py::cpp_function(
      [hidden](const py::object& self) {
        py::list shown;
        for (const py::handle name : py::module_::import("builtins").attr("object").attr("__dir__")(self)) {
          if (!hidden.count(name.cast<std::string>())) shown.append(name);
        }
        return shown;
      },
      py::is_method(cls));
}

}  // namespace hdfe::python
