#include "hdfe/report.h"

#include <type_traits>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "hdfe/bytetext.h"
#include "hdfe/tables.h"
#include "hdfe/values.h"

namespace hdfe {

namespace {

using nlohmann::ordered_json;

std::string finding_kind(RunFinding::Kind kind) { return std::string(finding_kind_name(kind)); }
std::string warning_kind(RunWarning::Kind kind) { return std::string(warning_kind_name(kind)); }

// The spec values of those file names, as the run used them, keyed by their file names.
void put_spec_values(ordered_json& j, const SpecValues& values, std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names) {
    const SpecValueInfo& info = *find_spec_value(name);
    std::visit(
        [&](const auto& value) {
          if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::optional<double>>) {
            j[std::string(info.file_name)] = value ? ordered_json(*value) : ordered_json(nullptr);
          } else {
            j[std::string(info.file_name)] = value;
          }
        },
        get_spec_value(values, info));
  }
}

ordered_json vehicle_json(const Classification& c) {
  const SpecValues& v = c.values;
  const VehicleSpec& s = c.spec;
  const EngineData& e = c.engine;
  const TransmissionData& t = c.transmission;
  ordered_json gears = ordered_json::array();
  for (std::size_t k = 0; k < t.gears.size(); ++k) {
    const GearRow& g = t.gears[k];
    gears.push_back({{"gear", k + 1},
                     {"ratio", g.ratio},
                     {"efficiency", g.efficiency},
                     {"torque_margin", g.torque_margin},
                     {"DW", g.rotating_mass_kg},
                     {"min_engine_speed_rpm", e.gear_min_speed_rpm[k]}});
  }
  const char kind = v.category_code.empty() ? ' ' : v.category_code.front();
  ordered_json j = {{"name", v.vehicle_name},
                    {"category", v.category_code},
                    {"vehicle_type", kind == 'T' ? "TRUCK" : kind == 'B' ? "BUS" : ""},
                    {"transmission", t.type == TransmissionType::TorqueConverter ? "Torque Converter AT" : "MT, AMT"},
                    {"highway_ratio", s.highway_ratio},
                    {"GVW", s.gross_weight_kg},
                    {"Wcurb", s.curb_weight_kg},
                    {"Wtest", s.test_weight_kg},
                    {"MaxPayload", s.max_payload_kg},
                    {"Crew", s.crew},
                    {"LoadFactor", s.load_factor},
                    {"Width", s.width_m},
                    {"Height", s.height_m}};
  put_spec_values(j, v, {"TireRadius", "FlatRoadTireRadius"});
  j["EngineInertia"] = s.engine_inertia_kg_m2;
  j["MuAir"] = s.mu_air;
  j["MuRoll"] = s.mu_roll;
  j["Nidle"] = e.idle_speed_rpm;
  j["Nrate"] = e.rated_speed_rpm;
  j["Nex"] = e.max_speed_rpm;
  j["Nes"] = e.engage_speed_rpm;
  j["Nec"] = e.release_speed_rpm;
  put_spec_values(j, v, {"FinalRatio"});
  j["FinalEfficiency"] = t.final_efficiency;
  put_spec_values(j, v, {"Kf1", "Kf2", "IdleStopOn", "StopDelay", "StartIdleStopOn", "StartIdleTime", "RestartLead"});
  // The engineering values, null where the category's own are run.
  for (const SpecValueInfo& info : spec_value_table()) {
    if (info.kind == ValueKind::OptionalReal) put_spec_values(j, v, {info.file_name});
  }
  j["gears"] = gears;
  return j;
}

ordered_json cycle_json(const CycleFigures& f) {
  ordered_json j = {{"name", f.name}, {"cycle", f.cycle}, {"phase", f.phase}};
  for (const FigureInfo& figure : cycle_figure_table()) {
    std::visit(
        [&](auto member) {
          const auto& value = f.*member;
          if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::optional<double>>) {
            j[std::string(figure.name)] = value ? ordered_json(*value) : ordered_json(nullptr);
          } else {
            j[std::string(figure.name)] = value;
          }
        },
        figure.member);
  }
  ordered_json metrics = ordered_json::object();
  for (const MetricInfo& metric : cycle_metric_table()) {
    std::visit([&](auto member) { metrics[std::string(metric.name)] = f.metrics.*member; }, metric.member);
  }
  j["metrics"] = std::move(metrics);
  ordered_json energy = ordered_json::object();
  for (const EnergyTermInfo& term : energy_audit_table()) energy[std::string(term.name)] = f.energy.*term.member;
  j["energy"] = std::move(energy);
  return j;
}

// Every text in the document as valid UTF-8: names and paths come from input files and may
// hold any bytes, which are escaped so that a path still names its file.
void escape_texts(ordered_json& j) {
  if (j.is_string()) {
    j = escape_bytes(j.get_ref<const std::string&>());
  } else if (j.is_structured()) {
    for (ordered_json& item : j) escape_texts(item);
  }
}

}  // namespace

std::string result_json(const Vehicle& vehicle, const Result& result) {
  ordered_json inputs = ordered_json::array();
  for (const InputFile& file : vehicle.files) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file.path, ec).lexically_normal();
    inputs.push_back({{"role", file.role}, {"name", file.name}, {"path", absolute.string()}, {"sha256", file.sha256}});
  }
  ordered_json cycles = ordered_json::array();
  for (const CycleFigures& f : result.cycles) cycles.push_back(cycle_json(f));
  ordered_json findings = ordered_json::array();
  for (const RunFinding& f : result.findings) {
    findings.push_back({{"cycle", f.cycle}, {"second", f.second}, {"kind", finding_kind(f.kind)}});
  }
  ordered_json warnings = ordered_json::array();
  for (const RunWarning& w : result.warnings) {
    warnings.push_back(
        {{"cycle", w.cycle}, {"second", w.second}, {"kind", warning_kind(w.kind)}, {"message", w.message}});
  }
  ordered_json document = {
      {"program",
       {{"name", "hdfe"}, {"version", ProgramVersion}, {"cycle_tables_version", CycleTablesVersion}}},
      {"inputs", inputs},
      {"vehicle", vehicle_json(result.classification)},
      {"cycles", cycles},
      {"average_fuel_economy_km_per_l", result.average_fuel_economy_km_per_l},
      {"engineering", result.engineering},
      {"run_checks", findings},
      {"warnings", warnings}};
  if (!result.routes.empty()) {
    ordered_json routes = ordered_json::array();
    for (const RouteFigures& r : result.routes) {
      ordered_json route = {{"name", r.name}};
      for (const RouteFigureInfo& figure : route_figure_table()) route[std::string(figure.name)] = r.*figure.member;
      // The kilometres as columns, each a list over them.
      ordered_json kilometres = ordered_json::object();
      for (const RouteKilometreInfo& column : route_kilometre_table()) {
        ordered_json values = ordered_json::array();
        for (const RouteKilometre& km : r.kilometres) values.push_back(km.*column.member);
        kilometres[std::string(column.name)] = std::move(values);
      }
      route["kilometres"] = std::move(kilometres);
      routes.push_back(std::move(route));
    }
    document["routes"] = std::move(routes);
  }
  escape_texts(document);
  return document.dump(2) + "\n";
}

}  // namespace hdfe
