// The corrections that turn a simulated section's average into its reported figures.
#pragma once
#include <string>
#include <string_view>

#include "hdfe/hdfe.h"
#include "sim/cycleresults.h"
#include "sim/cycles.h"

namespace hdfe {

// The figures of a section from its simulated average: the torque-converter factor of an
// automatic, the transient correction of a town section, then Kf1 or Kf2.
CycleFigures section_figures(const SectionDefinition& section, const CycleResult& average, bool converter,
                             double Kf1, double Kf2);

// The figures that follow from the final fuel economy: l/100 km, g CO2/km from the fuel's
// CO2 [kg/l], and g CO2/t·km of the payload [kg] (none for a payload of 0 or less).
void set_consumption_figures(CycleFigures& figures, double co2KgPerL, double payloadKg);

// The average of the final town and highway fuel economies [km/l], weighted by distance
// with the highway share h [fraction].
double average_economy(double town, double highway, double h);

// Stops the run (Error of kind BadResult) unless Kf1 and Kf2 are positive finite
// numbers.
void check_factors(double Kf1, double Kf2);

// Stops the run (Error of kind BadResult) naming the first figure
// that is not a positive finite number (the distance, average speed, fuel and fuel
// economies of every section, then the average) and its likely cause.
void check_figures(const Result& result);
// The same for the figures of one section.
void check_cycle_figures(const CycleFigures& figures);

// Stops the run (Error of kind VehicleCheck) when a speed line of the fuel map lies
// beyond a vertical end of the motoring curve (see beyond_vertical_end).
void check_map_speeds(const FuelMap& map, const TorqueCurve& motoring, const std::string& motoringName);

// Stops the run (Error of kind VehicleCheck) when a driven second of the cycle
// (steps 1..n, before idle stop) runs the engine beyond a vertical end of the full-load
// curve, or of the motoring curve where its fuel rate looks that curve up.
void check_driven_speeds(std::string_view cycleName, const CycleTrace& trace, int32_t n, const Vehicle& vehicle,
                         const EngineData& eng);

}  // namespace hdfe
