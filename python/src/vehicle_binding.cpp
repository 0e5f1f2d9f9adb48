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

py::tuple curve_state(const TorqueCurve& c) { return py::make_tuple(c.point_count(), array_of(c.speeds_rpm), array_of(c.torques_nm)); }

TorqueCurve curve_from(const py::tuple& t) {
  return TorqueCurve{doubles_of(t[1]), doubles_of(t[2])};
}

py::tuple vehicle_state(const Vehicle& v) {
  const SpecValues& s = v.values;
  const py::tuple values = py::make_tuple(
      py::bytes(s.vehicle_name), py::bytes(s.category_code), py::bytes(s.engine_file), py::bytes(s.transmission_file),
      s.final_ratio, s.tire_radius_m, s.flat_road_tire_radius_m, s.traces, s.roll_addend, s.air_coefficient, s.idle_stop_on,
      s.stop_delay_s, s.start_idle_stop_on, s.start_idle_time_s, s.restart_lead_s, s.kf1, s.kf2);
  const EngineInput& e = v.engine;
  const py::tuple engine = py::make_tuple(py::bytes(e.fuel_map_file), py::bytes(e.full_load_file),
                                          py::bytes(e.motoring_file), e.idle_speed_rpm, e.rated_speed_rpm, e.max_speed_rpm);
  const TransmissionInput& t = v.transmission;
  const py::tuple transmission = py::make_tuple(t.start_gears, static_cast<int32_t>(t.main_ratios.size()), array_of(t.main_ratios),
                                                static_cast<int32_t>(t.aux_ratios.size()), array_of(t.aux_ratios),
                                                t.type == TransmissionType::TorqueConverter ? 1 : 0);
  const FuelMap& f = v.fuel_map;
  const py::tuple fuel_map = py::make_tuple(f.idle_fuel_rate_l_per_h, f.point_count(), array_of(f.speeds_rpm), array_of(f.torques_nm),
                                            array_of(f.fuel_rates_l_per_h));
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
  s.vehicle_name = values[0].cast<std::string>();
  s.category_code = values[1].cast<std::string>();
  s.engine_file = values[2].cast<std::string>();
  s.transmission_file = values[3].cast<std::string>();
  s.final_ratio = values[4].cast<double>();
  s.tire_radius_m = values[5].cast<double>();
  s.flat_road_tire_radius_m = values[6].cast<double>();
  s.traces = values[7].cast<int32_t>() == 1;
  s.roll_addend = values[8].cast<double>();
  s.air_coefficient = values[9].cast<double>();
  s.idle_stop_on = values[10].cast<int32_t>();
  s.stop_delay_s = values[11].cast<int32_t>();
  s.start_idle_stop_on = values[12].cast<int32_t>();
  s.start_idle_time_s = values[13].cast<int32_t>();
  s.restart_lead_s = values[14].cast<int32_t>();
  s.kf1 = values[15].cast<double>();
  s.kf2 = values[16].cast<double>();
  const auto engine = state[2].cast<py::tuple>();
  v.engine = EngineInput{engine[0].cast<std::string>(), engine[1].cast<std::string>(), engine[2].cast<std::string>(),
                         engine[3].cast<double>(),      engine[4].cast<double>(),      engine[5].cast<double>()};
  const auto transmission = state[3].cast<py::tuple>();
  v.transmission = TransmissionInput{transmission[0].cast<int32_t>(), doubles_of(transmission[2]),
                                     doubles_of(transmission[4]),
                                     transmission[5].cast<int32_t>() == 1 ? TransmissionType::TorqueConverter
                                                                         : TransmissionType::Manual};
  v.full_load = curve_from(state[4].cast<py::tuple>());
  v.motoring = curve_from(state[5].cast<py::tuple>());
  const auto fuel_map = state[6].cast<py::tuple>();
  v.fuel_map = FuelMap{fuel_map[0].cast<double>(), doubles_of(fuel_map[2]),
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
  member_property(engine, "FuelMapFile", &EngineInput::fuel_map_file, "Fuel-map file name, as written.");
  member_property(engine, "FullLoadCurveFile", &EngineInput::full_load_file, "Full-load curve file name.");
  member_property(engine, "MotoringCurveFile", &EngineInput::motoring_file, "Motoring curve file name.");
  member_property(engine, "Nidle", &EngineInput::idle_speed_rpm, "Idle speed [rpm].");
  member_property(engine, "Nrate", &EngineInput::rated_speed_rpm, "Rated speed [rpm].");
  member_property(engine, "Nex", &EngineInput::max_speed_rpm, "Highest engine speed the simulation allows [rpm].");

  py::class_<TransmissionInput> transmission(m, "TransmissionInput",
                                             "The transmission file's values (read/write; assign whole lists).");
  member_property(transmission, "StartGears", &TransmissionInput::start_gears, "Highest gear to move off in.");
  member_property(transmission, "MainRatios", &TransmissionInput::main_ratios, "Main gearbox ratios.");
  member_property(transmission, "AuxRatios", &TransmissionInput::aux_ratios, "Auxiliary gearbox ratios.");
  transmission.def_property(
      "TransmissionKind",
      [](const TransmissionInput& t) { return t.type == TransmissionType::TorqueConverter ? 1 : 0; },
      [](TransmissionInput& t, int32_t code) {
        t.type = code == 1 ? TransmissionType::TorqueConverter : TransmissionType::Manual;
      },
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
  value_property(c, "VehicleName", &Vehicle::values, &SpecValues::vehicle_name, "Vehicle name.");
  value_property(c, "CategoryCode", &Vehicle::values, &SpecValues::category_code, "Category code, e.g. 'TT1'.");
  value_property(c, "EngineFile", &Vehicle::values, &SpecValues::engine_file, "Engine file name, as written.");
  value_property(c, "TransmissionFile", &Vehicle::values, &SpecValues::transmission_file,
                 "Transmission file name, as written.");
  value_property(c, "FinalRatio", &Vehicle::values, &SpecValues::final_ratio, "Final (axle) ratio.");
  value_property(c, "TireRadius", &Vehicle::values, &SpecValues::tire_radius_m, "Tyre dynamic radius [m].");
  value_property(c, "FlatRoadTireRadius", &Vehicle::values, &SpecValues::flat_road_tire_radius_m,
                 "Representative radius for the flat-road correction [m].");
  value_property(c, "TraceFlag", &Vehicle::values, &SpecValues::traces,
                 "1: the results file carries the per-second traces.");
  value_property(c, "RollAddend", &Vehicle::values, &SpecValues::roll_addend,
                 "Addend to the rolling-resistance coefficient.");
  value_property(c, "AirCoefficient", &Vehicle::values, &SpecValues::air_coefficient,
                 "Air-resistance coefficient [N/(km/h)^2 per m^2].");
  value_property(c, "IdleStopOn", &Vehicle::values, &SpecValues::idle_stop_on, "1: idle stop present.");
  value_property(c, "StopDelay", &Vehicle::values, &SpecValues::stop_delay_s, "Idle-stop delay [s].");
  value_property(c, "StartIdleStopOn", &Vehicle::values, &SpecValues::start_idle_stop_on,
                 "1: idle stop at the start present.");
  value_property(c, "StartIdleTime", &Vehicle::values, &SpecValues::start_idle_time_s, "Idle time at the start [s].");
  value_property(c, "RestartLead", &Vehicle::values, &SpecValues::restart_lead_s, "Restart lead time [s].");
  value_property(c, "Kf1", &Vehicle::values, &SpecValues::kf1, "Urban correction factor.");
  value_property(c, "Kf2", &Vehicle::values, &SpecValues::kf2, "Highway correction factor.");
  c.def_property_readonly(
      "engine", [](Vehicle& v) -> EngineInput& { return v.engine; }, py::return_value_policy::reference_internal,
      "The engine file's values (EngineInput, read/write).");
  c.def_property_readonly(
      "transmission", [](Vehicle& v) -> TransmissionInput& { return v.transmission; },
      py::return_value_policy::reference_internal, "The transmission file's values (TransmissionInput, read/write).");
  c.def_property_readonly(
      "full_load",
      [](const Vehicle& v) { return data_frame({"speed_rpm", "torque_Nm"}, {&v.full_load.speeds_rpm, &v.full_load.torques_nm}); },
      "The full-load curve: a DataFrame (speed_rpm, torque_Nm), sorted by speed. A copy.");
  c.def_property_readonly(
      "motoring",
      [](const Vehicle& v) { return data_frame({"speed_rpm", "torque_Nm"}, {&v.motoring.speeds_rpm, &v.motoring.torques_nm}); },
      "The motoring curve: a DataFrame (speed_rpm, torque_Nm), sorted by speed. A copy.");
  c.def_property_readonly(
      "fuel_map",
      [](const Vehicle& v) {
        return data_frame({"speed_rpm", "torque_Nm", "fuel_rate_l_per_h"},
                          {&v.fuel_map.speeds_rpm, &v.fuel_map.torques_nm, &v.fuel_map.fuel_rates_l_per_h});
      },
      "The fuel map: a DataFrame (speed_rpm, torque_Nm, fuel_rate_l_per_h), sorted by speed, then torque. "
      "A copy.");
  c.def_property_readonly(
      "idle_fuel_rate_l_per_h", [](const Vehicle& v) { return v.fuel_map.idle_fuel_rate_l_per_h; },
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
