// run and its Result: the library's records bound as read-only Python objects, the run's
// JSON document (the command line's --json) and its per-second trace table.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cctype>
#include <cmath>
#include <optional>
#include <type_traits>
#include <string_view>

#include "bindings.h"
#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"
#include "hdfe/report.h"
#include "hdfe/route.h"
#include "hdfe/tables.h"
#include "hdfe/values.h"
#include "records.h"

namespace hdfe::python {

const char* enum_name(TransmissionType type) {
  return type == TransmissionType::TorqueConverter ? "torque_converter" : "manual";
}
std::string enum_name(RunFinding::Kind kind) { return std::string(finding_kind_name(kind)); }
std::string enum_name(RunWarning::Kind kind) { return std::string(warning_kind_name(kind)); }

namespace {

template <typename E>
void enum_of(const py::handle& name, E& out, std::span<const E> values) {
  if (py::isinstance<py::str>(name)) {
    const std::string text = name.cast<std::string>();
    for (const E value : values) {
      if (text == enum_name(value)) {
        out = value;
        return;
      }
    }
  }
  std::string names;
  for (const E value : values) names += std::string(names.empty() ? "" : " or ") + "'" + enum_name(value) + "'";
  throw py::value_error("expected " + names + ", not " + std::string(py::repr(name)));
}

}  // namespace

void enum_from(const py::handle& name, TransmissionType& out) {
  static constexpr TransmissionType Types[] = {TransmissionType::Manual, TransmissionType::TorqueConverter};
  enum_of(name, out, std::span<const TransmissionType>(Types));
}
void enum_from(const py::handle& name, RunFinding::Kind& out) {
  static constexpr RunFinding::Kind Kinds[] = {RunFinding::Kind::OverSpeed, RunFinding::Kind::OverTorque};
  enum_of(name, out, std::span<const RunFinding::Kind>(Kinds));
}
void enum_from(const py::handle& name, RunWarning::Kind& out) {
  enum_of(name, out, std::span<const RunWarning::Kind>(AllWarningKinds));
}

py::object plain(const py::handle& value) {
  if (py::hasattr(value, "to_dict")) return value.attr("to_dict")();
  if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
    py::list out;
    for (const py::handle item : value) out.append(plain(item));
    return out;
  }
  return py::reinterpret_borrow<py::object>(value);
}

namespace {

// The per-second trace table with its column names, as the library computes it once for the
// trace CSV and every other surface.
struct TraceTable {
  std::vector<std::string> cycles;           // traced cycles, in order
  std::vector<int64_t> rows;                 // rows of each traced cycle
  std::vector<std::string> names;            // the numeric columns: the CSV's after `cycle`
  std::vector<std::vector<double>> columns;  // in the order of names
};

TraceTable trace_table_of(const Result& result) {
  hdfe::TraceTable table = trace_table(result);
  TraceTable out;
  if (table.cycles.empty()) return out;
  for (const TraceColumnInfo& c : trace_column_table()) out.names.emplace_back(c.name);
  out.cycles = std::move(table.cycles);
  out.rows = std::move(table.rows);
  out.columns = std::move(table.columns);
  return out;
}

// The whole-number columns of the trace table.
bool whole_column(const std::string& name) {
  for (const TraceColumnInfo& c : trace_column_table()) {
    if (c.name == name) return c.whole_number;
  }
  return false;
}

py::object trace_frame(const TraceTable& table) {
  if (table.cycles.empty()) return py::none();
  const py::module_ numpy = py::module_::import("numpy");
  py::dict data;
  py::list cycles;
  for (const std::string& name : table.cycles) cycles.append(to_str(name));
  data["cycle"] = numpy.attr("repeat")(numpy.attr("array")(cycles, py::arg("dtype") = "object"), table.rows);
  for (std::size_t c = 0; c < table.names.size(); ++c) {
    const std::vector<double>& column = table.columns[c];
    py::object values = py::array_t<double>(static_cast<py::ssize_t>(column.size()), column.data());
    if (whole_column(table.names[c])) values = values.attr("astype")("int64");
    data[py::str(table.names[c])] = values;
  }
  return py::module_::import("pandas").attr("DataFrame")(data);
}

// What hdfe.run gives: the library's Result (its traces held as the table), the JSON document
// and the input files of the vehicle run, and the Vehicle object run.
struct RunResult {
  Result result;
  std::string json;
  TraceTable trace;
  std::vector<InputFile> inputs;
  py::object source;
};

}  // namespace

template <> inline constexpr bool bound_class<RunResult> = true;

namespace {

constexpr int ResultStateVersion = 3;

template <typename T>
py::list records(const std::vector<T>& values) {
  py::list out;
  for (const T& value : values) out.append(py::cast(value));
  return out;
}

py::dict result_state(const RunResult& r) {
  py::dict state;
  state["version"] = ResultStateVersion;
  state["classification"] = r.result.classification;
  state["cycles"] = records(r.result.cycles);
  state["average_fuel_economy_km_per_l"] = r.result.average_fuel_economy_km_per_l;
  state["highway_ratio"] = r.result.highway_ratio;
  state["engineering"] = r.result.engineering;
  state["findings"] = records(r.result.findings);
  state["warnings"] = records(r.result.warnings);
  state["routes"] = records(r.result.routes);
  state["json"] = py::bytes(r.json);
  state["trace"] = py::make_tuple(r.trace.cycles, r.trace.rows, r.trace.names, r.trace.columns);
  state["inputs"] = records(r.inputs);
  state["source"] = r.source ? r.source : py::none();
  return state;
}

RunResult result_from(const py::object& object) {
  if (!py::isinstance<py::dict>(object)) throw py::value_error("not a pickled hdfe.Result");
  const auto state = object.cast<py::dict>();
  if (!state.contains("version") || !py::object(state["version"]).equal(py::int_(ResultStateVersion)) || state.size() != 13) {
    throw py::value_error("not a pickled hdfe.Result of this version");
  }
  try {
    RunResult r;
    r.result.classification = state["classification"].cast<Classification>();
    r.result.cycles = state["cycles"].cast<std::vector<CycleFigures>>();
    r.result.average_fuel_economy_km_per_l = state["average_fuel_economy_km_per_l"].cast<double>();
    r.result.highway_ratio = state["highway_ratio"].cast<double>();
    r.result.engineering = state["engineering"].cast<bool>();
    r.result.findings = state["findings"].cast<std::vector<RunFinding>>();
    r.result.warnings = state["warnings"].cast<std::vector<RunWarning>>();
    r.result.routes = state["routes"].cast<std::vector<RouteFigures>>();
    r.json = state["json"].cast<std::string>();
    const auto trace = state["trace"].cast<py::tuple>();
    r.trace = TraceTable{trace[0].cast<std::vector<std::string>>(), trace[1].cast<std::vector<int64_t>>(),
                         trace[2].cast<std::vector<std::string>>(), trace[3].cast<std::vector<std::vector<double>>>()};
    r.inputs = state["inputs"].cast<std::vector<InputFile>>();
    r.source = state["source"];
    std::size_t rows = 0;
    for (const int64_t n : r.trace.rows) rows += static_cast<std::size_t>(n);
    bool consistent = r.trace.cycles.size() == r.trace.rows.size() && r.trace.names.size() == r.trace.columns.size();
    for (const auto& column : r.trace.columns) consistent = consistent && column.size() == rows;
    if (!consistent) throw py::value_error("its trace table's columns differ in length");
    return r;
  } catch (const std::exception& error) {
    throw py::value_error(std::string("not a pickled hdfe.Result: ") + error.what());
  }
}

// The figures of every cycle and section as a DataFrame: name, cycle and phase, the figures,
// the metrics and the energy terms (named energy_<term>), one row each, in the run's order.
py::object figures_frame(const std::vector<CycleFigures>& cycles) {
  const py::module_ numpy = py::module_::import("numpy");
  const auto n = static_cast<py::ssize_t>(cycles.size());
  py::dict data;
  const auto texts = [&](std::string CycleFigures::*member) {
    py::list out;
    for (const CycleFigures& f : cycles) out.append(to_str(f.*member));
    return numpy.attr("array")(out, py::arg("dtype") = "object");
  };
  data["name"] = texts(&CycleFigures::name);
  data["cycle"] = texts(&CycleFigures::cycle);
  data["phase"] = texts(&CycleFigures::phase);
  // A column of one value per row, as a number array of type T.
  const auto column = [&](auto get, auto type) {
    using T = decltype(type);
    py::array_t<T> out(n);
    T* cells = out.mutable_data();
    for (py::ssize_t k = 0; k < n; ++k) cells[k] = get(cycles[static_cast<std::size_t>(k)]);
    return out;
  };
  for (const FigureInfo& info : cycle_figure_table()) {
    std::visit(
        [&](auto member) {
          using M = std::decay_t<decltype(std::declval<CycleFigures>().*member)>;
          py::object values;
          if constexpr (std::is_same_v<M, std::optional<double>>) {
            values = column([&](const CycleFigures& f) { return (f.*member).value_or(std::nan("")); }, double{});
          } else if constexpr (std::is_same_v<M, int32_t>) {
            values = column([&](const CycleFigures& f) { return static_cast<int64_t>(f.*member); }, int64_t{});
          } else {
            values = column([&](const CycleFigures& f) { return f.*member; }, M{});
          }
          data[py::str(std::string(info.name))] = values;
        },
        info.member);
  }
  for (const MetricInfo& info : cycle_metric_table()) {
    std::visit(
        [&](auto member) {
          using M = std::decay_t<decltype(std::declval<CycleMetrics>().*member)>;
          using T = std::conditional_t<std::is_same_v<M, int32_t>, int64_t, M>;
          data[py::str(std::string(info.name))] =
              column([&](const CycleFigures& f) { return static_cast<T>(f.metrics.*member); }, T{});
        },
        info.member);
  }
  for (const EnergyTermInfo& info : energy_audit_table()) {
    data[py::str("energy_" + std::string(info.name))] =
        column([&](const CycleFigures& f) { return f.energy.*info.member; }, double{});
  }
  return py::module_::import("pandas").attr("DataFrame")(data);
}

const CycleFigures& cycle_named(const RunResult& r, std::string_view name) {
  for (const CycleFigures& c : r.result.cycles) {
    if (c.name == name) return c;
  }
  throw py::attribute_error("the result has no cycle " + std::string(name));
}

// A table entry's help: its meaning, with its unit.
std::string help_of(std::string_view meaning, std::string_view unit) {
  std::string help(meaning);
  if (!help.empty()) help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(help[0])));
  if (!unit.empty()) help += " [" + std::string(unit) + "]";
  return help + ".";
}

void bind_records(py::module_& m) {
  // The metrics, the energy audit and the figures as the tables list them, so that every
  // figure the JSON writes is an attribute under the same name.
  Record<CycleMetrics> metrics(m, "CycleMetrics", "How closely the vehicle followed a cycle's target speed (read-only).");
  for (const MetricInfo& info : cycle_metric_table()) {
    const std::string name(info.name);
    std::visit([&](auto member) { metrics.field(name.c_str(), member, help_of(info.meaning, info.unit).c_str()); },
               info.member);
  }
  metrics.finish();

  Record<EnergyAudit> energy(m, "EnergyAudit", R"(Where the energy of a driven cycle or section went [kWh] (read-only).

engine_positive + descending + kinetic_released = engine_motoring + driveline_loss + air_drag
+ rolling_resistance + climbing + kinetic_given + braking + residual.)");
  for (const EnergyTermInfo& info : energy_audit_table()) {
    const std::string name(info.name);
    energy.field(name.c_str(), info.member, help_of(info.meaning, info.unit).c_str());
  }
  energy.finish();

  Record<CycleFigures> figures(m, "CycleFigures", "The figures of one cycle or section (read-only), as the JSON names them.");
  figures.field("name", &CycleFigures::name, "URBAN, HIGHWAY, MID-TOWN, a user cycle's name, or a phase's cycle/phase.")
      .field("cycle", &CycleFigures::cycle, "The cycle driven: URBAN for MID-TOWN, a phase's cycle.")
      .field("phase", &CycleFigures::phase, "The phase label of a phase's figures, else empty.");
  for (const FigureInfo& info : cycle_figure_table()) {
    const std::string name(info.name);
    std::visit([&](auto member) { figures.field(name.c_str(), member, help_of(info.meaning, info.unit).c_str()); },
               info.member);
  }
  figures.field("metrics", &CycleFigures::metrics, "How closely the target speed was followed (CycleMetrics).")
      .field("energy", &CycleFigures::energy, "Where the energy went (EnergyAudit) [kWh].")
      .finish();

  Record<RunFinding>(m, "RunFinding", "A second of a cycle the vehicle could not follow (read-only).")
      .field("cycle", &RunFinding::cycle, "The cycle's name: URBAN, HIGHWAY or a cycle run.")
      .field("second", &RunFinding::second, "1-based.")
      .field("kind", &RunFinding::kind, "'over_speed' or 'over_torque'.")
      .finish();

  Record<RunWarning>(m, "RunWarning", "Something the run did that its figures do not show (read-only).")
      .field("kind", &RunWarning::kind, "'speed_search_exhausted', 'cycle_missed', 'input' or 'cycle_resampled'.")
      .field("cycle", &RunWarning::cycle, "The cycle's name; empty for an input warning.")
      .field("second", &RunWarning::second, "1-based; 0 for the settling step or the cycle as a whole.")
      .field("message", &RunWarning::message, "What happened.")
      .finish();

  Record<InputFile>(m, "InputFile", "An input file of a run (read-only).")
      .field("role", &InputFile::role, "spec, transmission, engine, full_load, motoring or fuel_map.")
      .field("name", &InputFile::name, "The name as written.")
      .field("path", &InputFile::path, "The path opened.")
      .field("sha256", &InputFile::sha256, "SHA-256 of the bytes read (64 hex digits).")
      .finish();

  Record<SpecValues> values(m, "SpecValues", "The spec file's values as a run used them (read-only).");
  for (const SpecValueInfo& info : spec_value_table()) {
    const std::string name(info.name);
    std::visit([&](auto member) { values.field(name.c_str(), member, std::string(info.meaning).c_str()); }, info.member);
  }
  values.finish();

  Record<VehicleSpec>(m, "VehicleSpec", "The category's standard vehicle with the spec file's radii (read-only).")
      .field("mu_air", &VehicleSpec::mu_air, "Air resistance [N/(km/h)^2].")
      .field("mu_roll", &VehicleSpec::mu_roll, "Rolling resistance [N/kg].")
      .field("tire_radius_m", &VehicleSpec::tire_radius_m, "[m]")
      .field("flat_road_tire_radius_m", &VehicleSpec::flat_road_tire_radius_m, "[m]")
      .field("tire_circumference_m", &VehicleSpec::tire_circumference_m, "[m]")
      .field("width_m", &VehicleSpec::width_m, "[m]")
      .field("height_m", &VehicleSpec::height_m, "[m]")
      .field("curb_weight_kg", &VehicleSpec::curb_weight_kg, "[kg]")
      .field("max_payload_kg", &VehicleSpec::max_payload_kg, "[kg]")
      .field("test_weight_kg", &VehicleSpec::test_weight_kg, "[kg]")
      .field("gross_weight_kg", &VehicleSpec::gross_weight_kg, "[kg]")
      .field("highway_ratio", &VehicleSpec::highway_ratio, "Highway share [fraction 0..1].")
      .field("crew", &VehicleSpec::crew, "Crew (trucks) or passenger capacity (buses) [persons].")
      .field("load_factor", &VehicleSpec::load_factor, "[fraction]")
      .field("engine_inertia_kg_m2", &VehicleSpec::engine_inertia_kg_m2, "Engine-side inertia [kg m^2].")
      .finish();

  Record<EngineData>(m, "EngineData", "The engine speed marks of a run (read-only).")
      .field("max_speed_rpm", &EngineData::max_speed_rpm, "Highest engine speed the simulation allows [rpm].")
      .field("rated_speed_rpm", &EngineData::rated_speed_rpm, "[rpm]")
      .field("idle_speed_rpm", &EngineData::idle_speed_rpm, "[rpm]")
      .field("engage_speed_rpm", &EngineData::engage_speed_rpm, "Clutch engagement when moving off [rpm].")
      .field("release_speed_rpm", &EngineData::release_speed_rpm, "Clutch release when slowing down [rpm].")
      .field("gear_min_speed_rpm", &EngineData::gear_min_speed_rpm, "Per gear, gear g at [g - 1] [rpm].")
      .finish();

  Record<GearRow>(m, "GearRow", "One row of the gear table (read-only).")
      .field("ratio", &GearRow::ratio, "Gearbox ratio without the final ratio.")
      .field("efficiency", &GearRow::efficiency, "")
      .field("torque_margin", &GearRow::torque_margin, "Torque reserve an upshift into this gear needs.")
      .field("rotating_mass_kg", &GearRow::rotating_mass_kg, "Equivalent mass of the rotating parts [kg].")
      .finish();

  Record<TransmissionData>(m, "TransmissionData", "The transmission as the run drives it (read-only).")
      .field("type", &TransmissionData::type, "'manual' (MT, AMT) or 'torque_converter' (AT).")
      .field("start_gears", &TransmissionData::start_gears, "Highest gear to move off in.")
      .field("reengage_gear", &TransmissionData::reengage_gear, "Gear taken when drive is re-engaged while rolling.")
      .field("max_upshift_span", &TransmissionData::max_upshift_span, "Most gears passed in one ordinary upshift.")
      .field("final_ratio", &TransmissionData::final_ratio, "")
      .field("final_efficiency", &TransmissionData::final_efficiency, "")
      .field("gears", &TransmissionData::gears, "The gear table (GearRow), gear g at [g - 1].")
      .finish();

  Record<Classification>(m, "Classification",
                         "The standard vehicle, the derived engine speeds and the gear table of a run (read-only).")
      .field("values", &Classification::values, "The spec values as used (SpecValues).")
      .field("spec", &Classification::spec, "The standard vehicle (VehicleSpec).")
      .field("engine", &Classification::engine, "The engine speed marks (EngineData).")
      .field("transmission", &Classification::transmission, "The gear table (TransmissionData).")
      .finish();
}

}  // namespace

void bind_run(py::module_& m) {
  bind_records(m);

  py::class_<RunResult> c(m, "Result", R"(The figures of a run (read-only); hdfe.run gives it.

Attributes: urban, highway, midtown (CycleFigures of the built-in cycles), cycles (dict of
CycleFigures by name, in the run's order: URBAN, HIGHWAY, MID-TOWN, or each cycle given
followed by its phases), average_fuel_economy_km_per_l, highway_ratio (0 for a run of given
cycles), engineering, classification (Classification), findings (RunFinding list), warnings
(RunWarning list), inputs (InputFile list), trace (DataFrame or None), routes (RouteFigures
list of a run of routes, each route also a cycle entry named after it) and source_vehicle.
to_dict() and to_json() give the command line's JSON document, to_frame() the figures as a
DataFrame. A Result pickles.)");
  c.attr("__module__") = "hdfe";
  c.def_property_readonly("urban", [](const RunResult& r) { return cycle_named(r, "URBAN"); }, "The URBAN cycle's figures.");
  c.def_property_readonly("highway", [](const RunResult& r) { return cycle_named(r, "HIGHWAY"); },
                          "The HIGHWAY cycle's figures.");
  c.def_property_readonly("midtown", [](const RunResult& r) { return cycle_named(r, "MID-TOWN"); },
                          "The MID-TOWN section's figures.");
  c.def_property_readonly(
      "cycles",
      [](const RunResult& r) {
        py::dict out;
        for (const CycleFigures& f : r.result.cycles) out[to_str(f.name)] = f;
        return out;
      },
      "The figures by name (a new dict), in the run's order: URBAN, HIGHWAY, MID-TOWN, or each cycle "
      "given followed by its phases (named cycle/phase).");
  c.def("to_frame", [](const RunResult& r) { return figures_frame(r.result.cycles); },
        R"(The figures as a new DataFrame, one row per cycle and phase in the run's order.

Columns: name, cycle, phase (empty but for a phase's row), every figure of CycleFigures,
the metrics of CycleMetrics, and the energy terms of EnergyAudit as energy_<term> [kWh].
co2_g_per_t_km is NaN where the payload is 0.)");
  c.def_property_readonly("engineering", [](const RunResult& r) { return r.result.engineering; },
                          "Whether the run is not the standard vehicle on the built-in cycles (given cycles "
                          "or an engineering value): the results file of the standard run cannot hold it.");
  c.def_property_readonly("average_fuel_economy_km_per_l", [](const RunResult& r) { return r.result.average_fuel_economy_km_per_l; },
                          "The distance-weighted average [km/l].");
  c.def_property_readonly("highway_ratio", [](const RunResult& r) { return r.result.highway_ratio; },
                          "The highway share of the average [fraction].");
  c.def_property_readonly("classification", [](const RunResult& r) { return r.result.classification; },
                          "The standard vehicle, engine speed marks and gear table (Classification).");
  c.def_property_readonly("findings", [](const RunResult& r) { return records(r.result.findings); },
                          "Seconds the vehicle could not follow (RunFinding list).");
  c.def_property_readonly("warnings", [](const RunResult& r) { return records(r.result.warnings); },
                          "What the run did that the figures do not show (RunWarning list).");
  c.def_property_readonly("routes", [](const RunResult& r) { return records(r.result.routes); },
                          "What each route driven gave (RouteFigures list), in the run's order; empty for a "
                          "run of cycles. Each route's cycle figures are in cycles under its name.");
  c.def_property_readonly("inputs", [](const RunResult& r) { return records(r.inputs); },
                          "The input files read, spec file first (InputFile list).");
  c.def_property_readonly("source_vehicle", [](const RunResult& r) { return r.source ? r.source : py::none(); },
                          "The Vehicle object given to hdfe.run (for its curves and map), or None.");
  c.def_property_readonly("trace", [](const RunResult& r) { return trace_frame(r.trace); },
                          R"(The per-second traces: a new DataFrame with the trace CSV's columns, or None.

Columns: cycle, second, target_speed_km_per_h, speed_km_per_h, gradient_percent,
distance_km, gear, engine_speed_rpm, engine_torque_Nm, normalised_speed_percent,
normalised_torque_percent, fuel_rate_l_per_h, cumulative_fuel_l. Distance and fuel
accumulate from each cycle's start. None unless the run was asked for traces.)");
  c.def("to_json", [](const RunResult& r) { return to_str(r.json); }, "The command line's JSON document, as text.");
  c.def("to_dict", [](const RunResult& r) { return py::module_::import("json").attr("loads")(to_str(r.json)); },
        "The command line's JSON document, parsed (a fresh copy).");
  c.def("__repr__", [](const RunResult& r) {
    std::string text = "<hdfe.Result " + std::string(py::repr(to_str(r.result.classification.values.vehicle_name))) + ":";
    for (std::size_t k = 0; k < r.result.cycles.size(); ++k) {
      text += std::string(k ? ", " : " ") + r.result.cycles[k].name + " " +
              std::string(py::str("{:.4f}").format(r.result.cycles[k].fuel_economy_km_per_l));
    }
    return text + " km/l>";
  });
  m.def("_restore_Result", &result_from, "Restores a pickled Result.");
  c.def("__reduce__", [](const RunResult& r) { return reduced("Result", result_state(r)); });

  m.def("trace_column_table", [] {
    py::list out;
    for (const TraceColumnInfo& c : trace_column_table()) {
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), std::string(c.meaning), c.whole_number));
    }
    return out;
  }, "The numeric trace columns, in order: (name, unit, meaning, whole_number).");
  m.def("cycle_metric_table", [] {
    py::list out;
    for (const MetricInfo& c : cycle_metric_table()) {
      const bool whole = std::holds_alternative<int32_t CycleMetrics::*>(c.member);
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), std::string(c.meaning), whole));
    }
    return out;
  }, "The cycle-following metrics, in order: (name, unit, meaning, whole_number).");
  m.def("cycle_figure_table", [] {
    py::list out;
    for (const FigureInfo& c : cycle_figure_table()) {
      const char* kind = std::visit(
          [](auto member) {
            using M = std::decay_t<decltype(std::declval<CycleFigures>().*member)>;
            return std::is_same_v<M, int32_t> ? "whole" : std::is_same_v<M, bool> ? "bool"
                   : std::is_same_v<M, std::optional<double>> ? "optional" : "number";
          },
          c.member);
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), std::string(c.meaning), kind));
    }
    return out;
  }, "The figures of a cycle, in order: (name, unit, meaning, kind), kind one of number, whole, bool, optional.");
  m.def("energy_audit_table", [] {
    py::list out;
    for (const EnergyTermInfo& c : energy_audit_table()) {
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), std::string(c.meaning)));
    }
    return out;
  }, "The energy audit's terms, in order: (name, unit, meaning).");
  // Runs a copy of the vehicle (a Python thread may edit it meanwhile) with the GIL released:
  // over the built-in cycles, the given ones or the given routes.
  const auto run_copy = [](const py::object& vehicle, bool trace, const std::optional<std::vector<Cycle>>& cycles,
                           const std::optional<std::vector<Route>>& routes = std::nullopt) {
    const Vehicle v = vehicle.cast<const Vehicle&>();
    RunResult out;
    {
      py::gil_scoped_release unlocked;
      Result result = routes   ? run_routes(v, *routes, RunOptions{trace})
                      : cycles ? run_cycles(v, *cycles, RunOptions{trace})
                               : run(v, RunOptions{trace});
      out.json = result_json(v, result);
      out.trace = trace_table_of(result);
      result.traces.clear();
      out.result = std::move(result);
      out.inputs = v.files;
    }
    out.source = vehicle;
    return out;
  };
  m.def(
      "run", [run_copy](const py::object& vehicle, bool trace) { return run_copy(vehicle, trace, std::nullopt); },
      py::arg("vehicle"), py::arg("trace") = false, "Runs a vehicle over the built-in cycles (see hdfe.run).");
  m.def(
      "run_cycles",
      [run_copy](const py::object& vehicle, const py::object& cycles, bool trace) {
        return run_copy(vehicle, trace, cycles_of(cycles));
      },
      py::arg("vehicle"), py::arg("cycles"), py::arg("trace") = false,
      "Runs a vehicle over the given Cycle objects (see hdfe.run).");
  m.def(
      "run_routes",
      [run_copy](const py::object& vehicle, const py::object& routes, bool trace) {
        return run_copy(vehicle, trace, std::nullopt, routes_of(routes));
      },
      py::arg("vehicle"), py::arg("routes"), py::arg("trace") = false,
      "Drives a vehicle along the given Route objects (see hdfe.run).");
}

}  // namespace hdfe::python
