// Vehicle: every value of a vehicle's input files, editable from Python, and picklable so
// that it can be sent to worker processes.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "bindings.h"
#include "hdfe/hdfe.h"

namespace hdfe::python {

namespace {

// Layout of the pickled state; a different number is refused.
constexpr int StateVersion = 1;

// A read/write attribute for a member of a record reached from the bound class.
template <typename Class, typename Record, typename T>
void value_property(py::class_<Class>& c, const char* name, Record Class::*record, T Record::*member,
                    const char* doc) {
  if constexpr (std::is_same_v<T, std::string>) {
    c.def_property(
        name, [record, member](const Class& o) { return to_str(o.*record.*member); },
        [record, member](Class& o, const py::str& v) { o.*record.*member = to_bytes(v); }, doc);
  } else {
    c.def_property(
        name, [record, member](const Class& o) { return o.*record.*member; },
        [record, member](Class& o, T v) { o.*record.*member = v; }, doc);
  }
}

// A read/write attribute for a member of the bound class itself.
template <typename Class, typename T>
void member_property(py::class_<Class>& c, const char* name, T Class::*member, const char* doc) {
  if constexpr (std::is_same_v<T, std::string>) {
    c.def_property(
        name, [member](const Class& o) { return to_str(o.*member); },
        [member](Class& o, const py::str& v) { o.*member = to_bytes(v); }, doc);
  } else {
    c.def_readwrite(name, member, doc);
  }
}

py::array_t<double> array_of(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

std::vector<double> doubles_of(const py::handle& object) {
  const auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!array || array.ndim() != 1) throw py::value_error("expected a 1-D sequence of numbers");
  return std::vector<double>(array.data(), array.data() + array.size());
}

py::object data_frame(const std::vector<const char*>& names, const std::vector<const std::vector<double>*>& columns) {
  py::dict data;
  for (std::size_t k = 0; k < names.size(); ++k) data[names[k]] = array_of(*columns[k]);
  return py::module_::import("pandas").attr("DataFrame")(data);
}

py::tuple curve_state(const TorqueCurve& c) { return py::make_tuple(c.PointCount, array_of(c.Speeds), array_of(c.Torques)); }

TorqueCurve curve_from(const py::tuple& t) {
  return TorqueCurve{t[0].cast<int32_t>(), doubles_of(t[1]), doubles_of(t[2])};
}

py::tuple vehicle_state(const Vehicle& v) {
  const SpecValues& s = v.values;
  const py::tuple values = py::make_tuple(
      py::bytes(s.VehicleName), py::bytes(s.CategoryCode), py::bytes(s.EngineFile), py::bytes(s.TransmissionFile),
      s.FinalRatio, s.TireRadius, s.FlatRoadTireRadius, s.TraceFlag, s.RollAddend, s.AirCoefficient, s.IdleStopOn,
      s.StopDelay, s.StartIdleStopOn, s.StartIdleTime, s.RestartLead, s.Kf1, s.Kf2);
  const EngineInput& e = v.engine;
  const py::tuple engine = py::make_tuple(py::bytes(e.FuelMapFile), py::bytes(e.FullLoadCurveFile),
                                          py::bytes(e.MotoringCurveFile), e.Nidle, e.Nrate, e.Nex);
  const TransmissionInput& t = v.transmission;
  const py::tuple transmission = py::make_tuple(t.StartGears, t.MainRatioCount, array_of(t.MainRatios),
                                                t.AuxRatioCount, array_of(t.AuxRatios), t.TransmissionKind);
  const FuelMap& f = v.fuel_map;
  const py::tuple fuel_map = py::make_tuple(f.IdleFuelRate, f.PointCount, array_of(f.Speeds), array_of(f.Torques),
                                            array_of(f.FuelRates));
  py::list files;
  for (const InputFile& file : v.files) {
    files.append(py::make_tuple(py::bytes(file.role), py::bytes(file.name), py::bytes(file.path.string()),
                                py::bytes(file.sha256)));
  }
  return py::make_tuple(StateVersion, values, engine, transmission, curve_state(v.full_load),
                        curve_state(v.motoring), fuel_map, files);
}

Vehicle vehicle_from(const py::tuple& state) {
  if (state.size() != 8 || state[0].cast<int>() != StateVersion) {
    throw py::value_error("not a pickled hdfe.Vehicle of this version");
  }
  Vehicle v;
  const auto values = state[1].cast<py::tuple>();
  SpecValues& s = v.values;
  s.VehicleName = values[0].cast<std::string>();
  s.CategoryCode = values[1].cast<std::string>();
  s.EngineFile = values[2].cast<std::string>();
  s.TransmissionFile = values[3].cast<std::string>();
  s.FinalRatio = values[4].cast<double>();
  s.TireRadius = values[5].cast<double>();
  s.FlatRoadTireRadius = values[6].cast<double>();
  s.TraceFlag = values[7].cast<int32_t>();
  s.RollAddend = values[8].cast<double>();
  s.AirCoefficient = values[9].cast<double>();
  s.IdleStopOn = values[10].cast<int32_t>();
  s.StopDelay = values[11].cast<int32_t>();
  s.StartIdleStopOn = values[12].cast<int32_t>();
  s.StartIdleTime = values[13].cast<int32_t>();
  s.RestartLead = values[14].cast<int32_t>();
  s.Kf1 = values[15].cast<double>();
  s.Kf2 = values[16].cast<double>();
  const auto engine = state[2].cast<py::tuple>();
  v.engine = EngineInput{engine[0].cast<std::string>(), engine[1].cast<std::string>(), engine[2].cast<std::string>(),
                         engine[3].cast<double>(),      engine[4].cast<double>(),      engine[5].cast<double>()};
  const auto transmission = state[3].cast<py::tuple>();
  v.transmission = TransmissionInput{transmission[0].cast<int32_t>(), transmission[1].cast<int32_t>(),
                                     doubles_of(transmission[2]),     transmission[3].cast<int32_t>(),
                                     doubles_of(transmission[4]),     transmission[5].cast<int32_t>()};
  v.full_load = curve_from(state[4].cast<py::tuple>());
  v.motoring = curve_from(state[5].cast<py::tuple>());
  const auto fuel_map = state[6].cast<py::tuple>();
  v.fuel_map = FuelMap{fuel_map[0].cast<double>(), fuel_map[1].cast<int32_t>(), doubles_of(fuel_map[2]),
                       doubles_of(fuel_map[3]), doubles_of(fuel_map[4])};
  for (const py::handle file : state[7].cast<py::list>()) {
    const auto f = file.cast<py::tuple>();
    v.files.push_back(InputFile{f[0].cast<std::string>(), f[1].cast<std::string>(),
                                std::filesystem::path(f[2].cast<std::string>()), f[3].cast<std::string>()});
  }
  return v;
}

void bind_records(py::module_& m) {
  py::class_<EngineInput> engine(m, "EngineInput", "The engine file's values (read/write).");
  member_property(engine, "FuelMapFile", &EngineInput::FuelMapFile, "Fuel-map file name, as written.");
  member_property(engine, "FullLoadCurveFile", &EngineInput::FullLoadCurveFile, "Full-load curve file name.");
  member_property(engine, "MotoringCurveFile", &EngineInput::MotoringCurveFile, "Motoring curve file name.");
  member_property(engine, "Nidle", &EngineInput::Nidle, "Idle speed [rpm].");
  member_property(engine, "Nrate", &EngineInput::Nrate, "Rated speed [rpm].");
  member_property(engine, "Nex", &EngineInput::Nex, "Highest engine speed the simulation allows [rpm].");

  py::class_<TransmissionInput> transmission(m, "TransmissionInput",
                                             "The transmission file's values (read/write; assign whole lists).");
  member_property(transmission, "StartGears", &TransmissionInput::StartGears, "Highest gear to move off in.");
  member_property(transmission, "MainRatioCount", &TransmissionInput::MainRatioCount, "Number of main ratios.");
  member_property(transmission, "MainRatios", &TransmissionInput::MainRatios, "Main gearbox ratios.");
  member_property(transmission, "AuxRatioCount", &TransmissionInput::AuxRatioCount, "Number of auxiliary ratios.");
  member_property(transmission, "AuxRatios", &TransmissionInput::AuxRatios, "Auxiliary gearbox ratios.");
  member_property(transmission, "TransmissionKind", &TransmissionInput::TransmissionKind,
                  "1: torque-converter automatic; otherwise manual or automated manual.");
}

}  // namespace

void bind_vehicle(py::module_& m) {
  bind_records(m);
  m.attr("EngineInput").attr("__module__") = "hdfe";
  m.attr("TransmissionInput").attr("__module__") = "hdfe";
  py::class_<Vehicle> c(m, "Vehicle", R"(Everything a vehicle's input files hold, as read.

The seventeen spec-file values are attributes with the spec file's names, readable and
writable (VehicleName, CategoryCode, EngineFile, TransmissionFile, FinalRatio, TireRadius,
FlatRoadTireRadius, TraceFlag, RollAddend, AirCoefficient, IdleStopOn, StopDelay,
StartIdleStopOn, StartIdleTime, RestartLead, Kf1, Kf2). ``engine`` and ``transmission``
hold the engine and transmission files' values; ``full_load``, ``motoring`` and ``fuel_map``
are copies of the curves and the map as DataFrames, for plotting.

File names are only read by hdfe.load_vehicle: changing EngineFile on a loaded vehicle does
not load another engine. A Vehicle pickles with every value, so that it can be run where its
files are not.)");
  c.attr("__module__") = "hdfe";
  c.def(py::init<const Vehicle&>(), py::arg("other"), "A copy of another vehicle.");
  value_property(c, "VehicleName", &Vehicle::values, &SpecValues::VehicleName, "Vehicle name.");
  value_property(c, "CategoryCode", &Vehicle::values, &SpecValues::CategoryCode, "Category code, e.g. 'TT1'.");
  value_property(c, "EngineFile", &Vehicle::values, &SpecValues::EngineFile, "Engine file name, as written.");
  value_property(c, "TransmissionFile", &Vehicle::values, &SpecValues::TransmissionFile,
                 "Transmission file name, as written.");
  value_property(c, "FinalRatio", &Vehicle::values, &SpecValues::FinalRatio, "Final (axle) ratio.");
  value_property(c, "TireRadius", &Vehicle::values, &SpecValues::TireRadius, "Tyre dynamic radius [m].");
  value_property(c, "FlatRoadTireRadius", &Vehicle::values, &SpecValues::FlatRoadTireRadius,
                 "Representative radius for the flat-road correction [m].");
  value_property(c, "TraceFlag", &Vehicle::values, &SpecValues::TraceFlag,
                 "1: the results file carries the per-second traces.");
  value_property(c, "RollAddend", &Vehicle::values, &SpecValues::RollAddend,
                 "Addend to the rolling-resistance coefficient.");
  value_property(c, "AirCoefficient", &Vehicle::values, &SpecValues::AirCoefficient,
                 "Air-resistance coefficient [N/(km/h)^2 per m^2].");
  value_property(c, "IdleStopOn", &Vehicle::values, &SpecValues::IdleStopOn, "1: idle stop present.");
  value_property(c, "StopDelay", &Vehicle::values, &SpecValues::StopDelay, "Idle-stop delay [s].");
  value_property(c, "StartIdleStopOn", &Vehicle::values, &SpecValues::StartIdleStopOn,
                 "1: idle stop at the start present.");
  value_property(c, "StartIdleTime", &Vehicle::values, &SpecValues::StartIdleTime, "Idle time at the start [s].");
  value_property(c, "RestartLead", &Vehicle::values, &SpecValues::RestartLead, "Restart lead time [s].");
  value_property(c, "Kf1", &Vehicle::values, &SpecValues::Kf1, "Urban correction factor.");
  value_property(c, "Kf2", &Vehicle::values, &SpecValues::Kf2, "Highway correction factor.");
  c.def_property_readonly(
      "engine", [](Vehicle& v) -> EngineInput& { return v.engine; }, py::return_value_policy::reference_internal,
      "The engine file's values (EngineInput, read/write).");
  c.def_property_readonly(
      "transmission", [](Vehicle& v) -> TransmissionInput& { return v.transmission; },
      py::return_value_policy::reference_internal, "The transmission file's values (TransmissionInput, read/write).");
  c.def_property_readonly(
      "full_load",
      [](const Vehicle& v) { return data_frame({"speed_rpm", "torque_Nm"}, {&v.full_load.Speeds, &v.full_load.Torques}); },
      "The full-load curve: a DataFrame (speed_rpm, torque_Nm), sorted by speed. A copy.");
  c.def_property_readonly(
      "motoring",
      [](const Vehicle& v) { return data_frame({"speed_rpm", "torque_Nm"}, {&v.motoring.Speeds, &v.motoring.Torques}); },
      "The motoring curve: a DataFrame (speed_rpm, torque_Nm), sorted by speed. A copy.");
  c.def_property_readonly(
      "fuel_map",
      [](const Vehicle& v) {
        return data_frame({"speed_rpm", "torque_Nm", "fuel_rate_l_per_h"},
                          {&v.fuel_map.Speeds, &v.fuel_map.Torques, &v.fuel_map.FuelRates});
      },
      "The fuel map: a DataFrame (speed_rpm, torque_Nm, fuel_rate_l_per_h), sorted by speed, then torque. "
      "A copy.");
  c.def_property_readonly(
      "idle_fuel_rate_l_per_h", [](const Vehicle& v) { return v.fuel_map.IdleFuelRate; },
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
    return py::str("<hdfe.Vehicle {!r} {}>").format(to_str(v.values.VehicleName), to_str(v.values.CategoryCode));
  });
  c.def(py::pickle([](const Vehicle& v) { return vehicle_state(v); },
                   [](const py::tuple& state) { return vehicle_from(state); }));

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
