// hdfe.Cycle: a drive cycle from a CSV file or from arrays, back as arrays, picklable; and
// the library's cycles by name. The package adds the DataFrame constructor (python/hdfe).
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <set>

#include "bindings.h"
#include "hdfe/cycle.h"

namespace hdfe::python {

namespace {

constexpr int CycleStateVersion = 1;

// A 1-D array of numbers as doubles; ValueError naming `what` for another shape.
std::vector<double> cycle_numbers(const py::handle& object, const std::string& what) {
  const auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!array || array.ndim() != 1) throw py::value_error(what + " must be a 1-D sequence of numbers");
  return std::vector<double>(array.data(), array.data() + array.size());
}

std::vector<std::string> cycle_labels(const py::handle& object, const std::string& what) {
  if (py::isinstance<py::str>(object) || !py::isinstance<py::iterable>(object)) {
    throw py::type_error(what + " must be a sequence of str");
  }
  std::vector<std::string> labels;
  for (const py::handle label : object) {
    if (!py::isinstance<py::str>(label)) throw py::type_error(what + " must hold str only");
    labels.push_back(to_bytes(label));
  }
  return labels;
}

void check_name(const std::string& name) {
  if (name.empty()) throw py::value_error("a cycle needs a name");
}

// The cycle of those columns, checked as a cycle file's are; ValueError when it is no cycle.
Cycle cycle_of(const std::string& name, const py::handle& speed, const py::handle& grade, const py::handle& phase) {
  check_name(name);
  Cycle c;
  c.name = name;
  c.target_speed_km_per_h = cycle_numbers(speed, "speed_km_per_h");
  if (!grade.is_none()) c.grade_percent = cycle_numbers(grade, "grade_percent");
  if (!phase.is_none()) c.phase = cycle_labels(phase, "phase");
  try {
    check_cycle_values(c);
  } catch (const Error& error) {
    throw py::value_error(error.what());
  }
  return c;
}

py::array_t<double> cycle_array(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::object cycle_label_list(const std::vector<std::string>& labels) {
  py::list out;
  for (const std::string& label : labels) out.append(to_str(label));
  return out;
}

py::object optional_cycle_array(const std::vector<double>& values) {
  return values.empty() ? py::object(py::none()) : py::object(cycle_array(values));
}

py::object optional_cycle_labels(const std::vector<std::string>& labels) {
  return labels.empty() ? py::object(py::none()) : cycle_label_list(labels);
}

py::dict cycle_state(const Cycle& c) {
  py::dict state;
  state["version"] = CycleStateVersion;
  state["name"] = to_str(c.name);
  state["speed_km_per_h"] = cycle_array(c.target_speed_km_per_h);
  state["grade_percent"] = optional_cycle_array(c.grade_percent);
  state["phase"] = optional_cycle_labels(c.phase);
  state["source"] = to_str(c.source);
  state["resampled"] = to_str(c.resampled);
  return state;
}

Cycle cycle_from(const py::object& object) {
  static const std::set<std::string> parts = {"version", "name", "speed_km_per_h", "grade_percent",
                                              "phase", "source", "resampled"};
  if (!py::isinstance<py::dict>(object)) throw py::value_error("not a pickled hdfe.Cycle");
  const auto state = object.cast<py::dict>();
  std::set<std::string> keys;
  for (const auto item : state) keys.insert(py::str(item.first).cast<std::string>());
  if (keys != parts || !py::object(state["version"]).equal(py::int_(CycleStateVersion))) {
    throw py::value_error("not a pickled hdfe.Cycle of this version");
  }
  try {
    Cycle c = cycle_of(to_bytes(state["name"]), state["speed_km_per_h"], state["grade_percent"], state["phase"]);
    c.source = to_bytes(state["source"]);
    c.resampled = to_bytes(state["resampled"]);
    return c;
  } catch (const std::exception& error) {
    throw py::value_error(std::string("not a pickled hdfe.Cycle: ") + error.what());
  }
}

bool same_cycle(const Cycle& a, const Cycle& b) {
  return a.name == b.name && a.target_speed_km_per_h == b.target_speed_km_per_h &&
         a.grade_percent == b.grade_percent && a.phase == b.phase && a.source == b.source &&
         a.resampled == b.resampled;
}

}  // namespace

std::vector<Cycle> cycles_of(const py::handle& cycles) {
  std::vector<Cycle> out;
  for (const py::handle cycle : cycles) out.push_back(cycle.cast<const Cycle&>());
  return out;
}

void bind_cycle(py::module_& m) {
  py::class_<Cycle> c(m, "Cycle", R"(A drive cycle at whole seconds: point k is second k, point 0 the start.

Cycle(name, speed_km_per_h, grade_percent=None, phase=None) takes the target speeds [km/h]
of points 0..n, and optionally the road gradient [%] and a phase label per point; the
values are checked as a cycle file's are (ValueError). Cycle.read(path) reads a cycle file,
Cycle.from_frame(frame) a DataFrame of a cycle file's columns, Cycle.library(name) a cycle of
the library (hdfe.library_cycles()); to_frame() gives the cycle file's columns back. Run
cycles with hdfe.run(vehicle, cycles=[...]). A Cycle pickles.)");
  c.attr("__module__") = "hdfe";
  c.def(py::init([](const py::object& name, const py::object& speed, const py::object& grade, const py::object& phase) {
          if (!py::isinstance<py::str>(name)) throw py::type_error("a cycle's name is a str");
          return cycle_of(to_bytes(name), speed, grade, phase);
        }),
        py::arg("name"), py::arg("speed_km_per_h"), py::arg("grade_percent") = py::none(), py::arg("phase") = py::none());
  c.def_static(
      "read",
      [](const std::filesystem::path& path) {
        py::gil_scoped_release unlocked;
        return read_cycle_file(path);
      },
      py::arg("path"),
      "Reads a cycle file (CSV: time_s, one speed column, optional grade_percent and phase), named "
      "after the file's stem. Raises hdfe.Error naming the file and line.");
  c.def_property(
      "name", [](const Cycle& o) { return to_str(o.name); },
      [](Cycle& o, const py::object& name) {
        if (!py::isinstance<py::str>(name)) throw py::type_error("a cycle's name is a str");
        std::string text = to_bytes(name);
        check_name(text);
        o.name = std::move(text);
      },
      "The cycle's name: the figures, the trace's cycle column and the JSON name it.");
  c.def_property_readonly("speed_km_per_h", [](const Cycle& o) { return cycle_array(o.target_speed_km_per_h); },
                          "The target speed at each point [km/h] (a new array).");
  c.def_property_readonly("grade_percent", [](const Cycle& o) { return optional_cycle_array(o.grade_percent); },
                          "The road gradient at each point [%] (a new array), or None for a level road.");
  c.def_property_readonly("phase", [](const Cycle& o) { return optional_cycle_labels(o.phase); },
                          "The phase label of each point (a new list), or None.");
  c.def_property(
      "source", [](const Cycle& o) { return to_str(o.source); },
      [](Cycle& o, const py::object& source) {
        if (!py::isinstance<py::str>(source)) throw py::type_error("a cycle's source is a str");
        o.source = to_bytes(source);
      },
      "Where the cycle comes from: the library's source, the file read, or as the user names it.");
  c.def_property_readonly("resampled", [](const Cycle& o) { return to_str(o.resampled); },
                          "How the file's rows were resampled to whole seconds; empty when they were not.");
  c.def_property_readonly(
      "duration_s", [](const Cycle& o) { return static_cast<int64_t>(o.target_speed_km_per_h.size()) - 1; },
      "Seconds driven: the points less one.");
  c.def("__len__", [](const Cycle& o) { return o.target_speed_km_per_h.size(); }, "The points, 0..n.");
  c.def(
      "__eq__",
      [](const Cycle& a, const py::object& other) -> py::object {
        if (!py::isinstance<Cycle>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(same_cycle(a, other.cast<const Cycle&>()));
      },
      py::is_operator());
  c.attr("__hash__") = py::none();
  c.def("__repr__", [](const Cycle& o) {
    return py::str("<hdfe.Cycle {!r}: {} s{}{}>")
        .format(to_str(o.name), static_cast<int64_t>(o.target_speed_km_per_h.size()) - 1,
                o.grade_percent.empty() ? "" : ", with gradient", o.phase.empty() ? "" : ", with phases");
  });
  c.def("__copy__", [](const Cycle& o) { return Cycle(o); });
  c.def("__deepcopy__", [](const Cycle& o, const py::dict&) { return Cycle(o); }, py::arg("memo"));
  m.def("_restore_Cycle", &cycle_from, "Restores a pickled Cycle.");
  c.def("__reduce__", [](const Cycle& o) { return reduced("Cycle", cycle_state(o)); });

  c.def_static(
      "library", [](const std::string& name) { return library_cycle(name); }, py::arg("name"),
      "The library's cycle of that name (any case); raises hdfe.Error naming the library's cycles.");
  c.def(
      "stats",
      [](const Cycle& o) {
        const CycleStats s = cycle_stats(o);
        py::dict out;
        out["points"] = s.points;
        out["duration_s"] = s.duration_s;
        out["distance_km"] = s.distance_km;
        out["mean_speed_km_per_h"] = s.mean_speed_km_per_h;
        out["max_speed_km_per_h"] = s.max_speed_km_per_h;
        return out;
      },
      "The cycle's own figures: points, duration_s, distance_km (trapezoid rule), mean_speed_km_per_h "
      "(of points 1..n) and max_speed_km_per_h.");
  c.def_static(
      "find",
      [](const py::object& name) {
        const std::string text = to_bytes(py::module_::import("os").attr("fsdecode")(name));
        py::gil_scoped_release unlocked;
        return find_cycle(text);
      },
      py::arg("name_or_path"),
      "A library cycle by its name (any case), else the cycle file at that path, as --cycle takes it "
      "(a file named like a library cycle is given with a folder, e.g. ./URBAN). Raises hdfe.Error.");
  m.def(
      "library_cycle_table",
      [] {
        py::list out;
        for (const LibraryCycleInfo& info : library_cycle_table()) {
          out.append(py::make_tuple(std::string(info.name), std::string(info.title), std::string(info.source)));
        }
        return out;
      },
      "The library's cycles, in order: (name, title, source).");
}

}  // namespace hdfe::python
