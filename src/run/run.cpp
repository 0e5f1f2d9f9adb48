// The whole run of a loaded vehicle: classification, checks, fuel grid, every cycle, and
// the figures of every reported section.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/cycleresults.h"
#include "sim/fuelgrid.h"
#include "run/classification.h"
#include "run/energyaudit.h"
#include "run/figures.h"
#include "run/plausibility.h"
#include "hdfe/cycle.h"
#include "hdfe/route.h"
#include "run/routefigures.h"
#include "sim/routedriver.h"
#include "hdfe/hdfe.h"
#include "model/checkvehicle.h"
#include "model/classify.h"
#include "core/constants.h"
#include "sim/cycles.h"
#include "sim/runcheck.h"
#include "sim/runcycle.h"

namespace hdfe {

namespace {

// A second at this share of full-load torque or more counts as at full load [%].
constexpr double FullLoadShare = 99.0;
// A cycle is missed when its distance falls below this share of the target [%], or when more
// than this share of its seconds are missed [%]. The example vehicles stay above 99.9 % of
// the distance and under 0.2 % of missed seconds; a tractor with a third of its torque
// covers 94 % of the town distance and misses a fifth of its seconds.
constexpr double MissedDistancePercent = 99.0;
constexpr double MissedSecondsPercent = 2.0;

}  // namespace

SpecValues values_for_run(const SpecValues& read) {
  SpecValues values = read;
  if (values.idle_stop_on == 0) values.stop_delay_s = NoIdleStopWait;
  if (values.start_idle_stop_on == 0) values.start_idle_time_s = NoIdleStopWait;
  values.roll_addend = values.roll_addend * std::sqrt(1.0 / (values.flat_road_tire_radius_m + 1.0));
  return values;
}

Classification classify_vehicle(const Vehicle& v, TransmissionInput& ratios) {
  Classification c;
  c.values = values_for_run(v.values);
  c.spec.tire_radius_m = v.values.tire_radius_m;
  c.spec.flat_road_tire_radius_m = v.values.flat_road_tire_radius_m;
  c.engine.idle_speed_rpm = v.engine.idle_speed_rpm;
  c.engine.rated_speed_rpm = v.engine.rated_speed_rpm;
  c.engine.max_speed_rpm = v.engine.max_speed_rpm;
  c.transmission.type = v.transmission.type;
  c.transmission.final_ratio = v.values.final_ratio;
  ratios = v.transmission;
  classify(c.values, c.spec, c.engine, c.transmission, ratios);
  return c;
}

namespace {

int32_t step_count(const SectionSteps& steps) {
  int32_t count = 0;
  for (const StepRange& range : steps) count += range.count;
  return count;
}

bool missed(const CycleMetrics& m, int32_t seconds) {
  return m.distance_percent_of_target < MissedDistancePercent ||
         m.seconds_below_target * Percent > MissedSecondsPercent * seconds;
}

std::string missed_message(const CycleFigures& f) {
  char text[256];
  std::snprintf(text, sizeof text,
                ": the vehicle fell more than %.0f km/h below the target speed for %d s (largest shortfall "
                "%.1f km/h at %d s) and covered %.2f %% of the target distance; it cannot follow the cycle",
                ShortfallSpeedKmh, f.metrics.seconds_below_target, f.metrics.largest_shortfall_km_per_h,
                f.metrics.largest_shortfall_second, f.metrics.distance_percent_of_target);
  return f.name + text;
}

// What one pass over a section's steps gives: its average (summed in step order as
// cycle_average sums one range), its target distance and how closely it was followed.
struct SectionPass {
  CycleResult average;
  double target_distance_km = 0.0;
  CycleMetrics metrics;
};

SectionPass section_pass(const DriveCycle& cycle, const CycleTrace& trace, const SectionSteps& steps) {
  SectionPass pass;
  CycleMetrics& m = pass.metrics;
  int32_t belowTarget = 0, atFullLoad = 0, largestSecond = 0;
  double largest = 0.0;
  double sumV = 0.0;
  double sumFC = 0.0;
  double target = 0.0;
  const double* const speed = trace.speed_km_per_h.data();
  const double* const fuel = trace.fuel_rate_l_per_h.data();
  const double* const torque = trace.normalised_torque_percent.data();
  const double* const targetSpeed = cycle.target_speed_km_per_h.data();
  for (const StepRange& range : steps) {
    // Step i's values at [i - 1], its target speed at point i.
    const std::ptrdiff_t from = range.first - 1;
    const std::ptrdiff_t to = from + std::max(range.count, 0);
    for (std::ptrdiff_t k = from; k < to; ++k) {
      const double Vt = targetSpeed[k + 1];
      const double shortfall = Vt - speed[k];
      belowTarget += shortfall > ShortfallSpeedKmh ? 1 : 0;
      if (shortfall > largest) {
        largest = shortfall;
        largestSecond = static_cast<int32_t>(k + 1);
      }
      atFullLoad += torque[k] >= FullLoadShare ? 1 : 0;
      sumV = sumV + speed[k];
      sumFC = sumFC + fuel[k];
      target += Vt;
    }
  }
  m.seconds_below_target = belowTarget;
  m.seconds_at_full_load = atFullLoad;
  m.largest_shortfall_km_per_h = largest;
  m.largest_shortfall_second = largestSecond;
  m.distance_percent_of_target = target > 0.0 ? sumV / target * Percent : 0.0;
  pass.target_distance_km = target / SecondsPerHour;
  CycleResult& a = pass.average;
  a.average_speed_km_per_h = sumV / static_cast<double>(step_count(steps));
  a.fuel_economy_km_per_l = sumV / sumFC;
  a.distance_km = sumV / SecondsPerHour;
  a.fuel_l = sumFC / SecondsPerHour;
  return pass;
}

}  // namespace

CycleFigures section_figures(const SectionDefinition& section, const CycleResult& average, bool converter,
                             double Kf1, double Kf2) {
  CycleFigures f;
  f.name = section.name;
  f.first_second = section.first;
  f.average_speed_km_per_h = average.average_speed_km_per_h;
  f.distance_km = average.distance_km;
  f.fuel_l = average.fuel_l;
  f.converter_factor = converter ? section.converter_factor : 1.0;
  f.fuel_economy_before_transient_km_per_l =
      converter ? average.fuel_economy_km_per_l * section.converter_factor : average.fuel_economy_km_per_l;
  f.transient_correction = section.transient_correction;
  f.fuel_economy_after_transient_km_per_l = section.transient_correction
                                                 ? f.fuel_economy_before_transient_km_per_l / TransientFactor
                                                 : f.fuel_economy_before_transient_km_per_l;
  f.kf = section.kf == 1 ? Kf1 : Kf2;
  // Town figures are Kf1 times the economy, the highway figure the economy times Kf2.
  f.fuel_economy_after_kf_km_per_l = section.kf == 1 ? f.kf * f.fuel_economy_after_transient_km_per_l
                                                     : f.fuel_economy_after_transient_km_per_l * f.kf;
  f.fuel_economy_km_per_l = f.fuel_economy_after_kf_km_per_l;
  return f;
}

double average_economy(double town, double highway, double h) {
  return 1.0 / ((1.0 - h) / town + h / highway);
}

const CycleFigures& Result::cycle(std::string_view name) const {
  for (const CycleFigures& figures : cycles) {
    if (figures.name == name) return figures;
  }
  throw std::out_of_range("no cycle named " + std::string(name));
}

std::shared_ptr<const FuelGrid> fuel_grid(const Vehicle& vehicle) {
  auto grid = std::make_shared<FuelGrid>();
  build_fuel_grid(*grid, vehicle.fuel_map, vehicle.motoring);
  return grid;
}

Result run(const Vehicle& vehicle, const RunOptions& options) { return run(vehicle, options, fuel_grid); }

namespace {

// Classifies the vehicle into result and checks it (with Kf1 and Kf2 when the run reports
// them), notes its input warnings and gives its fuel grid.
std::shared_ptr<const FuelGrid> prepare_run(const Vehicle& vehicle, Result& result, const FuelGridSource& gridSource,
                                            bool kfFactors) {
  check_engineering_values(vehicle.values);
  TransmissionInput ratios;
  result.classification = classify_vehicle(vehicle, ratios);
  const Classification& c = result.classification;
  if (kfFactors) check_factors(c.values.kf1, c.values.kf2);
  EngineInput files{vehicle.engine.fuel_map_file, vehicle.engine.full_load_file, vehicle.engine.motoring_file};
  const std::string specName = vehicle.files.empty() ? std::string() : vehicle.files.front().name;
  check_vehicle(specName, c.values, c.spec, c.engine, files, c.transmission, ratios, vehicle.full_load,
                vehicle.motoring, vehicle.fuel_map);
  check_map_speeds(vehicle.fuel_map, vehicle.motoring, vehicle.engine.motoring_file);
  result.warnings = input_warnings(vehicle);
  return gridSource(vehicle);
}

// Idle stop over a cycle: the waits of its two rules [s] and the steps of the start rule.
struct IdleStopRules {
  bool applies = false;
  int32_t stop_delay_s = 0;
  int32_t start_idle_time_s = 0;
  int32_t start_steps = 0;
};

// A driven cycle and the speed its step 1 starts from.
struct DrivenCycle {
  CycleRun run;
  double start_speed_km_per_h = 0.0;
};

// The engine driven past its highest speed by more than this share: the gear logic can take a
// gear that runs the engine far past it (re-engaging from a stall at the speed a cycle jumps
// to), and the fuel map is then read far outside its points [%].
constexpr double OverSpeedPercent = 5.0;

// Warns once per cycle when the engine ran past its highest speed in gear.
void warn_over_speed(const std::string& name, const CycleTrace& trace, const EngineData& eng,
                     std::vector<RunWarning>& warnings) {
  int32_t count = 0, first = 0;
  double fastest = 0.0, fuel = 0.0;
  const double limit = eng.max_speed_rpm * (1.0 + OverSpeedPercent / Percent);
  // Almost every run stays below the limit: a plain scan of the speeds shows it.
  const std::span<const double> speeds = trace.engine_speed_rpm;
  if (std::none_of(speeds.begin(), speeds.end(), [limit](double speed) { return speed > limit; })) return;
  for (std::size_t k = 0; k < trace.engine_speed_rpm.size(); ++k) {
    if (trace.gear[k] == 0 || !(trace.engine_speed_rpm[k] > limit)) continue;
    if (count++ == 0) first = static_cast<int32_t>(k) + 1;
    if (trace.engine_speed_rpm[k] > fastest) {
      fastest = trace.engine_speed_rpm[k];
      fuel = trace.fuel_rate_l_per_h[k];
    }
  }
  if (count == 0) return;
  char text[320];
  std::snprintf(text, sizeof text,
                ": in %d s from %d s the gear logic ran the engine past its highest speed of %.0f rpm (up to %.0f "
                "rpm, where the fuel map gives %.0f l/h): the vehicle cannot follow the cycle's speeds there, and "
                "the fuel figures are not meaningful",
                count, first, eng.max_speed_rpm, fastest, fuel);
  warnings.push_back({RunWarning::Kind::EngineOverSpeed, name, first, name + text});
}

// Gives a simulated cycle its fuel rates and, where it applies, idle stop.
DrivenCycle finish_cycle(std::string name, const DriveCycle& cycle, CycleSimulation simulation,
                         const IdleStopRules& rules, const Vehicle& vehicle, const Classification& c,
                         FuelRateReader& rates, std::vector<RunWarning>& warnings) {
  CycleTrace& trace = simulation.trace;
  check_driven_speeds(name, trace, cycle.n, vehicle, c.engine);
  trace.fuel_rate_l_per_h.clear();
  rates.append(trace.engine_speed_rpm, trace.engine_torque_nm, trace.gear, trace.fuel_rate_l_per_h, cycle, c.engine);
  if (rules.applies) {
    idle_stop(trace.speed_km_per_h, trace.engine_speed_rpm, trace.fuel_rate_l_per_h, cycle.n, rules.stop_delay_s,
              rules.start_idle_time_s, c.values.restart_lead_s, rules.start_steps);
  }
  for (const int32_t second : simulation.exhausted_searches) {
    warnings.push_back({RunWarning::Kind::SpeedSearchExhausted, name, second,
                        "Warning : convergence cal. of vehicle speed"});
  }
  warn_over_speed(name, trace, c.engine, warnings);
  DrivenCycle driven;
  driven.run.name = std::move(name);
  driven.run.cycle = cycle;
  driven.run.trace = std::move(trace);
  driven.start_speed_km_per_h = simulation.start_speed_km_per_h;
  return driven;
}

// Drives a cycle, gives it its fuel rates and, where it applies, idle stop.
DrivenCycle drive_cycle(std::string name, const DriveCycle& cycle, const IdleStopRules& rules,
                        const Vehicle& vehicle, const Classification& c, FuelRateReader& rates,
                        std::vector<RunWarning>& warnings) {
  return finish_cycle(std::move(name), cycle, run_cycle(cycle, c.spec, c.engine, c.transmission, vehicle.full_load),
                      rules, vehicle, c, rates, warnings);
}

// A reported section of a driven cycle: its names, corrections and steps.
struct Section {
  std::string name;
  std::string cycle;
  std::string phase;
  SectionDefinition corrections;  // its name and window unused
  SectionSteps steps;
  bool whole = false;  // the whole cycle: checked, and warned about when missed
};

// What every section's figures take from the run.
struct FigureTerms {
  bool converter = false;
  double kf1 = 1.0;
  double kf2 = 1.0;
  double co2_kg_per_l = DieselCo2KgPerL;
  double payload_kg = 0.0;
};

FigureTerms figure_terms(const Classification& c, bool kfFactors) {
  FigureTerms t;
  t.converter = c.transmission.type == TransmissionType::TorqueConverter;
  if (kfFactors) {
    t.kf1 = c.values.kf1;
    t.kf2 = c.values.kf2;
  }
  t.co2_kg_per_l = c.values.co2_kg_per_l.value_or(DieselCo2KgPerL);
  t.payload_kg = payload_kg(c.values, c.spec);
  return t;
}

// The figures of a section of a driven cycle (its energy audit aside); a missed whole cycle
// adds a warning.
CycleFigures run_figures(const Section& section, const CycleRun& r, const FigureTerms& terms,
                         std::vector<RunWarning>& warnings) {
  const int32_t steps = step_count(section.steps);
  const SectionPass pass = section_pass(r.cycle, r.trace, section.steps);
  CycleFigures f = section_figures(section.corrections, pass.average, terms.converter, terms.kf1, terms.kf2);
  f.name = section.name;
  f.cycle = section.cycle;
  f.phase = section.phase;
  f.first_second = section.steps.empty() ? 1 : section.steps.front().first;
  f.seconds = steps;
  f.target_distance_km = pass.target_distance_km;
  f.metrics = pass.metrics;
  set_consumption_figures(f, terms.co2_kg_per_l, terms.payload_kg);
  if (section.whole && missed(f.metrics, steps)) {
    warnings.push_back({RunWarning::Kind::CycleMissed, f.name, 0, missed_message(f)});
  }
  return f;
}

// The energy audit of every section of a driven cycle, in one pass over its steps; fills the
// trace's split of the engine torque.
void audit_sections(const EnergyAuditor& auditor, DrivenCycle& driven, std::span<const Section* const> sections,
                    std::span<CycleFigures* const> figures) {
  std::vector<const SectionSteps*> steps;
  for (const Section* section : sections) steps.push_back(&section->steps);
  const std::vector<EnergyAudit> audits =
      auditor.audit(driven.run.cycle, driven.run.trace, driven.start_speed_km_per_h, steps);
  for (std::size_t s = 0; s < sections.size(); ++s) figures[s]->energy = audits[s];
}

// The phases of a cycle in order of first appearance, each with the steps whose point
// carries its label (step i is in the phase of point i); points without a label are in none.
std::vector<Section> phase_sections(const Cycle& cycle, const SectionDefinition& corrections) {
  std::vector<Section> phases;
  const std::size_t points = cycle.phase.size();
  std::size_t current = 0;  // the phase of the previous step, when it has one
  bool inPhase = false;
  for (std::size_t i = 1; i < points; ++i) {
    const std::string& label = cycle.phase[i];
    if (label.empty()) {
      inPhase = false;
      continue;
    }
    if (inPhase && phases[current].phase == label) {
      ++phases[current].steps.back().count;
      continue;
    }
    current = 0;
    while (current < phases.size() && phases[current].phase != label) ++current;
    if (current == phases.size()) {
      phases.push_back({cycle.name + "/" + label, cycle.name, label, corrections, {}, false});
    }
    phases[current].steps.push_back({static_cast<int32_t>(i), 1});
    inPhase = true;
  }
  return phases;
}

// A user's cycle as the simulation reads it: the points, then zeros past point n as the
// built-in tables hold them (the look-ahead and the moving-off search read beyond n).
struct PaddedCycle {
  std::vector<double> speed;
  std::vector<double> grade;
};
constexpr std::size_t PaddingPoints = 3;

// Idle stop over a user's cycle or a route as the spec's settings give it; the start rule
// covers the steps before the first moving target. A rule that is off waits longer than the
// cycle: the wait that stands for "off" in the built-in cycles would stop the engine in a
// long user cycle.
IdleStopRules user_idle_stop(const Classification& c, const DriveCycle& table) {
  const int32_t never = table.n + 1;
  return IdleStopRules{c.values.idle_stop_on != 0 || c.values.start_idle_stop_on != 0,
                       c.values.idle_stop_on != 0 ? c.values.stop_delay_s : never,
                       c.values.start_idle_stop_on != 0 ? c.values.start_idle_time_s : never,
                       leading_standstill(table.target_speed_km_per_h, table.n)};
}

// Checks a driven user's cycle (or route, as the cycle its driver made) and adds the figures
// of it and of its phases, and its traces when asked for, to the result. The fuel economy is
// distance over fuel with the cycle's torque-converter factor: no transient correction and no
// Kf. Each phase is corrected as its cycle.
void add_driven(Result& result, DrivenCycle driven, const Cycle& cycle, const FigureTerms& terms,
                const EnergyAuditor& auditor, const RunOptions& options) {
  CycleRun& r = driven.run;
  check_cycle(r.name, r.cycle, r.trace, result.findings);
  const SectionDefinition corrections{r.name, 0, 1, 0, false, converter_factor_for(cycle), 1};
  std::vector<Section> sections{{r.name, r.name, "", corrections, {{1, r.cycle.n}}, true}};
  for (Section& phase : phase_sections(cycle, corrections)) sections.push_back(std::move(phase));
  const std::size_t first = result.cycles.size();
  for (const Section& section : sections) result.cycles.push_back(run_figures(section, r, terms, result.warnings));
  check_cycle_figures(result.cycles[first]);
  std::vector<const Section*> of;
  std::vector<CycleFigures*> figures;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    of.push_back(&sections[s]);
    figures.push_back(&result.cycles[first + s]);
  }
  if (options.energy_audit) audit_sections(auditor, driven, of, figures);
  if (options.traces) result.traces.push_back(std::move(driven.run));
}

// What the cycles or routes of a user's run share: the vehicle classified into the result,
// its fuel grid, figure terms, energy auditor and fuel-rate reader. Built in place.
struct UserRun {
  UserRun(const Vehicle& vehicle, Result& result, const FuelGridSource& gridSource)
      : grid(prepare_run(vehicle, result, gridSource, false)),
        c(result.classification),
        terms(figure_terms(c, false)),
        auditor(c, vehicle.motoring),
        rates(*grid, vehicle.motoring) {
    result.engineering = true;
  }
  std::shared_ptr<const FuelGrid> grid;
  const Classification& c;
  FigureTerms terms;
  EnergyAuditor auditor;
  FuelRateReader rates;
};

}  // namespace

Result run(const Vehicle& vehicle, const RunOptions& options, const FuelGridSource& gridSource) {
  Result result;
  const std::shared_ptr<const FuelGrid> shared = prepare_run(vehicle, result, gridSource, true);
  const FuelGrid& grid = *shared;
  const Classification& c = result.classification;
  result.engineering = has_engineering_values(vehicle.values);

  // Every cycle is driven, given its fuel rates and, where it applies, idle stop.
  const std::span<const CycleDefinition> cycles = built_in_cycles();
  std::vector<DrivenCycle> runs;
  FuelRateReader rates(grid, vehicle.motoring);
  for (const CycleDefinition& definition : cycles) {
    const IdleStopRules rules{definition.idle_stop, c.values.stop_delay_s, c.values.start_idle_time_s, UrbanStartSteps};
    runs.push_back(drive_cycle(std::string(definition.name), definition.table, rules,
                               vehicle, c, rates, result.warnings));
  }
  for (const DrivenCycle& d : runs) check_cycle(d.run.name, d.run.cycle, d.run.trace, result.findings);

  std::vector<Section> sections;
  for (const SectionDefinition& definition : reported_sections()) {
    const CycleRun& r = runs[definition.cycle].run;
    const int32_t steps = definition.steps > 0 ? definition.steps : r.cycle.n - definition.first + 1;
    sections.push_back({std::string(definition.name), r.name, "", definition, {{definition.first, steps}},
                        definition.first == 1});
  }
  const FigureTerms terms = figure_terms(c, true);
  for (const Section& section : sections) {
    result.cycles.push_back(run_figures(section, runs[section.corrections.cycle].run, terms, result.warnings));
  }
  if (options.energy_audit) {
    const EnergyAuditor auditor(c, vehicle.motoring);
    for (std::size_t k = 0; k < runs.size(); ++k) {
      std::vector<const Section*> of;
      std::vector<CycleFigures*> figures;
      for (std::size_t s = 0; s < sections.size(); ++s) {
        if (sections[s].corrections.cycle != k) continue;
        of.push_back(&sections[s]);
        figures.push_back(&result.cycles[s]);
      }
      audit_sections(auditor, runs[k], of, figures);
    }
  }

  result.highway_ratio = c.spec.highway_ratio;
  result.average_fuel_economy_km_per_l = average_economy(
      result.cycle("URBAN").fuel_economy_km_per_l, result.cycle("HIGHWAY").fuel_economy_km_per_l, result.highway_ratio);
  check_figures(result);
  if (options.traces) {
    for (DrivenCycle& d : runs) result.traces.push_back(std::move(d.run));
  }
  return result;
}

Result run_cycles(const Vehicle& vehicle, std::span<const Cycle> cycles, const RunOptions& options) {
  return run_cycles(vehicle, cycles, options, fuel_grid);
}

Result run_cycles(const Vehicle& vehicle, std::span<const Cycle> cycles, const RunOptions& options,
                  const FuelGridSource& gridSource) {
  for (const Cycle& cycle : cycles) check_cycle_values(cycle);
  Result result;
  UserRun u(vehicle, result, gridSource);

  for (const Cycle& cycle : cycles) {
    if (!cycle.resampled.empty()) {
      result.warnings.push_back({RunWarning::Kind::CycleResampled, cycle.name, 0, cycle.name + ": " + cycle.resampled});
    }
    const std::size_t points = cycle.target_speed_km_per_h.size();
    auto padded = std::make_shared<PaddedCycle>();
    padded->speed = cycle.target_speed_km_per_h;
    padded->speed.resize(points + PaddingPoints, 0.0);
    padded->grade = cycle.grade_percent;
    padded->grade.resize(points + PaddingPoints, 0.0);
    const DriveCycle table{static_cast<int32_t>(points - 1), padded->speed, padded->grade};
    const IdleStopRules rules = user_idle_stop(u.c, table);
    DrivenCycle driven = drive_cycle(cycle.name, table, rules, vehicle, u.c, u.rates, result.warnings);
    driven.run.storage = std::move(padded);
    add_driven(result, std::move(driven), cycle, u.terms, u.auditor, options);
  }
  return result;
}

Result run_routes(const Vehicle& vehicle, std::span<const Route> routes, const RunOptions& options) {
  return run_routes(vehicle, routes, options, fuel_grid);
}

Result run_routes(const Vehicle& vehicle, std::span<const Route> routes, const RunOptions& options,
                  const FuelGridSource& gridSource) {
  for (const Route& route : routes) check_route_values(route);
  Result result;
  UserRun u(vehicle, result, gridSource);

  for (const Route& route : routes) {
    const RouteDriver driver(route);
    RouteSimulation simulation = run_route_cycle(driver, u.c.spec, u.c.engine, u.c.transmission, vehicle.full_load);
    // The cycle the driver made of the route: its targets and grades second by second.
    auto table = std::make_shared<PaddedCycle>();
    table->speed = std::move(simulation.target_speed_km_per_h);
    table->grade = std::move(simulation.grade_percent);
    const DriveCycle cycle{simulation.steps, table->speed, table->grade};
    DrivenCycle driven = finish_cycle(route.name, cycle, std::move(simulation.simulation), user_idle_stop(u.c, cycle),
                                      vehicle, u.c, u.rates, result.warnings);
    driven.run.storage = table;
    result.routes.push_back(route_figures(route, driver, simulation.start_position_m, driven.run.trace));
    const auto points = static_cast<std::ptrdiff_t>(simulation.steps) + 1;
    const Cycle targets{route.name, {table->speed.begin(), table->speed.begin() + points}, {}, {}, route.source, {}};
    add_driven(result, std::move(driven), targets, u.terms, u.auditor, options);
  }
  return result;
}

}  // namespace hdfe
