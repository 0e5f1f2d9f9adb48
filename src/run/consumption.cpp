// The figures an engineering run adds to distance over fuel: the torque-converter factor of a
// user's cycle, fuel per 100 km and CO2.
#include <algorithm>
#include <span>

#include "core/constants.h"
#include "hdfe/cycle.h"
#include "run/figures.h"
#include "sim/cycles.h"

namespace hdfe {

namespace {

constexpr double GramsPerKg = 1000.0;
constexpr double KgPerTonne = 1000.0;
constexpr double KmPer100Km = 100.0;

// Mean of the target speeds at points 1..n of a cycle table of n + 1 points [km/h]; 0 for a
// table without steps.
double mean_target_speed(std::span<const double> points) {
  if (points.size() < 2) return 0.0;
  double sum = 0.0;
  for (std::size_t k = 1; k < points.size(); ++k) sum += points[k];
  return sum / static_cast<double>(points.size() - 1);
}

}  // namespace

double converter_factor_for(const Cycle& cycle) {
  static const double urban = [] {
    const DriveCycle table = urban_cycle();
    return mean_target_speed(table.target_speed_km_per_h.first(static_cast<std::size_t>(table.n) + 1));
  }();
  const double mean = mean_target_speed(cycle.target_speed_km_per_h);
  if (!(mean > urban)) return ConverterTownFactor;
  if (mean >= HighwaySpeedKmh) return ConverterHighwayFactor;
  return ConverterTownFactor + (ConverterHighwayFactor - ConverterTownFactor) * ((mean - urban) / (HighwaySpeedKmh - urban));
}

void set_consumption_figures(CycleFigures& f, double co2KgPerL, double payloadKg) {
  const double economy = f.fuel_economy_km_per_l;
  f.fuel_consumption_l_per_100km = KmPer100Km / economy;
  // Fuel per km, times the CO2 of a litre, in grams.
  f.co2_g_per_km = ((1.0 / economy) * co2KgPerL) * GramsPerKg;
  f.payload_kg = payloadKg;
  f.co2_g_per_t_km.reset();
  if (payloadKg > 0.0) f.co2_g_per_t_km = f.co2_g_per_km / (payloadKg / KgPerTonne);
}

}  // namespace hdfe
