// Vehicle: every value of a vehicle's input files, editable from Python, and picklable so
// that it can be sent to worker processes. The spec values come from the value table: each
// is an attribute under its snake_case name and an item under either name.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <limits>
#include <set>

#include "bindings.h"
#include "hdfe/hdfe.h"
#include "hdfe/values.h"
#include "records.h"

namespace hdfe::python {

namespace {

// The pickled state's layout; another number is refused.
constexpr int StateVersion = 3;

const char* kind_name(ValueKind kind) {
  switch (kind) {
    case ValueKind::Text: return "text";
    case ValueKind::Real: return "real";
    case ValueKind::Integer: return "integer";
    case ValueKind::Switch: return "switch";
    case ValueKind::OptionalReal: return "optional real";
  }
  return "";
}

py::object value_object(const SpecValue& value) {
  return std::visit(
      [](const auto& v) -> py::object {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::string>) {
          return to_str(v);
        } else if constexpr (std::is_same_v<V, std::optional<double>>) {
          return v ? py::object(py::float_(*v)) : py::none();
        } else {
          return py::cast(v);
        }
      },
      value);
}

// A Python value as the spec value of that kind: TypeError for a value of another kind
// (a whole-number value takes whole numbers only), ValueError for one out of its type's range.
SpecValue spec_value_of(const SpecValueInfo& info, const py::handle& v) {
  const std::string name(info.name);
  const bool is_bool = PyBool_Check(v.ptr());
  const bool is_integral = !is_bool && PyIndex_Check(v.ptr());
  switch (info.kind) {
    case ValueKind::Text:
      if (!py::isinstance<py::str>(v)) throw py::type_error(name + " takes a str");
      return to_bytes(v);
    case ValueKind::Real:
      if (is_bool || py::isinstance<py::str>(v) || !PyNumber_Check(v.ptr())) throw py::type_error(name + " takes a number");
      return py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(v)));
    case ValueKind::OptionalReal:
      if (v.is_none()) return std::optional<double>();
      if (is_bool || py::isinstance<py::str>(v) || !PyNumber_Check(v.ptr())) {
        throw py::type_error(name + " takes a number or None");
      }
      return std::optional<double>(py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(v))));
    case ValueKind::Integer: {
      if (!is_integral) throw py::type_error(name + " takes a whole number (int)");
      const auto whole = py::int_(py::reinterpret_borrow<py::object>(v)).cast<long long>();
      if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max()) {
        throw py::value_error(name + " is out of range");
      }
      return static_cast<int32_t>(whole);
    }
    case ValueKind::Switch: {
      if (is_bool) return v.cast<bool>();
      if (!is_integral) throw py::type_error(name + " takes True or False (or 1 or 0)");
      const auto whole = py::int_(py::reinterpret_borrow<py::object>(v)).cast<long long>();
      if (whole != 0 && whole != SwitchOn) throw py::value_error(name + " takes True or False (or 1 or 0)");
      return whole == SwitchOn;
    }
  }
  throw py::type_error(name);
}

const SpecValueInfo& value_named(const py::handle& key) {
  const SpecValueInfo* info = py::isinstance<py::str>(key) ? find_spec_value(key.cast<std::string>()) : nullptr;
  if (info == nullptr) throw py::key_error(py::str(py::repr(key)).cast<std::string>() + " is not a spec value");
  return *info;
}

// ----------------------------------------------------------------- curves and the map

std::vector<double> doubles_of(const py::handle& object, const std::string& what) {
  const auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!array || array.ndim() != 1) throw py::value_error(what + " must be a 1-D sequence of numbers");
  std::vector<double> values(array.data(), array.data() + array.size());
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (!std::isfinite(values[k])) throw py::value_error(what + " holds a value that is not finite at row " + std::to_string(k));
  }
  return values;
}

// The named columns of a DataFrame or a dict of arrays, which must hold those columns alone,
// of equal lengths, finite numbers.
std::vector<std::vector<double>> columns_of(const py::handle& table, const char* what,
                                            std::initializer_list<const char*> names) {
  if (!py::hasattr(table, "keys")) throw py::type_error(std::string(what) + " takes a DataFrame or a dict of arrays");
  std::set<std::string> given;
  for (const py::handle key : table.attr("keys")()) given.insert(py::str(key).cast<std::string>());
  const std::set<std::string> wanted(names.begin(), names.end());
  if (given != wanted) {
    std::string list;
    for (const char* name : names) list += std::string(list.empty() ? "" : ", ") + name;
    throw py::value_error(std::string(what) + " takes the columns " + list + " and no others");
  }
  std::vector<std::vector<double>> columns;
  for (const char* name : names) columns.push_back(doubles_of(table[py::str(name)], std::string(what) + "." + name));
  for (const auto& column : columns) {
    if (column.size() != columns.front().size()) throw py::value_error(std::string(what) + ": the columns differ in length");
  }
  return columns;
}

TorqueCurve curve_of(const py::handle& table, const char* what) {
  auto columns = columns_of(table, what, {"speed_rpm", "torque_Nm"});
  const std::vector<double>& speeds = columns[0];
  if (speeds.size() < 2) throw py::value_error(std::string(what) + " needs at least 2 points");
  for (std::size_t k = 1; k < speeds.size(); ++k) {
    if (!(speeds[k] > speeds[k - 1])) {
      throw py::value_error(std::string(what) + ": speed_rpm must increase from row to row (row " + std::to_string(k) + ")");
    }
  }
  return TorqueCurve{std::move(columns[0]), std::move(columns[1])};
}

void set_fuel_map(FuelMap& map, const py::handle& table) {
  auto columns = columns_of(table, "fuel_map", {"speed_rpm", "torque_Nm", "fuel_rate_l_per_h"});
  if (columns[0].empty()) throw py::value_error("fuel_map needs at least 1 point");
  for (std::size_t k = 1; k < columns[0].size(); ++k) {
    const double s0 = columns[0][k - 1], s1 = columns[0][k];
    if (s1 < s0 || (s1 == s0 && columns[1][k] < columns[1][k - 1])) {
      throw py::value_error("fuel_map must be sorted by speed_rpm, then torque_Nm (row " + std::to_string(k) + ")");
    }
  }
  map.speeds_rpm = std::move(columns[0]);
  map.torques_nm = std::move(columns[1]);
  map.fuel_rates_l_per_h = std::move(columns[2]);
}

py::array_t<double> array_of(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::object data_frame(const std::vector<const char*>& names, const std::vector<const std::vector<double>*>& columns) {
  py::dict data;
  for (std::size_t k = 0; k < names.size(); ++k) data[names[k]] = array_of(*columns[k]);
  return py::module_::import("pandas").attr("DataFrame")(data);
}

py::object curve_frame(const TorqueCurve& c) { return data_frame({"speed_rpm", "torque_Nm"}, {&c.speeds_rpm, &c.torques_nm}); }

py::dict curve_state(const TorqueCurve& c) {
  py::dict d;
  d["speed_rpm"] = c.speeds_rpm;
  d["torque_Nm"] = c.torques_nm;
  return d;
}

void check_finite(const char* name, const double& value) {
  if (!std::isfinite(value)) throw py::value_error(std::string(name) + " must be finite");
}

void check_ratios(const char* name, const std::vector<double>& ratios) {
  for (const double r : ratios) {
    if (!std::isfinite(r)) throw py::value_error(std::string(name) + " must hold finite numbers");
  }
}

// ----------------------------------------------------------------- pickling

py::dict vehicle_state(const Vehicle& v) {
  py::dict values;
  for (const SpecValueInfo& info : spec_value_table()) values[py::str(std::string(info.name))] = value_object(get_spec_value(v.values, info));
  py::dict state;
  state["version"] = StateVersion;
  state["values"] = values;
  state["engine"] = v.engine;
  state["transmission"] = v.transmission;
  state["full_load"] = curve_state(v.full_load);
  state["motoring"] = curve_state(v.motoring);
  py::dict map;
  map["speed_rpm"] = v.fuel_map.speeds_rpm;
  map["torque_Nm"] = v.fuel_map.torques_nm;
  map["fuel_rate_l_per_h"] = v.fuel_map.fuel_rates_l_per_h;
  state["fuel_map"] = map;
  state["idle_fuel_rate_l_per_h"] = v.fuel_map.idle_fuel_rate_l_per_h;
  py::list files;
  for (const InputFile& file : v.files) files.append(file);
  state["files"] = files;
  // The files' text as loading found it: the stored vehicle keeps its warnings and their lines.
  state["text"] = py::bytes(input_text_bytes(v));
  return state;
}

// The vehicle of a pickled state, every part validated as an assignment would be.
Vehicle vehicle_from(const py::object& object) {
  static const std::set<std::string> parts = {"version", "values", "engine", "transmission", "full_load", "motoring",
                                              "fuel_map", "idle_fuel_rate_l_per_h", "files", "text"};
  if (!py::isinstance<py::dict>(object)) throw py::value_error("not a pickled hdfe.Vehicle");
  const auto state = object.cast<py::dict>();
  std::set<std::string> keys;
  for (const auto item : state) keys.insert(py::str(item.first).cast<std::string>());
  if (keys != parts || !py::object(state["version"]).equal(py::int_(StateVersion))) {
    throw py::value_error("not a pickled hdfe.Vehicle of this version");
  }
  try {
    Vehicle v;
    const auto values = state["values"].cast<py::dict>();
    if (values.size() != spec_value_table().size()) throw py::value_error("its spec values are not the table's");
    for (const SpecValueInfo& info : spec_value_table()) {
      const py::str name(std::string(info.name));
      if (!values.contains(name)) throw py::value_error("no value " + std::string(info.name));
      set_spec_value(v.values, info, spec_value_of(info, values[name]));
    }
    v.engine = state["engine"].cast<EngineInput>();
    v.transmission = state["transmission"].cast<TransmissionInput>();
    v.full_load = curve_of(state["full_load"], "full_load");
    v.motoring = curve_of(state["motoring"], "motoring");
    set_fuel_map(v.fuel_map, state["fuel_map"]);
    v.fuel_map.idle_fuel_rate_l_per_h = state["idle_fuel_rate_l_per_h"].cast<double>();
    v.files = state["files"].cast<std::vector<InputFile>>();
    if (!py::isinstance<py::bytes>(state["text"])) throw py::value_error("its input text is not bytes");
    set_input_text(v, state["text"].cast<std::string>());
    return v;
  } catch (const std::exception& error) {
    throw py::value_error(std::string("not a pickled hdfe.Vehicle: ") + error.what());
  }
}

std::string vehicle_doc() {
  std::string doc = R"(Everything a vehicle's input files hold, as read; edit any value, then run it.

The spec file's values are attributes under their Python names (vehicle.final_ratio) and
items under either name (vehicle["final_ratio"], vehicle["FinalRatio"]); the file names
stay accepted wherever a spec file's names are written (manifests, item access). The
spec-file names as attributes (vehicle.FinalRatio) still work but are deprecated.
``engine`` and ``transmission`` hold the engine and transmission files' values;
``full_load``, ``motoring`` and ``fuel_map`` give copies of the curves and the map as
DataFrames and take a DataFrame (or a dict of arrays) of the same columns, validated.

File names are only read by hdfe.load_vehicle: changing engine_file on a loaded vehicle does
not load another engine. A Vehicle pickles with every value, so that it can be run where its
files are not.

Spec values (Python name, file name, kind [unit]: meaning):
)";
  for (const SpecValueInfo& info : spec_value_table()) {
    doc += "    " + std::string(info.name) + " (" + std::string(info.file_name) + "), " + kind_name(info.kind);
    if (!info.unit.empty()) doc += " [" + std::string(info.unit) + "]";
    doc += ": " + std::string(info.meaning) + "\n";
  }
  return doc;
}

void bind_input_records(py::module_& m) {
  Record<EngineInput>(m, "EngineInput", "The engine file's values (read/write).")
      .editable("fuel_map_file", &EngineInput::fuel_map_file, "Fuel-map file name, as written.")
      .editable("full_load_file", &EngineInput::full_load_file, "Full-load curve file name, as written.")
      .editable("motoring_file", &EngineInput::motoring_file, "Motoring curve file name, as written.")
      .editable("idle_speed_rpm", &EngineInput::idle_speed_rpm, "Idle speed [rpm].", &check_finite)
      .editable("rated_speed_rpm", &EngineInput::rated_speed_rpm, "Rated speed [rpm].", &check_finite)
      .editable("max_speed_rpm", &EngineInput::max_speed_rpm, "Highest engine speed the simulation allows [rpm].",
                &check_finite)
      .alias("FuelMapFile", "fuel_map_file")
      .alias("FullLoadCurveFile", "full_load_file")
      .alias("MotoringCurveFile", "motoring_file")
      .alias("Nidle", "idle_speed_rpm")
      .alias("Nrate", "rated_speed_rpm")
      .alias("Nex", "max_speed_rpm")
      .finish();

  Record<TransmissionInput> transmission(m, "TransmissionInput",
                                         "The transmission file's values (read/write; assign whole lists).");
  transmission.editable("start_gears", &TransmissionInput::start_gears, "Highest gear to move off in.")
      .editable("main_ratios", &TransmissionInput::main_ratios, "Main gearbox ratios.", &check_ratios)
      .editable("aux_ratios", &TransmissionInput::aux_ratios, "Auxiliary gearbox ratios.", &check_ratios)
      .editable("type", &TransmissionInput::type, "'manual' (MT, AMT) or 'torque_converter' (AT).")
      .alias("StartGears", "start_gears")
      .alias("MainRatios", "main_ratios")
      .alias("AuxRatios", "aux_ratios")
      .finish();
  // The transmission file's code: 1 for a torque-converter automatic, any other for a manual.
  transmission.cls().def_property(
      "TransmissionKind",
      [](const TransmissionInput& t) {
        PyErr_WarnEx(PyExc_DeprecationWarning, "TransmissionKind is deprecated: use type", 1);
        return t.type == TransmissionType::TorqueConverter ? 1 : 0;
      },
      [](TransmissionInput& t, int32_t code) {
        PyErr_WarnEx(PyExc_DeprecationWarning, "TransmissionKind is deprecated: use type", 1);
        t.type = code == 1 ? TransmissionType::TorqueConverter : TransmissionType::Manual;
      },
      "Deprecated: type ('torque_converter' for the file's code 1).");
  hide_from_dir(transmission.cls(), {"StartGears", "MainRatios", "AuxRatios", "TransmissionKind"});
}

}  // namespace

void bind_vehicle(py::module_& m) {
  bind_input_records(m);
  static const std::string doc = vehicle_doc();
  py::class_<Vehicle> c(m, "Vehicle", doc.c_str());
  c.attr("__module__") = "hdfe";
  c.def(py::init<const Vehicle&>(), py::arg("other"), "A copy of another vehicle.");

  std::vector<std::string> aliases;
  for (const SpecValueInfo& info : spec_value_table()) {
    const SpecValueInfo* value = &info;
    std::string help = std::string(info.meaning) + " (" + kind_name(info.kind);
    if (!info.unit.empty()) help += ", " + std::string(info.unit);
    help += "; in the spec file " + std::string(info.file_name) + ")";
    c.def_property(
        std::string(info.name).c_str(), [value](const Vehicle& v) { return value_object(get_spec_value(v.values, *value)); },
        [value](Vehicle& v, const py::object& x) { set_spec_value(v.values, *value, spec_value_of(*value, x)); }, help.c_str());
    if (info.file_name != info.name) {
      deprecated_alias(c, std::string(info.file_name).c_str(), std::string(info.name).c_str());
      aliases.emplace_back(info.file_name);
    }
  }
  hide_from_dir(c, aliases);
  c.def("__getitem__", [](const Vehicle& v, const py::object& key) { return value_object(get_spec_value(v.values, value_named(key))); },
        "A spec value by its Python name or its spec-file name.");
  c.def("__setitem__",
        [](Vehicle& v, const py::object& key, const py::object& x) {
          const SpecValueInfo& info = value_named(key);
          set_spec_value(v.values, info, spec_value_of(info, x));
        },
        "Sets a spec value by its Python name or its spec-file name.");
  c.def_property(
      "engine", [](Vehicle& v) -> EngineInput& { return v.engine; },
      [](Vehicle& v, const EngineInput& e) { v.engine = e; }, py::return_value_policy::reference_internal,
      "The engine file's values (EngineInput, read/write).");
  c.def_property(
      "transmission", [](Vehicle& v) -> TransmissionInput& { return v.transmission; },
      [](Vehicle& v, const TransmissionInput& t) { v.transmission = t; }, py::return_value_policy::reference_internal,
      "The transmission file's values (TransmissionInput, read/write).");
  c.def_property(
      "full_load", [](const Vehicle& v) { return curve_frame(v.full_load); },
      [](Vehicle& v, const py::object& table) { v.full_load = curve_of(table, "full_load"); },
      "The full-load curve: a DataFrame (speed_rpm, torque_Nm), a copy. Takes a DataFrame or dict of "
      "those columns: at least 2 points, finite, speeds increasing.");
  c.def_property(
      "motoring", [](const Vehicle& v) { return curve_frame(v.motoring); },
      [](Vehicle& v, const py::object& table) { v.motoring = curve_of(table, "motoring"); },
      "The motoring curve: a DataFrame (speed_rpm, torque_Nm), a copy. Takes what full_load takes.");
  c.def_property(
      "fuel_map",
      [](const Vehicle& v) {
        return data_frame({"speed_rpm", "torque_Nm", "fuel_rate_l_per_h"},
                          {&v.fuel_map.speeds_rpm, &v.fuel_map.torques_nm, &v.fuel_map.fuel_rates_l_per_h});
      },
      [](Vehicle& v, const py::object& table) { set_fuel_map(v.fuel_map, table); },
      "The fuel map: a DataFrame (speed_rpm, torque_Nm, fuel_rate_l_per_h), a copy. Takes a DataFrame or "
      "dict of those columns: finite, sorted by speed, then torque.");
  c.def_property(
      "idle_fuel_rate_l_per_h", [](const Vehicle& v) { return v.fuel_map.idle_fuel_rate_l_per_h; },
      [](Vehicle& v, double rate) {
        check_finite("idle_fuel_rate_l_per_h", rate);
        v.fuel_map.idle_fuel_rate_l_per_h = rate;
      },
      "The fuel map's idle fuel rate [l/h].");
  c.def_property_readonly(
      "files",
      [](const Vehicle& v) {
        py::list files;
        for (const InputFile& f : v.files) {
          py::dict file;
          file["role"] = to_str(f.role);
          file["name"] = to_str(f.name);
          file["path"] = to_str(f.path.string());
          file["sha256"] = to_str(f.sha256);
          files.append(file);
        }
        return files;
      },
      "The input files read, spec file first: dicts with role, name, path and sha256.");
  c.def("copy", [](const Vehicle& v) { return Vehicle(v); }, "A copy of this vehicle, to edit on its own.");
  c.def("__copy__", [](const Vehicle& v) { return Vehicle(v); });
  c.def("__deepcopy__", [](const Vehicle& v, const py::dict&) { return Vehicle(v); }, py::arg("memo"));
  c.def("__repr__", [](const Vehicle& v) {
    return py::str("<hdfe.Vehicle {!r} {}>").format(to_str(v.values.vehicle_name), to_str(v.values.category_code));
  });
  m.def("_restore_Vehicle", &vehicle_from, "Restores a pickled Vehicle.");
  c.def("__reduce__", [](const Vehicle& v) { return reduced("Vehicle", vehicle_state(v)); });

  m.def(
      "spec_values",
      [] {
        py::list out;
        for (const SpecValueInfo& info : spec_value_table()) {
          py::dict d;
          d["name"] = std::string(info.name);
          d["file_name"] = std::string(info.file_name);
          d["kind"] = kind_name(info.kind);
          d["unit"] = std::string(info.unit);
          d["min"] = info.min ? py::object(py::float_(*info.min)) : py::none();
          d["above"] = info.above ? py::object(py::float_(*info.above)) : py::none();
          d["max"] = info.max ? py::object(py::float_(*info.max)) : py::none();
          d["meaning"] = std::string(info.meaning);
          out.append(d);
        }
        return out;
      },
      "The spec values in spec-file order: dicts of name, file_name, kind, unit, min, above, max, meaning.");

  m.def(
      "load_vehicle",
      [](const std::filesystem::path& spec, const std::optional<std::filesystem::path>& base) {
        py::gil_scoped_release unlocked;
        return load_vehicle(spec, LoadOptions{base});
      },
      py::arg("spec"), py::arg("base") = py::none(),
      "Reads a spec file and every file it names (see hdfe.load_vehicle).");
}

}  // namespace hdfe::python
