// Read-only records of the library bound field by field: one list of fields per record gives
// its attributes, repr, equality, to_dict and pickled state, so that none of them is written
// out by hand and they cannot drift apart.
#pragma once
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "bindings.h"
#include "hdfe/hdfe.h"

namespace hdfe::python {

// Enumerations travel as their lower-case names, as the JSON writes them.
const char* enum_name(TransmissionType type);
std::string enum_name(RunFinding::Kind kind);
std::string enum_name(RunWarning::Kind kind);
// The value of that name; ValueError for another name.
void enum_from(const py::handle& name, TransmissionType& out);
void enum_from(const py::handle& name, RunFinding::Kind& out);
void enum_from(const py::handle& name, RunWarning::Kind& out);

// A member's value as Python holds it, and back; TypeError or ValueError for a wrong value.
template <typename M>
py::object to_python(const M& value) {
  if constexpr (std::is_same_v<M, std::string>) {
    return to_str(value);
  } else if constexpr (std::is_same_v<M, std::filesystem::path>) {
    return to_str(value.string());
  } else if constexpr (std::is_enum_v<M>) {
    return py::str(enum_name(value));
  } else {
    return py::cast(value);
  }
}

template <typename M>
void from_python(const py::handle& object, M& out) {
  if constexpr (std::is_same_v<M, std::string>) {
    out = to_bytes(object);
  } else if constexpr (std::is_same_v<M, std::filesystem::path>) {
    out = std::filesystem::path(to_bytes(object));
  } else if constexpr (std::is_enum_v<M>) {
    enum_from(object, out);
  } else {
    out = object.cast<M>();
  }
}

// The pickled state's layout; another number is refused.
inline constexpr int RecordStateVersion = 1;

// Lists, tuples and records (anything with to_dict) as plain lists and dicts.
py::object plain(const py::handle& value);

// A property `old_name` that forwards to `name` and warns that the old name is deprecated.
void deprecated_alias(py::object cls, const char* old_name, const char* name);
// dir() of the class's objects without those names.
void hide_from_dir(py::object cls, const std::vector<std::string>& names);

template <typename T>
class Record {
 public:
  Record(py::module_& m, const char* name, const char* doc) : module_(m), class_(m, name, doc), fields_(std::make_shared<Fields>()) {
    static_assert(bound_class<T>, "mark the record's type in constructed.h");
    class_.attr("__module__") = "hdfe";
  }

  template <typename M>
  Record& field(const char* name, M T::*member, const char* doc) {
    fields_->push_back(Field{name, [member](const T& o) { return to_python(o.*member); },
                             [member](T& o, const py::handle& v) { from_python(v, o.*member); }});
    class_.def_property_readonly(name, [member](const T& o) { return to_python(o.*member); }, doc);
    return *this;
  }

  // A field that Python may assign too; `check` refuses a wrong value (ValueError).
  template <typename M>
  Record& editable(const char* name, M T::*member, const char* doc, void (*check)(const char*, const M&) = nullptr) {
    const std::string label = name;
    const auto set = [member, check, label](T& o, const py::handle& v) {
      M value;
      from_python(v, value);
      if (check) check(label.c_str(), value);
      o.*member = std::move(value);
    };
    fields_->push_back(Field{name, [member](const T& o) { return to_python(o.*member); }, set});
    class_.def_property(
        name, [member](const T& o) { return to_python(o.*member); },
        [set](T& o, const py::object& v) { set(o, v); }, doc);
    return *this;
  }

  // An earlier name of a field: still read and written, with a DeprecationWarning, and left
  // out of dir().
  Record& alias(const char* old_name, const char* name) {
    deprecated_alias(class_, old_name, name);
    aliases_->push_back(old_name);
    return *this;
  }

  // Adds repr, ==, to_dict and pickling; call after the last field.
  py::class_<T>& finish() {
    const auto fields = fields_;
    const std::string type_name = py::str(class_.attr("__name__"));
    class_.def(
        "to_dict",
        [fields](const T& o) {
          py::dict out;
          for (const Field& f : *fields) out[py::str(f.name)] = plain(f.get(o));
          return out;
        },
        "The fields as a plain dict (records as dicts, lists as lists).");
    class_.def("__repr__", [fields, type_name](const T& o) {
      std::string text = type_name + "(";
      for (std::size_t k = 0; k < fields->size(); ++k) {
        const Field& f = (*fields)[k];
        text += (k ? ", " : "") + f.name + "=" + std::string(py::repr(f.get(o)));
      }
      return text + ")";
    });
    class_.def(
        "__eq__",
        [fields](const T& a, const py::object& other) -> py::object {
          if (!py::isinstance<T>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
          const T& b = other.cast<const T&>();
          for (const Field& f : *fields) {
            if (!f.get(a).equal(f.get(b))) return py::bool_(false);
          }
          return py::bool_(true);
        },
        py::is_operator());
    class_.attr("__hash__") = py::none();
    hide_from_dir(class_, *aliases_);
    const std::string restore = "_restore_" + type_name;
    module_.def(
        restore.c_str(),
        [fields, type_name](const py::object& state) {
          if (!py::isinstance<py::dict>(state)) throw py::value_error("not a pickled hdfe." + type_name);
          const auto d = state.cast<py::dict>();
          if (!d.contains("version") || !py::object(d["version"]).equal(py::int_(RecordStateVersion)) ||
              d.size() != fields->size() + 1) {
            throw py::value_error("not a pickled hdfe." + type_name + " of this version");
          }
          T o;
          for (const Field& f : *fields) {
            if (!d.contains(f.name)) throw py::value_error("a pickled hdfe." + type_name + " without " + f.name);
            try {
              f.set(o, d[py::str(f.name)]);
            } catch (const std::exception&) {
              throw py::value_error("a pickled hdfe." + type_name + " with a wrong " + f.name);
            }
          }
          return o;
        },
        "Restores a pickled record.");
    class_.def("__reduce__", [fields, type_name](const T& o) {
      py::dict state;
      state["version"] = RecordStateVersion;
      for (const Field& f : *fields) state[py::str(f.name)] = f.get(o);
      return reduced(type_name, state);
    });
    return class_;
  }

  py::class_<T>& cls() { return class_; }

 private:
  struct Field {
    std::string name;
    std::function<py::object(const T&)> get;
    std::function<void(T&, const py::handle&)> set;
  };
  using Fields = std::vector<Field>;

  py::module_ module_;
  py::class_<T> class_;
  std::shared_ptr<Fields> fields_;
  std::shared_ptr<std::vector<std::string>> aliases_ = std::make_shared<std::vector<std::string>>();
};

}  // namespace hdfe::python
