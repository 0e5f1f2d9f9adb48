// The corrections that turn a simulated section's average into its reported figures.
#pragma once
#include "hdfe/hdfe.h"
#include "records/fuel.h"
#include "simulation/cycles.h"

namespace hdfe {

// The figures of a section from its simulated average: the torque-converter factor of an
// automatic, the transient correction of a town section, then Kf1 or Kf2.
CycleFigures section_figures(const SectionDefinition& section, const CycleResult& average, bool converter,
                             double Kf1, double Kf2);

// The average of the final town and highway fuel economies [km/l], weighted by distance
// with the highway share h [fraction].
double average_economy(double town, double highway, double h);

// Stops the run (Error of kind BadResult, status 1) unless Kf1 and Kf2 are positive finite
// numbers.
void check_factors(double Kf1, double Kf2);

// Stops the run (Error of kind BadResult, status 1) with one line naming the first figure
// that is not a positive finite number (the distance, average speed, fuel and fuel
// economies of every section, then the average) and its likely cause.
void check_figures(const Result& result);

}  // namespace hdfe
