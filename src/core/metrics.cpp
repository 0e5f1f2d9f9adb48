#include <array>

#include "hdfe/tables.h"

namespace hdfe {

namespace {

using M = CycleMetrics;

const std::array<MetricInfo, 5> Metrics{{
    {"seconds_below_target", "s", "seconds more than 2 km/h below the target speed", &M::seconds_below_target},
    {"largest_shortfall_km_per_h", "km/h", "largest target minus achieved speed, 0 if never short",
     &M::largest_shortfall_km_per_h},
    {"largest_shortfall_second", "s", "second (1-based) of the largest shortfall, 0 if never short",
     &M::largest_shortfall_second},
    {"distance_percent_of_target", "%", "achieved distance over target distance", &M::distance_percent_of_target},
    {"seconds_at_full_load", "s", "seconds with the torque at 99 % or more of full load", &M::seconds_at_full_load},
}};

using F = CycleFigures;

const std::array<FigureInfo, 17> Figures{{
    {"fuel_economy_km_per_l", "km/l", "the final figure", &F::fuel_economy_km_per_l},
    {"fuel_economy_before_transient_km_per_l", "km/l",
     "distance over fuel, after the torque-converter factor of an automatic", &F::fuel_economy_before_transient_km_per_l},
    {"fuel_economy_after_transient_km_per_l", "km/l", "after the transient correction",
     &F::fuel_economy_after_transient_km_per_l},
    {"fuel_economy_after_kf_km_per_l", "km/l", "after the Kf factor", &F::fuel_economy_after_kf_km_per_l},
    {"transient_correction", "", "whether the 3 % transient correction applies", &F::transient_correction},
    {"kf", "", "Kf1 (town) or Kf2 (highway); 1 for a user's cycle", &F::kf},
    {"average_speed_km_per_h", "km/h", "average achieved speed", &F::average_speed_km_per_h},
    {"distance_km", "km", "achieved distance", &F::distance_km},
    {"target_distance_km", "km", "distance at the target speeds", &F::target_distance_km},
    {"fuel_l", "l", "simulated fuel, idle stop applied", &F::fuel_l},
    {"first_second", "s", "first step (1-based)", &F::first_second},
    {"seconds", "s", "steps counted", &F::seconds},
    {"converter_factor", "", "torque-converter factor applied; 1 for a manual", &F::converter_factor},
    {"fuel_consumption_l_per_100km", "l/100 km", "fuel per 100 km: 100 over the final figure",
     &F::fuel_consumption_l_per_100km},
    {"co2_g_per_km", "g/km", "CO2 per km, from the final figure and the CO2 per litre", &F::co2_g_per_km},
    {"co2_g_per_t_km", "g/(t·km)", "CO2 per tonne of payload and km; none when the payload is 0", &F::co2_g_per_t_km},
    {"payload_kg", "kg", "the payload of g/(t·km)", &F::payload_kg},
}};

using E = EnergyAudit;

const std::array<EnergyTermInfo, 11> EnergyTerms{{
    {"engine_positive_kwh", "kWh", "engine work while it drives (torque above 0, in gear)", &E::engine_positive_kwh},
    {"engine_motoring_kwh", "kWh", "absorbed by the engine's own friction while the wheels drive it",
     &E::engine_motoring_kwh},
    {"driveline_loss_kwh", "kWh", "lost in the gearbox and the final drive, and in the clutch slipping at moving off",
     &E::driveline_loss_kwh},
    {"air_drag_kwh", "kWh", "against air drag", &E::air_drag_kwh},
    {"rolling_resistance_kwh", "kWh", "against rolling resistance", &E::rolling_resistance_kwh},
    {"climbing_kwh", "kWh", "lifting the vehicle on rising road", &E::climbing_kwh},
    {"descending_kwh", "kWh", "given back by falling road", &E::descending_kwh},
    {"kinetic_given_kwh", "kWh", "given to the vehicle and its rotating parts while speeding up", &E::kinetic_given_kwh},
    {"kinetic_released_kwh", "kWh", "taken back from them while slowing down", &E::kinetic_released_kwh},
    {"braking_kwh", "kWh", "absorbed by the brakes", &E::braking_kwh},
    {"residual_kwh", "kWh", "what the one-second steps leave outside the other terms", &E::residual_kwh},
}};

const std::array<RouteFigureInfo, 6> RouteFiguresTable{{
    {"length_km", "km", "the route's length", &RouteFigures::length_km},
    {"time_s", "s", "seconds driven", &RouteFigures::time_s},
    {"time_at_targets_s", "s", "seconds with every target met at once", &RouteFigures::time_at_targets_s},
    {"time_lost_s", "s", "seconds driven beyond those at the targets", &RouteFigures::time_lost_s},
    {"time_lost_climbing_s", "s", "of the time lost, the seconds lost on stretches that rise",
     &RouteFigures::time_lost_climbing_s},
    {"stopped_s", "s", "seconds standing at the route's stops", &RouteFigures::stopped_s},
}};

const std::array<RouteKilometreInfo, 7> RouteKilometres{{
    {"start_km", "km", "where the kilometre starts", &RouteKilometre::start_km},
    {"distance_km", "km", "distance driven in it", &RouteKilometre::distance_km},
    {"time_s", "s", "seconds that start in it", &RouteKilometre::time_s},
    {"fuel_l", "l", "fuel of those seconds, idle stop applied", &RouteKilometre::fuel_l},
    {"average_speed_km_per_h", "km/h", "average speed in it", &RouteKilometre::average_speed_km_per_h},
    {"grade_percent", "%", "mean grade over it", &RouteKilometre::grade_percent},
    {"elevation_m", "m", "the road's elevation at its end", &RouteKilometre::elevation_m},
}};

}  // namespace

std::span<const MetricInfo> cycle_metric_table() { return Metrics; }

std::span<const RouteFigureInfo> route_figure_table() { return RouteFiguresTable; }

std::span<const RouteKilometreInfo> route_kilometre_table() { return RouteKilometres; }

std::span<const FigureInfo> cycle_figure_table() { return Figures; }

std::span<const EnergyTermInfo> energy_audit_table() { return EnergyTerms; }

}  // namespace hdfe
